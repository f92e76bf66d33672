// Catalogue records, their chains and the command map.
#include "catalogue/records.h"

#include <cstring>

#include "core/host.h"

UserMenu* FindMenuByName(const Catalogue& catalogue, const char* text) {
    for (UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        if (strcmp(menu->name, text) == 0) return menu;
    }
    WarnBox("Menu not found in linked list!");
    return nullptr;
}

AppEntry* FindAppByName(AppEntry* firstApp, const char* text) {
    for (AppEntry* app = firstApp; app != nullptr; app = app->next) {
        if (strcmp(app->name, text) == 0) return app;
    }
    WarnBox("Application not found in linked list!");
    return nullptr;
}

void UnlinkApp(AppEntry* app) {
    if (app->prev != nullptr) app->prev->next = app->next;
    if (app->next != nullptr) app->next->prev = app->prev;
    ReleaseRecord(app);
}

void FreeMenu(UserMenu* menu) {
    AppEntry* app = menu->apps;
    while (app != nullptr) {
        AppEntry* next = app->next;
        ReleaseRecord(app);
        app = next;
    }
    ReleaseRecord(menu);
}

void FreeCommandMap(Catalogue& catalogue) {
    CommandLink* link = catalogue.commandMap;
    while (link != nullptr) {
        CommandLink* next = link->next;
        ReleaseRecord(link);
        link = next;
    }
    catalogue.commandMap = nullptr;
    catalogue.commandTail = nullptr;
}

bool AppendCommand(Catalogue& catalogue, uint32_t id, AppEntry* app) {
    CommandLink* link = NewRecord<CommandLink>();
    if (link == nullptr) return false;
    link->id = id;
    link->app = app;
    if (catalogue.commandTail != nullptr) {
        catalogue.commandTail->next = link;
    } else {
        catalogue.commandMap = link;
    }
    catalogue.commandTail = link;
    return true;
}

AppEntry* FindAppByCommand(const Catalogue& catalogue, uint32_t id) {
    for (CommandLink* link = catalogue.commandMap; link != nullptr; link = link->next) {
        if (link->id == id) return link->app;
    }
    return nullptr;
}

void FreeCatalogue(Catalogue& catalogue) {
    FreeCommandMap(catalogue);
    UserMenu* menu = catalogue.head;
    while (menu != nullptr) {
        UserMenu* next = menu->next;
        FreeMenu(menu);
        menu = next;
    }
    catalogue.head = nullptr;
}

UserMenu* LastMenu(const Catalogue& catalogue) {
    UserMenu* menu = catalogue.head;
    while (menu != nullptr && menu->next != nullptr) menu = menu->next;
    return menu;
}

AppEntry* LastApp(const UserMenu& menu) {
    AppEntry* app = menu.apps;
    while (app != nullptr && app->next != nullptr) app = app->next;
    return app;
}

UserMenu* MenuAt(const Catalogue& catalogue, int index) {
    if (index < 0) return nullptr;
    UserMenu* menu = catalogue.head;
    while (menu != nullptr && index-- > 0) menu = menu->next;
    return menu;
}

AppEntry* AppAt(const UserMenu& menu, int index) {
    if (index < 0) return nullptr;
    AppEntry* app = menu.apps;
    while (app != nullptr && index-- > 0) app = app->next;
    return app;
}

void LinkMenuAfter(Catalogue& catalogue, UserMenu* after, UserMenu* menu) {
    menu->prev = after;
    if (after != nullptr) {
        menu->next = after->next;
        after->next = menu;
    } else {
        menu->next = catalogue.head;
        catalogue.head = menu;
    }
    if (menu->next != nullptr) menu->next->prev = menu;
}

void UnlinkMenu(Catalogue& catalogue, UserMenu* menu) {
    if (menu->prev != nullptr) {
        menu->prev->next = menu->next;
    } else {
        catalogue.head = menu->next;
    }
    if (menu->next != nullptr) menu->next->prev = menu->prev;
    menu->next = nullptr;
    menu->prev = nullptr;
}

void LinkAppAfter(UserMenu& menu, AppEntry* after, AppEntry* app) {
    app->prev = after;
    if (after != nullptr) {
        app->next = after->next;
        after->next = app;
    } else {
        app->next = menu.apps;
        menu.apps = app;
    }
    if (app->next != nullptr) app->next->prev = app;
    menu.appCount++;
}

void DeleteMenu(Catalogue& catalogue, UserMenu* menu) {
    UnlinkMenu(catalogue, menu);
    FreeMenu(menu);
}

void DeleteApp(UserMenu& menu, AppEntry* app) {
    if (menu.apps == app) menu.apps = app->next;
    UnlinkApp(app);
    menu.appCount--;
}
