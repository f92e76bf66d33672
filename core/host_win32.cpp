// The host functions of the portable parts, implemented with Win32.
#include <windows.h>

#include <io.h>

#include "core/host.h"

bool GetWindowsDir(char* out, size_t size) {
    const UINT length = GetWindowsDirectoryA(out, static_cast<UINT>(size));
    if (length == 0 || length >= size) {
        if (size > 0) out[0] = '\0';
        return false;
    }
    return true;
}

bool MakeTempFileIn(const char* dir, char* out, size_t size) {
    if (size < MAX_PATH) return false;
    return GetTempFileNameA(dir, "kel", 0, out) != 0;
}

bool CommitFile(FILE* file) {
    return _commit(_fileno(file)) == 0;
}

bool ReplaceFileWith(const char* source, const char* target) {
    // A read-only apps.dat is the user's way of saying "do not write": Windows refuses to replace it,
    // and so do we wherever the platform would not.
    const DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
