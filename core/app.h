// The program-wide state (AppState) and the run's beginning and end: settings, shutdown, fatal errors,
// and the two helpers every window uses, WarnBox (declared with the host functions) and CenterOnScreen.
#pragma once

#include <windows.h>

#include <cstdint>

#include "catalogue/records.h"
#include "core/host.h"
#include "dialogs/editor.h"

struct AppState {
    HINSTANCE instance = nullptr;
    HWND bar = nullptr;
    HMENU barMenu = nullptr;
    int32_t screenWidth = 0;
    int32_t screenHeight = 0;
    HACCEL accelerators = nullptr;

    int32_t stayOnTop = 1;
    int32_t chimeOnHour = 0;
    char chimeWav[80] = {};

    bool quitOnDestroy = true;
    bool fatalState = false;
    bool rebuilding = false;  // a fatal error now must keep the user's edits: save them first

    Catalogue catalogue;
    HWND userMenusDialog = nullptr;
    MenuSetupFields menuSetup;
    AppSetupFields appSetup;
};

extern AppState gApp;

constexpr const char* kSettingsSection = "Options";
constexpr const char* kSettingsFileRead = "Kelmar.INI";
constexpr const char* kSettingsFileWrite = "kelmar.ini";

// Settings: read at start-up (defaults written on the first run), written at every OK of the Options
// dialog and again at shutdown.
bool LoadSettings(HINSTANCE previousInstance);
void WriteDefaultSettings();
void SaveSettings();

// Orderly teardown: save the catalogue (unless a fatal error happened) and the settings, release the
// catalogue, destroy the bar and unregister its class.
void Shutdown();

// Moves the window, same size and without repainting, to the centre of the screen read at start-up.
void CenterOnScreen(HWND window);
