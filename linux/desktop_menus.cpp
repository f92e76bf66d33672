// The imported catalogue's menus, labels and keys.
#include "linux/desktop_menus.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "core/text.h"
#include "linux/ansi_chars.h"

const char* const kMenuTitles[kMenuCount] = {"Internet",  "Office",    "Graphics", "Sound & Video",
                                             "Games",     "Development", "Education", "Science",
                                             "System",    "Settings",  "Utilities", "Other"};

namespace {

constexpr size_t kParamsChars = sizeof AppEntry::params - 1;
// A long ID's key: its first characters, "~" and 80 bits of its SHA-256 in 16 base-32 digits, which no
// one finds a second ID for by chance or by a search on a desktop computer.
constexpr size_t kHashDigits = 16;
constexpr size_t kKeyPrefix = kParamsChars - 1 - kHashDigits;
// The keys of the first release: 20 characters, "~" and a 32-bit FNV-1a hash, which a search collides.
constexpr size_t kLegacyKeyPrefix = kParamsChars - 9;

// The freedesktop main categories, each with its menu; Audio and Video come with AudioVideo.
struct MainCategory {
    const char* name;
    int menu;
};
constexpr MainCategory kMainCategories[] = {
    {"Network", 0}, {"Office", 1},  {"Graphics", 2},  {"AudioVideo", 3}, {"Audio", 3},      {"Video", 3},
    {"Game", 4},    {"Development", 5}, {"Education", 6}, {"Science", 7}, {"System", 8}, {"Settings", 9},
    {"Utility", 10}};

constexpr int kUtf8 = 65001;

// The iconv name of a Windows code page; glibc knows them all as CPnnnn, but UTF-8 by its own name.
std::string ConverterName(int codePage) {
    return codePage == kUtf8 ? "UTF-8" : "CP" + std::to_string(codePage);
}

bool IsPlainIdChar(char c) {
    return g_ascii_isalnum(c) || c == '.' || c == '_' || c == '-' || c == '+';
}

// Scripts whose characters are typed through an input method rather than one key each.
bool TypedThroughInputMethod(gunichar c) {
    switch (g_unichar_get_script(c)) {
        case G_UNICODE_SCRIPT_HAN:
        case G_UNICODE_SCRIPT_HIRAGANA:
        case G_UNICODE_SCRIPT_KATAKANA:
        case G_UNICODE_SCRIPT_HANGUL:
        case G_UNICODE_SCRIPT_YI:
        case G_UNICODE_SCRIPT_BOPOMOFO:
            return true;
        default:
            return false;
    }
}

// Text fit for a label: composed characters, controls as spaces, no spaces at either end.
std::string Tidy(const std::string& utf8) {
    if (!g_utf8_validate(utf8.c_str(), static_cast<gssize>(utf8.size()), nullptr)) return std::string();
    gchar* composed = g_utf8_normalize(utf8.c_str(), -1, G_NORMALIZE_DEFAULT_COMPOSE);
    std::string text = composed != nullptr ? composed : "";
    g_free(composed);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The ASCII form GLib knows for one character ("é" is "e", "Œ" is "OE"); empty when it knows none.
std::string AsciiForm(gunichar c) {
    char utf8[8] = {};
    g_unichar_to_utf8(c, utf8);
    gchar* ascii = g_str_to_ascii(utf8, "C");
    std::string text = ascii != nullptr ? ascii : "";
    g_free(ascii);
    if (text.find('?') != std::string::npos) return std::string();
    return text;
}

uint32_t Fnv1a(const std::string& text) {
    uint32_t hash = 2166136261u;
    for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
}

}  // namespace

int MenuOf(const std::string& categories) {
    size_t start = 0;
    while (start <= categories.size()) {
        size_t end = categories.find(';', start);
        if (end == std::string::npos) end = categories.size();
        const std::string category = categories.substr(start, end - start);
        for (const MainCategory& main : kMainCategories) {
            if (category == main.name) return main.menu;
        }
        start = end + 1;
    }
    return kMenuCount - 1;
}

std::vector<std::string> MenuTitles(const std::vector<std::string>& dataDirs) {
    std::vector<std::string> titles(kMenuTitles, kMenuTitles + kMenuCount);
    std::vector<bool> found(kMenuCount, false);
    for (const std::string& dataDir : dataDirs) {
        const std::string folder = dataDir + "/desktop-directories";
        GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
        if (dir == nullptr) continue;
        std::vector<std::string> names;
        while (const char* name = g_dir_read_name(dir)) {
            if (g_str_has_suffix(name, ".directory")) names.emplace_back(name);
        }
        g_dir_close(dir);
        std::sort(names.begin(), names.end());  // the same title every time, whatever the folder's order
        for (const std::string& name : names) {
            GKeyFile* file = g_key_file_new();
            if (g_key_file_load_from_file(file, (folder + "/" + name).c_str(), G_KEY_FILE_NONE, nullptr)) {
                gchar* english = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, "Name", nullptr);
                gchar* local = g_key_file_get_locale_string(file, G_KEY_FILE_DESKTOP_GROUP, "Name", nullptr, nullptr);
                for (int m = 0; m < kMenuCount && english != nullptr && local != nullptr; ++m) {
                    if (found[m] || strcmp(english, kMenuTitles[m]) != 0) continue;
                    titles[m] = local;
                    found[m] = true;
                }
                g_free(english);
                g_free(local);
            }
            g_key_file_free(file);
        }
    }
    return titles;
}

