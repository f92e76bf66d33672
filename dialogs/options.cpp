// The Options dialog: stay on top, the hourly chime and its sound file. OK takes the settings in and
// writes the settings file at once, as User Menus' OK writes apps.dat, so that an accepted change outlives
// a run that ends without its shutdown; a change of stay-on-top takes effect at once by rebuilding the bar.
#include "core/app.h"
#include "core/bar.h"
#include "core/procedures.h"
#include "core/text.h"
#include "resources/resource.h"

namespace {

constexpr const char* kNoWavName = "Please enter a WAV filename.";

void OnInitOptions(HWND dialog) {
    CenterOnScreen(dialog);
    SendDlgItemMessageA(dialog, IDC_CHIME_WAV, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(gApp.chimeWav));
    SendDlgItemMessageA(dialog, IDC_CHIME_WAV, EM_LIMITTEXT, sizeof gApp.chimeWav - 1, 0);
    // The stored values go to the boxes as they are; a value other than 0 or 1 shows as checked.
    CheckDlgButton(dialog, IDC_CHIME_HOURLY, static_cast<UINT>(gApp.chimeOnHour));
    CheckDlgButton(dialog, IDC_STAY_ON_TOP, static_cast<UINT>(gApp.stayOnTop));
}

// False when the OK is refused and the dialog stays open.
bool OnOptionsOk(HWND dialog) {
    // The edit's limit counts characters, so under a double-byte code page it holds more than the 79 bytes
    // of the setting: the read ends where the buffer does, and the copy below after the last whole character.
    char wav[sizeof gApp.chimeWav] = "";
    SendDlgItemMessageA(dialog, IDC_CHIME_WAV, WM_GETTEXT, sizeof wav, reinterpret_cast<LPARAM>(wav));
    const int32_t chime = IsDlgButtonChecked(dialog, IDC_CHIME_HOURLY) != BST_UNCHECKED ? 1 : 0;
    if (wav[0] == '\0' && chime != 0) {
        WarnBox(kNoWavName);
        return false;
    }
    gApp.chimeOnHour = chime;
    CopyText(gApp.chimeWav, sizeof gApp.chimeWav, wav);

    const int32_t stayOnTop = static_cast<int32_t>(IsDlgButtonChecked(dialog, IDC_STAY_ON_TOP));
    if (stayOnTop != gApp.stayOnTop) {
        // Stored first, so the new bar takes it and a failed rebuild still saves it.
        gApp.stayOnTop = stayOnTop;
        // The bar owns this dialog: the rebuild destroys it, and its modal loop ends with it.
        // Nothing below may touch the dialog, not even to end it.
        RebuildBar();
    } else {
        EndDialog(dialog, 1);
    }
    // Last, with the dialog gone (or ending) and the bar in place: a failed write warns over the bar.
    SaveSettings();
    return true;
}

}  // namespace

extern "C" INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitOptions(dialog);
            return TRUE;  // the focus goes to the first tab stop, OK
        case WM_COMMAND:
            if (wParam == IDOK) return OnOptionsOk(dialog) ? TRUE : FALSE;
            if (wParam == IDCANCEL) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}
