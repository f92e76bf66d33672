// The Options dialog driven through the bar's command: its template, the refused OK, which changes
// rebuild the bar (and how often), the rebuilt bar itself, and Cancel.
#include <windows.h>

#include <cstring>

#include "catalogue/catalogue_file.h"
#include "core/bar.h"
#include "core/text.h"
#include "resources/resource.h"
#include "tests/win32/dialog_layout.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

using OptionsTest = KelmarTest;

// Counts the bar windows made and destroyed on this thread while it lives.
class BarCounter {
public:
    BarCounter() {
        active = this;
        hook = SetWindowsHookExA(WH_CBT, Watch, nullptr, GetCurrentThreadId());
    }
    ~BarCounter() {
        UnhookWindowsHookEx(hook);
        active = nullptr;
    }
    int created = 0;
    int destroyed = 0;

private:
    static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND || code == HCBT_DESTROYWND) {
            char className[32] = "";
            GetClassNameA(reinterpret_cast<HWND>(wParam), className, sizeof className);
            if (strcmp(className, kBarClass) == 0) ++(code == HCBT_CREATEWND ? active->created : active->destroyed);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static BarCounter* active;
    HHOOK hook;
};
BarCounter* BarCounter::active = nullptr;

void OpenOptions(ModalDriver& driver) {
    driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, CMD_OPTIONS, 0); });
}

// As a mouse click would: an auto check box flips and tells the dialog.
void Toggle(HWND dialog, int id) {
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

bool Topmost(HWND window) {
    return (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool AnyDialogLeft() {
    struct Finder {
        static BOOL CALLBACK Look(HWND window, LPARAM found) {
            char className[16] = "";
            GetClassNameA(window, className, sizeof className);
            if (strcmp(className, "#32770") == 0) *reinterpret_cast<bool*>(found) = true;
            return TRUE;
        }
    };
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), Finder::Look, reinterpret_cast<LPARAM>(&found));
    return found;
}

void SetSettings(int32_t stayOnTop, int32_t chime, const char* wav) {
    gApp.stayOnTop = stayOnTop;
    gApp.chimeOnHour = chime;
    CopyText(gApp.chimeWav, sizeof gApp.chimeWav, wav);
}

TEST_F(OptionsTest, OpensCentredOverTheBarWithTheSettingsAndLimitsTheName) {
    SetSettings(0, 1, "bell.wav");
    StartBar();
    ModalDriver driver;
    driver.Then([](HWND dialog) {
        ExpectDialogLayout(dialog, {"Kelmar Options", 182, 79, {
            {IDOK, "Button", BS_DEFPUSHBUTTON, true, "OK", {117, 7, 50, 14}},
            {IDCANCEL, "Button", BS_PUSHBUTTON, true, "Cancel", {117, 26, 50, 14}},
            {1000, "Button", BS_AUTOCHECKBOX, true, "Stay on top?", {11, 11, 58, 13}},
            {1001, "Button", BS_AUTOCHECKBOX, true, "Chime hourly?", {12, 29, 62, 10}},
            {1003, "Edit", ES_AUTOHSCROLL, true, nullptr, {23, 47, 86, 13}},
            {-1, "Static", SS_LEFT, false, ".WAV file", {23, 64, 60, 8}},
        }});
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), gApp.bar);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1000), 0u);
        EXPECT_EQ(IsDlgButtonChecked(dialog, 1001), 1u);
        EXPECT_EQ(ItemText(dialog, 1003), "bell.wav");

        // A typed name stops at 79 characters.
        SetItemText(dialog, 1003, "");
        HWND edit = GetDlgItem(dialog, 1003);
        for (int i = 0; i < 100; ++i) SendMessageA(edit, WM_CHAR, 'a' + i % 26, 1);
        Click(dialog, IDOK);
    });
    OpenOptions(driver);
    EXPECT_EQ(driver.Pending(), 0u);
    EXPECT_FALSE(AnyDialogLeft());
    EXPECT_EQ(strlen(gApp.chimeWav), 79u);
    EXPECT_EQ(std::string(gApp.chimeWav, 3), "abc");
}

