// Fixed-size text helpers shared by the portable parts: copying into fields without overflow or a
// character cut in two, finding separators in a path by characters, and decimal formatting without the
// C runtime's printf family. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of the longest start of text, at most limit and before its NUL, that ends on a whole character
// of the user's ANSI code page (the host's CharBytes); in a single-byte code page, strnlen(text, limit).
size_t WholeCharsLength(const char* text, size_t limit);

// Copies text into a fixed field, cut to the last whole character within the field's size less one,
// and always NUL-terminated.
void CopyText(char* field, size_t fieldSize, const char* text);

// Appends text to the NUL-terminated field, cut in the same way.
void AppendText(char* field, size_t fieldSize, const char* text);

// Appends value as signed decimal text ("-2147483648" at most), cut in the same way.
void AppendDecimal(char* field, size_t fieldSize, int32_t value);

// The last character of path that is one of the single bytes in separators ("\\/:"), the path walked
// by characters, so that no trail byte passes for one; nullptr when there is none.
const char* FindLastSeparator(const char* path, const char* separators);
