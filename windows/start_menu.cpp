// Reading the Start menu and making menus of it.
#include "windows/start_menu.h"

#include <objbase.h>
#include <shlobj.h>
#include <shellapi.h>

#include <cstdlib>

#include "core/text.h"
#include "windows/code_page.h"

namespace {

// The 40th menu's command numbers would be the fixed commands' (40001 and on).
constexpr int kMaxMenus = 39;
// A menu's thousand command numbers, less its own base.
constexpr int kMaxEntries = 999;
// Folders below a top folder that are read; deeper ones are not what a Start menu holds.
constexpr int kMaxDepth = 8;
constexpr size_t kArgumentsSize = 1024;  // INFOTIPSIZE, the most a shortcut's arguments hold

// Files that a Start menu offers to read rather than to run: readmes, help, licences, web pages.
const WCHAR* const kDocumentTypes[] = {L".txt", L".rtf", L".pdf", L".htm", L".html", L".mht", L".chm", L".hlp",
                                       L".url", L".doc", L".docx", L".odt", L".wri", L".md", L".xps"};
const WCHAR* const kHelpViewers[] = {L"hh.exe", L"winhlp32.exe", L"winhelp.exe"};
const WCHAR* const kOwnPrograms[] = {L"KELMAR32.EXE", L"KELMENUS.EXE"};
// The shell's shortcut object, named here rather than taken from the uuid library, whose table of every
// GUID would double the program.
constexpr GUID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

template <class T>
bool Grow(T**& items, size_t& capacity, size_t count) {
    if (count < capacity) return true;
    const size_t more = capacity == 0 ? 16 : capacity * 2;
    void* grown = realloc(items, more * sizeof(T*));
    if (grown == nullptr) return false;
    items = static_cast<T**>(grown);
    capacity = more;
    return true;
}

const WCHAR* FileNameOf(const WCHAR* path) {
    const WCHAR* name = path;
    for (const WCHAR* at = path; *at != L'\0'; ++at) {
        if (*at == L'\\' || *at == L'/' || *at == L':') name = at + 1;
    }
    return name;
}

// The extension of the path's file name, "." included; the end of the text when there is none.
const WCHAR* ExtensionOf(const WCHAR* path) {
    const WCHAR* name = FileNameOf(path);
    const WCHAR* dot = nullptr;
    for (const WCHAR* at = name; *at != L'\0'; ++at) {
        if (*at == L'.') dot = at;
    }
    return dot != nullptr ? dot : name + lstrlenW(name);
}

// Whether part occurs in text, case ignored.
bool Contains(const WCHAR* text, const WCHAR* part) {
    WCHAR lowText[kArgumentsSize];
    WCHAR lowPart[MAX_PATH];
    lstrcpynW(lowText, text, static_cast<int>(kArgumentsSize));
    lstrcpynW(lowPart, part, MAX_PATH);
    CharLowerBuffW(lowText, static_cast<DWORD>(lstrlenW(lowText)));
    CharLowerBuffW(lowPart, static_cast<DWORD>(lstrlenW(lowPart)));
    const int partLength = lstrlenW(lowPart);
    for (const WCHAR* at = lowText; *at != L'\0'; ++at) {
        int i = 0;
        while (i < partLength && at[i] == lowPart[i]) ++i;
        if (i == partLength) return true;
    }
    return false;
}

bool IsAnyOf(const WCHAR* text, const WCHAR* const* list, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (lstrcmpiW(text, list[i]) == 0) return true;
    }
    return false;
}

// dir and name joined with "\"; false when the path would be longer than Windows allows.
bool Join(WCHAR* out, const WCHAR* dir, const WCHAR* name) {
    const int dirLength = lstrlenW(dir);
    if (dirLength + 1 + lstrlenW(name) >= MAX_PATH) return false;
    lstrcpyW(out, dir);
    out[dirLength] = L'\\';
    lstrcpyW(out + dirLength + 1, name);
    return true;
}

// The name without its extension.
void Stem(const WCHAR* name, WCHAR* out) {
    lstrcpynW(out, name, MAX_PATH);
    out[ExtensionOf(out) - out] = L'\0';
}

