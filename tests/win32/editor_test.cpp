// The catalogue editor: User Menus and the two Setup dialogs, driven the way their controls would drive
// them, and the commit that rebuilds the bar and saves apps.dat.
#include <windows.h>

#include <functional>

#include "catalogue/catalogue_file.h"
#include "core/bar.h"
#include "core/text.h"
#include "resources/resource.h"
#include "tests/win32/dialog_layout.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

constexpr const char* kSelectMenu = "Please select a menu first.";

std::vector<std::string> ListTexts(HWND dialog, int list) {
    std::vector<std::string> texts;
    const int count = static_cast<int>(SendDlgItemMessageA(dialog, list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = "";
        SendDlgItemMessageA(dialog, list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        texts.push_back(text);
    }
    return texts;
}

int ListSelection(HWND dialog, int list) {
    return static_cast<int>(SendDlgItemMessageA(dialog, list, LB_GETCURSEL, 0, 0));
}

// What a list box tells its dialog.
void Notify(HWND dialog, int list, WORD code) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(list, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, list)));
}

void Select(HWND dialog, int list, int index) {
    SendDlgItemMessageA(dialog, list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Notify(dialog, list, LBN_SELCHANGE);
}

void DoubleClick(HWND dialog, int list, int index) {
    Select(dialog, list, index);
    Notify(dialog, list, LBN_DBLCLK);
}

// Empties the edit, then types the text character by character.
void Type(HWND dialog, int id, const std::string& text) {
    HWND edit = GetDlgItem(dialog, id);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

std::vector<std::string> MenuNames() {
    std::vector<std::string> names;
    for (UserMenu* menu = gApp.catalogue.head; menu != nullptr; menu = menu->next) names.push_back(menu->name);
    return names;
}

std::vector<std::string> AppNames(const UserMenu* menu) {
    std::vector<std::string> names;
    for (AppEntry* app = menu->apps; app != nullptr; app = app->next) names.push_back(app->name);
    return names;
}

// Both chains are linked both ways and every appCount matches its chain.
bool ChainsAgree() {
    UserMenu* previous = nullptr;
    for (UserMenu* menu = gApp.catalogue.head; menu != nullptr; previous = menu, menu = menu->next) {
        if (menu->prev != previous) return false;
        int count = 0;
        AppEntry* previousApp = nullptr;
        for (AppEntry* app = menu->apps; app != nullptr; previousApp = app, app = app->next, ++count) {
            if (app->prev != previousApp) return false;
        }
        if (count != menu->appCount) return false;
    }
    return true;
}

class EditorTest : public KelmarTest {
protected:
    // Opens User Menus from the bar, as Ctrl+E or the Edit Menus item does, while the driver runs its steps.
    void Edit(ModalDriver& driver) {
        driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, CMD_EDIT_MENUS, 0); });
        EXPECT_EQ(driver.Pending(), 0u);
    }
};

