// The menus that KELMENUS.EXE makes from the Start menu: the user's and the all-users' Programs folders
// read as one (a folder in both is one menu, a shortcut in both one entry), one menu for each top folder
// with the shortcuts of every folder below it, the shortcuts of Programs itself in a menu of their own;
// each shortcut resolved through the shell's own IShellLinkW and turned into an entry that starts what
// it starts, or left out with the reason. Win32, Unicode; COM must be initialised.
#pragma once

#include <windows.h>

#include <cstddef>

#include "catalogue/labels.h"
#include "catalogue/records.h"

// What became of a shortcut.
enum class Verdict {
    kEntry,        // on the bar
    kKelmar,       // Kelmar's own: left out without a word
    kUninstaller,  // an uninstaller or setup's maintenance
    kDocument,     // a readme, help, website or licence
    kBroken,       // leads nowhere
    kTooLong,      // neither its target nor the shortcut itself has a path that fits
    kNoName,       // no name the code page can show
    kMenuFull,     // its menu holds as many entries as command numbers allow
    kBarFull,      // its menu is beyond the last one the bar can number
};

struct Shortcut {
    WCHAR key[MAX_PATH];   // its path under Programs, which matches it in the other Start menu
    WCHAR name[MAX_PATH];  // the name it shows as, by which it is sorted
    LabelText label;
    char path[sizeof AppEntry::path];
    char workDir[sizeof AppEntry::workDir];
    char params[sizeof AppEntry::params];
    Verdict verdict;
};

struct StartMenuFolder {
    WCHAR key[MAX_PATH];   // the top folder's name on disk; empty for the shortcuts of Programs itself
    WCHAR name[MAX_PATH];  // as the Start menu shows it
    LabelText label;
    char untranslated[MAX_PATH * 3];  // the name on disk in UTF-8, for the letter of a title without one
    Shortcut** items;
    size_t count;
    size_t capacity;
};

struct StartMenu {
    StartMenuFolder** folders = nullptr;
    size_t count = 0;
    size_t capacity = 0;
    bool outOfMemory = false;
};

// Reads the Programs folder of the user (CSIDL_PROGRAMS) or of all users (CSIDL_COMMON_PROGRAMS) into
// menu; the first one read wins where both have a folder or shortcut.
void ReadStartMenu(int csidl, StartMenu& menu);

// Sorts the folders and each folder's shortcuts as the user's language sorts names, the shortcuts of
// Programs itself last, and appends them to an empty catalogue, with labels: as many menus and entries
// as command numbers allow, the rest marked kBarFull or kMenuFull. False when out of memory.
bool BuildStartMenuCatalogue(StartMenu& menu, Catalogue& catalogue, int& menus, int& entries);

void FreeStartMenu(StartMenu& menu);
