// Conversions into the ANSI code page.
#include "windows/code_page.h"

namespace {

constexpr UINT kUtf8 = 65001;

// One character of UTF-16: a surrogate pair counts as one.
int CharLength(const WCHAR* text) {
    return text[0] >= 0xD800 && text[0] <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF ? 2 : 1;
}

// The character's bytes in the ANSI code page, when it has an exact form there that is not NUL.
int ExactForm(const WCHAR* c, int length, char* out, int size) {
    BOOL usedDefault = FALSE;
    const bool utf8 = GetACP() == kUtf8;  // UTF-8 takes neither flag nor default character
    const int bytes = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, c, length, out, size, nullptr,
                                          utf8 ? nullptr : &usedDefault);
    if (bytes <= 0 || usedDefault) return 0;
    WCHAR back[2];
    if (MultiByteToWideChar(CP_ACP, 0, out, bytes, back, 2) != length) return 0;
    for (int i = 0; i < length; ++i) {
        if (back[i] != c[i]) return 0;
    }
    for (int i = 0; i < bytes; ++i) {
        if (out[i] == '\0') return 0;
    }
    return bytes;
}

WORD CharType(const WCHAR* c, int length, DWORD kind) {
    WORD types[2] = {};
    GetStringTypeW(kind, c, length, types);
    return types[0];
}

bool IsAlnum(const WCHAR* c, int length) {
    return (CharType(c, length, CT_CTYPE1) & (C1_ALPHA | C1_DIGIT)) != 0;
}

// Adds the character whose code-page form is bytes: its case-folded self is its mnemonic when a user
// types it with one key, a letter or digit of one byte, but no kana of a double-byte code page.
bool Add(LabelText& text, const WCHAR* c, int length, const char* bytes, int size) {
    const bool alnum = IsAlnum(c, length);
    uint32_t mnemonic = 0;
    if (alnum && size == 1) {
        CPINFO info = {};
        const bool doubleByte = GetCPInfo(CP_ACP, &info) && info.MaxCharSize > 1;
        if (static_cast<unsigned char>(bytes[0]) < 0x80 || !doubleByte) {
            WCHAR lower = c[0];
            CharLowerBuffW(&lower, 1);
            mnemonic = lower;
        }
    }
    return AppendLabelChar(text, bytes, static_cast<size_t>(size), alnum, mnemonic);
}

// The character as the code page holds it once decomposed ("ž" as "z", "Ａ" as "A"), accents left out;
// false when a part other than an accent has no exact form.
bool AddDecomposed(LabelText& text, const WCHAR* c, int length) {
    WCHAR parts[8];
    const int count = FoldStringW(MAP_COMPOSITE | MAP_FOLDCZONE, c, length, parts, 8);
    char bytes[4][4];
    int sizes[4];
    int kept = 0;
    for (int i = 0; i < count; i += CharLength(parts + i)) {
        const int partLength = CharLength(parts + i);
        if ((CharType(parts + i, partLength, CT_CTYPE3) & C3_NONSPACING) != 0) continue;
        if (kept == 4) return false;
        sizes[kept] = ExactForm(parts + i, partLength, bytes[kept], 4);
        if (sizes[kept] == 0) return false;
        ++kept;
    }
    if (kept == 0) return false;
    for (int i = 0, at = 0; i < count; i += CharLength(parts + i)) {
        const int partLength = CharLength(parts + i);
        if ((CharType(parts + i, partLength, CT_CTYPE3) & C3_NONSPACING) != 0) continue;
        Add(text, parts + i, partLength, bytes[at], sizes[at]);
        ++at;
    }
    return true;
}

// A letter as the code page's best fit, when that is an ASCII letter ("Ł" as "L"); best fits of other
// characters mislead ("∞" as "8").
bool AddBestFit(LabelText& text, const WCHAR* c, int length) {
    if ((CharType(c, length, CT_CTYPE1) & C1_ALPHA) == 0 || GetACP() == kUtf8) return false;
    char fit[4];
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, 0, c, length, fit, sizeof fit, nullptr, &usedDefault);
    const char letter = fit[0];
    if (size != 1 || usedDefault || !((letter >= 'a' && letter <= 'z') || (letter >= 'A' && letter <= 'Z'))) {
        return false;
    }
    const WCHAR wide = static_cast<WCHAR>(letter);
    Add(text, &wide, 1, fit, 1);
    return true;
}

}  // namespace

bool ToAnsiExactly(const WCHAR* text, char* field, size_t fieldSize) {
    const bool utf8 = GetACP() == kUtf8;
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, field,
                                          static_cast<int>(fieldSize), nullptr, utf8 ? nullptr : &usedDefault);
    if (bytes <= 0 || usedDefault) return false;
    // Back again, to the same text: no character was replaced by another.
    const int length = lstrlenW(text);
    WCHAR* back = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, (static_cast<size_t>(length) + 1) * sizeof(WCHAR)));
    if (back == nullptr) return false;
    const bool same = MultiByteToWideChar(CP_ACP, 0, field, -1, back, length + 1) == length + 1 && lstrcmpW(back, text) == 0;
    HeapFree(GetProcessHeap(), 0, back);
    return same;
}

void ToLabelText(const WCHAR* name, LabelText& text) {
    text = LabelText();
    // Composed characters, which a code page holds more often than their parts.
    WCHAR composed[MAX_PATH];
    if (FoldStringW(MAP_PRECOMPOSED, name, -1, composed, MAX_PATH) <= 0) lstrcpynW(composed, name, MAX_PATH);
    for (const WCHAR* c = composed; *c != L'\0'; c += CharLength(c)) {
        const int length = CharLength(c);
        const WCHAR space = L' ';
        const WCHAR* one = *c < 0x20 ? &space : c;  // a control character shows as a space
        char bytes[4];
        const int size = ExactForm(one, length, bytes, sizeof bytes);
        if (size > 0) {
            Add(text, one, length, bytes, size);
            continue;
        }
        text.whole = false;
        // A ligature as its letters, each then as the code page holds it.
        WCHAR expanded[8];
        int count = FoldStringW(MAP_EXPAND_LIGATURES, c, length, expanded, 8);
        if (count <= 0) {
            expanded[0] = c[0];
            expanded[1] = c[1];
            count = length;
        }
        for (int i = 0; i < count; i += CharLength(expanded + i)) {
            const int partLength = CharLength(expanded + i);
            const int partSize = ExactForm(expanded + i, partLength, bytes, sizeof bytes);
            if (partSize > 0) {
                Add(text, expanded + i, partLength, bytes, partSize);
            } else if (!AddDecomposed(text, expanded + i, partLength)) {
                AddBestFit(text, expanded + i, partLength);
            }
        }
    }
    TrimLabelText(text);
}

void ToUtf8(const WCHAR* name, char* out, size_t size) {
    if (WideCharToMultiByte(CP_UTF8, 0, name, -1, out, static_cast<int>(size), nullptr, nullptr) <= 0 && size > 0) {
        out[0] = '\0';
    }
}
