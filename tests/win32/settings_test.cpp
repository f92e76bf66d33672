// The settings file through the real private-profile functions: first run, missing keys, odd values.
#include <windows.h>

#include "core/bar.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

using SettingsTest = KelmarTest;

TEST_F(SettingsTest, FirstRunThanksTheUserOnceAndWritesTheDefaults) {
    RemoveSettings();
    ModalDriver driver;
    driver.Then(Answer(IDOK));
    driver.Run([] { EXPECT_TRUE(LoadSettings(nullptr)); });
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_EQ(driver.seen[0].title, "Kelmar");
    EXPECT_EQ(driver.seen[0].text,
              "Thanks for trying Kelmar!  If you find\r\nany bugs, please report them to\r\nkelmar@example.org!");
    EXPECT_EQ(gApp.stayOnTop, 1);
    EXPECT_EQ(gApp.chimeOnHour, 0);
    EXPECT_STREQ(gApp.chimeWav, "");
    EXPECT_EQ(gApp.screenWidth, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(gApp.screenHeight, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_NE(gApp.accelerators, nullptr);
    const std::string ini = ReadFileText(SettingsPath());
    EXPECT_NE(ini.find("[Options]"), std::string::npos);
    EXPECT_NE(ini.find("StayOnTop=1"), std::string::npos);
    EXPECT_NE(ini.find("ChimeOnHour=0"), std::string::npos);
    EXPECT_NE(ini.find("Chime WAV="), std::string::npos);

    ModalDriver second;
    second.Run([] { EXPECT_TRUE(LoadSettings(nullptr)); });
    EXPECT_TRUE(second.seen.empty());  // only the first run says thanks
}

TEST_F(SettingsTest, MissingKeysAndOddValues) {
    struct Case {
        const char* file;
        int32_t stayOnTop, chimeOnHour;
        std::string wav;
    };
    const std::string longWav(200, 'w');
    const Case cases[] = {
        {"[Other]\r\nStayOnTop=0\r\n", 1, 0, ""},  // no Options section at all
        {"[Options]\r\nChimeOnHour=1\r\n", 1, 1, ""},
        {"[Options]\r\nStayOnTop=0\r\n", 0, 0, ""},
        {"[Options]\r\nStayOnTop=2\r\nChimeOnHour=-3\r\n", 2, -3, ""},
        {"[Options]\r\nStayOnTop=yes\r\nChimeOnHour=7x\r\n", 0, 7, ""},
        {"\x01\xff\xfe junk\r\n[Options]\r\nChime WAV=bell.wav\r\n", 1, 0, "bell.wav"},
    };
    for (const Case& c : cases) {
        WriteFileText(SettingsPath(), c.file);
        ModalDriver driver;
        driver.Run([] { EXPECT_TRUE(LoadSettings(nullptr)); });
        EXPECT_TRUE(driver.seen.empty()) << c.file;
        EXPECT_EQ(gApp.stayOnTop, c.stayOnTop) << c.file;
        EXPECT_EQ(gApp.chimeOnHour, c.chimeOnHour) << c.file;
        EXPECT_EQ(gApp.chimeWav, c.wav) << c.file;
    }
    WriteFileText(SettingsPath(), "[Options]\r\nChime WAV=" + longWav + "\r\n");
    EXPECT_TRUE(LoadSettings(nullptr));
    EXPECT_EQ(std::string(gApp.chimeWav), longWav.substr(0, 79));
}

TEST_F(SettingsTest, FlagsAreWrittenBackAsHeld) {
    WriteFileText(SettingsPath(), "[Options]\r\nStayOnTop=2\r\nChimeOnHour=-3\r\nChime WAV=a b.wav\r\n");
    ASSERT_TRUE(LoadSettings(nullptr));
    SaveSettings();
    const std::string ini = ReadFileText(SettingsPath());
    EXPECT_NE(ini.find("StayOnTop=2"), std::string::npos) << ini;
    EXPECT_NE(ini.find("ChimeOnHour=-3"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Chime WAV=a b.wav"), std::string::npos) << ini;
}

TEST_F(SettingsTest, PreviousInstanceHandsOverAndEnds) {
    ModalDriver driver;
    driver.Run([] { EXPECT_FALSE(LoadSettings(reinterpret_cast<HINSTANCE>(1))); });
    EXPECT_TRUE(driver.seen.empty());
}

}  // namespace

namespace {

// Hand-edited values far outside what Kelmar writes come back out exactly as they were read.
TEST_F(SettingsTest, HugeValuesSurviveARoundTrip) {
    WriteFileText(SettingsPath(), "[Options]\r\nStayOnTop=99999999999\r\nChimeOnHour=-2147483648\r\n");
    ASSERT_TRUE(LoadSettings(nullptr));
    const int32_t stayOnTop = gApp.stayOnTop;
    const int32_t chimeOnHour = gApp.chimeOnHour;
    EXPECT_EQ(chimeOnHour, INT32_MIN);
    SaveSettings();
    ASSERT_TRUE(LoadSettings(nullptr));
    EXPECT_EQ(gApp.stayOnTop, stayOnTop);
    EXPECT_EQ(gApp.chimeOnHour, chimeOnHour);
}

}  // namespace

namespace {

// Outside a rebuild the fatal box comes first, and the settings are written only after it is closed:
// the child records what the file held while the box was up, the parent what it holds at the end.
TEST_F(SettingsTest, FatalBoxComesBeforeTheSettingsAreWritten) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string record = std::string(temp) + "kelmar-fatal-order.txt";
    DeleteFileA(record.c_str());
    WriteFileText(SettingsPath(), "[Options]\r\nStayOnTop=1\r\n");
    EXPECT_EXIT(
        {
            ASSERT_TRUE(LoadSettings(nullptr));
            gApp.stayOnTop = 0;
            ModalDriver driver;
            driver.Then([&record](HWND box) {
                WriteFileText(record, WindowText(box) + "|StayOnTop=" +
                                          std::to_string(GetPrivateProfileIntA("Options", "StayOnTop", 9, "Kelmar.INI")));
                Click(box, IDOK);
            });
            driver.Run([] { FatalError("Could not create menus!"); });
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EQ(ReadFileText(record), "Fatal Kelmar Error|StayOnTop=1");
    EXPECT_EQ(GetPrivateProfileIntA("Options", "StayOnTop", 9, "Kelmar.INI"), 0u);
    DeleteFileA(record.c_str());
}

}  // namespace
