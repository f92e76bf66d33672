// What portable code needs of the platform: the warning and fatal boxes, the Windows directory, the
// characters of the user's ANSI code page and the file operations that make a save safe. The program
// implements these with Win32 (core/host_win32.cpp), the Linux programs with POSIX and GLib
// (linux/host_posix.cpp); the native tests with recorders. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdio>

// Room for any path the platform hands out (MAX_PATH).
constexpr size_t kMaxPath = 260;

// A recoverable error or prompt: caption "Kelmar", exclamation icon, OK.
void WarnBox(const char* text);

// An unrecoverable error: caption "Fatal Kelmar Error"; after the box, closes the stream the catalogue
// loader left open (CloseCatalogueStream) and ends the process.
[[noreturn]] void FatalError(const char* text);

// The Windows directory, without a trailing separator; false when it cannot be read or does not fit.
bool GetWindowsDir(char* out, size_t size);

// The bytes of the whole character that begins at text in the user's ANSI code page, as the platform
// reads that code page (1 for every byte of a single-byte one); 0 when the text ends, at its NUL or after
// available bytes, before the character does. Reads at most available bytes. Texts are walked with it
// from their start (core/text.h): a trail byte may look like a lead byte, or like "\" in Shift-JIS.
size_t CharBytes(const char* text, size_t available);

// Creates an empty file of a name unique to this call in folder dir; its path goes into out.
bool MakeTempFileIn(const char* dir, char* out, size_t size);

// Pushes a written stream's data to the disk (after fflush).
bool CommitFile(FILE* file);

// How a ReplaceFileWith call ended.
enum class ReplaceResult {
    kReplaced,    // source now stands under target's name
    kFailed,      // target is as it was; source may be removed
    kSourceKept,  // target was moved aside and could not be put back: source must stay
};

// Puts source in place of target, replacing target when it exists. At every moment one whole file
// stands under target's name, source's, or (on systems that cannot replace in one step) an aside name.
ReplaceResult ReplaceFileWith(const char* source, const char* target);