// What a shortcut to target with these arguments is for, judged by what it starts: the shortcut's own
// name is only a hint, and only for uninstallers, whose names say so in any language's setup.
Verdict Judge(const WCHAR* target, const WCHAR* arguments, const WCHAR* shortcutName) {
    const WCHAR* file = FileNameOf(target);
    if (IsAnyOf(file, kOwnPrograms, sizeof kOwnPrograms / sizeof kOwnPrograms[0])) return Verdict::kKelmar;
    if (Contains(file, L"unins") || Contains(arguments, L"uninst") || lstrcmpiW(file, L"msiexec.exe") == 0 ||
        Contains(shortcutName, L"uninst")) {
        return Verdict::kUninstaller;
    }
    // The document may be the target or what the target is handed: "notepad.exe readme.txt".
    WCHAR last[kArgumentsSize];
    lstrcpynW(last, arguments, static_cast<int>(kArgumentsSize));
    int length = lstrlenW(last);
    while (length > 0 && (last[length - 1] == L' ' || last[length - 1] == L'"')) last[--length] = L'\0';
    if (IsAnyOf(ExtensionOf(target), kDocumentTypes, sizeof kDocumentTypes / sizeof kDocumentTypes[0]) ||
        IsAnyOf(ExtensionOf(last), kDocumentTypes, sizeof kDocumentTypes / sizeof kDocumentTypes[0]) ||
        IsAnyOf(file, kHelpViewers, sizeof kHelpViewers / sizeof kHelpViewers[0]) ||
        Contains(arguments, L"http:") || Contains(arguments, L"https:") || Contains(arguments, L"www.")) {
        return Verdict::kDocument;
    }
    return Verdict::kEntry;
}

// Whether the target is gone: its file, folder, drive or share does not exist. A drive that is not
// ready (a disc, a stick) may hold it later.
bool Missing(const WCHAR* target) {
    if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES) return false;
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
            return true;
        default:
            return false;
    }
}

// A 32-bit program on 64-bit Windows sees SysWOW64 where System32 is, and so misses the programs that
// System32 alone holds; Sysnative names the real System32 for it (Vista on). The target's path through
// Sysnative into out, when the target is in System32 and exists there; false otherwise.
bool ThroughSysnative(const WCHAR* target, WCHAR* out) {
    WCHAR system[MAX_PATH];
    WCHAR windows[MAX_PATH];
    const UINT systemLength = GetSystemDirectoryW(system, MAX_PATH);
    const UINT windowsLength = GetWindowsDirectoryW(windows, MAX_PATH);
    if (systemLength == 0 || systemLength >= MAX_PATH || windowsLength == 0 || windowsLength >= MAX_PATH ||
        lstrlenW(target) <= static_cast<int>(systemLength) || target[systemLength] != L'\\') {
        return false;
    }
    WCHAR start[MAX_PATH];
    lstrcpynW(start, target, static_cast<int>(systemLength) + 1);
    WCHAR native[MAX_PATH];
    if (lstrcmpiW(start, system) != 0 || !Join(native, windows, L"Sysnative") ||
        lstrlenW(native) + lstrlenW(target + systemLength) >= MAX_PATH) {
        return false;
    }
    lstrcatW(native, target + systemLength);
    if (GetFileAttributesW(native) == INVALID_FILE_ATTRIBUTES) return false;
    lstrcpyW(out, native);
    return true;
}

// The path in a field, in the code page exactly: the long form, else Windows's short 8.3 form.
bool FitPath(const WCHAR* path, char* field, size_t size) {
    if (ToAnsiExactly(path, field, size)) return true;
    WCHAR shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && ToAnsiExactly(shortPath, field, size);
}