TEST_F(EditorTest, DialogsFollowTheirTemplates) {
    AddMenu("&Apps", {"One"});
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            ExpectDialogLayout(dialog, {"User Menus", 236, 130, {
                {IDOK, "Button", BS_DEFPUSHBUTTON, true, "&OK", {173, 78, 50, 14}},
                {IDC_MENUS_LIST, "ListBox", LBS_NOTIFY, true, "", {11, 18, 70, 54}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Menus", {26, 4, 27, 8}},
                {IDC_APPS_LIST, "ListBox", LBS_NOTIFY, true, "", {91, 18, 72, 54}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Applications", {103, 4, 46, 8}},
                {IDC_NEW_MENU, "Button", BS_PUSHBUTTON, true, "New &Menu", {21, 78, 50, 14}},
                {IDC_NEW_APP, "Button", BS_PUSHBUTTON, true, "New &App", {100, 78, 50, 14}},
                {IDC_DELETE_MENU, "Button", BS_PUSHBUTTON, true, "&Delete Menu", {21, 97, 50, 14}},
                {IDC_DELETE_APP, "Button", BS_PUSHBUTTON, true, "D&elete App", {100, 97, 50, 14}},
                {IDC_STATIC, "Button", BS_GROUPBOX, false, "Hint", {172, 14, 53, 50}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Try double clicking on the menus and apps.", {180, 24, 39, 36}},
            }});
            EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDOK));
            // The dialog manager turns a border into a sunken edge and the list shows its scroll bar only
            // when needed, so those two are left to the screenshots.
            for (int list : {IDC_MENUS_LIST, IDC_APPS_LIST}) {
                const LONG listStyle = GetWindowLongA(GetDlgItem(dialog, list), GWL_STYLE);
                EXPECT_EQ(listStyle & (LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL),
                          LBS_NOTIFY | LBS_NOINTEGRALHEIGHT) << list;
            }
            Click(dialog, IDC_NEW_MENU);
            Select(dialog, IDC_MENUS_LIST, 0);
            Click(dialog, IDC_NEW_APP);
            Click(dialog, IDOK);
        })
        .Then([](HWND setup) {
            ExpectDialogLayout(setup, {"Menu Setup", 189, 68, {
                {IDOK, "Button", BS_DEFPUSHBUTTON, true, "OK", {131, 6, 50, 14}},
                {IDCANCEL, "Button", BS_PUSHBUTTON, true, "Cancel", {131, 23, 50, 14}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Menu Name", {11, 6, 62, 11}},
                {IDC_MENU_NAME, "Edit", ES_AUTOHSCROLL, true, "", {9, 18, 88, 12}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Hint:\r\nInclude an \"&&\" before a letter\r\nto make an accelerator key.",
                 {10, 37, 103, 30}},
            }});
            EXPECT_EQ(GetFocus(), GetDlgItem(setup, IDC_MENU_NAME));
            Click(setup, IDCANCEL);
        })
        .Then([](HWND setup) {
            ExpectDialogLayout(setup, {"Application Setup", 195, 134, {
                {IDOK, "Button", BS_DEFPUSHBUTTON, true, "OK", {128, 82, 50, 14}},
                {IDCANCEL, "Button", BS_PUSHBUTTON, true, "Cancel", {127, 104, 50, 14}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Name", {8, 9, 43, 8}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Path/filename", {7, 36, 49, 8}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Working Directory", {7, 65, 59, 8}},
                {IDC_STATIC, "Static", SS_LEFT, false, "Parameters", {7, 93, 40, 8}},
                {IDC_STATIC, "Static", SS_LEFT, false,
                 "Include an \"&&\" in the name to make an accelerator key (i.e. \"&&MyApp\").", {117, 9, 64, 35}},
                {IDC_APP_NAME, "Edit", ES_AUTOHSCROLL, true, "", {7, 20, 104, 12}},
                {IDC_APP_PATH, "Edit", ES_AUTOHSCROLL, true, "", {7, 48, 104, 12}},
                {IDC_APP_WORKDIR, "Edit", ES_AUTOHSCROLL, true, "", {7, 76, 104, 12}},
                {IDC_APP_PARAMS, "Edit", ES_AUTOHSCROLL, true, "", {7, 105, 104, 12}},
            }});
            EXPECT_EQ(GetFocus(), GetDlgItem(setup, IDC_APP_NAME));
            Click(setup, IDCANCEL);
        });
    Edit(driver);
}

TEST_F(EditorTest, CommandsWithoutASelectionWarnAndChangeNothing) {
    AddMenu("&Apps", {"One", "Two"});
    AddMenu("Empty");
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST), (std::vector<std::string>{"&Apps", "Empty"}));
            EXPECT_TRUE(ListTexts(dialog, IDC_APPS_LIST).empty());
            Notify(dialog, IDC_MENUS_LIST, LBN_DBLCLK);
            Notify(dialog, IDC_APPS_LIST, LBN_DBLCLK);
            Click(dialog, IDC_NEW_APP);
            Click(dialog, IDC_DELETE_MENU);
            Click(dialog, IDC_DELETE_APP);
            Select(dialog, IDC_MENUS_LIST, 0);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), (std::vector<std::string>{"One", "Two"}));
            Click(dialog, IDC_DELETE_APP);
            Notify(dialog, IDC_APPS_LIST, LBN_DBLCLK);  // below the last entry: nothing happens
            Select(dialog, IDC_MENUS_LIST, 1);
            EXPECT_TRUE(ListTexts(dialog, IDC_APPS_LIST).empty());
            Click(dialog, IDOK);
        })
        .Then(Answer(IDOK)).Then(Answer(IDOK)).Then(Answer(IDOK)).Then(Answer(IDOK)).Then(Answer(IDOK))
        .Then(Answer(IDOK));
    Edit(driver);
    ASSERT_EQ(driver.seen.size(), 7u);
    for (size_t i = 1; i <= 5; ++i) {
        EXPECT_EQ(driver.seen[i].title, "Kelmar");
        EXPECT_EQ(driver.seen[i].text, kSelectMenu) << i;
    }
    EXPECT_EQ(driver.seen[6].text, "Please select an app first");
    EXPECT_EQ(MenuNames(), (std::vector<std::string>{"&Apps", "Empty"}));
    EXPECT_EQ(AppNames(gApp.catalogue.head), (std::vector<std::string>{"One", "Two"}));
}

