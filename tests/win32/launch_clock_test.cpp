// The launcher against the real shell, and the clock on the real bar with its timer and chime hook.
#include <windows.h>

#include <string>
#include <vector>

#include "core/bar.h"
#include "core/procedures.h"
#include "core/text.h"
#include "launch/clock_text.h"
#include "launch/launcher.h"
#include "resources/resource.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

SYSTEMTIME gNow;
int gTimeReads = 0;
std::vector<std::string> gChimes;

void WINAPI FakeLocalTime(SYSTEMTIME* now) {
    ++gTimeReads;
    *now = gNow;
}

bool RecordChime(const char* path) {
    gChimes.push_back(path);
    return true;
}

struct TimeItem {
    std::string text;
    UINT id = 0;
    UINT type = 0;
    UINT state = 0;
};

// The time item as the platform holds it, looked up by command and read back by position, to be sure
// it is the same item at the end of the bar.
TimeItem ReadTimeItem() {
    TimeItem item;
    char text[64] = "";
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_TYPE | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = sizeof text;
    const UINT last = static_cast<UINT>(GetMenuItemCount(gApp.barMenu) - 1);
    if (!GetMenuItemInfoA(gApp.barMenu, last, TRUE, &info)) return item;
    item.text = text;
    item.id = info.wID;
    item.type = info.fType;
    item.state = info.fState;
    return item;
}

class LaunchClockTest : public KelmarTest {
protected:
    void SetUp() override {
        KelmarTest::SetUp();
        realTimeSource = gLocalTimeSource;
        realChimeHook = gChimeHook;
        gLocalTimeSource = FakeLocalTime;
        gChimeHook = RecordChime;
        gChimes.clear();
        gTimeReads = 0;
        SetTime(9, 5);
    }
    void TearDown() override {
        gLocalTimeSource = realTimeSource;
        gChimeHook = realChimeHook;
        KelmarTest::TearDown();
    }

    static void SetTime(WORD hour, WORD minute) {
        gNow = {};
        gNow.wYear = 2024;
        gNow.wMonth = 3;
        gNow.wDay = 14;
        gNow.wHour = hour;
        gNow.wMinute = minute;
        gNow.wSecond = 30;
    }
    static void Tick(WPARAM timer = CLOCK_TIMER_ID) { SendMessageA(gApp.bar, WM_TIMER, timer, 0); }

    void(WINAPI* realTimeSource)(SYSTEMTIME*) = nullptr;
    bool (*realChimeHook)(const char*) = nullptr;
};

TEST_F(LaunchClockTest, TimeItemShowsTheTimeAndKeepsItsPlaceIdAndFlags) {
    AddMenu("M", {"a"});
    StartBar();
    const int count = GetMenuItemCount(gApp.barMenu);
    struct Case {
        WORD hour, minute;
        const char* text;
    };
    // The first row is the text drawn when the bar was built, before any tick.
    for (const Case& c : {Case{9, 5, "9:05 AM"}, Case{0, 7, "12:07 AM"}, Case{12, 0, "12:00 PM"}, Case{13, 5, "1:05 PM"},
                          Case{23, 59, "11:59 PM"}}) {
        if (c.hour != 9) {
            SetTime(c.hour, c.minute);
            Tick();
        }
        const TimeItem item = ReadTimeItem();
        EXPECT_EQ(item.text, c.text);
        EXPECT_EQ(item.id, static_cast<UINT>(CMD_TIME));
        EXPECT_TRUE(item.state & MF_DISABLED) << c.text;
        EXPECT_TRUE(item.type & MFT_RIGHTJUSTIFY) << c.text;
        EXPECT_EQ(GetMenuItemCount(gApp.barMenu), count);
    }
}

