// The catalogue in memory: menus (UserMenu) each owning a chain of applications (AppEntry),
// both chains doubly linked, plus the command map that leads bar command ids to AppEntry records.
// Portable: no platform headers. This module is the only one that touches next/prev.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

struct AppEntry {
    char path[80];
    char workDir[80];
    char params[30];
    char name[30];
    AppEntry* next = nullptr;
    AppEntry* prev = nullptr;

    AppEntry() : path(), workDir(), params(), name() {}
};

struct UserMenu {
    char name[32];
    int32_t appCount = 0;
    UserMenu* next = nullptr;
    UserMenu* prev = nullptr;
    AppEntry* apps = nullptr;

    UserMenu() : name() {}
};

struct CommandLink {
    uint32_t id = 0;
    AppEntry* app = nullptr;
    CommandLink* next = nullptr;
};

// The portable part of the program state: the menu chain and the command map.
struct Catalogue {
    UserMenu* head = nullptr;
    CommandLink* commandMap = nullptr;
    CommandLink* commandTail = nullptr;  // last link, so that building the map stays linear
};

// malloc + placement new: the constructor runs only on storage actually obtained; nullptr when out of memory.
template <class T>
T* NewRecord() {
    void* storage = malloc(sizeof(T));
    return storage != nullptr ? new (storage) T() : nullptr;
}

template <class T>
void ReleaseRecord(T* record) {
    if (record != nullptr) {
        record->~T();
        free(record);
    }
}

// First menu whose name equals text exactly (bytes, case and "&" included); warns
// "Menu not found in linked list!" and yields nullptr when none matches.
UserMenu* FindMenuByName(const Catalogue& catalogue, const char* text);

// First app of the chain from firstApp whose name equals text exactly; warns
// "Application not found in linked list!" and yields nullptr when none matches.
AppEntry* FindAppByName(AppEntry* firstApp, const char* text);

// Joins the app's neighbours and releases it. The caller moves the menu's apps and its appCount.
void UnlinkApp(AppEntry* app);

// Releases every app of the menu, then the menu. Does not unlink the menu from its chain.
void FreeMenu(UserMenu* menu);

// Releases every command link; the map is empty afterwards.
void FreeCommandMap(Catalogue& catalogue);

// Appends (id, app) at the end of the map. False, map unchanged, when out of memory.
bool AppendCommand(Catalogue& catalogue, uint32_t id, AppEntry* app);

// Entry of the first link whose id equals id, or nullptr.
AppEntry* FindAppByCommand(const Catalogue& catalogue, uint32_t id);

// The command map, then every menu with its apps; the catalogue is empty afterwards.
void FreeCatalogue(Catalogue& catalogue);

// Chain vocabulary used by the loader and the editor.
UserMenu* LastMenu(const Catalogue& catalogue);                 // nullptr for an empty chain
AppEntry* LastApp(const UserMenu& menu);                        // nullptr for a menu without apps
UserMenu* MenuAt(const Catalogue& catalogue, int index);        // chain position from 0, nullptr outside
AppEntry* AppAt(const UserMenu& menu, int index);               // chain position from 0, nullptr outside
void LinkMenuAfter(Catalogue& catalogue, UserMenu* after, UserMenu* menu);  // after == nullptr: new head
void UnlinkMenu(Catalogue& catalogue, UserMenu* menu);          // leaves menu unlinked, not released
void LinkAppAfter(UserMenu& menu, AppEntry* after, AppEntry* app);  // after == nullptr: first app; appCount + 1
void DeleteMenu(Catalogue& catalogue, UserMenu* menu);          // unlink, then FreeMenu
void DeleteApp(UserMenu& menu, AppEntry* app);                  // unlink, release, appCount - 1