std::vector<std::vector<std::string>> MenuTitleTranslations(const std::vector<std::string>& dataDirs) {
    std::vector<std::vector<std::string>> translations(kMenuCount);
    for (const std::string& dataDir : dataDirs) {
        const std::string folder = dataDir + "/desktop-directories";
        GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
        if (dir == nullptr) continue;
        while (const char* name = g_dir_read_name(dir)) {
            if (!g_str_has_suffix(name, ".directory")) continue;
            GKeyFile* file = g_key_file_new();
            gchar* english = nullptr;
            // Every translation, not only the current language's.
            if (g_key_file_load_from_file(file, (folder + "/" + name).c_str(), G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
                english = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, "Name", nullptr);
            }
            for (int m = 0; m < kMenuCount && english != nullptr; ++m) {
                if (strcmp(english, kMenuTitles[m]) != 0) continue;
                // Name and every Name[locale] of the file.
                gchar** keys = g_key_file_get_keys(file, G_KEY_FILE_DESKTOP_GROUP, nullptr, nullptr);
                for (gchar** key = keys; key != nullptr && *key != nullptr; ++key) {
                    if (strcmp(*key, "Name") != 0 && !g_str_has_prefix(*key, "Name[")) continue;
                    gchar* title = g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, *key, nullptr);
                    if (title != nullptr) translations[m].emplace_back(title);
                    g_free(title);
                }
                g_strfreev(keys);
            }
            g_free(english);
            g_key_file_free(file);
        }
        g_dir_close(dir);
    }
    return translations;
}

AnsiEncoder::AnsiEncoder(int codePage)
    : codePage_(codePage),
      ascii_(codePage == 0 || codePage == 20127),
      converter_(reinterpret_cast<GIConv>(-1)),
      decoder_(reinterpret_cast<GIConv>(-1)) {
    if (ascii_) return;
    converter_ = g_iconv_open(ConverterName(codePage).c_str(), "UTF-8");
    decoder_ = g_iconv_open("UTF-8", ConverterName(codePage).c_str());
}

AnsiEncoder::~AnsiEncoder() {
    if (converter_ != reinterpret_cast<GIConv>(-1)) g_iconv_close(converter_);
    if (decoder_ != reinterpret_cast<GIConv>(-1)) g_iconv_close(decoder_);
}

