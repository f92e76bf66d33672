// The host functions of the portable parts, implemented with Win32.
#include <windows.h>

#include <io.h>

#include <cstring>

#include "core/host.h"
#include "core/host_win32.h"
#include "core/text.h"

MoveFileExCall gMoveFileEx = MoveFileExA;
MoveFileCall gMoveFile = MoveFileA;

bool GetWindowsDir(char* out, size_t size) {
    const UINT length = GetWindowsDirectoryA(out, static_cast<UINT>(size));
    if (length == 0 || length >= size) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}

size_t CharBytes(const char* text, size_t available) {
    if (available == 0 || text[0] == '\0') return 0;
    if (GetACP() == CP_UTF8) {
        // Wine's code page for languages without an ANSI one. The lead-byte calls know no character of more
        // than one byte there, so the converter says where the first character ends.
        for (size_t bytes = 1; bytes <= 4 && bytes <= available; ++bytes) {
            if (text[bytes - 1] == '\0') return 0;
            if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(bytes), nullptr, 0) > 0) {
                return bytes;
            }
        }
        return available >= 4 ? 1 : 0;  // a byte no character starts with, or one cut short by the limit
    }
    if (!IsDBCSLeadByte(static_cast<BYTE>(text[0]))) return 1;
    return available >= 2 && text[1] != '\0' ? 2 : 0;
}

bool MakeTempFileIn(const char* dir, char* out, size_t size) {
    if (size < MAX_PATH) return false;
    return GetTempFileNameA(dir, "kel", 0, out) != 0;
}

bool CommitFile(FILE* file) {
    return _commit(_fileno(file)) == 0;
}

// A name unique to this call in target's folder, for the old file while the new one moves in.
static bool MakeAsideName(const char* target, char* out, size_t size) {
    char dir[MAX_PATH];
    const size_t length = strlen(target);
    if (length >= sizeof dir) return false;
    memcpy(dir, target, length + 1);
    // By characters: in Shift-JIS the second byte of a character such as "\x83\x5c" is "\\".
    const char* cut = FindLastSeparator(dir, "\\/:");
    if (cut == nullptr) {
        dir[0] = '.';
        dir[1] = '\0';
    } else {
        dir[(cut - dir) + (*cut == ':' ? 1 : 0)] = '\0';  // "C:apps.dat" keeps "C:", "dir\apps.dat" gives "dir"
    }
    // GetTempFileNameA creates the file to claim the name; MoveFileA moves only onto a free name.
    return MakeTempFileIn(dir, out, size) && DeleteFileA(out);
}

ReplaceResult ReplaceFileWith(const char* source, const char* target) {
    // A read-only apps.dat is the user's way of saying "do not write": Windows refuses to replace it,
    // and so do we wherever the platform would not.
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return ReplaceResult::kFailed;
    }
    if (gMoveFileEx(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return ReplaceResult::kReplaced;
    }
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return ReplaceResult::kFailed;

    // Windows 95, 98 and Me: MoveFileA never replaces, so the old file steps aside first.
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) {
        return gMoveFile(source, target) ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
    }
    char aside[MAX_PATH];
    if (!MakeAsideName(target, aside, sizeof aside) || !gMoveFile(target, aside)) return ReplaceResult::kFailed;
    if (!gMoveFile(source, target)) {
        return gMoveFile(aside, target) ? ReplaceResult::kFailed : ReplaceResult::kSourceKept;
    }
    DeleteFileA(aside);  // should this fail, a stale copy stays beside the new file, harmless
    return ReplaceResult::kReplaced;
}