// The entry that starts what the shortcut at path starts: its target, arguments and folder where they
// fit the fields, else the shortcut itself, which the shell opens with its own arguments, folder and
// run settings; and the shortcut itself always where the target alone would lose something.
void Resolve(IShellLinkW* link, const WCHAR* path, Shortcut& shortcut) {
    WCHAR target[MAX_PATH] = L"";
    // The target from the item list, which the shell starts; the stored path text may be in the ANSI
    // code page and lose a name outside it.
    PIDLIST_ABSOLUTE items = nullptr;
    const bool hasItems = SUCCEEDED(link->GetIDList(&items)) && items != nullptr;
    if (hasItems && !SHGetPathFromIDListW(items, target)) target[0] = L'\0';
    CoTaskMemFree(items);
    if (target[0] == L'\0' && link->GetPath(target, MAX_PATH, nullptr, 0) != S_OK) target[0] = L'\0';
    DWORD flags = 0;
    IShellLinkDataList* data = nullptr;
    if (SUCCEEDED(link->QueryInterface(__uuidof(IShellLinkDataList), reinterpret_cast<void**>(&data)))) {
        if (FAILED(data->GetFlags(&flags))) flags = 0;
        data->Release();
    }
    // A shortcut of Windows Installer starts its program through the installer, which may repair it.
    const bool installer = (flags & SLDF_HAS_DARWINID) != 0;
    WCHAR arguments[kArgumentsSize] = L"";
    WCHAR folder[MAX_PATH] = L"";
    int show = SW_SHOWNORMAL;
    if (FAILED(link->GetArguments(arguments, static_cast<int>(kArgumentsSize)))) arguments[0] = L'\0';
    if (FAILED(link->GetWorkingDirectory(folder, MAX_PATH))) folder[0] = L'\0';
    if (FAILED(link->GetShowCmd(&show))) show = SW_SHOWNORMAL;

    shortcut.verdict = Judge(target, arguments, FileNameOf(path));
    if (shortcut.verdict != Verdict::kEntry) return;
    if (!installer && ((target[0] == L'\0' && !hasItems) ||
                       (target[0] != L'\0' && Missing(target) && !ThroughSysnative(target, target)))) {
        shortcut.verdict = Verdict::kBroken;
        return;
    }
    // The run settings, the installer's shortcuts, an item that is no file, and environment variables
    // that the shell expands: only the shortcut itself keeps them.
    const bool asItself = installer || (flags & SLDF_RUNAS_USER) != 0 || target[0] == L'\0' ||
                          (show != SW_SHOWNORMAL && show != 0) || Contains(arguments, L"%") || Contains(folder, L"%");
    if (!asItself && FitPath(target, shortcut.path, sizeof shortcut.path) &&
        (folder[0] == L'\0' || FitPath(folder, shortcut.workDir, sizeof shortcut.workDir)) &&
        ToAnsiExactly(arguments, shortcut.params, sizeof shortcut.params)) {
        return;
    }
    shortcut.workDir[0] = '\0';
    shortcut.params[0] = '\0';
    if (!FitPath(path, shortcut.path, sizeof shortcut.path)) {
        shortcut.path[0] = '\0';
        shortcut.verdict = Verdict::kTooLong;
    }
}

// The name a shortcut shows as: the Start menu's own (localised where Windows localises it), else its
// file name, whichever the code page shows first; else, when neither shows a letter or digit, its
// target's name. link is the loaded shortcut, or none when it could not be read.
void NameShortcut(const WCHAR* path, const WCHAR* fileName, Shortcut& shortcut, IShellLinkW* link) {
    WCHAR names[3][MAX_PATH] = {};
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(path, 0, &info, sizeof info, SHGFI_DISPLAYNAME) != 0 && info.szDisplayName[0] != L'\0') {
        lstrcpynW(names[0], info.szDisplayName, MAX_PATH);
    } else {
        Stem(fileName, names[0]);
    }
    Stem(fileName, names[1]);
    WCHAR target[MAX_PATH] = L"";
    if (link != nullptr && link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) {
        Stem(FileNameOf(target), names[2]);
    }
    LabelText forms[3];
    for (int i = 0; i < 3; ++i) ToLabelText(names[i], forms[i]);
    const LabelText* const order[2] = {&forms[0], &forms[1]};
    const LabelText* picked = PickName(order, 2);
    if (picked == nullptr && HasLetterOrDigit(forms[2])) picked = &forms[2];
    lstrcpynW(shortcut.name, names[picked != nullptr ? picked - forms : 0], MAX_PATH);
    if (picked != nullptr) {
        shortcut.label = *picked;
    } else if (shortcut.verdict == Verdict::kEntry) {
        shortcut.verdict = Verdict::kNoName;
    }
}

