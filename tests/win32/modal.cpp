// The modal driver for the in-process tests.
#include "tests/win32/modal.h"

namespace {

ModalDriver* gActive = nullptr;

struct Search {
    HWND found = nullptr;
};

bool IsOpenModal(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return strcmp(className, "#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window);
}

BOOL CALLBACK FindModal(HWND window, LPARAM param) {
    if (!IsOpenModal(window)) return TRUE;
    reinterpret_cast<Search*>(param)->found = window;
    return FALSE;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0) {
        std::string text = WindowText(child);
        if (!text.empty()) {
            auto* all = reinterpret_cast<std::string*>(param);
            if (!all->empty()) *all += "|";
            *all += text;
        }
    }
    return TRUE;
}

}  // namespace

ModalDriver& ModalDriver::Then(Step step) {
    steps.push_back(std::move(step));
    return *this;
}

void ModalDriver::Run(const std::function<void()>& action) {
    ModalDriver* previous = gActive;
    gActive = this;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, Tick);
    action();
    KillTimer(nullptr, timer);
    gActive = previous;
}

void CALLBACK ModalDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (gActive != nullptr) gActive->OnTick();
}

void ModalDriver::OnTick() {
    // The active window first: a box owned by the bar leaves the dialog below it enabled.
    Search search;
    if (IsOpenModal(GetActiveWindow())) search.found = GetActiveWindow();
    else EnumThreadWindows(GetCurrentThreadId(), FindModal, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return;
    HWND window = search.found;
    // A new modal loop may dispatch a pending tick before it shows its window (Wine shows a dialog when
    // its queue first runs empty), and the tick would then see the window beneath: wait for a second look.
    if (window != candidate) {
        candidate = window;
        return;
    }
    candidate = nullptr;
    const bool scripted = next < steps.size();
    seen.push_back({WindowText(window), StaticTexts(window), scripted});
    ++depth;
    if (scripted) {
        Step& step = steps[next++];
        step(window);
    } else {
        EndDialog(window, IDCANCEL);
    }
    --depth;
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string StaticTexts(HWND dialog) {
    std::string all;
    EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&all));
    return all;
}

void Click(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void SetItemText(HWND dialog, int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
}

std::string ItemText(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

ModalDriver::Step Answer(int id) {
    return [id](HWND window) { Click(window, id); };
}
