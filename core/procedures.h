// The window and dialog procedures that Kelmar exports by name; the only place their signatures appear.
#pragma once

#include <windows.h>

extern "C" {
LRESULT CALLBACK KelmarWinProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
}
