// The Menu Setup dialog: names a new menu or renames one, and keeps the User Menus dialog's Menus list
// in step with the chain.
#include <windows.h>

#include "core/app.h"
#include "core/procedures.h"
#include "core/text.h"
#include "dialogs/editor.h"
#include "resources/resource.h"

namespace {

constexpr const char* kMenuNeedsName = "The menu must have a name!";
constexpr const char* kNoMemoryForMenu = "Not enough memory for a new menu.";

MenuSetupFields& Fields() { return gApp.menuSetup; }

// Every way out: the request goes, and the working fields with it.
void Finish(HWND dialog, INT_PTR result) {
    ReleaseRecord(Fields().request);
    Fields() = MenuSetupFields();
    EndDialog(dialog, result);
}

void OnInitDialog(HWND dialog, EditRequest* request) {
    CenterOnScreen(dialog);
    MenuSetupFields& fields = Fields();
    fields.dialog = dialog;
    fields.request = request;
    fields.menu = request->menu;
    fields.isNew = request->isNew;
    if (fields.isNew != 0) {
        UserMenu* menu = NewRecord<UserMenu>();
        if (menu == nullptr) {
            WarnBox(kNoMemoryForMenu);
            Finish(dialog, 0);
            return;
        }
        // In the chain from the start, at its end; Cancel takes it out again.
        LinkMenuAfter(gApp.catalogue, request->menu, menu);
        fields.menu = menu;
    }
    HWND edit = GetDlgItem(dialog, IDC_MENU_NAME);
    SetFocus(edit);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(fields.menu->name));
    fields.listIndex = static_cast<int>(SendDlgItemMessageA(gApp.userMenusDialog, IDC_MENUS_LIST, LB_GETCURSEL, 0, 0));
}

// The name is read aside and reaches the record only once it is accepted, so a refused OK changes nothing.
void OnOk(HWND dialog) {
    MenuSetupFields& fields = Fields();
    char name[sizeof fields.menu->name] = "";
    SendDlgItemMessageA(dialog, IDC_MENU_NAME, WM_GETTEXT, kMenuNameCount, reinterpret_cast<LPARAM>(name));
    if (name[0] == '\0') {
        WarnBox(kMenuNeedsName);
        return;
    }
    CopyText(fields.menu->name, sizeof fields.menu->name, name);
    PutUserMenusEntry(IDC_MENUS_LIST, fields.isNew != 0, fields.listIndex, fields.menu->name);
    Finish(dialog, 1);
}

void OnCancel(HWND dialog) {
    if (Fields().isNew != 0) DeleteMenu(gApp.catalogue, Fields().menu);
    Finish(dialog, 1);
}

constexpr SetupHandlers kHandlers = {OnInitDialog, OnOk, OnCancel};

}  // namespace

void CancelMenuSetup() {
    if (Fields().request != nullptr) OnCancel(Fields().dialog);
}

extern "C" INT_PTR CALLBACK MenuProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return SetupMessage(kHandlers, dialog, message, wParam, lParam);
}
