// The catalogue that kelmar-import makes from the desktop's applications: one menu per main category,
// applications sorted by name, labels in the bar's ANSI code page with mnemonics and "&" doubled, cut to
// the record's fields without splitting a character; and the short key by which start-app finds an
// application again. Pure logic over GLib's text functions: the listing itself is GIO's (kelmar_import.cpp).
#pragma once

#include <glib.h>

#include <cstddef>
#include <string>
#include <vector>

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

// Converts UTF-8 text into the characters of one ANSI code page (each one or two bytes), through GLib's
// iconv. Code page 0 means plain ASCII, for when the bar's code page is unknown.
class AnsiEncoder {
public:
    explicit AnsiEncoder(int codePage);
    ~AnsiEncoder();
    AnsiEncoder(const AnsiEncoder&) = delete;
    AnsiEncoder& operator=(const AnsiEncoder&) = delete;

    // False when the system has no converter for the code page.
    bool Ready() const { return ascii_ || converter_ != reinterpret_cast<GIConv>(-1); }
    int CodePage() const { return codePage_; }

    // The text's characters in the code page; false when any character has no form there.
    bool Encode(const std::string& utf8, std::vector<std::string>& chars) const;

private:
    int codePage_;
    bool ascii_;
    GIConv converter_;
};

// The label of a menu or an application as the bar shows it: the text chosen for it (its name in the
// user's language when the code page holds it, else the untranslated Name, else a readable ASCII form),
// in that code page.
std::vector<std::string> LabelChars(const DesktopApp& app, const AnsiEncoder& encoder, std::string* shown);

// A label for a field of fieldSize bytes: every "&" doubled, "&" before a mnemonic letter or digit that
// is not yet in taken (which then holds it), cut to fieldSize - 1 bytes between characters.
std::string MakeLabel(const std::vector<std::string>& chars, size_t fieldSize, std::string& taken);

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

// Appends the menus to an empty catalogue: each app starts helperPath with its key as the Parameters.
// False when out of memory or when helperPath does not fit Path/filename.
bool BuildImportedCatalogue(const std::vector<DesktopApp>& apps, const AnsiEncoder& encoder,
                            const std::string& helperPath, Catalogue& catalogue, ImportSummary& summary);
