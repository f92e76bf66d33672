// The About box opened from the bar: its template, texts and icons, and that only OK closes it.
#include <windows.h>

#include "resources/resource.h"
#include "tests/win32/dialog_layout.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

using AboutTest = KelmarTest;

void OpenAbout(ModalDriver& driver) {
    driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, CMD_ABOUT, 0); });
}

TEST_F(AboutTest, ShowsTheProductTextCreditsAndBothIcons) {
    StartBar();
    ModalDriver driver;
    driver.Then([](HWND dialog) {
        ExpectDialogLayout(dialog, {"About Kelmar", 202, 84, {
            {IDOK, "Button", BS_DEFPUSHBUTTON, true, "OK", {140, 6, 50, 14}},
            {-1, "Static", SS_ICON, false, nullptr, {10, 35, 21, 20}},
            {-1, "Static", SS_CENTER, false, nullptr, {35, 8, 86, 43}},
            {-1, "Static", SS_CENTER, false, nullptr, {39, 52, 81, 17}},
            {-1, "Static", SS_CENTER, false, nullptr, {135, 29, 57, 36}},
            {-1, "Static", SS_ICON, false, nullptr, {10, 8, 21, 20}},
        }});
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), gApp.bar);

        HWND clock = GetWindow(GetDlgItem(dialog, IDOK), GW_HWNDNEXT);
        HWND product = GetWindow(clock, GW_HWNDNEXT);
        HWND author = GetWindow(product, GW_HWNDNEXT);
        HWND credit = GetWindow(author, GW_HWNDNEXT);
        HWND launcher = GetWindow(credit, GW_HWNDNEXT);

        const std::string text = WindowText(product);
        const std::string head = "Kelmar for Windows\n(Beta Build)\n\n";
        EXPECT_EQ(text.substr(0, head.size()), head);
        const std::string notice = text.substr(head.size());
        const size_t lineBreak = notice.find('\n');
        EXPECT_NE(lineBreak, std::string::npos) << "two lines of year and maker's notice";
        EXPECT_EQ(notice.find('\n', lineBreak + 1), std::string::npos);
        EXPECT_NE(notice.find("2026"), std::string::npos);
        const std::string authorLine = WindowText(author);
        EXPECT_NE(authorLine.find(KELMAR_CONTACT_ADDRESS), std::string::npos) << authorLine;
        EXPECT_FALSE(WindowText(credit).empty());

        // Group 110 at the lower left, group 102 at the top.
        EXPECT_NE(SendMessageA(clock, STM_GETICON, 0, 0), 0);
        EXPECT_NE(SendMessageA(launcher, STM_GETICON, 0, 0), 0);
        Click(dialog, IDOK);
    });
    OpenAbout(driver);
    EXPECT_EQ(driver.Pending(), 0u);
}

TEST_F(AboutTest, OnlyOkClosesIt) {
    StartBar();
    ModalDriver driver;
    driver.Then([](HWND dialog) {
        Click(dialog, IDCANCEL);  // what Escape sends
        EXPECT_TRUE(IsWindowVisible(dialog));
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        EXPECT_TRUE(IsWindowVisible(dialog));
        SendMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, IDOK);
        EXPECT_FALSE(IsWindowVisible(dialog));
    });
    OpenAbout(driver);
    EXPECT_EQ(driver.Pending(), 0u);
    EXPECT_EQ(driver.seen.size(), 1u);  // closed by the OK, not left for the driver to close
}

// Each group holds the images it should, in 16 colours: 102 at 32x32 and 16x16, 110 at 32x32 alone.
TEST_F(AboutTest, IconGroupsHoldTheirSizes) {
    struct Case {
        int group;
        int size;
        bool present;
    };
    for (const Case& c : {Case{IDI_MAIN, 32, true}, Case{IDI_MAIN, 16, true}, Case{IDI_CLOCK, 32, true},
                          Case{IDI_CLOCK, 16, false}}) {
        SCOPED_TRACE(std::to_string(c.group) + " at " + std::to_string(c.size));
        HRSRC found = FindResourceA(gApp.instance, MAKEINTRESOURCEA(c.group), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
        ASSERT_NE(found, nullptr);
        auto* directory = static_cast<BYTE*>(LockResource(LoadResource(gApp.instance, found)));
        const int chosen = LookupIconIdFromDirectoryEx(directory, TRUE, c.size, c.size, LR_DEFAULTCOLOR);
        HRSRC image = FindResourceA(gApp.instance, MAKEINTRESOURCEA(chosen), MAKEINTRESOURCEA(3));  // RT_ICON
        ASSERT_NE(image, nullptr);
        const auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(gApp.instance, image)));
        EXPECT_EQ(header->biWidth == c.size, c.present);
        EXPECT_EQ(header->biBitCount, 4);
    }
}

}  // namespace