TEST_F(OptionsTest, ChimeWithoutANameIsRefusedUntilUnchecked) {
    SetSettings(1, 0, "old.wav");
    StartBar();
    HWND bar = gApp.bar;
    HWND options = nullptr;
    ModalDriver driver;
    driver.Then([&](HWND dialog) {
        options = dialog;
        SetItemText(dialog, 1003, "");
        Toggle(dialog, 1001);
        Click(dialog, IDOK);  // the warning opens inside this call
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(gApp.chimeOnHour, 0);  // nothing stored by the refused OK
        EXPECT_STREQ(gApp.chimeWav, "old.wav");
        Toggle(dialog, 1001);
        Click(dialog, IDOK);
    });
    driver.Then([&](HWND box) {
        EXPECT_EQ(GetWindow(box, GW_OWNER), bar);
        Click(box, IDOK);
    });
    OpenOptions(driver);
    ASSERT_EQ(driver.seen.size(), 2u);
    EXPECT_EQ(driver.seen[1].title, "Kelmar");
    EXPECT_EQ(driver.seen[1].text, "Please enter a WAV filename.");
    EXPECT_NE(options, nullptr);
    EXPECT_EQ(gApp.chimeOnHour, 0);
    EXPECT_STREQ(gApp.chimeWav, "");  // an empty name is fine with the chime off
    EXPECT_EQ(gApp.bar, bar);
    EXPECT_FALSE(AnyDialogLeft());
}

