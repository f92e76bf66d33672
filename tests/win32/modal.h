// Drives the modal windows (message boxes and dialogs) that a call opens, from inside their own modal
// loops: a thread timer finds the innermost enabled dialog of this thread and hands it to the next
// scripted step. Steps act synchronously (SendMessage), so a box that a step opens is met by the next step.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct ModalSeen {
    std::string title;
    std::string text;  // a message box's message, or the texts of a dialog's static controls
    bool scripted;     // false: no step was left, the driver closed it
};

class ModalDriver {
public:
    using Step = std::function<void(HWND)>;

    ModalDriver& Then(Step step);
    // Runs action while the driver answers what it opens; unscripted windows are closed and recorded.
    void Run(const std::function<void()>& action);

    std::vector<ModalSeen> seen;
    size_t Pending() const { return steps.size() - next; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void OnTick();

    std::vector<Step> steps;
    size_t next = 0;
    int depth = 0;
    HWND candidate = nullptr;  // what the previous tick found; a window is handled once two ticks agree
};

// Common steps and probes.
std::string WindowText(HWND window);
std::string StaticTexts(HWND dialog);                 // the texts of the dialog's static controls, "|" between
void Click(HWND dialog, int id);                      // as if the button were pressed
void SetItemText(HWND dialog, int id, const char* text);
std::string ItemText(HWND dialog, int id);
ModalDriver::Step Answer(int id);                     // press a message box's or dialog's button
