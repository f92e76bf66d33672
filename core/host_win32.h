// The file moves that ReplaceFileWith makes, as replaceable calls, so the tests can play a system
// whose MoveFileExA is missing (Windows 95, 98 and Me) or whose moves fail part way.
#pragma once

#include <windows.h>

using MoveFileExCall = BOOL(WINAPI*)(LPCSTR existing, LPCSTR renamed, DWORD flags);
using MoveFileCall = BOOL(WINAPI*)(LPCSTR existing, LPCSTR renamed);

extern MoveFileExCall gMoveFileEx;  // MoveFileExA
extern MoveFileCall gMoveFile;      // MoveFileA
