// The bar window and its procedure.
#include "core/bar.h"

#include "catalogue/menubar.h"
#include "core/app.h"
#include "core/procedures.h"
#include "launch/launcher.h"
#include "resources/resource.h"

namespace {

constexpr const char* kMenuItemNotFound = "Menu item not found.";
constexpr const char* kCannotCreateBar = "Could not create the Kelmar bar!";
constexpr const char* kNoTimer = "Unable to install system timer!";
constexpr const char* kCannotUpdateTime = "Error modifying time!";
constexpr UINT kClockPeriod = 6000;

// A modal dialog owned by the bar; its result is not used.
void ShowDialog(int templateId, DLGPROC procedure) {
    DialogBoxParamA(gApp.instance, MAKEINTRESOURCEA(templateId), gApp.bar, procedure, 0);
}

void OnCommand(WORD command) {
    switch (command) {
        case CMD_EDIT_MENUS: ShowDialog(IDD_USERMENUS, EditProc); return;
        case CMD_OPTIONS: ShowDialog(IDD_OPTIONS, OptionsProc); return;
        case CMD_ABOUT: ShowDialog(IDD_ABOUT, AboutProc); return;
        case CMD_EXIT: ExitKelmar(); return;
        default: break;
    }
    AppEntry* app = FindAppByCommand(gApp.catalogue, command);
    if (app == nullptr) {
        WarnBox(kMenuItemNotFound);
        return;
    }
    LaunchApp(*app);
}

}  // namespace

bool RegisterBarClass() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = KelmarWinProc;
    windowClass.hInstance = gApp.instance;
    // No resource bears this name, so the bar keeps the platform's default icon.
    windowClass.hIcon = LoadIconA(gApp.instance, "IDI_KELMAR");
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_BARMENU);
    windowClass.lpszClassName = kBarClass;
    return RegisterClassA(&windowClass) != 0;
}

bool CreateBarWindow() {
    const DWORD exStyle = gApp.stayOnTop != 0 ? WS_EX_TOPMOST : 0;
    gApp.bar = CreateWindowExA(exStyle, kBarClass, kBarTitle, WS_POPUP | WS_DLGFRAME, 0, 0, gApp.screenWidth,
                               GetSystemMetrics(SM_CYCAPTION) + 3, nullptr, nullptr, gApp.instance, nullptr);
    if (gApp.bar == nullptr) return false;
    gApp.barMenu = GetMenu(gApp.bar);
    BuildBarMenus();
    ShowWindow(gApp.bar, SW_RESTORE);
    return true;
}

void RebuildBar() {
    gApp.quitOnDestroy = false;
    gApp.rebuilding = true;
    DestroyWindow(gApp.bar);
    if (!CreateBarWindow()) FatalError(kCannotCreateBar);
    gApp.rebuilding = false;
    gApp.quitOnDestroy = true;
}

void ExitKelmar() {
    // Shutdown first, so that a warning about a failed save stays on screen until the user reads it.
    Shutdown();
    PostQuitMessage(0);
}

extern "C" LRESULT CALLBACK KelmarWinProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            if (gApp.quitOnDestroy) PostQuitMessage(0);
            return 0;
        case WM_SHOWWINDOW:
            // Shown or hidden, the clock (re)starts on the bar held in the state.
            if (SetTimer(gApp.bar, CLOCK_TIMER_ID, kClockPeriod, nullptr) == 0) WarnBox(kNoTimer);
            return 0;
        case WM_TIMER:
            if (wParam == CLOCK_TIMER_ID && !UpdateClock()) WarnBox(kCannotUpdateTime);
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:  // Alt+F4 and the like end the run as Exit does, saving everything
            ExitKelmar();
            return 0;
        case WM_ENDSESSION:
            if (wParam != FALSE) Shutdown();
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
