// The Application Setup dialog: creates an application entry in a menu or changes one, and keeps the
// User Menus dialog's Applications list in step with the menu's chain.
#include <windows.h>

#include "core/app.h"
#include "core/procedures.h"
#include "core/text.h"
#include "dialogs/editor.h"
#include "resources/resource.h"

namespace {

constexpr const char* kAppNeedsNameAndFile = "The application must have a name\r\nand associated filename.";
constexpr const char* kNoMemoryForApp = "Not enough memory for a new application.";

AppSetupFields& Fields() { return gApp.appSetup; }

void Finish(HWND dialog, INT_PTR result) {
    ReleaseRecord(Fields().request);
    Fields() = AppSetupFields();
    EndDialog(dialog, result);
}

void SetEdit(HWND dialog, int id, const char* text) {
    SendDlgItemMessageA(dialog, id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void ReadEdit(HWND dialog, int id, int count, char* out) {
    SendDlgItemMessageA(dialog, id, WM_GETTEXT, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(out));
}

void OnInitDialog(HWND dialog, EditRequest* request) {
    CenterOnScreen(dialog);
    AppSetupFields& fields = Fields();
    fields.dialog = dialog;
    fields.request = request;
    fields.isNew = request->isNew;
    fields.menu = request->menu;
    fields.app = request->app;
    if (fields.isNew != 0) {
        // Joins the menu only at an accepted OK.
        fields.app = NewRecord<AppEntry>();
        if (fields.app == nullptr) {
            WarnBox(kNoMemoryForApp);
            Finish(dialog, 0);
            return;
        }
    }
    fields.listIndex = static_cast<int>(SendDlgItemMessageA(gApp.userMenusDialog, IDC_APPS_LIST, LB_GETCURSEL, 0, 0));
    SetEdit(dialog, IDC_APP_PATH, fields.app->path);
    SetEdit(dialog, IDC_APP_NAME, fields.app->name);
    SetEdit(dialog, IDC_APP_WORKDIR, fields.app->workDir);
    SetEdit(dialog, IDC_APP_PARAMS, fields.app->params);
    SetFocus(GetDlgItem(dialog, IDC_APP_NAME));
}

// The edits are read aside and reach the record only once they are accepted, so a refused OK changes nothing.
void OnOk(HWND dialog) {
    AppSetupFields& fields = Fields();
    AppEntry* app = fields.app;
    char path[sizeof app->path] = "";
    char name[sizeof app->name] = "";
    char params[sizeof app->params] = "";
    char workDir[sizeof app->workDir] = "";
    ReadEdit(dialog, IDC_APP_PATH, kAppPathCount, path);
    ReadEdit(dialog, IDC_APP_NAME, kAppNameCount, name);
    if (path[0] == '\0' || name[0] == '\0') {
        WarnBox(kAppNeedsNameAndFile);
        return;
    }
    ReadEdit(dialog, IDC_APP_PARAMS, kAppParamsCount, params);
    ReadEdit(dialog, IDC_APP_WORKDIR, kAppWorkDirCount, workDir);
    CopyText(app->path, sizeof app->path, path);
    CopyText(app->name, sizeof app->name, name);
    CopyText(app->params, sizeof app->params, params);
    CopyText(app->workDir, sizeof app->workDir, workDir);

    if (fields.isNew != 0) LinkAppAfter(*fields.menu, fields.request->app, app);
    PutUserMenusEntry(IDC_APPS_LIST, fields.isNew != 0, fields.listIndex, app->name);
    Finish(dialog, 1);
}

void OnCancel(HWND dialog) {
    if (Fields().isNew != 0) ReleaseRecord(Fields().app);  // never linked
    Finish(dialog, 1);
}

constexpr SetupHandlers kHandlers = {OnInitDialog, OnOk, OnCancel};

}  // namespace

void CancelAppSetup() {
    if (Fields().request != nullptr) OnCancel(Fields().dialog);
}

extern "C" INT_PTR CALLBACK AppProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return SetupMessage(kHandlers, dialog, message, wParam, lParam);
}
