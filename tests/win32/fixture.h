// Shared set-up of the in-process tests: a private working folder (for apps.dat), the program state
// reset, the bar's class registered, and helpers to make catalogues and read the bar's menus back.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "catalogue/records.h"
#include "core/app.h"

class KelmarTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds a menu with apps named as given (paths "<name>.exe").
    UserMenu* AddMenu(const char* name, const std::vector<std::string>& apps = {});
    // Creates the bar as start-up does.
    void StartBar();
    // Destroys the bar without ending the run (as a rebuild does).
    void DropBar();

    std::string workDir;
    std::string oldDir;
};

// The bar menu's items: text (ANSI) and command id or -1 for a popup.
struct MenuItem {
    std::string text;
    int id;
    UINT type;   // MFT_ flags
    UINT state;  // MFS_ flags
};
std::vector<MenuItem> MenuItems(HMENU menu);

// The settings file in the Windows directory.
std::string SettingsPath();
void RemoveSettings();
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

// Empties this thread's message queue; true when a WM_QUIT was among the messages (its code in exitCode).
bool DrainMessages(int* exitCode = nullptr);
