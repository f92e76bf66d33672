// The code page Wine takes from the locale, read from Wine's locale table.
#include "linux/wine_locale.h"

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

// Where the fields this needs lie in locale.nls: the file's header, the locale table's header, its
// name index entries (sorted by name), its language id index entries (sorted by id) and its records.
constexpr size_t kLocalesAt = 0x10;           // file header: offset of the locale table
constexpr size_t kLcidCountAt = 0x1e;         // table header
constexpr size_t kRecordSizeAt = 0x22;
constexpr size_t kRecordsAt = 0x24;
constexpr size_t kNameCountAt = 0x28;
constexpr size_t kLcidIndexAt = 0x2c;
constexpr size_t kNameIndexAt = 0x30;
constexpr size_t kStringsAt = 0x40;
constexpr size_t kIndexEntrySize = 8;
constexpr size_t kDefaultLanguageAt = 0x6c;   // record: LOCALE_IDEFAULTLANGUAGE
constexpr size_t kAnsiCodePageAt = 0x6e;      // record: LOCALE_IDEFAULTANSICODEPAGE
constexpr uint32_t kCustomUnspecified = 0x1000;
constexpr int kEnglishCodePage = 1252;

class Table {
public:
    explicit Table(const std::string& bytes) : bytes_(bytes) {}

    bool U16(size_t at, uint32_t& value) const {
        if (at > bytes_.size() || bytes_.size() - at < 2) return false;
        value = static_cast<uint32_t>(Byte(at) | Byte(at + 1) << 8);
        return true;
    }
    bool U32(size_t at, uint32_t& value) const {
        uint32_t low, high;
        if (!U16(at, low) || !U16(at + 2, high)) return false;
        value = low | high << 16;
        return true;
    }

private:
    uint32_t Byte(size_t at) const { return static_cast<unsigned char>(bytes_[at]); }
    const std::string& bytes_;
};

uint32_t Upper(uint32_t c) {
    if (c >= 'a' && c <= 'z') return c - 'a' + 'A';
    return c == '_' ? '-' : c;
}

// Compares a name with a counted UTF-16 string of the table as Wine does: ASCII letters in either case
// and "_" as "-". 0 when equal; -2 when the string lies outside the table.
int CompareName(const Table& table, size_t at, const std::string& name) {
    uint32_t length;
    if (!table.U16(at, length)) return -2;
    for (size_t i = 0;; ++i) {
        uint32_t theirs = 0;
        if (i < length && !table.U16(at + 2 + 2 * i, theirs)) return -2;
        const uint32_t mine = Upper(i < name.size() ? static_cast<unsigned char>(name[i]) : 0);
        theirs = Upper(theirs);
        if (mine != theirs) return mine < theirs ? -1 : 1;
        if (mine == 0) return 0;
    }
}

struct Layout {
    size_t locales = 0;
    uint32_t lcidCount = 0, recordSize = 0, records = 0, nameCount = 0, lcidIndex = 0, nameIndex = 0, strings = 0;
    size_t Record(uint32_t index) const { return locales + records + static_cast<size_t>(index) * recordSize; }
};

// The record that a name leads to in the table; -1 when it has none, -2 when the table cannot be read.
long FindName(const Table& table, const Layout& layout, const std::string& name) {
    int low = 0, high = static_cast<int>(layout.nameCount) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const size_t entry = layout.locales + layout.nameIndex + static_cast<size_t>(middle) * kIndexEntrySize;
        uint32_t text, index;
        if (!table.U16(entry, text) || !table.U16(entry + 2, index)) return -2;
        const int order = CompareName(table, layout.locales + layout.strings + 2 * static_cast<size_t>(text), name);
        if (order == -2) return -2;
        if (order == 0) return static_cast<long>(index);
        if (order < 0) {
            high = middle - 1;
        } else {
            low = middle + 1;
        }
    }
    return -1;
}

// The code page of the locale a record belongs to: Wine's system locale is the record's default
// language, and the code page that language's. 0 when the table cannot be read.
int CodePageOfRecord(const Table& table, const Layout& layout, uint32_t index) {
    uint32_t language;
    if (!table.U16(layout.Record(index) + kDefaultLanguageAt, language)) return 0;
    if (language == kCustomUnspecified) return kEnglishCodePage;
    int low = 0, high = static_cast<int>(layout.lcidCount) - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const size_t at = layout.locales + layout.lcidIndex + static_cast<size_t>(middle) * kIndexEntrySize;
        uint32_t id, idIndex, codePage;
        if (!table.U32(at, id) || !table.U16(at + 4, idIndex)) return 0;
        if (language < id) {
            high = middle - 1;
        } else if (language > id) {
            low = middle + 1;
        } else {
            return table.U16(layout.Record(idIndex) + kAnsiCodePageAt, codePage) ? static_cast<int>(codePage) : 0;
        }
    }
    return kEnglishCodePage;
}

}  // namespace

