// The catalogue editor: the User Menus dialog and the two Setup dialogs it opens over itself.
// Owns EditRequest, the block User Menus hands to a Setup dialog, and the Setup dialogs' working fields
// that AppState holds while one of them is open. List entries stand for records by chain position.
#pragma once

#include <windows.h>

#include <cstdint>

#include "catalogue/records.h"

// Handed to a Setup dialog as its creation parameter; the Setup dialog owns it from WM_INITDIALOG on
// and releases it on every way out.
struct EditRequest {
    AppEntry* app = nullptr;    // Application Setup: the entry to change, or the menu's last entry for a new one
    UserMenu* menu = nullptr;   // the menu to change or that owns the entry; for a new menu the chain's last
    int32_t isNew = 0;          // 1: create a record; 0: change the one given
};

// Menu Setup's working fields, valid while the dialog is open.
struct MenuSetupFields {
    HWND dialog = nullptr;
    EditRequest* request = nullptr;  // set while the dialog is open
    UserMenu* menu = nullptr;   // the menu being edited (already in the chain, also when new)
    int32_t isNew = 0;
    int listIndex = -1;         // the Menus list's selection when the dialog opened
};

// Application Setup's working fields, valid while the dialog is open.
struct AppSetupFields {
    HWND dialog = nullptr;
    EditRequest* request = nullptr;  // set while the dialog is open
    AppEntry* app = nullptr;    // the entry being edited; a new one joins its menu only at an accepted OK
    int32_t isNew = 0;
    UserMenu* menu = nullptr;   // the menu that receives a new entry
    int listIndex = -1;         // the Applications list's selection when the dialog opened
};

// The counts each edit is read with, the NUL included. A longer text is cut to one byte less; under a
// double-byte code page the platform may leave half a character before the NUL, which CopyText drops
// on the way into the record, so the record ends on the last whole character within the count less one.
constexpr int kMenuNameCount = 30;
constexpr int kAppNameCount = 30;
constexpr int kAppPathCount = 80;
constexpr int kAppWorkDirCount = 80;
constexpr int kAppParamsCount = 30;

// End the Setup dialog, when it is open, the way its Cancel does: a record it added that the user has not
// accepted leaves the catalogue. Kelmar may be ended (WM_CLOSE, the end of the session) with the editor
// open, and must then save only what was accepted.
void CancelMenuSetup();
void CancelAppSetup();

// The message handling the two Setup dialogs share; each brings its own opening, OK and Cancel.
struct SetupHandlers {
    void (*open)(HWND dialog, EditRequest* request);
    void (*ok)(HWND dialog);
    void (*cancel)(HWND dialog);
};
INT_PTR SetupMessage(const SetupHandlers& handlers, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Shows a record's name in a list of the open User Menus dialog: appended for a new record, in place of
// entry index for a changed one (the list then has no selection).
void PutUserMenusEntry(int listId, bool append, int index, const char* text);
