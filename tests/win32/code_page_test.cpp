// Names typed under a code page whose characters take more than a byte: ctest starts these tests under
// a Japanese, a Chinese and a Hindi locale, which give Wine's ANSI code pages 932, 936 (two bytes a
// character) and 65001 (UTF-8, three). Every text cut to a field keeps whole characters.
#include <windows.h>

#include <cstring>
#include <string>

#include "core/bar.h"
#include "resources/resource.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

using CodePageTest = KelmarTest;

// As an input method hands over what the user typed: one character at a time.
void TypeWide(HWND dialog, int id, const std::wstring& text) {
    HWND edit = GetDlgItem(dialog, id);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
    for (wchar_t c : text) SendMessageW(edit, WM_CHAR, c, 1);
}

std::string Ansi(const std::wstring& text) {
    char bytes[512] = "";
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes, sizeof bytes - 1, nullptr,
                        nullptr);
    return bytes;
}

// Three characters that take two bytes each in 932 and 936 and three in UTF-8; in 932 the first ends
// in 0x5C ("\").
std::wstring Wide(int characters) {
    const std::wstring three = L"\x30bd\x8868\x4e2d";
    std::wstring text;
    for (int i = 0; i < characters; ++i) text += three[static_cast<size_t>(i) % three.size()];
    return text;
}

// Bytes of each of those characters in this process's code page.
int CharSize() {
    return static_cast<int>(Ansi(Wide(1)).size());
}

// What one field is given and what it must keep, for each of the fields' read counts (the NUL included).
struct Typed {
    const char* what;
    std::wstring (*text)(int count);
    std::wstring (*kept)(int count);
};

std::wstring Filling(int count) {
    return Wide((count - 1) / CharSize()) + std::wstring(static_cast<size_t>((count - 1) % CharSize()), L'a');
}

const Typed kTyped[] = {
    // More than the field holds (also more than the chime's edit takes: its limit counts characters).
    {"long characters, too many", [](int) { return Wide(100); },
     [](int count) { return Wide((count - 1) / CharSize()); }},
    // Exactly the field's bytes less the NUL, what the characters leave filled with letters.
    {"long characters, fitting exactly", Filling, Filling},
    {"single-byte, too long", [](int) { return std::wstring(100, L'a'); },
     [](int count) { return std::wstring(static_cast<size_t>(count - 1), L'a'); }},
};

TEST_F(CodePageTest, EveryFieldKeepsWholeCharacters) {
    ASSERT_GE(CharSize(), 2) << "code page " << GetACP() << ": run under ja_JP, zh_CN or hi_IN";
    for (const Typed& typed : kTyped) {
        SCOPED_TRACE(typed.what);
        AddMenu("M");
        StartBar();
        ModalDriver driver;
        driver
            .Then([](HWND dialog) {
                Click(dialog, IDC_NEW_MENU);
                SendDlgItemMessageA(dialog, IDC_MENUS_LIST, LB_SETCURSEL, 0, 0);
                SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_MENUS_LIST, LBN_SELCHANGE), 0);
                Click(dialog, IDC_NEW_APP);
                Click(dialog, IDOK);
            })
            .Then([&](HWND setup) {
                TypeWide(setup, IDC_MENU_NAME, typed.text(30));
                Click(setup, IDOK);
            })
            .Then([&](HWND setup) {
                TypeWide(setup, IDC_APP_NAME, typed.text(30));
                TypeWide(setup, IDC_APP_PATH, typed.text(80));
                TypeWide(setup, IDC_APP_WORKDIR, typed.text(80));
                TypeWide(setup, IDC_APP_PARAMS, typed.text(30));
                Click(setup, IDOK);
            });
        driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, CMD_EDIT_MENUS, 0); });
        EXPECT_EQ(driver.Pending(), 0u);

        ModalDriver options;
        options.Then([&](HWND dialog) {
            TypeWide(dialog, IDC_CHIME_WAV, typed.text(80));
            Click(dialog, IDOK);
        });
        options.Run([] { SendMessageA(gApp.bar, WM_COMMAND, CMD_OPTIONS, 0); });
        EXPECT_EQ(options.Pending(), 0u);

        ASSERT_NE(gApp.catalogue.head->next, nullptr);
        EXPECT_EQ(gApp.catalogue.head->next->name, Ansi(typed.kept(30)));
        const AppEntry* app = gApp.catalogue.head->apps;
        ASSERT_NE(app, nullptr);
        EXPECT_EQ(app->name, Ansi(typed.kept(30)));
        EXPECT_EQ(app->path, Ansi(typed.kept(80)));
        EXPECT_EQ(app->workDir, Ansi(typed.kept(80)));
        EXPECT_EQ(app->params, Ansi(typed.kept(30)));
        EXPECT_EQ(gApp.chimeWav, Ansi(typed.kept(80)));
        DropBar();
        FreeCatalogue(gApp.catalogue);
    }
}

// A settings value longer than the setting holds comes back cut by the platform; what stood in the
// buffer before must not show through, nor half a character stay.
TEST_F(CodePageTest, SettingsValueKeepsWholeCharacters) {
    ASSERT_GE(CharSize(), 2) << "code page " << GetACP() << ": run under ja_JP, zh_CN or hi_IN";
    for (const std::wstring& lead : {std::wstring(), std::wstring(L"a")}) {
        const std::wstring value = lead + Wide(100);
        memset(gApp.chimeWav, 'x', sizeof gApp.chimeWav - 1);
        WriteFileText(SettingsPath(), "[Options]\r\nChime WAV=" + Ansi(value) + "\r\n");
        ASSERT_TRUE(LoadSettings(nullptr));
        EXPECT_EQ(gApp.chimeWav, Ansi(lead + Wide((79 - static_cast<int>(lead.size())) / CharSize())));
    }
}

}  // namespace
