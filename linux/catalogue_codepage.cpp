// apps.dat's texts from the code page they were written in to the one Kelmar now runs in.
#include "linux/catalogue_codepage.h"

#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue_file.h"

namespace {

// Field offsets in the record images (as the catalogue file lays them out).
constexpr size_t kMenuName = 0;
constexpr size_t kAppPath = 0, kAppWorkDir = 80, kAppParams = 160, kAppName = 190;
constexpr size_t kMaxCodePage = 65535;
constexpr const char* kStartApp = "start-app";

// One character of a name: its UTF-8 form (empty for bytes that make no character in the old code page)
// and whether a "&" before it makes it the mnemonic.
struct NameChar {
    std::string utf8;
    bool marked = false;
};

std::string FieldText(const std::string& bytes, size_t at, size_t size) {
    const char* field = bytes.data() + at;
    return std::string(field, strnlen(field, size - 1));
}

// A text into its field, the rest of the field zero; a field whose text stays keeps its bytes.
void PutField(std::string& bytes, size_t at, size_t size, const std::string& text) {
    if (text == FieldText(bytes, at, size)) return;
    bytes.replace(at, size, text + std::string(size - text.size(), '\0'));
}

bool HasLetterOrDigit(const std::string& utf8) {
    for (const char* p = utf8.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
        if (g_unichar_isalnum(g_utf8_get_char(p))) return true;
    }
    return false;
}

// A name's characters with its mnemonic marks read: "&&" is an "&", "&" before another character marks it.
// A last "&" that marks nothing is kept as a mark at the end.
std::vector<NameChar> ReadName(const std::vector<std::string>& chars, bool& markAtEnd) {
    std::vector<NameChar> name;
    markAtEnd = false;
    bool mark = false;
    for (size_t i = 0; i < chars.size(); ++i) {
        if (chars[i] == "&" && !mark) {
            if (i + 1 < chars.size() && chars[i + 1] == "&") {
                name.push_back({"&", false});
                ++i;
            } else {
                mark = true;
            }
            continue;
        }
        name.push_back({chars[i], mark});
        mark = false;
    }
    markAtEnd = mark;
    return name;
}

std::string PlainText(const std::vector<NameChar>& name) {
    std::string text;
    for (const NameChar& c : name) text += c.utf8.empty() ? "?" : c.utf8;
    return text;
}

// The units of a name as written into a field cut to fit, with "..." when cut.
std::string Fitted(const std::vector<std::string>& units, size_t fieldSize) {
    const size_t count = FittingChars(units, fieldSize - 1);
    std::string text;
    for (size_t i = 0; i < count; ++i) text += units[i];
    if (count == units.size()) return text;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text + "...";
}

// A name the new code page holds whole, its marks where they were; false when it holds any character not.
bool ExactName(const std::vector<NameChar>& name, bool markAtEnd, const AnsiEncoder& to, size_t fieldSize,
               std::string& written) {
    std::vector<std::string> units;
    std::vector<std::string> bytes;
    for (const NameChar& c : name) {
        if (!to.Encode(c.utf8, bytes) || bytes.size() != 1) return false;  // an undecodable byte too
        units.push_back((c.marked ? "&" : "") + (bytes[0] == "&" ? std::string("&&") : bytes[0]));
    }
    if (markAtEnd) units.emplace_back("&");
    written = Fitted(units, fieldSize);
    return true;
}

// Each character the new code page holds as itself, the others in the ASCII form the import gives them
// (AnsiEncoder::Readable), else left out, with spaces left doubled or at the ends gone; a mark moves on
// to the next character kept. shown gets the UTF-8 text.
std::string ReadableName(const std::vector<NameChar>& name, const AnsiEncoder& to, size_t fieldSize,
                         std::string& shown) {
    std::vector<std::string> units;
    std::vector<std::string> texts;  // the UTF-8 of each unit
    bool mark = false;
    auto add = [&](const std::string& bytes, const std::string& utf8) {
        if (bytes == " " && (units.empty() || units.back() == " ")) return;
        units.push_back((mark && bytes != " " ? "&" : "") + (bytes == "&" ? std::string("&&") : bytes));
        texts.push_back(utf8);
        if (bytes != " ") mark = false;
    };
    std::vector<std::string> bytes;
    for (const NameChar& c : name) {
        mark = mark || c.marked;
        if (c.utf8.empty()) continue;
        if (to.Encode(c.utf8, bytes) && bytes.size() == 1) {
            add(bytes[0], c.utf8);
            continue;
        }
        // What Readable gives for a character the code page lacks is ASCII: its bytes are its text.
        const LabelText readable = to.Readable(c.utf8);
        for (size_t i = 0; i < readable.count; ++i) {
            const std::string ascii(readable.chars[i].bytes, readable.chars[i].size);
            add(ascii, ascii);
        }
    }
    while (!units.empty() && units.back() == " ") {
        units.pop_back();
        texts.pop_back();
    }
    shown.clear();
    for (const std::string& text : texts) shown += text;
    return Fitted(units, fieldSize);
}

// The first of the candidates the new code page holds whole, else the first of which a letter or digit
// is left readable: as the import labels an application, its mnemonic one not in taken. Empty when none.
std::string CandidateName(const std::vector<std::string>& candidates, const AnsiEncoder& to, size_t fieldSize,
                          LabelLetters& taken, std::string& shown) {
    for (int pass = 0; pass < 2; ++pass) {
        for (const std::string& candidate : candidates) {
            const LabelText chars = to.Readable(candidate, &shown);
            if (chars.count == 0 || !HasLetterOrDigit(shown) || (pass == 0 && !chars.whole)) continue;
            std::vector<char> label(fieldSize);
            WriteLabel(chars, taken, label.data(), fieldSize);
            return label.data();
        }
    }
    shown.clear();
    return std::string();
}

// The bytes of a name less its mnemonic marks ("&&" is one "&"); "&" is never the second byte of a
// double-byte character, so this works on the bytes of every code page.
std::string Unmarked(const std::string& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '&') {
            text.push_back(bytes[i]);
        } else if (i + 1 < bytes.size() && bytes[i + 1] == '&') {
            text.push_back('&');
            ++i;
        }
    }
    return text;
}