std::string WindowsLocaleName(const std::string& unixName, const char* lcAll) {
    std::string name = unixName;
    if (name.empty() || name == "C") {
        if (lcAll == nullptr || lcAll[0] == '\0') return std::string();
        name = lcAll;
    }
    const size_t separator = name.find_first_of("_.@");
    if (separator == std::string::npos) return name == "POSIX" || name == "C" ? "en-US" : name;
    // language[_territory][.charset][@modifier], the charset left out.
    std::string language = name.substr(0, separator), territory, modifier;
    size_t at = separator;
    if (name[at] == '_') {
        const size_t end = name.find_first_of(".@", at + 1);
        territory = name.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
    }
    if (at != std::string::npos && name[at] == '.') at = name.find('@', at);
    if (at != std::string::npos) modifier = name.substr(at + 1);

    static const struct { const char* modifier; const char* script; } scripts[] = {
        {"arabic", "-Arab"}, {"chakma", "-Cakm"}, {"cherokee", "-Cher"}, {"cyrillic", "-Cyrl"},
        {"devanagari", "-Deva"}, {"gurmukhi", "-Guru"}, {"javanese", "-Java"}, {"latin", "-Latn"},
        {"mongolian", "-Mong"}, {"syriac", "-Syrc"}, {"tifinagh", "-Tfng"}, {"tibetan", "-Tibt"},
        {"vai", "-Vaii"}, {"yi", "-Yiii"}};
    std::string windows = language, tail;
    for (const auto& script : scripts) {
        if (modifier == script.modifier) windows += script.script;
    }
    if (modifier == "saaho") windows = "ssy";
    if (modifier == "valencia") tail = "-valencia";
    if (!territory.empty()) windows += "-" + territory;
    return windows + tail;
}

int AnsiCodePageOf(const std::string& bytes, const std::string& windowsName) {
    const Table table(bytes);
    Layout layout;
    uint32_t locales;
    if (!table.U32(kLocalesAt, locales)) return 0;
    layout.locales = locales;
    if (!table.U16(layout.locales + kLcidCountAt, layout.lcidCount) ||
        !table.U16(layout.locales + kRecordSizeAt, layout.recordSize) ||
        !table.U32(layout.locales + kRecordsAt, layout.records) ||
        !table.U16(layout.locales + kNameCountAt, layout.nameCount) ||
        !table.U32(layout.locales + kLcidIndexAt, layout.lcidIndex) ||
        !table.U32(layout.locales + kNameIndexAt, layout.nameIndex) ||
        !table.U32(layout.locales + kStringsAt, layout.strings)) {
        return 0;
    }
    if (windowsName.empty()) return kEnglishCodePage;
    const long found = FindName(table, layout, windowsName);
    if (found == -2) return 0;
    if (found >= 0) return CodePageOfRecord(table, layout, static_cast<uint32_t>(found));
    // Not in the table: English for Wine 8, the nearest shorter name's locale for Wine 10.
    std::string name = windowsName;
    for (size_t dash = name.rfind('-'); dash != std::string::npos; dash = name.rfind('-')) {
        name.erase(dash);
        const long shorter = FindName(table, layout, name);
        if (shorter == -2) return 0;
        if (shorter >= 0) {
            const int codePage = CodePageOfRecord(table, layout, static_cast<uint32_t>(shorter));
            return codePage == kEnglishCodePage || codePage == 0 ? codePage : kAskWine;
        }
    }
    return kEnglishCodePage;
}

int WineAnsiCodePage(const std::string& nlsFile) {
    std::ifstream in(nlsFile, std::ios::binary);
    if (!in) return 0;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The locale that the C library gives Wine: names it does not know end as "C".
    setlocale(LC_ALL, "");
    const char* ctype = setlocale(LC_CTYPE, nullptr);
    return AnsiCodePageOf(bytes, WindowsLocaleName(ctype != nullptr ? ctype : "", getenv("LC_ALL")));
}
