// The bar window, its menus and command map, its accelerators and the ways the run ends.
#include <windows.h>

#include "catalogue/catalogue_file.h"
#include "core/bar.h"
#include "core/text.h"
#include "launch/launcher.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

using BarTest = KelmarTest;

TEST_F(BarTest, LiesAcrossTheTopOfTheScreenTopmostByTheSetting) {
    for (int32_t stayOnTop : {1, 0, 2}) {
        gApp.stayOnTop = stayOnTop;
        StartBar();
        char className[32] = "";
        GetClassNameA(gApp.bar, className, sizeof className);
        EXPECT_STREQ(className, "KelmarClass");
        EXPECT_EQ(WindowText(gApp.bar), "Kelmar");
        const LONG style = GetWindowLongA(gApp.bar, GWL_STYLE);
        EXPECT_EQ(style & (WS_POPUP | WS_DLGFRAME | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_DLGFRAME);
        EXPECT_TRUE(IsWindowVisible(gApp.bar));
        const bool topmost = (GetWindowLongA(gApp.bar, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        EXPECT_EQ(topmost, stayOnTop != 0) << stayOnTop;
        RECT rect;
        GetWindowRect(gApp.bar, &rect);
        EXPECT_EQ(rect.left, 0);
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
        EXPECT_EQ(rect.bottom - rect.top, GetSystemMetrics(SM_CYCAPTION) + 3);
        EXPECT_EQ(gApp.barMenu, GetMenu(gApp.bar));
        DropBar();
    }
}

TEST_F(BarTest, KeepsTheScreenWidthReadAtStartUp) {
    gApp.screenWidth = 640;
    StartBar();
    RECT rect;
    GetWindowRect(gApp.bar, &rect);
    EXPECT_EQ(rect.right - rect.left, 640);
}

TEST_F(BarTest, MenuBarHoldsTheSectionPopupTheUserMenusAndTheTime) {
    BuildDefaultCatalogue(gApp.catalogue);
    StartBar();
    const std::vector<MenuItem> bar = MenuItems(gApp.barMenu);
    ASSERT_EQ(bar.size(), 4u);
    wchar_t section[8] = L"";
    GetMenuStringW(gApp.barMenu, 0, section, 8, MF_BYPOSITION);
    EXPECT_STREQ(section, L"\u00a7");
    EXPECT_EQ(bar[1].text, "&Apps");
    EXPECT_EQ(bar[2].text, "&Games");
    EXPECT_EQ(bar[3].id, 40008);
    EXPECT_TRUE(bar[3].type & MFT_RIGHTJUSTIFY);
    EXPECT_TRUE(bar[3].state & MFS_DISABLED);

    const std::vector<MenuItem> fixed = MenuItems(GetSubMenu(gApp.barMenu, 0));
    ASSERT_EQ(fixed.size(), 5u);
    EXPECT_EQ(fixed[0].text, "&Edit Menus...\tCtrl+E");
    EXPECT_EQ(fixed[0].id, 40004);
    EXPECT_EQ(fixed[1].text, "&Options...\tCtrl+O");
    EXPECT_EQ(fixed[1].id, 40001);
    EXPECT_TRUE(fixed[2].type & MFT_SEPARATOR);
    EXPECT_EQ(fixed[3].text, "&About Kelmar...");
    EXPECT_EQ(fixed[3].id, 40005);
    EXPECT_EQ(fixed[4].text, "E&xit Kelmar\tCtrl+X");
    EXPECT_EQ(fixed[4].id, 40006);

    const std::vector<MenuItem> games = MenuItems(GetSubMenu(gApp.barMenu, 2));
    ASSERT_EQ(games.size(), 2u);
    EXPECT_EQ(games[0].text, "&Minesweeper");
    EXPECT_EQ(games[0].id, 2001);
    EXPECT_EQ(games[1].text, "&Solitaire");
    EXPECT_EQ(games[1].id, 2002);
    EXPECT_STREQ(FindAppByCommand(gApp.catalogue, 2002)->name, "&Solitaire");
    EXPECT_STREQ(FindAppByCommand(gApp.catalogue, 1001)->name, "Visual &C++ v2.0");
}

TEST_F(BarTest, IdentifiersFollowMenuPositionsEvenPastEmptyMenus) {
    AddMenu("Two", {"a", "b"});
    AddMenu("", {});
    AddMenu("One", {"c"});
    StartBar();
    const std::vector<MenuItem> bar = MenuItems(gApp.barMenu);
    ASSERT_EQ(bar.size(), 5u);
    EXPECT_EQ(bar[1].text, "Two");
    EXPECT_EQ(bar[2].text, "");  // an empty name still has its popup
    EXPECT_EQ(bar[2].id, -1);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(gApp.barMenu, 2)), 0);
    EXPECT_EQ(bar[3].text, "One");
    EXPECT_EQ(MenuItems(GetSubMenu(gApp.barMenu, 1))[1].id, 1002);
    EXPECT_EQ(MenuItems(GetSubMenu(gApp.barMenu, 3))[0].id, 3001);

    std::vector<uint32_t> mapped;
    for (CommandLink* link = gApp.catalogue.commandMap; link != nullptr; link = link->next) mapped.push_back(link->id);
    EXPECT_EQ(mapped, (std::vector<uint32_t>{1001, 1002, 3001}));
}

TEST_F(BarTest, EmptyCatalogueLeavesOnlyTheSectionAndTheTime) {
    StartBar();
    EXPECT_EQ(GetMenuItemCount(gApp.barMenu), 2);
    EXPECT_EQ(gApp.catalogue.commandMap, nullptr);
}

TEST_F(BarTest, UnmappedCommandWarns) {
    AddMenu("M", {"a"});
    StartBar();
    ModalDriver driver;
    driver.Then(Answer(IDOK));
    driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, 1002, 0); });
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_EQ(driver.seen[0].title, "Kelmar");
    EXPECT_EQ(driver.seen[0].text, "Menu item not found.");
}