// New Menu in an empty catalogue, cancelled and then accepted; New App in it; OK rebuilds the bar and
// saves apps.dat with what was typed.
TEST_F(EditorTest, NewMenuAndAppReachTheBarAndTheFile) {
    StartBar();
    HWND oldBar = gApp.bar;
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            EXPECT_TRUE(ListTexts(dialog, IDC_MENUS_LIST).empty());
            Click(dialog, IDC_NEW_MENU);
            EXPECT_EQ(gApp.catalogue.head, nullptr);
            EXPECT_TRUE(ListTexts(dialog, IDC_MENUS_LIST).empty());
            Click(dialog, IDC_NEW_MENU);
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST), std::vector<std::string>{"&Tools"});
            Select(dialog, IDC_MENUS_LIST, 0);
            Click(dialog, IDC_NEW_APP);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), std::vector<std::string>{"&Notepad"});
            Click(dialog, IDC_NEW_APP);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), (std::vector<std::string>{"&Notepad", "&Calc"}));
            Click(dialog, IDOK);
        })
        .Then([](HWND setup) {
            EXPECT_NE(gApp.catalogue.head, nullptr);  // a new menu stands in the chain while it is named
            Type(setup, IDC_MENU_NAME, "Scratch");
            Click(setup, IDCANCEL);
        })
        .Then([](HWND setup) {
            EXPECT_EQ(ItemText(setup, IDC_MENU_NAME), "");
            Type(setup, IDC_MENU_NAME, "&Tools");
            Click(setup, IDOK);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_APP_NAME, "&Notepad");
            Type(setup, IDC_APP_PATH, "notepad.exe");
            Type(setup, IDC_APP_WORKDIR, "c:\\temp");
            Type(setup, IDC_APP_PARAMS, "notes.txt");
            Click(setup, IDOK);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_APP_NAME, "&Calc");
            Type(setup, IDC_APP_PATH, "calc.exe");
            Click(setup, IDOK);
        });
    Edit(driver);
    EXPECT_EQ(driver.seen.size(), 5u);
    EXPECT_TRUE(ChainsAgree());

    EXPECT_FALSE(IsWindow(oldBar));
    ASSERT_TRUE(IsWindow(gApp.bar));
    EXPECT_TRUE(IsWindowVisible(gApp.bar));
    EXPECT_FALSE(DrainMessages());  // the rebuild does not end the run
    const std::vector<MenuItem> bar = MenuItems(gApp.barMenu);
    ASSERT_EQ(bar.size(), 3u);
    EXPECT_EQ(bar[1].text, "&Tools");
    const std::vector<MenuItem> tools = MenuItems(GetSubMenu(gApp.barMenu, 1));
    ASSERT_EQ(tools.size(), 2u);
    EXPECT_EQ(tools[0].text, "&Notepad");
    EXPECT_EQ(tools[0].id, 1001);
    EXPECT_EQ(tools[1].text, "&Calc");
    EXPECT_EQ(tools[1].id, 1002);
    EXPECT_STREQ(FindAppByCommand(gApp.catalogue, 1002)->path, "calc.exe");

    Catalogue saved;
    ASSERT_EQ(ReadFileText("apps.dat").size(), 48u + 2 * 228u);
    LoadCatalogue(saved);
    ASSERT_NE(saved.head, nullptr);
    EXPECT_STREQ(saved.head->name, "&Tools");
    EXPECT_EQ(saved.head->appCount, 2);
    const AppEntry* notepad = saved.head->apps;
    EXPECT_STREQ(notepad->name, "&Notepad");
    EXPECT_STREQ(notepad->path, "notepad.exe");
    EXPECT_STREQ(notepad->workDir, "c:\\temp");
    EXPECT_STREQ(notepad->params, "notes.txt");
    EXPECT_STREQ(notepad->next->name, "&Calc");
    FreeCatalogue(saved);
}

