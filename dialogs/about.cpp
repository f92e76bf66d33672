// The About box: the product text, the credits and both icons, all in its template.
#include "core/app.h"
#include "core/procedures.h"

// Only OK closes the box: Escape sends IDCANCEL, which is left unhandled on purpose.
extern "C" INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            CenterOnScreen(dialog);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) != IDOK) return FALSE;
            EndDialog(dialog, 1);
            return TRUE;
        default:
            return FALSE;
    }
}
