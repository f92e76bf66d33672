// apps.dat across a change of language: its texts are in the ANSI code page of the locale Kelmar last
// ran or imported under, which a small record beside it names ("apps.dat.codepage"); started under a
// locale with another code page, the catalogue's texts are converted to it before Kelmar reads them:
// names exactly where the new code page holds them, else as readably as the import would make them;
// paths, folders and parameters only where they convert exactly. Pure logic over GLib's iconv.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "catalogue/records.h"
#include "linux/desktop_menus.h"

constexpr const char* kCodePageRecordFile = "apps.dat.codepage";

// What the record holds: the code page apps.dat is written in, and the locale that chose it (the value
// of LC_ALL, else LC_CTYPE, else LANG, from which Wine takes the code page), so that a start in the same
// locale needs not ask Wine for the code page again.
struct CodePageRecord {
    int codePage = 0;
    std::string locale;
};

// The record as written: the code page and the locale, one line each.
std::string CodePageRecordText(const CodePageRecord& record);
// False for anything but exactly what CodePageRecordText writes: a damaged record is as none.
bool ParseCodePageRecord(const std::string& text, CodePageRecord& record);
// The locale of the current environment that chooses the code page ("" when none is set).
std::string CodePageLocale();

// What the desktop knows that the catalogue does not, for names of which nothing is readable in the new
// code page: the names an imported application has on the desktop (its name in the user's language, its
// untranslated Name), from its start-app key; and each menu's titles, in every language and in the user's.
struct DesktopNames {
    std::function<std::vector<std::string>(const std::string& key)> appNames;  // UTF-8; none when empty
    std::vector<std::vector<std::string>> titleTranslations;  // kMenuCount lists, UTF-8
    std::vector<std::string> titles;                          // kMenuCount titles in the user's language
};

// What a conversion did.
struct CatalogueConversion {
    bool readable = false;                  // false: a group cut short, as Kelmar cannot read; bytes untouched
    bool changed = false;                   // bytes differ from the input
    std::vector<std::string> keptAsTheyWere;  // one line per path, folder or parameters left unconverted
    std::vector<std::string> madeReadable;    // one line per name not held exactly: "old name: new name"
};

// apps.dat's bytes from the one code page to the other. Everything but the texts stays as it was: the
// groups, their counts, a trailing fragment. An entry whose program is start-app was imported: its
// parameters are its key.
std::string ConvertCatalogue(const std::string& bytes, const AnsiEncoder& from, const AnsiEncoder& to,
                             const DesktopNames& desktop, CatalogueConversion& conversion);