TEST_F(OptionsTest, OnlyAStayOnTopChangeRebuildsTheBarAndOnlyOnce) {
    struct Case {
        const char* what;
        int32_t stored;
        std::vector<int> toggles;
        const char* newName;  // nullptr: left as it is
        int rebuilds;
        int32_t storedAfter;
        int32_t chimeAfter;
    };
    const Case cases[] = {
        {"name only", 1, {}, "gong.wav", 0, 1, 0},
        {"chime box only", 1, {1001}, nullptr, 0, 1, 1},
        {"stay on top turned off", 1, {1000}, nullptr, 1, 0, 0},
        {"stay on top turned on", 0, {1000}, nullptr, 1, 1, 0},
        {"stay on top toggled twice", 1, {1000, 1000}, nullptr, 0, 1, 0},
        {"stored 2 left checked", 2, {}, nullptr, 1, 1, 0},
        {"stored 2 turned off", 2, {1000}, nullptr, 1, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetSettings(c.stored, 0, "bell.wav");
        StartBar();
        HWND before = gApp.bar;
        ModalDriver driver;
        driver.Then([&](HWND dialog) {
            for (int id : c.toggles) Toggle(dialog, id);
            if (c.newName != nullptr) SetItemText(dialog, 1003, c.newName);
            Click(dialog, IDOK);
        });
        BarCounter counter;
        OpenOptions(driver);
        EXPECT_EQ(counter.destroyed, c.rebuilds);
        EXPECT_EQ(counter.created, c.rebuilds);
        EXPECT_EQ(gApp.stayOnTop, c.storedAfter);
        EXPECT_EQ(gApp.chimeOnHour, c.chimeAfter);
        EXPECT_STREQ(gApp.chimeWav, c.newName != nullptr ? c.newName : "bell.wav");
        EXPECT_EQ(gApp.bar != before, c.rebuilds != 0);
        ASSERT_TRUE(IsWindow(gApp.bar));
        EXPECT_EQ(Topmost(gApp.bar), c.storedAfter != 0);
        EXPECT_TRUE(gApp.quitOnDestroy);
        EXPECT_FALSE(AnyDialogLeft());
        EXPECT_FALSE(DrainMessages());  // the run goes on
        DropBar();
    }
}

TEST_F(OptionsTest, RebuiltBarHasTheSameMenusAndCommands) {
    BuildDefaultCatalogue(gApp.catalogue);
    SetSettings(1, 0, "");
    StartBar();
    const std::vector<MenuItem> barBefore = MenuItems(gApp.barMenu);
    const std::vector<MenuItem> gamesBefore = MenuItems(GetSubMenu(gApp.barMenu, 2));
    HWND old = gApp.bar;

    ModalDriver driver;
    driver.Then([](HWND dialog) {
        Toggle(dialog, 1000);
        Click(dialog, IDOK);
    });
    OpenOptions(driver);
    EXPECT_FALSE(IsWindow(old));
    ASSERT_TRUE(IsWindow(gApp.bar));
    EXPECT_TRUE(IsWindowVisible(gApp.bar));
    EXPECT_TRUE(IsWindowEnabled(gApp.bar));
    EXPECT_FALSE(Topmost(gApp.bar));
    EXPECT_EQ(gApp.barMenu, GetMenu(gApp.bar));

    const std::vector<MenuItem> barAfter = MenuItems(gApp.barMenu);
    ASSERT_EQ(barAfter.size(), barBefore.size());
    for (size_t i = 1; i < barAfter.size(); ++i) {  // the "§" title is not ANSI-readable; its items are counted below
        EXPECT_EQ(barAfter[i].id, barBefore[i].id);
        if (barAfter[i].id != CMD_TIME) EXPECT_EQ(barAfter[i].text, barBefore[i].text);
    }
    EXPECT_EQ(MenuItems(GetSubMenu(gApp.barMenu, 0)).size(), 5u);
    const std::vector<MenuItem> gamesAfter = MenuItems(GetSubMenu(gApp.barMenu, 2));
    ASSERT_EQ(gamesAfter.size(), gamesBefore.size());
    for (size_t i = 0; i < gamesAfter.size(); ++i) {
        EXPECT_EQ(gamesAfter[i].text, gamesBefore[i].text);
        EXPECT_EQ(gamesAfter[i].id, gamesBefore[i].id);
    }
    const AppEntry* solitaire = FindAppByCommand(gApp.catalogue, 2002);
    ASSERT_NE(solitaire, nullptr);
    EXPECT_STREQ(solitaire->name, "&Solitaire");
    EXPECT_EQ(FindAppByCommand(gApp.catalogue, 2003), nullptr);
    EXPECT_FALSE(DrainMessages());

    // The new bar answers its commands: Options opens again, owned by it.
    ModalDriver again;
    HWND owner = nullptr;
    again.Then([&](HWND dialog) {
        owner = GetWindow(dialog, GW_OWNER);
        Click(dialog, IDCANCEL);
    });
    OpenOptions(again);
    EXPECT_EQ(owner, gApp.bar);
}

TEST_F(OptionsTest, CancelKeepsEveryOldSetting) {
    SetSettings(1, 0, "old.wav");
    StartBar();
    HWND bar = gApp.bar;
    ModalDriver driver;
    driver.Then([](HWND dialog) {
        SetItemText(dialog, 1003, "new.wav");
        Toggle(dialog, 1001);
        Toggle(dialog, 1000);
        Click(dialog, IDCANCEL);
    });
    OpenOptions(driver);
    EXPECT_STREQ(gApp.chimeWav, "old.wav");
    EXPECT_EQ(gApp.chimeOnHour, 0);
    EXPECT_EQ(gApp.stayOnTop, 1);
    EXPECT_EQ(gApp.bar, bar);
    EXPECT_TRUE(Topmost(bar));
    EXPECT_FALSE(AnyDialogLeft());
}

// Refuses to make any more bar windows while it lives, as if the system were out of them.
class BarRefuser {
public:
    BarRefuser() { hook = SetWindowsHookExA(WH_CBT, Refuse, nullptr, GetCurrentThreadId()); }
    ~BarRefuser() { UnhookWindowsHookEx(hook); }

private:
    static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_CREATEWND) {
            char className[32] = "";
            GetClassNameA(reinterpret_cast<HWND>(wParam), className, sizeof className);
            if (strcmp(className, kBarClass) == 0) return 1;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook;
};

// The run ends in the child process; what it leaves behind is read here: the catalogue and the settings
// saved before the fatal box, and what that box showed.
TEST_F(OptionsTest, FailedRebuildSavesEverythingBeforeTheFatalBox) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string dir = std::string(temp) + "kelmar-failed-rebuild";
    CreateDirectoryA(dir.c_str(), nullptr);
    DeleteFileA((dir + "\\apps.dat").c_str());
    DeleteFileA((dir + "\\box.txt").c_str());
    RemoveSettings();

    EXPECT_EXIT(
        {
            SetCurrentDirectoryA(dir.c_str());
            AddMenu("Edited", {"a"});
            SetSettings(1, 0, "");
            StartBar();
            ModalDriver driver;
            driver.Then([](HWND dialog) {
                Toggle(dialog, 1000);
                Toggle(dialog, 1001);
                SetItemText(dialog, 1003, "bell.wav");
                BarRefuser refuser;
                Click(dialog, IDOK);
            });
            driver.Then([](HWND box) {
                const bool saved = GetFileAttributesA("apps.dat") != INVALID_FILE_ATTRIBUTES;
                WriteFileText("box.txt", WindowText(box) + "|" + StaticTexts(box) + "|" +
                                             (GetWindow(box, GW_OWNER) == nullptr ? "no owner" : "owned") + "|" +
                                             (saved ? "saved first" : "not saved yet"));
                Click(box, IDOK);
            });
            OpenOptions(driver);
        },
        ::testing::ExitedWithCode(1), "");

    EXPECT_EQ(ReadFileText(dir + "\\box.txt"),
              "Fatal Kelmar Error|Could not create the Kelmar bar!|no owner|saved first");
    EXPECT_EQ(ReadFileText(dir + "\\apps.dat").substr(0, 6), "Edited");
    EXPECT_EQ(GetPrivateProfileIntA("Options", "StayOnTop", 9, "Kelmar.INI"), 0u);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "ChimeOnHour", 9, "Kelmar.INI"), 1u);
    char wav[80] = "";
    GetPrivateProfileStringA("Options", "Chime WAV", "?", wav, sizeof wav, "Kelmar.INI");
    EXPECT_STREQ(wav, "bell.wav");
    DeleteFileA((dir + "\\apps.dat").c_str());
    DeleteFileA((dir + "\\box.txt").c_str());
    RemoveDirectoryA(dir.c_str());
}

}  // namespace

