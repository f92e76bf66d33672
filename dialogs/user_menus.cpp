// The User Menus dialog: the menus beside the selected menu's applications, deletions, the openings of
// the two Setup dialogs and the commit that rebuilds the bar and saves apps.dat.
#include <windows.h>

#include "catalogue/catalogue_file.h"
#include "core/app.h"
#include "core/bar.h"
#include "core/procedures.h"
#include "dialogs/editor.h"
#include "resources/resource.h"

namespace {

constexpr const char* kSelectMenuFirst = "Please select a menu first.";
constexpr const char* kSelectAppFirst = "Please select an app first";
constexpr const char* kMenuNotFound = "Menu not found in linked list!";
constexpr const char* kAppNotFound = "Application not found in linked list!";
constexpr const char* kNoMemoryForRequest = "Not enough memory to open the setup dialog.";
constexpr const char* kConfirmCaption = "Confirm Deletion";
constexpr const char* kConfirmDeleteMenu = "Are you sure you want to delete\r\nthis menu and all related apps?";
constexpr const char* kConfirmDeleteApp = "Are you sure you want to delete this app?";

int Selection(HWND dialog, int list) {
    return static_cast<int>(SendDlgItemMessageA(dialog, list, LB_GETCURSEL, 0, 0));
}

// The lists follow chain order, so an entry's index is its record's chain position; looking records
// up by position keeps two entries of one name apart.
UserMenu* SelectedMenu(HWND dialog) {
    const int index = Selection(dialog, IDC_MENUS_LIST);
    if (index < 0) return nullptr;
    UserMenu* menu = MenuAt(gApp.catalogue, index);
    if (menu == nullptr) WarnBox(kMenuNotFound);
    return menu;
}

void FillAppsList(HWND dialog, const UserMenu& menu) {
    SendDlgItemMessageA(dialog, IDC_APPS_LIST, LB_RESETCONTENT, 0, 0);
    for (AppEntry* app = menu.apps; app != nullptr; app = app->next) {
        SendDlgItemMessageA(dialog, IDC_APPS_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(app->name));
    }
}

bool Confirm(HWND dialog, const char* text) {
    return MessageBoxA(dialog, text, kConfirmCaption, MB_YESNO) == IDYES;
}

// Hands a request to a Setup dialog, which owns it from its WM_INITDIALOG on. A dialog that cannot be
// made at all (-1) never saw the request, so it is released here.
void OpenSetup(HWND dialog, int templateId, DLGPROC procedure, AppEntry* app, UserMenu* menu, int32_t isNew) {
    EditRequest* request = NewRecord<EditRequest>();
    if (request == nullptr) {
        WarnBox(kNoMemoryForRequest);
        return;
    }
    request->app = app;
    request->menu = menu;
    request->isNew = isNew;
    const INT_PTR result = DialogBoxParamA(gApp.instance, MAKEINTRESOURCEA(templateId), dialog, procedure,
                                           reinterpret_cast<LPARAM>(request));
    if (result == -1) ReleaseRecord(request);
}

void OnInitDialog(HWND dialog) {
    CenterOnScreen(dialog);
    gApp.userMenusDialog = dialog;
    for (UserMenu* menu = gApp.catalogue.head; menu != nullptr; menu = menu->next) {
        SendDlgItemMessageA(dialog, IDC_MENUS_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(menu->name));
    }
}

void ShowSelectedMenusApps(HWND dialog) {
    UserMenu* menu = SelectedMenu(dialog);
    if (menu != nullptr) FillAppsList(dialog, *menu);
}

void ChangeSelectedMenu(HWND dialog) {
    if (Selection(dialog, IDC_MENUS_LIST) < 0) {
        WarnBox(kSelectMenuFirst);
        return;
    }
    UserMenu* menu = SelectedMenu(dialog);
    if (menu != nullptr) OpenSetup(dialog, IDD_MENUSETUP, MenuProc, nullptr, menu, 0);
}

void ChangeSelectedApp(HWND dialog) {
    if (Selection(dialog, IDC_MENUS_LIST) < 0) {
        WarnBox(kSelectMenuFirst);
        return;
    }
    UserMenu* menu = SelectedMenu(dialog);
    if (menu == nullptr) return;
    const int index = Selection(dialog, IDC_APPS_LIST);
    if (index < 0) return;  // a double-click below the last entry
    AppEntry* app = AppAt(*menu, index);
    if (app == nullptr) {
        WarnBox(kAppNotFound);
        return;
    }
    OpenSetup(dialog, IDD_APPSETUP, AppProc, app, menu, 0);
}

void NewMenu(HWND dialog) {
    OpenSetup(dialog, IDD_MENUSETUP, MenuProc, nullptr, LastMenu(gApp.catalogue), 1);
}

void NewApp(HWND dialog) {
    if (Selection(dialog, IDC_MENUS_LIST) < 0) {
        WarnBox(kSelectMenuFirst);
        return;
    }
    UserMenu* menu = SelectedMenu(dialog);
    if (menu != nullptr) OpenSetup(dialog, IDD_APPSETUP, AppProc, LastApp(*menu), menu, 1);
}

void DeleteSelectedMenu(HWND dialog) {
    const int index = Selection(dialog, IDC_MENUS_LIST);
    if (index < 0) {
        WarnBox(kSelectMenuFirst);
        return;
    }
    UserMenu* menu = SelectedMenu(dialog);
    if (menu == nullptr) return;
    if (!Confirm(dialog, kConfirmDeleteMenu)) return;
    DeleteMenu(gApp.catalogue, menu);
    SendDlgItemMessageA(dialog, IDC_MENUS_LIST, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendDlgItemMessageA(dialog, IDC_APPS_LIST, LB_RESETCONTENT, 0, 0);
}

// True when the "select an app" warning was shown: the one case the procedure reports as handled.
bool DeleteSelectedApp(HWND dialog) {
    if (Selection(dialog, IDC_MENUS_LIST) < 0) {
        WarnBox(kSelectMenuFirst);
        return false;
    }
    UserMenu* menu = SelectedMenu(dialog);
    if (menu == nullptr) return false;
    const int index = Selection(dialog, IDC_APPS_LIST);
    if (index < 0) {
        WarnBox(kSelectAppFirst);
        return true;
    }
    if (!Confirm(dialog, kConfirmDeleteApp)) return false;
    AppEntry* app = AppAt(*menu, index);
    if (app == nullptr) {
        WarnBox(kAppNotFound);
        return false;
    }
    DeleteApp(*menu, app);
    SendDlgItemMessageA(dialog, IDC_APPS_LIST, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    return false;
}

// Destroying the old bar destroys this dialog with it, so after RebuildBar nothing may touch the
// dialog but through its handle; EndDialog on the dead handle then does nothing.
void Commit(HWND dialog) {
    RebuildBar();
    SaveCatalogue(gApp.catalogue);
    EndDialog(dialog, 1);
}

INT_PTR OnCommand(HWND dialog, WORD command, WORD notification) {
    switch (command) {
        case IDOK: Commit(dialog); return TRUE;
        case IDC_MENUS_LIST:
            if (notification == LBN_SELCHANGE) ShowSelectedMenusApps(dialog);
            if (notification == LBN_DBLCLK) ChangeSelectedMenu(dialog);
            return FALSE;
        case IDC_APPS_LIST:
            if (notification == LBN_DBLCLK) ChangeSelectedApp(dialog);
            return FALSE;
        case IDC_NEW_MENU: NewMenu(dialog); return FALSE;
        case IDC_NEW_APP: NewApp(dialog); return FALSE;
        case IDC_DELETE_MENU: DeleteSelectedMenu(dialog); return FALSE;
        case IDC_DELETE_APP: return DeleteSelectedApp(dialog) ? TRUE : FALSE;
        default: return FALSE;  // IDCANCEL among them: Escape does not close the editor
    }
}

}  // namespace

void PutUserMenusEntry(int listId, bool append, int index, const char* text) {
    HWND list = GetDlgItem(gApp.userMenusDialog, listId);
    if (append) {
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        return;
    }
    SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
}

INT_PTR SetupMessage(const SetupHandlers& handlers, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            handlers.open(dialog, reinterpret_cast<EditRequest*>(lParam));
            return FALSE;  // the opening has put the focus where typing starts
        case WM_COMMAND:
            if (wParam == IDOK) {
                handlers.ok(dialog);
                return TRUE;
            }
            if (wParam == IDCANCEL) {
                handlers.cancel(dialog);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

extern "C" INT_PTR CALLBACK EditProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        default:
            return FALSE;
    }
}
