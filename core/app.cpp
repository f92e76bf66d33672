// The program-wide state, the settings file, shutdown, fatal errors and the message-box helpers.
#include "core/app.h"

#include "catalogue/catalogue_file.h"
#include "core/bar.h"
#include "core/text.h"
#include "resources/resource.h"

AppState gApp;

namespace {

constexpr const char* kWarnCaption = "Kelmar";
constexpr const char* kFatalCaption = "Fatal Kelmar Error";
constexpr const char* kContactAddress = KELMAR_CONTACT_ADDRESS;
constexpr const char* kCannotWriteSettings = "Error writing options to INI!";

// Both flags are written back as decimal text of the value held, whatever it is.
BOOL WriteFlag(const char* key, int32_t value) {
    char text[16] = "";
    AppendDecimal(text, sizeof text, value);
    return WritePrivateProfileStringA(kSettingsSection, key, text, kSettingsFileWrite);
}

bool SettingsFileOpens() {
    char windowsDir[kMaxPath];
    if (!GetWindowsDir(windowsDir, sizeof windowsDir)) return false;
    char path[kMaxPath + 16];
    CopyText(path, sizeof path, windowsDir);
    AppendText(path, sizeof path, "\\");
    AppendText(path, sizeof path, kSettingsFileWrite);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

// Everything of Shutdown after the saving.
void ReleaseAll() {
    FreeCatalogue(gApp.catalogue);
    DestroyWindow(gApp.bar);
    UnregisterClassA(kBarClass, gApp.instance);
    KillTimer(gApp.bar, CLOCK_TIMER_ID);  // already gone with the window; kept for the order of teardown
}

}  // namespace

bool LoadSettings(HINSTANCE previousInstance) {
    if (previousInstance != nullptr) {
        SetFocus(FindWindowA(nullptr, kBarTitle));
        return false;
    }
    gApp.accelerators = LoadAcceleratorsA(gApp.instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));

    if (!SettingsFileOpens()) WriteDefaultSettings();

    gApp.chimeOnHour = static_cast<int32_t>(GetPrivateProfileIntA(kSettingsSection, "ChimeOnHour", 0, kSettingsFileRead));
    gApp.stayOnTop = static_cast<int32_t>(GetPrivateProfileIntA(kSettingsSection, "StayOnTop", 1, kSettingsFileRead));
    // A longer value comes cut by the platform, which may leave half a character (or, under Wine, a stale
    // byte) at the end; the copy keeps only whole characters.
    char wav[sizeof gApp.chimeWav] = "";
    GetPrivateProfileStringA(kSettingsSection, "Chime WAV", "", wav, sizeof wav, kSettingsFileRead);
    CopyText(gApp.chimeWav, sizeof gApp.chimeWav, wav);

    gApp.screenWidth = GetSystemMetrics(SM_CXSCREEN);
    gApp.screenHeight = GetSystemMetrics(SM_CYSCREEN);
    return true;
}

void WriteDefaultSettings() {
    char thanks[160] = "Thanks for trying Kelmar!  If you find\r\nany bugs, please report them to\r\n";
    AppendText(thanks, sizeof thanks, kContactAddress);
    AppendText(thanks, sizeof thanks, "!");
    MessageBoxA(nullptr, thanks, kWarnCaption, MB_OK | MB_ICONINFORMATION);

    WritePrivateProfileStringA(kSettingsSection, "StayOnTop", "1", kSettingsFileWrite);
    WritePrivateProfileStringA(kSettingsSection, "ChimeOnHour", "0", kSettingsFileWrite);
    WritePrivateProfileStringA(kSettingsSection, "Chime WAV", "", kSettingsFileWrite);
}

void SaveSettings() {
    if (!WriteFlag("StayOnTop", gApp.stayOnTop)) WarnBox(kCannotWriteSettings);
    WriteFlag("ChimeOnHour", gApp.chimeOnHour);
    WritePrivateProfileStringA(kSettingsSection, "Chime WAV", gApp.chimeWav, kSettingsFileWrite);
}

void Shutdown() {
    // Ended with a Setup dialog open, Kelmar saves without the dialog's unaccepted work; the dialog ends
    // before the bar and the catalogue go, and its modal loop then unwinds touching nothing released.
    CancelMenuSetup();
    CancelAppSetup();
    if (!gApp.fatalState) SaveCatalogue(gApp.catalogue);
    SaveSettings();
    ReleaseAll();
}

void FatalError(const char* text) {
    gApp.fatalState = true;
    // A bar that cannot be built again during a rebuild must not cost the user's edits: the catalogue,
    // known whole here, and the settings are saved before the box. Everywhere else the box comes first.
    const bool keepEdits = gApp.rebuilding;
    if (keepEdits) {
        SaveCatalogue(gApp.catalogue);
        SaveSettings();
    }
    MessageBoxA(nullptr, text, kFatalCaption, MB_OK);
    CloseCatalogueStream();  // apps.dat, when the loader gave up in the middle of it
    if (keepEdits) {
        ReleaseAll();
    } else {
        Shutdown();  // the settings are saved, the catalogue (fatalState) is not
    }
    ExitProcess(1);
}

void WarnBox(const char* text) {
    MessageBoxA(gApp.bar, text, kWarnCaption, MB_OK | MB_ICONEXCLAMATION);
}

void CenterOnScreen(HWND window) {
    RECT rect;
    if (!GetWindowRect(window, &rect)) return;
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    MoveWindow(window, (gApp.screenWidth - width) / 2, (gApp.screenHeight - height) / 2, width, height, FALSE);
}
