// The characters of a text in a Windows ANSI code page, as glibc's converter for that code page reads
// them: what the host function CharBytes (core/host.h) answers in the Linux programs and the native tests.
#pragma once

#include <cstddef>

// The bytes of the whole character that begins at text, reading at most available bytes; 0 when the text
// ends (its NUL, or available) inside it. Code page 0, or one the system cannot convert, has a character
// per byte. 65001 is UTF-8.
size_t AnsiCharBytes(int codePage, const char* text, size_t available);