StartMenuFolder* FindFolder(StartMenu& menu, const WCHAR* key, const WCHAR* path) {
    for (size_t i = 0; i < menu.count; ++i) {
        if (lstrcmpiW(menu.folders[i]->key, key) == 0) return menu.folders[i];
    }
    StartMenuFolder* folder = NewRecord<StartMenuFolder>();
    if (folder == nullptr || !Grow(menu.folders, menu.capacity, menu.count)) {
        ReleaseRecord(folder);
        menu.outOfMemory = true;
        return nullptr;
    }
    lstrcpynW(folder->key, key, MAX_PATH);
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(path, 0, &info, sizeof info, SHGFI_DISPLAYNAME) != 0 && info.szDisplayName[0] != L'\0') {
        lstrcpynW(folder->name, info.szDisplayName, MAX_PATH);
    } else {
        lstrcpynW(folder->name, FileNameOf(path), MAX_PATH);
    }
    ToUtf8(FileNameOf(path), folder->untranslated, sizeof folder->untranslated);
    menu.folders[menu.count++] = folder;
    return folder;
}

void ReadShortcut(StartMenu& menu, StartMenuFolder& folder, const WCHAR* path, const WCHAR* key, const WCHAR* fileName) {
    for (size_t i = 0; i < folder.count; ++i) {
        if (lstrcmpiW(folder.items[i]->key, key) == 0) return;  // the same shortcut in the other Start menu
    }
    Shortcut* shortcut = NewRecord<Shortcut>();
    if (shortcut == nullptr || !Grow(folder.items, folder.capacity, folder.count)) {
        ReleaseRecord(shortcut);
        menu.outOfMemory = true;
        return;
    }
    lstrcpynW(shortcut->key, key, MAX_PATH);
    // A shell link object for each shortcut: nothing of the one before can stay in it.
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    const bool loaded = SUCCEEDED(CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                                                   reinterpret_cast<void**>(&link))) &&
                        SUCCEEDED(link->QueryInterface(__uuidof(IPersistFile), reinterpret_cast<void**>(&file))) &&
                        SUCCEEDED(file->Load(path, STGM_READ));
    shortcut->verdict = Verdict::kBroken;
    if (loaded) Resolve(link, path, *shortcut);
    NameShortcut(path, fileName, *shortcut, loaded ? link : nullptr);
    if (file != nullptr) file->Release();
    if (link != nullptr) link->Release();
    folder.items[folder.count++] = shortcut;
}

// Every shortcut in dir and the folders below it, as the Start menu shows them: hidden ones are not.
void ReadFolder(StartMenu& menu, StartMenuFolder& folder, const WCHAR* dir, const WCHAR* keyPrefix, int depth) {
    WCHAR pattern[MAX_PATH];
    if (!Join(pattern, dir, L"*")) return;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const WCHAR* name = found.cFileName;
        const DWORD attributes = found.dwFileAttributes;
        WCHAR path[MAX_PATH];
        WCHAR key[MAX_PATH];
        if (lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0 || (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 ||
            !Join(path, dir, name) || lstrlenW(keyPrefix) + lstrlenW(name) + 1 >= MAX_PATH) {
            continue;
        }
        lstrcpyW(key, keyPrefix);
        lstrcatW(key, name);
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            // A folder that leads elsewhere could lead back here.
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && depth < kMaxDepth) {
                lstrcatW(key, L"\\");
                ReadFolder(menu, folder, path, key, depth + 1);
            }
        } else if (lstrcmpiW(ExtensionOf(name), L".lnk") == 0) {
            ReadShortcut(menu, folder, path, key, name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int CompareNames(const WCHAR* a, const WCHAR* b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) - CSTR_EQUAL;
}

bool Before(const Shortcut* a, const Shortcut* b) {
    const int order = CompareNames(a->name, b->name);
    return order != 0 ? order < 0 : lstrcmpW(a->key, b->key) < 0;
}

// The shortcuts of Programs itself come last, as in the Start menu after its folders.
bool Before(const StartMenuFolder* a, const StartMenuFolder* b) {
    if ((a->key[0] == L'\0') != (b->key[0] == L'\0')) return b->key[0] == L'\0';
    const int order = CompareNames(a->name, b->name);
    return order != 0 ? order < 0 : lstrcmpW(a->key, b->key) < 0;
}

// Stable, so that equal names keep the order of their keys.
template <class T>
void Sort(T** items, size_t count) {
    for (size_t i = 1; i < count; ++i) {
        T* item = items[i];
        size_t j = i;
        for (; j > 0 && Before(item, items[j - 1]); --j) items[j] = items[j - 1];
        items[j] = item;
    }
}

size_t EntryCount(const StartMenuFolder& folder) {
    size_t count = 0;
    for (size_t i = 0; i < folder.count; ++i) count += folder.items[i]->verdict == Verdict::kEntry ? 1 : 0;
    return count;
}

// The title's name: as the Start menu shows the folder, else its name on disk, else its first entry's.
void NameFolder(StartMenuFolder& folder) {
    LabelText forms[2];
    ToLabelText(folder.name, forms[0]);
    ToLabelText(folder.key[0] != L'\0' ? folder.key : folder.name, forms[1]);
    const LabelText* order[2] = {&forms[0], &forms[1]};
    const LabelText* picked = PickName(order, 2);
    if (picked == &forms[1]) lstrcpynW(folder.name, folder.key, MAX_PATH);
    if (picked != nullptr) {
        folder.label = *picked;
        return;
    }
    for (size_t i = 0; i < folder.count; ++i) {
        if (folder.items[i]->verdict == Verdict::kEntry) {
            folder.label = folder.items[i]->label;
            return;
        }
    }
}

}  // namespace

