// Reads a running dialog back against the template it should come from: frame, font, client size, its
// place in the middle of the screen, and every control in template order with its id, class, type, tab
// stop, text and place.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ExpectedControl {
    int id;
    const char* className;  // as GetClassName reports it
    LONG type;              // the low style bits: BS_ or SS_ type, or ES_ bits for an edit (its border is drawn apart)
    bool tabStop;
    const char* text;       // nullptr: not compared (edits and icons)
    RECT units;             // left, top, width, height in dialog units
};

struct ExpectedDialog {
    const char* title;
    int width;  // dialog units
    int height;
    std::vector<ExpectedControl> controls;
};

void ExpectDialogLayout(HWND dialog, const ExpectedDialog& expected);
