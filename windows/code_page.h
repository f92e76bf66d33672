// Names and paths from UTF-16 into the user's ANSI code page, as the catalogue holds them: a path or
// parameters only when every character converts exactly, never into a look-alike; a name for a label
// as readably as the code page allows, through Windows's own conversions. Win32, Unicode.
#pragma once

#include <windows.h>

#include <cstddef>

#include "catalogue/labels.h"

// The text in the ANSI code page in a field of fieldSize bytes, NUL included; false when a character
// has no exact form there or the text does not fit.
bool ToAnsiExactly(const WCHAR* text, char* field, size_t fieldSize);

// A name as characters of the ANSI code page. One the code page lacks is written as Windows spells it
// otherwise: a ligature expanded ("Œ" as "OE"), a letter without its accents, a compatibility form
// folded (full-width "Ａ" as "A"), a letter as the code page's best fit ("Ł" as "L"); else left out.
// The text's whole is false when a character was not held as itself. A letter or digit of one byte
// that is not a double-byte code page's kana is a mnemonic.
void ToLabelText(const WCHAR* name, LabelText& text);

// The name in UTF-8, whose ASCII letters WriteTitle may take for a title's parentheses.
void ToUtf8(const WCHAR* name, char* out, size_t size);
