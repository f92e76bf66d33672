// The session's language and screen, as Kelmar's Wine prefix gets them at each start. Wine takes the code
// page from the locale of each process, but the fonts it falls back to and the screen's DPI live in the
// prefix's registry, as they were when it was made or last set. So the font fontconfig picks for the
// session's language is linked behind the faces of the bar, its menus and dialogs (Tahoma, MS Sans Serif),
// where Windows programs find the characters those faces lack, and the DPI of the user's other programs
// becomes the prefix's LogPixels. All of it goes to Wine as one setup information (INF) file, which also
// makes the user's profile folders and their links into the home folder.
#pragma once

#include <string>

// The fontconfig language of a locale name: "ja" for "ja_JP.UTF-8", "zh-tw" for "zh_TW" (Chinese is
// written differently by territory), "en" for none, "C" or "POSIX".
std::string FontLanguage(const std::string& locale);

// The font fontconfig picks for a language: its file's name and its first (English) family name; both
// empty when it picks none.
struct SessionFont {
    std::string file;
    std::string family;
};
SessionFont FontFor(const std::string& language);

// The session's DPI, from the first that says one: Xft.dpi in the X server's resources, GDK_SCALE, the
// screen's physical size; 96 to 480. Each reader gives 0 when it finds nothing.
int DpiOfResources(const std::string& resources);          // "Xft.dpi:\t192" in the resources' text
int DpiOfScale(const char* gdkScale);                       // 96 times a GDK_SCALE of 1 to 9
int DpiOfScreen(int pixels, int millimetres);               // to the nearest of Windows's 24-dpi steps
int SessionDpi(const char* display, const char* gdkScale);  // the above, through libX11 for the display

// The INF file that gives the prefix the session's look (and the user's profile), as UTF-8 text; and as
// the bytes Wine's setup functions read, UTF-16 with a byte order mark, so that any name survives.
std::string SettingsInf(int dpi, const SessionFont& font);
std::string Utf16WithMark(const std::string& utf8);
