// Shared set-up of the in-process tests.
#include "tests/win32/fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/bar.h"
#include "core/text.h"

void KelmarTest::SetUp() {
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(sizeof buffer, buffer);
    oldDir = buffer;
    GetTempPathA(sizeof buffer, buffer);
    char unique[MAX_PATH];
    GetTempFileNameA(buffer, "kt", 0, unique);
    DeleteFileA(unique);
    CreateDirectoryA(unique, nullptr);
    workDir = unique;
    SetCurrentDirectoryA(workDir.c_str());

    HINSTANCE instance = gApp.instance;
    gApp.~AppState();
    new (&gApp) AppState();
    gApp.instance = instance;
    gApp.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    gApp.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    gApp.accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(111));
    ASSERT_TRUE(RegisterBarClass());
}

void KelmarTest::TearDown() {
    if (gApp.bar != nullptr && IsWindow(gApp.bar)) DropBar();
    FreeCatalogue(gApp.catalogue);
    UnregisterClassA(kBarClass, gApp.instance);
    DrainMessages();
    SetCurrentDirectoryA(oldDir.c_str());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((workDir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileA((workDir + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(workDir.c_str());
}

UserMenu* KelmarTest::AddMenu(const char* name, const std::vector<std::string>& apps) {
    UserMenu* menu = NewRecord<UserMenu>();
    CopyText(menu->name, sizeof menu->name, name);
    LinkMenuAfter(gApp.catalogue, LastMenu(gApp.catalogue), menu);
    for (const std::string& appName : apps) {
        AppEntry* app = NewRecord<AppEntry>();
        CopyText(app->name, sizeof app->name, appName.c_str());
        CopyText(app->path, sizeof app->path, (appName + ".exe").c_str());
        LinkAppAfter(*menu, LastApp(*menu), app);
    }
    return menu;
}

void KelmarTest::StartBar() {
    ASSERT_TRUE(CreateBarWindow());
    ASSERT_NE(gApp.bar, nullptr);
}

void KelmarTest::DropBar() {
    gApp.quitOnDestroy = false;
    DestroyWindow(gApp.bar);
    gApp.quitOnDestroy = true;
    gApp.bar = nullptr;
    DrainMessages();
}

std::vector<MenuItem> MenuItems(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_TYPE | MIIM_STATE;
        info.dwTypeData = text;
        info.cch = sizeof text;
        GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info);
        items.push_back({text, info.hSubMenu != nullptr ? -1 : static_cast<int>(info.wID), info.fType, info.fState});
    }
    return items;
}

std::string SettingsPath() {
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\kelmar.ini";
}

void RemoveSettings() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "kelmar.ini");  // drop the profile cache
    DeleteFileA(SettingsPath().c_str());
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileText(const std::string& path, const std::string& text) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, "kelmar.ini");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

bool DrainMessages(int* exitCode) {
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            if (exitCode != nullptr) *exitCode = static_cast<int>(message.wParam);
        } else {
            DispatchMessageA(&message);
        }
    }
    return quit;
}