TEST_F(EditorTest, CancelledNewRecordsLeaveChainsAndListsAsTheyWere) {
    UserMenu* apps = AddMenu("&Apps", {"One", "Two"});
    UserMenu* games = AddMenu("&Games");
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            Select(dialog, IDC_MENUS_LIST, 0);
            Click(dialog, IDC_NEW_APP);
            Click(dialog, IDC_NEW_MENU);
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST), (std::vector<std::string>{"&Apps", "&Games"}));
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), (std::vector<std::string>{"One", "Two"}));
            Click(dialog, IDOK);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_APP_NAME, "Three");
            Type(setup, IDC_APP_PATH, "three.exe");
            Click(setup, IDCANCEL);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_MENU_NAME, "&Tools");
            Click(setup, IDCANCEL);
        });
    Edit(driver);
    EXPECT_EQ(MenuNames(), (std::vector<std::string>{"&Apps", "&Games"}));
    EXPECT_EQ(gApp.catalogue.head, apps);
    EXPECT_EQ(games->next, nullptr);
    EXPECT_EQ(AppNames(apps), (std::vector<std::string>{"One", "Two"}));
    EXPECT_EQ(apps->appCount, 2);
    EXPECT_TRUE(ChainsAgree());
}

// Two menus of one name: the selected entry's own record goes, and with it only its own apps.
TEST_F(EditorTest, DeleteMenuRemovesTheSelectedRecordAfterConfirmation) {
    UserMenu* first = AddMenu("Dup", {"x"});
    AddMenu("Dup", {"y", "z"});
    UserMenu* other = AddMenu("Other");
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            Select(dialog, IDC_MENUS_LIST, 1);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), (std::vector<std::string>{"y", "z"}));
            Click(dialog, IDC_DELETE_MENU);
            EXPECT_EQ(MenuNames().size(), 3u);
            Click(dialog, IDC_DELETE_MENU);
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST), (std::vector<std::string>{"Dup", "Other"}));
            EXPECT_TRUE(ListTexts(dialog, IDC_APPS_LIST).empty());
            Click(dialog, IDOK);
        })
        .Then(Answer(IDNO))
        .Then(Answer(IDYES));
    Edit(driver);
    ASSERT_EQ(driver.seen.size(), 3u);
    EXPECT_EQ(driver.seen[1].title, "Confirm Deletion");
    EXPECT_EQ(driver.seen[1].text, "Are you sure you want to delete\r\nthis menu and all related apps?");
    ASSERT_EQ(gApp.catalogue.head, first);
    EXPECT_EQ(gApp.catalogue.head->next, other);
    EXPECT_EQ(AppNames(gApp.catalogue.head), std::vector<std::string>{"x"});
    EXPECT_TRUE(ChainsAgree());
    EXPECT_EQ(MenuItems(gApp.barMenu).size(), 4u);
}

TEST_F(EditorTest, DeleteAppRemovesTheSelectedRecordDownToAnEmptyMenu) {
    UserMenu* menu = AddMenu("M", {"Same", "Same"});
    CopyText(menu->apps->path, sizeof menu->apps->path, "first.exe");
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            Select(dialog, IDC_MENUS_LIST, 0);
            Select(dialog, IDC_APPS_LIST, 1);
            Click(dialog, IDC_DELETE_APP);
            EXPECT_EQ(gApp.catalogue.head->appCount, 2);
            Click(dialog, IDC_DELETE_APP);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), std::vector<std::string>{"Same"});
            EXPECT_STREQ(gApp.catalogue.head->apps->path, "first.exe");
            Select(dialog, IDC_APPS_LIST, 0);
            Click(dialog, IDC_DELETE_APP);
            EXPECT_TRUE(ListTexts(dialog, IDC_APPS_LIST).empty());
            Click(dialog, IDOK);
        })
        .Then(Answer(IDNO))
        .Then(Answer(IDYES))
        .Then(Answer(IDYES));
    Edit(driver);
    ASSERT_EQ(driver.seen.size(), 4u);
    EXPECT_EQ(driver.seen[1].title, "Confirm Deletion");
    EXPECT_EQ(driver.seen[1].text, "Are you sure you want to delete this app?");
    EXPECT_EQ(menu->appCount, 0);
    EXPECT_EQ(menu->apps, nullptr);
    const std::vector<MenuItem> bar = MenuItems(gApp.barMenu);
    ASSERT_EQ(bar.size(), 3u);
    EXPECT_EQ(bar[1].text, "M");
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(gApp.barMenu, 1)), 0);
    EXPECT_EQ(ReadFileText("apps.dat").size(), 48u);
}

