// Labels of imported menus and entries.
#include "catalogue/labels.h"

#include <cstring>

namespace {

// How many characters a cut may go back to end after a whole word.
constexpr size_t kNearWord = 10;
constexpr size_t kEllipsis = 3;   // "..."
constexpr size_t kLatinMark = 4;  // "(&U)"

bool IsSpace(const LabelChar& c) {
    return c.size == 1 && c.bytes[0] == ' ';
}

bool IsAmpersand(const LabelChar& c) {
    return c.size == 1 && c.bytes[0] == '&';
}

// The bytes a character takes in a label: an "&" of the name is doubled, so that it shows as itself.
size_t UnitSize(const LabelChar& c) {
    return IsAmpersand(c) ? 2 : c.size;
}

// How many of the text's characters a field shows in space bytes.
size_t ShownChars(const LabelText& text, size_t space) {
    LabelUnit units[kLabelChars];
    for (size_t i = 0; i < text.count; ++i) units[i] = {UnitSize(text.chars[i]), IsSpace(text.chars[i])};
    return LabelCharsThatFit(units, text.count, text.dropped, space);
}

// The mnemonic among the first count characters: the first free letter that begins a word, else the
// first free one anywhere; -1 when there is none.
int FindMnemonic(const LabelText& text, size_t count, const LabelLetters& taken) {
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < count; ++i) {
            const LabelChar& c = text.chars[i];
            if (c.mnemonic == 0 || HasLetter(taken, c.mnemonic)) continue;
            const bool wordStart = i == 0 || (text.chars[i - 1].mnemonic == 0 && text.chars[i - 1].size == 1);
            if (pass == 1 || wordStart) return static_cast<int>(i);
        }
    }
    return -1;
}

// Writes the first count characters, "&" before the one at mark (none when mark is negative), the
// spaces at the end left out and "..." after a cut; returns the bytes written, the NUL not counted.
size_t Compose(const LabelText& text, size_t count, int mark, char* field) {
    const bool cut = count < text.count || text.dropped;
    while (count > 0 && IsSpace(text.chars[count - 1])) --count;
    size_t length = 0;
    for (size_t i = 0; i < count; ++i) {
        const LabelChar& c = text.chars[i];
        if (static_cast<int>(i) == mark) field[length++] = '&';
        if (IsAmpersand(c)) field[length++] = '&';
        memcpy(field + length, c.bytes, c.size);
        length += c.size;
    }
    if (cut) {
        memcpy(field + length, "...", kEllipsis);
        length += kEllipsis;
    }
    field[length] = '\0';
    return length;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiAlnum(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The Latin letter for a title's parentheses, in lower case: a free one of the untranslated name (word
// beginnings first), else the first free one of the alphabet; with every letter taken, the name's first.
char LatinLetter(const char* untranslated, const LabelLetters& taken) {
    const char* name = untranslated != nullptr ? untranslated : "";
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; name[i] != '\0'; ++i) {
            if (!IsAsciiLetter(name[i]) || HasLetter(taken, static_cast<unsigned char>(Lower(name[i])))) continue;
            if (pass == 1 || i == 0 || !IsAsciiAlnum(name[i - 1])) return Lower(name[i]);
        }
    }
    for (char c = 'a'; c <= 'z'; ++c) {
        if (!HasLetter(taken, static_cast<unsigned char>(c))) return c;
    }
    for (size_t i = 0; name[i] != '\0'; ++i) {
        if (IsAsciiLetter(name[i])) return Lower(name[i]);
    }
    return 'a';
}

}  // namespace

size_t LabelCharsThatFit(const LabelUnit units[], size_t count, bool dropped, size_t space) {
    size_t total = 0;
    for (size_t i = 0; i < count; ++i) total += units[i].size;
    if (total <= space && !dropped) return count;
    size_t shown = 0;
    for (size_t used = 0; shown < count && used + units[shown].size + kEllipsis <= space; ++shown) {
        used += units[shown].size;
    }
    for (size_t end = shown; end > 0 && shown - end <= kNearWord; --end) {
        if (end < count && units[end].space) return end;
    }
    return shown;
}

bool AppendLabelChar(LabelText& text, const char* bytes, size_t size, bool alnum, uint32_t mnemonic) {
    if (size == 0 || size > sizeof text.chars[0].bytes) return false;
    if (text.count == kLabelChars) {
        text.dropped = true;
        return false;
    }
    // Spaces only between words: none first, none doubled (a space is one byte in every code page).
    if (size == 1 && bytes[0] == ' ' && (text.count == 0 || IsSpace(text.chars[text.count - 1]))) return false;
    LabelChar& c = text.chars[text.count++];
    memcpy(c.bytes, bytes, size);
    c.size = static_cast<uint8_t>(size);
    c.alnum = alnum;
    c.mnemonic = mnemonic;
    return true;
}

void TrimLabelText(LabelText& text) {
    while (text.count > 0 && IsSpace(text.chars[text.count - 1])) --text.count;
}

bool HasLetterOrDigit(const LabelText& text) {
    for (size_t i = 0; i < text.count; ++i) {
        if (text.chars[i].alnum) return true;
    }
    return false;
}

const LabelText* PickName(const LabelText* const forms[], size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (forms[i]->whole && forms[i]->count > 0) return forms[i];
    }
    for (size_t i = 0; i < count; ++i) {
        if (HasLetterOrDigit(*forms[i])) return forms[i];
    }
    return nullptr;
}

bool HasLetter(const LabelLetters& taken, uint32_t letter) {
    for (size_t i = 0; i < taken.count; ++i) {
        if (taken.letters[i] == letter) return true;
    }
    return false;
}

void TakeLetter(LabelLetters& taken, uint32_t letter) {
    if (!HasLetter(taken, letter) && taken.count < sizeof taken.letters / sizeof taken.letters[0]) {
        taken.letters[taken.count++] = letter;
    }
}

void WriteLabel(const LabelText& text, LabelLetters& taken, char* field, size_t fieldSize) {
    const size_t room = fieldSize - 1;
    size_t count = ShownChars(text, room - 1);  // the marker takes one byte
    const int mark = FindMnemonic(text, count, taken);
    if (mark >= 0) {
        TakeLetter(taken, text.chars[mark].mnemonic);
    } else {
        count = ShownChars(text, room);
    }
    Compose(text, count, mark, field);
}

void WriteTitle(const LabelText& text, const char* untranslated, LabelLetters& taken, char* field, size_t fieldSize) {
    const size_t room = fieldSize - 1;
    const size_t count = ShownChars(text, room - 1);
    const int mark = FindMnemonic(text, count, taken);
    if (mark >= 0) {
        TakeLetter(taken, text.chars[mark].mnemonic);
        Compose(text, count, mark, field);
        return;
    }
    const char letter = LatinLetter(untranslated, taken);
    TakeLetter(taken, static_cast<unsigned char>(letter));
    size_t length = Compose(text, ShownChars(text, room - kLatinMark), -1, field);
    field[length++] = '(';
    field[length++] = '&';
    field[length++] = static_cast<char>(letter - 'a' + 'A');
    field[length++] = ')';
    field[length] = '\0';
}
