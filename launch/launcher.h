// Opening an application through the shell, and the clock on the bar with its hourly chime hook.
#pragma once

#include <windows.h>

#include "catalogue/records.h"

// Asks the shell to open the entry's file with its parameters and working directory, restored.
// True when the shell accepted; otherwise one warning was shown.
bool LaunchApp(const AppEntry& app);

// Writes the local time into the bar's time item and calls the chime hook in minute 0 of an hour
// when the chime is on. False when the menu item cannot be changed.
bool UpdateClock();

// The hourly chime hook: takes the sound file's name and makes no sound.
bool PlayChime(const char* path);

// Where the clock reads the local time and which chime hook it calls; tests set their own.
extern void(WINAPI* gLocalTimeSource)(SYSTEMTIME* now);
extern bool (*gChimeHook)(const char* path);