// Two records of one name: a double-click edits the record of the entry clicked, in its place.
TEST_F(EditorTest, ChangesReachTheSelectedRecordAndKeepPositions) {
    UserMenu* first = AddMenu("Dup", {"a"});
    UserMenu* second = AddMenu("Dup", {"Same", "Same"});
    AddMenu("Z");
    AppEntry* firstApp = second->apps;
    AppEntry* secondApp = firstApp->next;
    CopyText(secondApp->workDir, sizeof secondApp->workDir, "d:\\second");
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            DoubleClick(dialog, IDC_MENUS_LIST, 1);
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST), (std::vector<std::string>{"Dup", "Second", "Z"}));
            EXPECT_EQ(ListSelection(dialog, IDC_MENUS_LIST), -1);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), (std::vector<std::string>{"Same", "Same"}));
            Select(dialog, IDC_MENUS_LIST, 1);
            DoubleClick(dialog, IDC_APPS_LIST, 1);
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST), (std::vector<std::string>{"Same", "Renamed"}));
            EXPECT_EQ(ListSelection(dialog, IDC_APPS_LIST), -1);
            Click(dialog, IDOK);
        })
        .Then([](HWND setup) {
            EXPECT_EQ(ItemText(setup, IDC_MENU_NAME), "Dup");
            Type(setup, IDC_MENU_NAME, "Second");
            Click(setup, IDOK);
        })
        .Then([](HWND setup) {
            EXPECT_EQ(ItemText(setup, IDC_APP_WORKDIR), "d:\\second");
            EXPECT_EQ(ItemText(setup, IDC_APP_PATH), "Same.exe");
            Type(setup, IDC_APP_NAME, "Renamed");
            Type(setup, IDC_APP_PARAMS, "-x");
            Click(setup, IDOK);
        });
    Edit(driver);
    EXPECT_STREQ(first->name, "Dup");
    EXPECT_STREQ(second->name, "Second");
    EXPECT_EQ(first->next, second);
    EXPECT_STREQ(firstApp->name, "Same");
    EXPECT_STREQ(firstApp->params, "");
    EXPECT_STREQ(secondApp->name, "Renamed");
    EXPECT_STREQ(secondApp->params, "-x");
    EXPECT_STREQ(secondApp->workDir, "d:\\second");
    EXPECT_EQ(firstApp->next, secondApp);
    EXPECT_EQ(FindAppByCommand(gApp.catalogue, 2002), secondApp);
}