TEST_F(LaunchClockTest, ChimesOnEveryTickOfMinuteZeroAndOnARebuildInIt) {
    gApp.chimeOnHour = 1;
    CopyText(gApp.chimeWav, sizeof gApp.chimeWav, "c:\\sounds\\ding.wav");
    StartBar();  // at 9:05: no chime
    EXPECT_TRUE(gChimes.empty());

    SetTime(9, 59);
    Tick();
    EXPECT_TRUE(gChimes.empty());
    SetTime(10, 0);
    for (int tick = 0; tick < 10; ++tick) Tick();  // nothing remembers that the hour has chimed
    EXPECT_EQ(gChimes.size(), 10u);
    RebuildBar();  // building the menus renders the time, so a rebuild in minute 0 chimes once more
    EXPECT_EQ(gChimes.size(), 11u);
    SetTime(10, 1);
    Tick();
    EXPECT_EQ(gChimes.size(), 11u);
    SetTime(0, 0);  // midnight is an hour like any other
    Tick();
    ASSERT_EQ(gChimes.size(), 12u);
    for (const std::string& path : gChimes) EXPECT_EQ(path, "c:\\sounds\\ding.wav");
}

TEST_F(LaunchClockTest, ChimeFollowsTheSettingAndItsText) {
    SetTime(15, 0);
    gApp.chimeOnHour = 0;
    StartBar();
    Tick();
    EXPECT_TRUE(gChimes.empty());

    gApp.chimeOnHour = 7;  // any non-zero value is on
    gApp.chimeWav[0] = '\0';  // only a hand-edited settings file gets here
    Tick();
    ASSERT_EQ(gChimes.size(), 1u);
    EXPECT_EQ(gChimes[0], "");
}

TEST_F(LaunchClockTest, OtherTimersChangeNothing) {
    gApp.chimeOnHour = 1;
    StartBar();
    SetTime(10, 0);
    const int reads = gTimeReads;
    for (WPARAM other : {WPARAM{1}, WPARAM{CLOCK_TIMER_ID - 1}, WPARAM{CLOCK_TIMER_ID + 1}}) Tick(other);
    EXPECT_EQ(ReadTimeItem().text, "9:05 AM");
    EXPECT_EQ(gTimeReads, reads);
    EXPECT_TRUE(gChimes.empty());
    Tick();
    EXPECT_EQ(ReadTimeItem().text, "10:00 AM");
    EXPECT_EQ(gChimes.size(), 1u);
}

TEST_F(LaunchClockTest, FailedUpdateWarnsOnEveryTickAndDoesNotChime) {
    gApp.chimeOnHour = 1;
    StartBar();
    SetTime(10, 0);
    ASSERT_TRUE(DeleteMenu(gApp.barMenu, CMD_TIME, MF_BYCOMMAND));  // nothing left for ModifyMenuA to change
    EXPECT_FALSE(UpdateClock());
    ModalDriver driver;
    driver.Then(Answer(IDOK)).Then(Answer(IDOK));
    driver.Run([] {
        Tick();
        Tick();
    });
    ASSERT_EQ(driver.seen.size(), 2u);
    for (const ModalSeen& box : driver.seen) {
        EXPECT_EQ(box.title, "Kelmar");
        EXPECT_EQ(box.text, "Error modifying time!");
        EXPECT_TRUE(box.scripted);
    }
    EXPECT_TRUE(gChimes.empty());
}

// The timer belongs to the bar held in the state, whichever window the message reached, shown or hidden.
TEST_F(LaunchClockTest, ShowingSetsTheClockTimerOnTheBarInTheState) {
    StartBar();
    EXPECT_TRUE(KillTimer(gApp.bar, CLOCK_TIMER_ID));  // set when the bar was shown

    HWND other = CreateWindowExA(0, "Static", "other", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, gApp.instance, nullptr);
    ASSERT_NE(other, nullptr);
    for (WPARAM shown : {WPARAM{FALSE}, WPARAM{TRUE}}) {
        KelmarWinProc(other, WM_SHOWWINDOW, shown, 0);
        EXPECT_FALSE(KillTimer(other, CLOCK_TIMER_ID));
        EXPECT_TRUE(KillTimer(gApp.bar, CLOCK_TIMER_ID)) << shown;
    }
    DestroyWindow(other);
}