bool AnsiEncoder::EncodeChar(gunichar c, std::string& bytes) const {
    if (c == 0) return false;
    if (ascii_) {
        if (c >= 0x80) return false;
        bytes.assign(1, static_cast<char>(c));
        return true;
    }
    char in[8];
    const gsize inLength = static_cast<gsize>(g_unichar_to_utf8(c, in));
    char out[8];
    gchar* inCursor = in;
    gchar* outCursor = out;
    gsize inLeft = inLength;
    gsize outLeft = sizeof out;
    if (g_iconv(converter_, &inCursor, &inLeft, &outCursor, &outLeft) == static_cast<gsize>(-1) || inLeft != 0) {
        g_iconv(converter_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return false;
    }
    const size_t length = sizeof out - outLeft;
    // A NUL would end the field; a code page that maps a character to none has no form for it.
    if (length == 0 || memchr(out, '\0', length) != nullptr) return false;
    bytes.assign(out, length);
    return true;
}

bool AnsiEncoder::Encode(const std::string& utf8, std::vector<std::string>& chars) const {
    chars.clear();
    if (!Ready() || !g_utf8_validate(utf8.c_str(), static_cast<gssize>(utf8.size()), nullptr)) return false;
    // One character at a time, so that the bytes of each are known and a cut never splits one.
    std::string bytes;
    for (const char* p = utf8.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
        if (!EncodeChar(g_utf8_get_char(p), bytes)) return false;
        chars.push_back(bytes);
    }
    return true;
}

std::string AnsiEncoder::Decode(const std::string& bytes) const {
    if (ascii_) return bytes;
    gchar* utf8 = g_convert(bytes.c_str(), static_cast<gssize>(bytes.size()), "UTF-8", ConverterName(codePage_).c_str(),
                            nullptr, nullptr, nullptr);
    std::string text = utf8 != nullptr ? utf8 : bytes;
    g_free(utf8);
    return text;
}

bool AnsiEncoder::DecodeChars(const std::string& bytes, std::vector<std::string>& chars) const {
    chars.clear();
    bool whole = true;
    for (size_t at = 0; at < bytes.size();) {
        // Where the character ends, as Windows reads the code page; a cut one runs to the text's end.
        size_t length = ascii_ ? 1 : AnsiCharBytes(codePage_, bytes.c_str() + at, bytes.size() - at);
        if (length == 0) length = bytes.size() - at;
        std::string one;
        if (ascii_) {
            if (static_cast<unsigned char>(bytes[at]) < 0x80) one = bytes.substr(at, 1);
        } else {
            gchar* in = const_cast<gchar*>(bytes.data() + at);
            gsize inLeft = length;
            char out[16];
            gchar* outAt = out;
            gsize outLeft = sizeof out;
            g_iconv(decoder_, nullptr, nullptr, nullptr, nullptr);
            if (g_iconv(decoder_, &in, &inLeft, &outAt, &outLeft) != static_cast<gsize>(-1) && inLeft == 0) {
                one.assign(out, static_cast<size_t>(outAt - out));
            }
        }
        if (one.empty() || g_utf8_strlen(one.c_str(), static_cast<gssize>(one.size())) != 1) {
            one.clear();
            whole = false;
        }
        chars.push_back(one);
        at += length;
    }
    return whole;
}

LabelText AnsiEncoder::Readable(const std::string& utf8, std::string* shown) const {
    LabelText chars;
    std::string text;
    if (!Ready() || !g_utf8_validate(utf8.c_str(), static_cast<gssize>(utf8.size()), nullptr)) {
        chars.whole = false;
        if (shown != nullptr) shown->clear();
        return chars;
    }
    auto add = [&](gunichar c, const std::string& bytes) {
        const bool typeable = !TypedThroughInputMethod(c) && (bytes.size() == 1 || codePage_ == kUtf8);
        const uint32_t mnemonic = g_unichar_isalnum(c) && typeable ? g_unichar_tolower(c) : 0;
        if (!AppendLabelChar(chars, bytes.data(), bytes.size(), g_unichar_isalnum(c), mnemonic)) return;
        char one[8] = {};
        g_unichar_to_utf8(c, one);
        text += one;
    };
    std::string bytes;
    for (const char* p = utf8.c_str(); *p != '\0'; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (EncodeChar(c, bytes)) {
            add(c, bytes);
            continue;
        }
        chars.whole = false;
        for (char a : AsciiForm(c)) {
            if (EncodeChar(static_cast<unsigned char>(a), bytes)) add(static_cast<unsigned char>(a), bytes);
        }
    }
    TrimLabelText(chars);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (shown != nullptr) *shown = text;
    return chars;
}

LabelText LabelChars(const DesktopApp& app, const AnsiEncoder& encoder, std::string* shown) {
    // The name in the user's language first, then the untranslated Name.
    std::string texts[2];
    const LabelText forms[2] = {encoder.Readable(Tidy(app.name), &texts[0]),
                                encoder.Readable(Tidy(app.plainName), &texts[1])};
    const LabelText* const order[2] = {&forms[0], &forms[1]};
    if (const LabelText* picked = PickName(order, 2)) {
        if (shown != nullptr) *shown = texts[picked - forms];
        return *picked;
    }
    std::string id = app.id;
    const size_t suffix = id.rfind(".desktop");
    if (suffix != std::string::npos && suffix + 8 == id.size()) id.erase(suffix);
    return encoder.Readable(Tidy(id), shown);
}

size_t FittingChars(const std::vector<std::string>& units, size_t space) {
    std::vector<LabelUnit> sizes;
    for (const std::string& unit : units) sizes.push_back({unit.size(), unit == " "});
    return LabelCharsThatFit(sizes.data(), sizes.size(), false, space);
}

std::string WinePath(const std::string& unixPath, const AnsiEncoder& encoder) {
    std::vector<std::string> chars;
    if (unixPath.empty() || unixPath[0] != '/' || !encoder.Encode(unixPath, chars)) return std::string();
    std::string path = "Z:";
    for (const std::string& c : chars) path += c == "/" ? "\\" : c;
    return path;
}

namespace {

std::string IdStem(const std::string& id) {
    std::string stem = id;
    const size_t suffix = stem.rfind(".desktop");
    if (suffix != std::string::npos && suffix + 8 == stem.size()) stem.erase(suffix);
    return stem;
}

std::string KeyPrefix(const std::string& stem, size_t size) {
    std::string key;
    for (char c : stem) {
        if (key.size() == size) break;
        key.push_back(IsPlainIdChar(c) ? c : '_');
    }
    return key;
}

std::string LegacyKey(const std::string& id) {
    char hash[10];
    snprintf(hash, sizeof hash, "~%08x", Fnv1a(id));
    return KeyPrefix(IdStem(id), kLegacyKeyPrefix) + hash;
}

}  // namespace

std::string AppKey(const std::string& id) {
    const std::string stem = IdStem(id);
    const bool plain = !stem.empty() && std::all_of(stem.begin(), stem.end(), IsPlainIdChar);
    if (plain && stem.size() <= kParamsChars) return stem;
    guint8 digest[32];
    gsize size = sizeof digest;
    GChecksum* checksum = g_checksum_new(G_CHECKSUM_SHA256);
    g_checksum_update(checksum, reinterpret_cast<const guchar*>(id.data()), static_cast<gssize>(id.size()));
    g_checksum_get_digest(checksum, digest, &size);
    g_checksum_free(checksum);
    std::string key = KeyPrefix(stem, kKeyPrefix) + "~";
    for (size_t i = 0; i < kHashDigits; ++i) {  // 5 bits each, from the digest's first 80
        const size_t bit = i * 5;
        const unsigned pair = (static_cast<unsigned>(digest[bit / 8]) << 8) | digest[bit / 8 + 1];
        key.push_back("abcdefghijklmnopqrstuvwxyz234567"[(pair >> (11 - bit % 8)) & 31]);
    }
    return key;
}

bool IsShortKey(const std::string& parameters) {
    return parameters.find('~') != std::string::npos;
}

bool KeyNames(const std::string& key, const std::string& id) {
    if (key == AppKey(id)) return true;
    const size_t tilde = key.find('~');
    return tilde != std::string::npos && key.size() - tilde == 9 && key == LegacyKey(id);
}

namespace {

struct Entry {
    const DesktopApp* app;
    LabelText chars;
    gchar* sortKey;
};

bool AddApp(UserMenu& menu, const LabelText& chars, LabelLetters& taken, const std::string& helperPath,
            const std::string& key) {
    AppEntry* record = NewRecord<AppEntry>();
    if (record == nullptr) return false;
    WriteLabel(chars, taken, record->name, sizeof record->name);
    CopyText(record->path, sizeof record->path, helperPath.c_str());
    CopyText(record->params, sizeof record->params, key.c_str());
    LinkAppAfter(menu, LastApp(menu), record);
    return true;
}

}  // namespace

bool BuildImportedCatalogue(const std::vector<DesktopApp>& apps, const AnsiEncoder& encoder,
                            const std::string& helperPath, Catalogue& catalogue, ImportSummary& summary,
                            const std::vector<std::string>& titles) {
    if (helperPath.empty() || helperPath.size() > sizeof AppEntry::path - 1) return false;
    std::vector<Entry> menus[kMenuCount];
    for (const DesktopApp& app : apps) {
        Entry entry{&app, {}, nullptr};
        std::string shown;
        entry.chars = LabelChars(app, encoder, &shown);
        if (entry.chars.count == 0) {
            summary.leftOut.push_back({app.id, "it has no name"});
            continue;
        }
        gchar* folded = g_utf8_casefold(shown.c_str(), -1);
        entry.sortKey = g_utf8_collate_key(folded, -1);
        g_free(folded);
        menus[MenuOf(app.categories)].push_back(entry);
    }

    bool built = true;
    LabelLetters menuLetters;
    std::set<std::string> keys;
    for (int m = 0; m < kMenuCount; ++m) {
        std::vector<Entry>& entries = menus[m];
        if (entries.empty()) continue;
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            const int order = strcmp(a.sortKey, b.sortKey);
            return order != 0 ? order < 0 : a.app->id < b.app->id;
        });
        LabelText titleChars;
        if (static_cast<int>(titles.size()) == kMenuCount) titleChars = encoder.Readable(titles[m]);
        if (!HasLetterOrDigit(titleChars)) titleChars = encoder.Readable(kMenuTitles[m]);
        // The category's own name gives the letter of a title without one: Utilities gives (&U).
        char title[sizeof UserMenu::name];
        WriteTitle(titleChars, kMenuTitles[m], menuLetters, title, sizeof title);

        UserMenu* menu = built ? NewRecord<UserMenu>() : nullptr;
        if (menu != nullptr) {
            CopyText(menu->name, sizeof menu->name, title);
            LinkMenuAfter(catalogue, LastMenu(catalogue), menu);
        }
        built = built && menu != nullptr;
        LabelLetters appLetters;
        int count = 0;
        for (Entry& entry : entries) {
            const std::string key = AppKey(entry.app->id);
            // Command ids give each menu a thousand: more would reach into the next menu's.
            if (count == 999) {
                summary.leftOut.push_back({entry.app->id, std::string("the menu ") + kMenuTitles[m] + " is full"});
            } else if (!keys.insert(key).second) {
                // Two entries with one key would start the same application: the second is left out.
                summary.leftOut.push_back({entry.app->id, "its key " + key + " is another application's"});
            } else if (built) {
                built = AddApp(*menu, entry.chars, appLetters, helperPath, key);
                ++count;
            }
            g_free(entry.sortKey);
        }
        if (built) {
            ++summary.menus;
            summary.apps += count;
            summary.menuLines.push_back(encoder.Decode(title) + ": " + std::to_string(count));
        }
    }
    return built;
}