namespace {

// OK writes the settings file while Kelmar runs, with or without a rebuild of the bar; Cancel leaves
// the file exactly as it was, byte for byte (a hand-made comment line included).
TEST_F(OptionsTest, OkWritesTheSettingsFileAtOnceAndCancelWritesNothing) {
    struct Case {
        const char* what;
        bool toggleStayOnTop;
        const char* wav;
        int button;
        const char* expected[3];  // lines the file must then hold; nullptr: the file as it was
    };
    const Case cases[] = {
        {"name only", false, "gong.wav", IDOK, {"StayOnTop=1", "ChimeOnHour=1", "Chime WAV=gong.wav"}},
        {"stay on top, rebuilt", true, "bell.wav", IDOK, {"StayOnTop=0", "ChimeOnHour=1", "Chime WAV=bell.wav"}},
        {"cancel", true, "gong.wav", IDCANCEL, {nullptr, nullptr, nullptr}},
    };
    // The file differs from the settings held, so that any write, even of unchanged settings, shows.
    const std::string before = "[Options]\r\n; mine\r\nStayOnTop=2\r\nChimeOnHour=0\r\nChime WAV=disk.wav\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileText(SettingsPath(), before);
        SetSettings(1, 0, "bell.wav");
        StartBar();
        ModalDriver driver;
        driver.Then([&](HWND dialog) {
            if (c.toggleStayOnTop) Toggle(dialog, 1000);
            Toggle(dialog, 1001);
            SetItemText(dialog, 1003, c.wav);
            Click(dialog, c.button);
        });
        OpenOptions(driver);
        EXPECT_EQ(driver.seen.size(), 1u);  // the dialog, and no warning
        const std::string after = ReadFileText(SettingsPath());
        if (c.expected[0] == nullptr) {
            EXPECT_EQ(after, before);
        } else {
            for (const char* line : c.expected) {
                EXPECT_NE(after.find(std::string(line) + "\r\n"), std::string::npos) << after;
            }
        }
        EXPECT_FALSE(AnyDialogLeft());
        EXPECT_FALSE(DrainMessages());
        DropBar();
    }
}

// A settings file that cannot be written (a folder of its name, which stops root too): OK warns as the
// shutdown would, over the bar (the new one after a rebuild, the old one being gone with the dialog), and
// the run goes on with the new settings.
TEST_F(OptionsTest, FailedWriteWarnsOverTheBar) {
    for (bool rebuild : {false, true}) {
        SCOPED_TRACE(rebuild ? "rebuilt" : "not rebuilt");
        RemoveSettings();
        ASSERT_TRUE(CreateDirectoryA(SettingsPath().c_str(), nullptr));
        SetSettings(1, 0, "");
        StartBar();
        HWND owner = nullptr;
        bool optionsGone = false;
        ModalDriver driver;
        driver.Then([&](HWND dialog) {
            if (rebuild) Toggle(dialog, 1000);
            Click(dialog, IDOK);
        });
        driver.Then([&](HWND box) {
            owner = GetWindow(box, GW_OWNER);
            optionsGone = FindWindowA(nullptr, "Kelmar Options") == nullptr ||
                          !IsWindowVisible(FindWindowA(nullptr, "Kelmar Options"));
            Click(box, IDOK);
        });
        OpenOptions(driver);
        RemoveDirectoryA(SettingsPath().c_str());
        ASSERT_EQ(driver.seen.size(), 2u);
        EXPECT_EQ(driver.seen[1].title, "Kelmar");
        EXPECT_EQ(driver.seen[1].text, "Error writing options to INI!");
        EXPECT_EQ(owner, gApp.bar);
        EXPECT_TRUE(optionsGone);
        EXPECT_TRUE(IsWindow(gApp.bar));
        EXPECT_EQ(gApp.stayOnTop, rebuild ? 0 : 1);
        EXPECT_FALSE(AnyDialogLeft());
        EXPECT_FALSE(DrainMessages());
        DropBar();
    }
}

}  // namespace