// The real timer, left to run: its first tick comes about 6 seconds after the bar is shown.
TEST_F(LaunchClockTest, ClockTimerTicksEverySixSeconds) {
    StartBar();
    DrainMessages();
    const int reads = gTimeReads;
    auto pumpFor = [](DWORD milliseconds) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds) {
            DrainMessages();
            Sleep(20);
        }
    };
    pumpFor(5000);
    EXPECT_EQ(gTimeReads, reads);
    pumpFor(2000);
    EXPECT_EQ(gTimeReads, reads + 1);
}

TEST_F(LaunchClockTest, TimerThatCannotBeSetWarns) {
    StartBar();
    HWND bar = gApp.bar;
    gApp.bar = GetDesktopWindow();  // another process's window: no timer can be set on it from here
    ModalDriver driver;
    driver.Then(Answer(IDOK));
    driver.Run([bar] { SendMessageA(bar, WM_SHOWWINDOW, TRUE, 0); });
    gApp.bar = bar;
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_EQ(driver.seen[0].title, "Kelmar");
    EXPECT_EQ(driver.seen[0].text, "Unable to install system timer!");
}

// Runs under a time zone 5:45 ahead of UTC (set by the build for this test), where local and UTC
// differ in both hour and minute.
TEST_F(LaunchClockTest, ClockShowsTheLocalTime) {
    TIME_ZONE_INFORMATION zone;
    GetTimeZoneInformation(&zone);
    ASSERT_EQ(zone.Bias, -345) << "the test needs TZ=Asia/Kathmandu";
    gLocalTimeSource = realTimeSource;
    StartBar();
    for (int attempt = 0; attempt < 2; ++attempt) {  // a minute may turn between the two readings
        SYSTEMTIME utc;
        GetSystemTime(&utc);
        const int minutes = (utc.wHour * 60 + utc.wMinute + 345) % (24 * 60);
        char expected[kClockTextSize];
        FormatClockText(minutes / 60, minutes % 60, expected);
        ASSERT_TRUE(UpdateClock());
        if (ReadTimeItem().text == expected) return;
    }
    ADD_FAILURE() << "the bar shows " << ReadTimeItem().text << ", not the local time";
}

// --- The launcher ---

std::string TestProgramDir() {
    char path[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\'));
}

AppEntry MakeApp(const std::string& path, const std::string& workDir = "", const std::string& params = "") {
    AppEntry app;
    CopyText(app.path, sizeof app.path, path.c_str());
    CopyText(app.workDir, sizeof app.workDir, workDir.c_str());
    CopyText(app.params, sizeof app.params, params.c_str());
    CopyText(app.name, sizeof app.name, "&Test");
    return app;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = ReadFileText(path);
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// Waits for the recorder's complete record (it moves the finished file into place).
std::vector<std::string> WaitForRecord(const std::string& path) {
    for (int i = 0; i < 300 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    return ReadLines(path);
}

class LauncherTest : public KelmarTest {
protected:
    void SetUp() override {
        KelmarTest::SetUp();
        // The recorder is copied next to the catalogue, so its path fits the 80-byte field wherever the
        // build lies; it writes its record to the file the environment names, inherited through the shell.
        recorder = workDir + "\\recorder.exe";
        ASSERT_TRUE(CopyFileA((TestProgramDir() + "\\recorder.exe").c_str(), recorder.c_str(), FALSE));
        ASSERT_LT(recorder.size(), sizeof AppEntry::path);
        record = workDir + "\\record.txt";
        SetEnvironmentVariableA("KELMAR_RECORD", record.c_str());
        runDir = workDir + "\\run here";
        CreateDirectoryA(runDir.c_str(), nullptr);
    }
    void TearDown() override {
        SetEnvironmentVariableA("KELMAR_RECORD", nullptr);
        RemoveDirectoryA(runDir.c_str());
        KelmarTest::TearDown();
    }

    // LaunchApp while a driver answers and records every box it opens.
    bool Launch(const AppEntry& app, ModalDriver& driver) {
        bool result = false;
        driver.Run([&] { result = LaunchApp(app); });
        return result;
    }

    std::string recorder, record, runDir;
};

TEST_F(LauncherTest, OpensTheProgramWithItsParametersAndFolderRestored) {
    StartBar();
    ModalDriver driver;
    EXPECT_TRUE(Launch(MakeApp(recorder, runDir, "-x \"two words\" 3"), driver));
    EXPECT_TRUE(driver.seen.empty());
    const std::vector<std::string> lines = WaitForRecord(record);
    ASSERT_EQ(lines.size(), 4u) << ReadFileText(record);
    EXPECT_EQ(lines[0], "-x \"two words\" 3");
    EXPECT_EQ(_stricmp(lines[1].c_str(), runDir.c_str()), 0) << lines[1];
    EXPECT_EQ(lines[3], "9");  // SW_RESTORE
}

TEST_F(LauncherTest, OpensADocumentWithTheProgramOfItsType) {
    const std::string command = "\"" + recorder + "\" \"%1\"";
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, ".kelmardoc", REG_SZ, "KelmarTest.Document", 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, "KelmarTest.Document\\shell\\open\\command", REG_SZ, command.c_str(), 0),
              ERROR_SUCCESS);
    const std::string document = workDir + "\\letter.kelmardoc";
    WriteFileText(document, "Dear user,");
    StartBar();
    ModalDriver driver;
    const bool launched = Launch(MakeApp(document, runDir), driver);
    for (const char* key : {"KelmarTest.Document\\shell\\open\\command", "KelmarTest.Document\\shell\\open",
                            "KelmarTest.Document\\shell", "KelmarTest.Document", ".kelmardoc"}) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key);
    }
    EXPECT_TRUE(launched);
    EXPECT_TRUE(driver.seen.empty());
    const std::vector<std::string> lines = WaitForRecord(record);
    ASSERT_EQ(lines.size(), 4u) << ReadFileText(record);
    EXPECT_EQ(_stricmp(lines[0].c_str(), ("\"" + document + "\"").c_str()), 0) << lines[0];
}