// A refused OK keeps the dialog open and the record as it was; Cancel then leaves it so, and a second
// OK with a name is accepted.
TEST_F(EditorTest, RefusedOkChangesNothing) {
    UserMenu* menu = AddMenu("Keep", {"App"});
    AppEntry* app = menu->apps;
    CopyText(app->workDir, sizeof app->workDir, "w");
    CopyText(app->params, sizeof app->params, "p");
    StartBar();
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            DoubleClick(dialog, IDC_MENUS_LIST, 0);
            EXPECT_STREQ(gApp.catalogue.head->name, "Keep");
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST), std::vector<std::string>{"Keep"});
            Select(dialog, IDC_MENUS_LIST, 0);
            DoubleClick(dialog, IDC_APPS_LIST, 0);
            DoubleClick(dialog, IDC_MENUS_LIST, 0);
            Click(dialog, IDOK);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_MENU_NAME, "");
            Click(setup, IDOK);
            EXPECT_TRUE(IsWindowVisible(setup));
            Click(setup, IDCANCEL);
        })
        .Then(Answer(IDOK))
        .Then([](HWND setup) {
            Type(setup, IDC_APP_PATH, "");
            Type(setup, IDC_APP_WORKDIR, "changed");
            Click(setup, IDOK);
            Type(setup, IDC_APP_PATH, "other.exe");
            Type(setup, IDC_APP_NAME, "");
            Click(setup, IDOK);
            EXPECT_STREQ(gApp.catalogue.head->apps->path, "App.exe");
            Click(setup, IDCANCEL);
        })
        .Then(Answer(IDOK))
        .Then(Answer(IDOK))
        .Then([](HWND setup) {
            Type(setup, IDC_MENU_NAME, "");
            Click(setup, IDOK);
            Type(setup, IDC_MENU_NAME, "Kept");
            Click(setup, IDOK);
        })
        .Then(Answer(IDOK));
    Edit(driver);
    ASSERT_EQ(driver.seen.size(), 8u);
    EXPECT_EQ(driver.seen[2].text, "The menu must have a name!");
    EXPECT_EQ(driver.seen[7].text, "The menu must have a name!");
    EXPECT_EQ(driver.seen[4].text, "The application must have a name\r\nand associated filename.");
    EXPECT_EQ(driver.seen[5].text, "The application must have a name\r\nand associated filename.");
    EXPECT_STREQ(menu->name, "Kept");
    EXPECT_STREQ(app->path, "App.exe");
    EXPECT_STREQ(app->name, "App");
    EXPECT_STREQ(app->workDir, "w");
    EXPECT_STREQ(app->params, "p");
}

TEST_F(EditorTest, LongTextsAreCutToTheirFields) {
    AddMenu("M");
    StartBar();
    const std::string longText(100, 'x');
    ModalDriver driver;
    driver
        .Then([](HWND dialog) {
            Click(dialog, IDC_NEW_MENU);
            Select(dialog, IDC_MENUS_LIST, 0);
            Click(dialog, IDC_NEW_APP);
            EXPECT_EQ(ListTexts(dialog, IDC_MENUS_LIST)[1], std::string(29, 'x'));
            EXPECT_EQ(ListTexts(dialog, IDC_APPS_LIST)[0], std::string(29, 'n'));
            Click(dialog, IDOK);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_MENU_NAME, std::string(35, 'x'));
            Click(setup, IDOK);
        })
        .Then([](HWND setup) {
            Type(setup, IDC_APP_NAME, std::string(40, 'n'));
            Type(setup, IDC_APP_PATH, std::string(100, 'p'));
            Type(setup, IDC_APP_WORKDIR, std::string(100, 'w'));
            Type(setup, IDC_APP_PARAMS, std::string(40, 'a'));
            Click(setup, IDOK);
        });
    Edit(driver);
    ASSERT_NE(gApp.catalogue.head->next, nullptr);
    EXPECT_EQ(std::string(gApp.catalogue.head->next->name), std::string(29, 'x'));
    const AppEntry* app = gApp.catalogue.head->apps;
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(std::string(app->name), std::string(29, 'n'));
    EXPECT_EQ(std::string(app->path), std::string(79, 'p'));
    EXPECT_EQ(std::string(app->workDir), std::string(79, 'w'));
    EXPECT_EQ(std::string(app->params), std::string(29, 'a'));
}

