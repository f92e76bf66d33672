// Reading a running dialog back against its template.
#include "tests/win32/dialog_layout.h"

#include <gtest/gtest.h>

#include "tests/win32/modal.h"

namespace {

// Position and size convert separately, as the dialog manager does, so their roundings add up.
RECT ToPixels(HWND dialog, RECT units) {
    MapDialogRect(dialog, &units);
    return {units.left, units.top, units.left + units.right, units.top + units.bottom};
}

}  // namespace

void ExpectDialogLayout(HWND dialog, const ExpectedDialog& expected) {
    EXPECT_EQ(WindowText(dialog), expected.title);
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU), WS_POPUP | WS_CAPTION) << expected.title;
    EXPECT_TRUE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME) << expected.title;

    LOGFONTA font = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    RECT client;
    GetClientRect(dialog, &client);
    const RECT size = ToPixels(dialog, {0, 0, expected.width, expected.height});
    EXPECT_EQ(client.right, size.right) << expected.title;
    EXPECT_EQ(client.bottom, size.bottom) << expected.title;
    RECT frame;
    GetWindowRect(dialog, &frame);
    EXPECT_EQ(frame.left, (GetSystemMetrics(SM_CXSCREEN) - (frame.right - frame.left)) / 2) << expected.title;
    EXPECT_EQ(frame.top, (GetSystemMetrics(SM_CYSCREEN) - (frame.bottom - frame.top)) / 2) << expected.title;

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ExpectedControl& want : expected.controls) {
        ASSERT_NE(child, nullptr) << "missing control " << want.id << " in " << expected.title;
        SCOPED_TRACE(std::string(expected.title) + ", control " + std::to_string(want.id) +
                     (want.text != nullptr ? std::string(" \"") + want.text + "\"" : std::string()));
        EXPECT_EQ(static_cast<int16_t>(GetDlgCtrlID(child)), want.id);
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        EXPECT_STRCASEEQ(className, want.className);
        const LONG childStyle = GetWindowLongA(child, GWL_STYLE);
        const LONG typeMask = _stricmp(want.className, "Edit") == 0 ? want.type : 0x1F;
        EXPECT_EQ(childStyle & typeMask, want.type);
        EXPECT_EQ((childStyle & WS_TABSTOP) != 0, want.tabStop);
        if (want.text != nullptr) EXPECT_EQ(WindowText(child), want.text);

        RECT placed;
        GetWindowRect(child, &placed);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
        const RECT rect = ToPixels(dialog, want.units);
        EXPECT_EQ(placed.left, rect.left);
        EXPECT_EQ(placed.top, rect.top);
        if ((childStyle & 0x1F) != SS_ICON || _stricmp(className, "Static") != 0) {  // icons take their image's size
            EXPECT_EQ(placed.right, rect.right);
            EXPECT_EQ(placed.bottom, rect.bottom);
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr) << "more controls than expected in " << expected.title;
}