// Each failure shows exactly one warning with the words for the shell's answer, and changes nothing.
TEST_F(LauncherTest, ShellFailuresShowOneWarningEach) {
    WriteFileText(workDir + "\\notes.kelmarnone", "no program opens this type");
    AddMenu("M", {"a"});
    StartBar();
    HMENU menu = gApp.barMenu;
    struct Case {
        std::string path;
        const char* text;
    };
    const Case cases[] = {
        {workDir + "\\missing.exe", "File/Executable not found.\r\nCheck application setup."},
        {workDir + "\\notes.kelmarnone", "ShellExec returned error code: 31"},  // no association
        {"", "ShellExec returned error code: 11"},  // Wine's answer for an empty file name
    };
    for (const Case& c : cases) {
        ModalDriver driver;
        driver.Then(Answer(IDOK));
        EXPECT_FALSE(Launch(MakeApp(c.path, runDir, "p"), driver)) << c.path;
        ASSERT_EQ(driver.seen.size(), 1u) << c.path;
        EXPECT_EQ(driver.seen[0].title, "Kelmar");
        EXPECT_EQ(driver.seen[0].text, c.text);
        EXPECT_TRUE(driver.seen[0].scripted);
    }
    EXPECT_EQ(GetFileAttributesA(record.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(gApp.barMenu, menu);
    EXPECT_NE(FindAppByCommand(gApp.catalogue, 1001), nullptr);
}

// Choosing an item on the bar reaches the launcher through the command map.
TEST_F(LauncherTest, ChoosingAnItemLaunchesItsEntry) {
    UserMenu* menu = AddMenu("&Tools", {"&Missing", "&Record"});
    AppEntry* app = AppAt(*menu, 1);
    CopyText(app->path, sizeof app->path, recorder.c_str());
    CopyText(app->params, sizeof app->params, "chosen");
    StartBar();
    ModalDriver driver;
    driver.Run([] { SendMessageA(gApp.bar, WM_COMMAND, 1002, 0); });
    EXPECT_TRUE(driver.seen.empty());
    const std::vector<std::string> lines = WaitForRecord(record);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "chosen");
}

}  // namespace
