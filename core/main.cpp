// Kelmar's entry: settings, the bar's class, the catalogue and the bar, then the message loop.
#include <windows.h>

#include "catalogue/catalogue_file.h"
#include "core/app.h"
#include "core/bar.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR /*commandLine*/, int /*showCommand*/) {
    gApp.instance = instance;
    if (!LoadSettings(previousInstance)) return 0;
    if (!RegisterBarClass()) return 0;
    LoadCatalogue(gApp.catalogue);
    if (!CreateBarWindow()) return 0;

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(gApp.bar, gApp.accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