// The menu that the import titled so in the old code page: one of its titles in any language, as the
// import writes it there (whole, or cut before "...").
int ImportedMenu(const std::string& nameBytes, const AnsiEncoder& from, const DesktopNames& desktop) {
    std::string name = Unmarked(nameBytes);
    const bool cut = name.size() > 3 && name.compare(name.size() - 3, 3, "...") == 0;
    if (cut) name.resize(name.size() - 3);
    for (int m = 0; m < kMenuCount && m < static_cast<int>(desktop.titleTranslations.size()); ++m) {
        for (const std::string& title : desktop.titleTranslations[m]) {
            std::string label;
            const LabelText chars = from.Readable(title);
            for (size_t i = 0; i < chars.count; ++i) label.append(chars.chars[i].bytes, chars.chars[i].size);
            if (label == name || (cut && label.size() > name.size() && label.compare(0, name.size(), name) == 0)) return m;
        }
    }
    return -1;
}

// The program's file name without its extension, from a path in the old code page.
std::string ProgramStem(const std::vector<std::string>& chars) {
    std::string stem;
    for (const std::string& c : chars) {
        if (c == "\\" || c == "/") stem.clear();
        else stem += c;
    }
    const size_t dot = stem.rfind('.');
    return dot != std::string::npos && dot > 0 ? stem.substr(0, dot) : stem;
}

bool IsStartApp(const std::vector<std::string>& pathChars) {
    return ProgramStem(pathChars) == kStartApp;
}

struct Converter {
    const AnsiEncoder& from;
    const AnsiEncoder& to;
    const DesktopNames& desktop;
    CatalogueConversion& conversion;

    // A name in its field, exactly where the new code page holds it, else readably; fallbacks are
    // further names to try when nothing of it is readable. taken holds the mnemonics of the names
    // before it in its menu (or of the menus before it), in lower case: a name of the fallbacks takes
    // another, and every name adds its own.
    std::string Name(const std::string& old, size_t fieldSize, const std::vector<std::string>& fallbacks,
                     LabelLetters& taken) {
        std::vector<std::string> chars;
        from.DecodeChars(old, chars);
        bool markAtEnd = false;
        const std::vector<NameChar> name = ReadName(chars, markAtEnd);
        std::string written;
        if (!ExactName(name, markAtEnd, to, fieldSize, written)) {
            std::string shown;
            written = ReadableName(name, to, fieldSize, shown);
            if (!HasLetterOrDigit(shown)) written = CandidateName(fallbacks, to, fieldSize, taken, shown);
            conversion.madeReadable.push_back(PlainText(name) + ": " + shown);
        }
        to.DecodeChars(written, chars);
        for (const NameChar& c : ReadName(chars, markAtEnd)) {
            if (c.marked && !c.utf8.empty()) TakeLetter(taken, g_unichar_tolower(g_utf8_get_char(c.utf8.c_str())));
        }
        return written;
    }

    // A path, folder or parameters, only where every character converts and the result fits.
    std::string Exact(const std::string& old, size_t fieldSize, const std::string& what) {
        std::vector<std::string> chars;
        std::vector<std::string> bytes;
        std::string text;
        const bool decoded = from.DecodeChars(old, chars);
        for (const std::string& c : chars) text += c;
        if (decoded && to.Encode(text, bytes)) {
            std::string written;
            for (const std::string& b : bytes) written += b;
            if (written.size() < fieldSize) return written;
        }
        conversion.keptAsTheyWere.push_back(what);
        return old;
    }
};

}  // namespace

