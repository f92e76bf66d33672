// The bar: its window class, creation and re-creation, and the window procedure that dispatches
// its commands. One bar window at a time; its handle and menu live in gApp.
#pragma once

#include <windows.h>

constexpr const char* kBarClass = "KelmarClass";
constexpr const char* kBarTitle = "Kelmar";
constexpr UINT_PTR CLOCK_TIMER_ID = 65244;  // the clock's 6-second timer on the bar

// True when the class atom is non-zero.
bool RegisterBarClass();

// Creates the bar across the top of the screen (topmost when stay-on-top is on), builds its menus and
// shows it. False, with gApp.bar none, when the window cannot be made.
bool CreateBarWindow();

// Destroys the bar and creates it again from the current catalogue and settings, without ending the
// message loop. When the new bar cannot be made, the user's edits are saved and the run ends (exit code 1).
void RebuildBar();

// The Exit command and every other orderly end: Shutdown, then the quit message.
void ExitKelmar();