void ReadStartMenu(int csidl, StartMenu& menu) {
    WCHAR programs[MAX_PATH];
    WCHAR pattern[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, programs)) || !Join(pattern, programs, L"*")) {
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const WCHAR* name = found.cFileName;
        const DWORD attributes = found.dwFileAttributes;
        WCHAR path[MAX_PATH];
        WCHAR key[MAX_PATH];
        if (lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0 || (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 ||
            !Join(path, programs, name)) {
            continue;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !Join(key, name, L"")) continue;
            if (StartMenuFolder* folder = FindFolder(menu, name, path)) ReadFolder(menu, *folder, path, key, 1);
        } else if (lstrcmpiW(ExtensionOf(name), L".lnk") == 0) {
            if (StartMenuFolder* folder = FindFolder(menu, L"", programs)) ReadShortcut(menu, *folder, path, name, name);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

bool BuildStartMenuCatalogue(StartMenu& menu, Catalogue& catalogue, int& menus, int& entries) {
    menus = 0;
    entries = 0;
    for (size_t i = 0; i < menu.count; ++i) {
        Sort(menu.folders[i]->items, menu.folders[i]->count);
        NameFolder(*menu.folders[i]);
    }
    Sort(menu.folders, menu.count);
    LabelLetters barLetters;
    for (size_t i = 0; i < menu.count; ++i) {
        StartMenuFolder& folder = *menu.folders[i];
        if (EntryCount(folder) == 0) continue;
        UserMenu* record = menus < kMaxMenus ? NewRecord<UserMenu>() : nullptr;
        if (menus < kMaxMenus && record == nullptr) return false;
        if (record != nullptr) {
            // The folder's name on disk gives the letter of a title without one.
            WriteTitle(folder.label, folder.untranslated, barLetters, record->name, sizeof record->name);
            LinkMenuAfter(catalogue, LastMenu(catalogue), record);
            ++menus;
        }
        LabelLetters letters;
        for (size_t j = 0; j < folder.count; ++j) {
            Shortcut& shortcut = *folder.items[j];
            if (shortcut.verdict != Verdict::kEntry) continue;
            if (record == nullptr) {
                shortcut.verdict = Verdict::kBarFull;
                continue;
            }
            if (record->appCount == kMaxEntries) {
                shortcut.verdict = Verdict::kMenuFull;
                continue;
            }
            AppEntry* app = NewRecord<AppEntry>();
            if (app == nullptr) return false;
            WriteLabel(shortcut.label, letters, app->name, sizeof app->name);
            CopyText(app->path, sizeof app->path, shortcut.path);
            CopyText(app->workDir, sizeof app->workDir, shortcut.workDir);
            CopyText(app->params, sizeof app->params, shortcut.params);
            LinkAppAfter(*record, LastApp(*record), app);
            ++entries;
        }
    }
    return true;
}

void FreeStartMenu(StartMenu& menu) {
    for (size_t i = 0; i < menu.count; ++i) {
        StartMenuFolder* folder = menu.folders[i];
        for (size_t j = 0; j < folder->count; ++j) ReleaseRecord(folder->items[j]);
        free(folder->items);
        ReleaseRecord(folder);
    }
    free(menu.folders);
    menu = StartMenu();
}
