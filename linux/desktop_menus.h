// The catalogue that kelmar-import makes from the desktop's applications: one menu per main category,
// titled as the desktop titles it, applications sorted by the locale's collation, names turned into
// characters of the bar's ANSI code page, which the shared label rules (catalogue/labels.h) make into
// labels; and the short key by which start-app finds an application again. Pure logic over GLib's text
// functions: the listing itself is GIO's (kelmar_import.cpp).
#pragma once

#include <glib.h>

#include <cstddef>
#include <string>
#include <vector>

#include "catalogue/labels.h"
#include "catalogue/records.h"

// One application of the desktop's menus, as GIO shows it.
struct DesktopApp {
    std::string id;          // desktop-file ID, "org.example.Editor.desktop"
    std::string name;        // Name in the user's language, UTF-8
    std::string plainName;   // untranslated Name, UTF-8
    std::string categories;  // "Network;WebBrowser;"
};

// The menus in bar order; the last, "Other", takes what has no main category.
constexpr int kMenuCount = 12;
extern const char* const kMenuTitles[kMenuCount];

// Index into kMenuTitles of the first main category in a Categories list.
int MenuOf(const std::string& categories);

// The menus' titles in the user's language, as the desktop has them: from the desktop-directories
// folders under dataDirs, a .directory file whose untranslated Name is the English title gives its Name
// in the user's language. Titles without one stay English.
std::vector<std::string> MenuTitles(const std::vector<std::string>& dataDirs);

// Every title that the desktop-directories folders under dataDirs give each of the menus, in every
// language, for recognising a menu the import titled in another language.
std::vector<std::vector<std::string>> MenuTitleTranslations(const std::vector<std::string>& dataDirs);

// Converts UTF-8 text into the characters of one ANSI code page (each one or two bytes; 65001 is UTF-8),
// through GLib's iconv. Code page 0 means plain ASCII, for when the bar's code page is unknown.
class AnsiEncoder {
public:
    explicit AnsiEncoder(int codePage);
    ~AnsiEncoder();
    AnsiEncoder(const AnsiEncoder&) = delete;
    AnsiEncoder& operator=(const AnsiEncoder&) = delete;

    // False when the system has no converter for the code page.
    bool Ready() const {
        return ascii_ || (converter_ != reinterpret_cast<GIConv>(-1) && decoder_ != reinterpret_cast<GIConv>(-1));
    }
    int CodePage() const { return codePage_; }

    // The text's characters in the code page; false when any character has no form there.
    bool Encode(const std::string& utf8, std::vector<std::string>& chars) const;

    // The text as readable as the code page allows, character by character: each one it cannot hold
    // in the ASCII form GLib knows for it, else left out; spaces left doubled or at the ends go too.
    // A character a user can type to choose the entry (a letter or digit of one byte, or under UTF-8 a
    // letter of an alphabet) is a mnemonic. shown gets the text kept, in UTF-8; the result's whole is
    // false when a character was not held as itself.
    LabelText Readable(const std::string& utf8, std::string* shown = nullptr) const;

    // Text in the code page back in UTF-8, for messages.
    std::string Decode(const std::string& bytes) const;
    // Text in the code page as its characters in UTF-8, one string each, where Windows sees them; bytes
    // that make no character (or one cut short at the end) as an empty string. False when there were any.
    bool DecodeChars(const std::string& bytes, std::vector<std::string>& chars) const;

private:
    bool EncodeChar(gunichar c, std::string& bytes) const;

    int codePage_;
    bool ascii_;
    GIConv converter_;
    GIConv decoder_;
};

// The label of an application as the bar shows it, in the code page: its name in the user's language when
// the code page holds it whole, else the untranslated Name so held, else the first of the two with a
// letter or digit left readable (Readable), else its ID. shown gets the UTF-8 text chosen.
LabelText LabelChars(const DesktopApp& app, const AnsiEncoder& encoder, std::string* shown);

// How many of a label's characters, each written as units[i] (bytes, a mnemonic's "&" and a doubled "&"
// included), fit in space bytes, by the shared label rules' cut (catalogue/labels.h).
size_t FittingChars(const std::vector<std::string>& units, size_t space);

// The name by which a Windows program under Wine reaches a Unix file: its path through drive Z:, the root
// folder, in the code page ("/usr/lib/kelmar/start-app" is "Z:\\usr\\lib\\kelmar\\start-app"). Wine 10 takes a
// path that begins with "/" as relative to the working folder, so the bar must not name a program so.
// Empty when the path is not absolute or a character has no form in the code page.
std::string WinePath(const std::string& unixPath, const AnsiEncoder& encoder);

// What start-app is given to find an application: its ID without ".desktop" when that is plain and fits
// the 29 characters of Parameters, else a key of its first characters and a hash of the whole ID.
std::string AppKey(const std::string& id);
bool IsShortKey(const std::string& parameters);
// Whether a short key names the ID: its key now, or the shorter-hashed key of the first release.
bool KeyNames(const std::string& key, const std::string& id);

// Why the importer left an application out.
struct LeftOut {
    std::string id;
    std::string reason;
};

// What an import made.
struct ImportSummary {
    int menus = 0;
    int apps = 0;
    std::vector<std::string> menuLines;  // "&Internet: 3"
    std::vector<LeftOut> leftOut;
};

// Appends the menus to an empty catalogue: each app starts helperPath with its key as the Parameters;
// titles are MenuTitles' (English when empty). False when out of memory or when helperPath does not fit
// Path/filename.
bool BuildImportedCatalogue(const std::vector<DesktopApp>& apps, const AnsiEncoder& encoder,
                            const std::string& helperPath, Catalogue& catalogue, ImportSummary& summary,
                            const std::vector<std::string>& titles = {});