std::string CodePageRecordText(const CodePageRecord& record) {
    return std::to_string(record.codePage) + "\n" + record.locale + "\n";
}

bool ParseCodePageRecord(const std::string& text, CodePageRecord& record) {
    const size_t first = text.find('\n');
    if (first == std::string::npos || first == 0 || first > 5) return false;
    if (text.find('\n', first + 1) != text.size() - 1 || text.find('\0') != std::string::npos) return false;
    for (size_t i = 0; i < first; ++i) {
        if (!g_ascii_isdigit(text[i])) return false;
    }
    const unsigned long codePage = strtoul(text.substr(0, first).c_str(), nullptr, 10);
    if (codePage == 0 || codePage > kMaxCodePage) return false;
    record.codePage = static_cast<int>(codePage);
    record.locale = text.substr(first + 1, text.size() - first - 2);
    return true;
}

std::string CodePageLocale() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = getenv(name);
        if (value != nullptr && value[0] != '\0') return value;
    }
    return std::string();
}

std::string ConvertCatalogue(const std::string& bytes, const AnsiEncoder& from, const AnsiEncoder& to,
                             const DesktopNames& desktop, CatalogueConversion& conversion) {
    conversion = CatalogueConversion();
    // Kelmar stops at a group cut short inside its applications: such a file stays as it is, for
    // Kelmar's own message.
    for (size_t at = 0; bytes.size() - at >= kMenuImageSize;) {
        UserMenu menu;
        DecodeMenu(reinterpret_cast<const unsigned char*>(bytes.data() + at), menu);
        at += kMenuImageSize;
        const size_t count = menu.appCount > 0 ? static_cast<size_t>(menu.appCount) : 0;
        if ((bytes.size() - at) / kAppImageSize < count) return bytes;
        at += count * kAppImageSize;
    }
    conversion.readable = true;

    Converter convert{from, to, desktop, conversion};
    std::string result = bytes;
    int menuNumber = 0;
    LabelLetters menuLetters;
    for (size_t at = 0; result.size() - at >= kMenuImageSize;) {
        UserMenu menu;
        DecodeMenu(reinterpret_cast<const unsigned char*>(result.data() + at), menu);
        ++menuNumber;
        const std::string menuName = FieldText(result, at + kMenuName, sizeof menu.name);
        std::vector<std::string> titles;
        const int imported = ImportedMenu(menuName, from, desktop);
        if (imported >= 0 && imported < static_cast<int>(desktop.titles.size())) titles.push_back(desktop.titles[imported]);
        if (imported >= 0) titles.emplace_back(kMenuTitles[imported]);
        titles.push_back("Menu " + std::to_string(menuNumber));
        PutField(result, at + kMenuName, sizeof menu.name, convert.Name(menuName, sizeof menu.name, titles, menuLetters));
        const std::string menuText = from.Decode(Unmarked(menuName));
        at += kMenuImageSize;

        const int count = menu.appCount > 0 ? menu.appCount : 0;
        LabelLetters appLetters;
        for (int i = 0; i < count; ++i, at += kAppImageSize) {
            const std::string name = FieldText(result, at + kAppName, sizeof AppEntry::name);
            const std::string path = FieldText(result, at + kAppPath, sizeof AppEntry::path);
            const std::string params = FieldText(result, at + kAppParams, sizeof AppEntry::params);
            const std::string where = " of " + from.Decode(Unmarked(name)) + " (menu " + menuText + ")";
            std::vector<std::string> pathChars;
            from.DecodeChars(path, pathChars);
            std::vector<std::string> fallbacks;
            if (IsStartApp(pathChars) && !params.empty()) {
                if (desktop.appNames) fallbacks = desktop.appNames(params);
                fallbacks.push_back(params);
            }
            fallbacks.push_back(ProgramStem(pathChars));
            fallbacks.push_back("App " + std::to_string(i + 1));

            PutField(result, at + kAppName, sizeof AppEntry::name, convert.Name(name, sizeof AppEntry::name, fallbacks, appLetters));
            PutField(result, at + kAppPath, sizeof AppEntry::path, convert.Exact(path, sizeof AppEntry::path, "the path" + where));
            const std::string folder = FieldText(result, at + kAppWorkDir, sizeof AppEntry::workDir);
            PutField(result, at + kAppWorkDir, sizeof AppEntry::workDir,
                     convert.Exact(folder, sizeof AppEntry::workDir, "the folder" + where));
            PutField(result, at + kAppParams, sizeof AppEntry::params,
                     convert.Exact(params, sizeof AppEntry::params, "the parameters" + where));
        }
    }
    conversion.changed = result != bytes;
    return result;
}