// Ctrl+X through the real accelerator table ends the run as Exit does: catalogue and settings saved,
// bar gone, the loop told to quit with 0.
TEST_F(BarTest, CtrlXSavesEverythingAndQuits) {
    RemoveSettings();
    gApp.stayOnTop = 0;
    gApp.chimeOnHour = 3;
    CopyText(gApp.chimeWav, sizeof gApp.chimeWav, "ding.wav");
    AddMenu("M", {"a"});
    StartBar();
    HWND bar = gApp.bar;

    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG message = {bar, WM_KEYDOWN, 'X', 0x002D0001, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorA(gApp.bar, gApp.accelerators, &message));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);

    EXPECT_FALSE(IsWindow(bar));
    int exitCode = -1;
    EXPECT_TRUE(DrainMessages(&exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(ReadFileText("apps.dat").size(), 48u + 228u);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "StayOnTop", 9, "Kelmar.INI"), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "ChimeOnHour", 9, "Kelmar.INI"), 3u);
    char wav[80] = "";
    GetPrivateProfileStringA("Options", "Chime WAV", "?", wav, sizeof wav, "Kelmar.INI");
    EXPECT_STREQ(wav, "ding.wav");
    EXPECT_EQ(gApp.catalogue.head, nullptr);  // released by the shutdown
}

TEST_F(BarTest, AcceleratorTableHoldsTheThreeCommands) {
    ACCEL entries[8];
    const int count = CopyAcceleratorTableA(gApp.accelerators, entries, 8);
    ASSERT_EQ(count, 3);
    for (int i = 0; i < count; ++i) EXPECT_EQ(entries[i].fVirt, FVIRTKEY | FCONTROL | FNOINVERT);
    EXPECT_EQ(entries[0].key, 'E');
    EXPECT_EQ(entries[0].cmd, 40004);
    EXPECT_EQ(entries[1].key, 'O');
    EXPECT_EQ(entries[1].cmd, 40001);
    EXPECT_EQ(entries[2].key, 'X');
    EXPECT_EQ(entries[2].cmd, 40006);
}

TEST_F(BarTest, CloseAndEndOfSessionSaveLikeExit) {
    AddMenu("Kept", {"a"});
    StartBar();
    SendMessageA(gApp.bar, WM_CLOSE, 0, 0);
    EXPECT_EQ(gApp.bar == nullptr || !IsWindow(gApp.bar), true);
    EXPECT_TRUE(DrainMessages());
    EXPECT_EQ(ReadFileText("apps.dat").substr(0, 4), std::string("Kept"));

    DeleteFileA("apps.dat");
    AddMenu("Session", {});
    RegisterBarClass();
    StartBar();
    SendMessageA(gApp.bar, WM_ENDSESSION, FALSE, 0);  // a cancelled end of session changes nothing
    EXPECT_EQ(GetFileAttributesA("apps.dat"), INVALID_FILE_ATTRIBUTES);
    SendMessageA(gApp.bar, WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(ReadFileText("apps.dat").substr(0, 7), std::string("Session"));
}

TEST_F(BarTest, FailedSaveAtExitIsShownBeforeTheLoopEnds) {
    AddMenu("M", {"a"});
    CreateDirectoryA("apps.dat", nullptr);  // a folder in the way: the file cannot be replaced
    StartBar();
    ModalDriver driver;
    driver.Then([](HWND box) {
        // The quit message is not posted yet, so this box stays until it is answered.
        MSG message;
        EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
        Click(box, IDOK);
    });
    driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, 40006, 0); });
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_EQ(driver.seen[0].text, "Could not open APPS.DAT for write.\r\nPlease check the file.");
    EXPECT_TRUE(DrainMessages());
    RemoveDirectoryA("apps.dat");
}

}  // namespace
