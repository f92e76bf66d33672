// The baseline of the start-up and memory figures: the barest Win32 window program, a popup window with
// a menu bar across the top of the screen, built with the same toolchain and flags as KELMAR32.EXE.
#include <windows.h>

static LRESULT CALLBACK BareProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = BareProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
    windowClass.lpszClassName = "BareClass";
    if (RegisterClassA(&windowClass) == 0) return 1;
    HMENU menu = CreateMenu();
    AppendMenuA(menu, MF_STRING, 1, "Bare");
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "BareClass", "Bare", WS_POPUP | WS_DLGFRAME, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYCAPTION) + 3, nullptr, menu,
                                  instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, SW_RESTORE);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