// Keys go through the dialog's own loop, as typed: Escape does nothing, Enter on a list is OK.
TEST_F(EditorTest, EscapeIsIgnoredAndEnterOnAListCommits) {
    AddMenu("M", {"a"});
    StartBar();
    HWND oldBar = gApp.bar;
    HWND editor = nullptr;
    ModalDriver driver;
    driver
        .Then([&editor](HWND dialog) {
            editor = dialog;
            SetFocus(GetDlgItem(dialog, IDC_MENUS_LIST));
            PostMessageA(GetDlgItem(dialog, IDC_MENUS_LIST), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        })
        .Then([&editor](HWND dialog) {
            EXPECT_EQ(dialog, editor);
            EXPECT_TRUE(IsWindowVisible(dialog));
            HWND list = GetDlgItem(dialog, IDC_APPS_LIST);
            SetFocus(list);
            PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        });
    Edit(driver);
    EXPECT_FALSE(IsWindow(editor));
    EXPECT_FALSE(IsWindow(oldBar));
    EXPECT_TRUE(IsWindow(gApp.bar));
    EXPECT_EQ(ReadFileText("apps.dat").size(), 48u + 228u);
}


// What apps.dat holds, as "menu[app,app] menu[]".
std::string SavedCatalogue() {
    Catalogue saved;
    if (GetFileAttributesA("apps.dat") == INVALID_FILE_ATTRIBUTES) return "(no file)";
    LoadCatalogue(saved);
    std::string text;
    for (const UserMenu* menu = saved.head; menu != nullptr; menu = menu->next) {
        if (!text.empty()) text += " ";
        text += std::string(menu->name) + "[";
        for (const AppEntry* app = menu->apps; app != nullptr; app = app->next) {
            text += std::string(app->name) + (app->next != nullptr ? "," : "");
        }
        text += "]";
    }
    FreeCatalogue(saved);
    return text;
}

// Kelmar ended while a Setup dialog is open (WM_CLOSE posted to the bar, or a log-off's
// WM_QUERYENDSESSION and WM_ENDSESSION) saves every change accepted before, here a deletion, and
// nothing of the open dialog's work; the dialogs unwind and the run ends with exit code 0.
TEST_F(EditorTest, EndingWithASetupDialogOpenSavesOnlyAcceptedWork) {
    const auto postClose = [] { PostMessageA(gApp.bar, WM_CLOSE, 0, 0); };
    const auto logOff = [] {
        EXPECT_NE(SendMessageA(gApp.bar, WM_QUERYENDSESSION, 0, 0), 0);
        SendMessageA(gApp.bar, WM_ENDSESSION, TRUE, 0);
    };
    struct Case {
        const char* what;
        std::function<void(HWND)> open;  // in User Menus, after the deletion
        std::function<void(HWND)> type;  // in the Setup dialog
        std::function<void()> end;
    } cases[] = {
        {"New Menu, WM_CLOSE", [](HWND d) { Click(d, IDC_NEW_MENU); },
         [](HWND s) { Type(s, IDC_MENU_NAME, "&Half"); }, postClose},
        {"New App, WM_CLOSE", [](HWND d) { Click(d, IDC_NEW_APP); },
         [](HWND s) { Type(s, IDC_APP_NAME, "Half"); Type(s, IDC_APP_PATH, "half.exe"); }, postClose},
        {"rename not accepted, WM_CLOSE", [](HWND d) { DoubleClick(d, IDC_MENUS_LIST, 1); },
         [](HWND s) { Type(s, IDC_MENU_NAME, "&Renamed"); }, postClose},
        {"New Menu, log-off", [](HWND d) { Click(d, IDC_NEW_MENU); },
         [](HWND s) { Type(s, IDC_MENU_NAME, "&Half"); }, logOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA("apps.dat");
        AddMenu("&Apps", {"One", "Two"});
        AddMenu("&Games", {"Mines"});
        ASSERT_TRUE(RegisterBarClass() || GetLastError() == ERROR_CLASS_ALREADY_EXISTS);
        StartBar();
        ModalDriver driver;
        driver
            .Then([&c](HWND dialog) {
                Select(dialog, IDC_MENUS_LIST, 0);
                SendDlgItemMessageA(dialog, IDC_APPS_LIST, LB_SETCURSEL, 1, 0);
                Click(dialog, IDC_DELETE_APP);
                c.open(dialog);  // returns only once Kelmar has ended with the Setup dialog open
            })
            .Then(Answer(IDYES))
            .Then([&c](HWND setup) {
                c.type(setup);
                c.end();
            });
        Edit(driver);
        int exitCode = -1;
        EXPECT_TRUE(DrainMessages(&exitCode));
        EXPECT_EQ(exitCode, 0);
        EXPECT_FALSE(IsWindow(gApp.bar));
        EXPECT_EQ(gApp.catalogue.head, nullptr);  // released once, after the dialogs were ended
        EXPECT_EQ(SavedCatalogue(), "&Apps[One] &Games[Mines]");
    }
}

}  // namespace
