// How a name becomes a label in a field of the catalogue, the same for every importer: each "&" doubled,
// a mnemonic on a free letter typed with one key, a cut at a whole character that ends in "...", and for
// a menu title without such a letter a Latin one in parentheses at its end, "(&U)". Each platform turns
// its names into characters of the bar's code page (LabelText); these rules do the rest.
// Portable: no platform headers, no C++ runtime.
#pragma once

#include <cstddef>
#include <cstdint>

// Characters of a name that a label looks at; no field is long enough to show more.
constexpr size_t kLabelChars = 80;

// One character of a name in the bar's code page.
struct LabelChar {
    char bytes[4];
    uint8_t size;       // 1 to 4 bytes
    bool alnum;         // a letter or digit of any script
    uint32_t mnemonic;  // its lower case (a Unicode code point) when typing it chooses the entry, else 0
};

// A name as characters of the code page, spaces tidied: none first, none doubled, none last.
struct LabelText {
    LabelChar chars[kLabelChars];
    size_t count = 0;
    bool whole = true;     // every character of the name is held as itself (set by the platform)
    bool dropped = false;  // characters beyond kLabelChars were left out
};

// Appends one character; a space first or after another is skipped. True when the character now ends
// the text, false when it was skipped, too long, or the text is full (dropped is then set).
bool AppendLabelChar(LabelText& text, const char* bytes, size_t size, bool alnum, uint32_t mnemonic);

// Removes the spaces at the end. Call once the whole name is appended.
void TrimLabelText(LabelText& text);

// Whether any character is a letter or digit.
bool HasLetterOrDigit(const LabelText& text);

// Of a name's forms in order of preference (the name in the user's language first, then the
// untranslated one...): the first the code page holds whole, else the first with a letter or digit
// left readable; nullptr when none has either.
const LabelText* PickName(const LabelText* const forms[], size_t count);

// The mnemonics taken on one bar, or in one menu.
struct LabelLetters {
    uint32_t letters[256];
    size_t count = 0;
};
bool HasLetter(const LabelLetters& taken, uint32_t letter);
void TakeLetter(LabelLetters& taken, uint32_t letter);  // a full set takes no more

// One character of a label as written: its bytes ("&&" for an "&", a marker's "&" included), and
// whether it is a space.
struct LabelUnit {
    size_t size;
    bool space;
};

// How many of count characters a field shows in space bytes: all when they fit and none was dropped
// after them, else as many as fit before "...", going back to the end of a word when one ends a few
// characters before. WriteLabel cuts so; so does what converts labels already written.
size_t LabelCharsThatFit(const LabelUnit units[], size_t count, bool dropped, size_t space);

// Writes the label of an entry into a field of fieldSize bytes (at least 5, at most kLabelChars):
// every "&" doubled, "&" before the first free letter that begins a word, else the first free one,
// which taken then holds. A name too long is cut between characters and ends in "...", after the last
// whole word when that loses little; the marker and "..." count in the field.
void WriteLabel(const LabelText& text, LabelLetters& taken, char* field, size_t fieldSize);

// Writes a menu title as WriteLabel does; when it gets no free letter to mark, a Latin letter in
// parentheses goes at its end, "(&U)": from the untranslated name where one is given (its ASCII
// letters, word beginnings first), else the first free one from A to Z. The name is cut before the
// parentheses, never through them.
void WriteTitle(const LabelText& text, const char* untranslated, LabelLetters& taken, char* field, size_t fieldSize);
