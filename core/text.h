// Fixed-size text helpers shared by the portable parts: copying into fields without overflow and
// decimal formatting without the C runtime's printf family. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Copies text into a fixed field, cut to the field's size less one and always NUL-terminated.
void CopyText(char* field, size_t fieldSize, const char* text);

// Appends text to the NUL-terminated field, cut in the same way.
void AppendText(char* field, size_t fieldSize, const char* text);

// Appends value as signed decimal text ("-2147483648" at most), cut in the same way.
void AppendDecimal(char* field, size_t fieldSize, int32_t value);
