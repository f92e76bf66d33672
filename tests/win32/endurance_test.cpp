// Long running: many bar rebuilds and clock ticks leave the process's USER and GDI objects and its
// memory where they started; a read-only apps.dat costs neither the file nor the catalogue in memory.
#include <windows.h>
#include <psapi.h>

#include "catalogue/catalogue_file.h"
#include "core/bar.h"
#include "launch/launcher.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

using EnduranceTest = KelmarTest;

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters.PrivateUsage;
}

// Menu handles that still answer: every popup the bar ever had, checked after the fact.
int LiveMenus(const std::vector<HMENU>& menus) {
    int live = 0;
    for (HMENU menu : menus) live += IsMenu(menu) ? 1 : 0;
    return live;
}

TEST_F(EnduranceTest, ThousandRebuildsAndTenThousandTicksLeaveNothingBehind) {
    for (int m = 0; m < 5; ++m) AddMenu(("Menu " + std::to_string(m)).c_str(), {"one", "two", "three"});
    StartBar();
    // Warm up once, so that first-use allocations of the platform are not counted as growth.
    for (int i = 0; i < 20; ++i) RebuildBar();
    const DWORD userBefore = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    const SIZE_T memoryBefore = PrivateBytes();

    std::vector<HMENU> oldMenus;
    for (int i = 0; i < 1000; ++i) {
        oldMenus.push_back(gApp.barMenu);
        oldMenus.push_back(GetSubMenu(gApp.barMenu, 1));
        RebuildBar();
        DrainMessages();
    }
    for (int i = 0; i < 10000; ++i) SendMessageA(gApp.bar, WM_TIMER, CLOCK_TIMER_ID, 0);
    DrainMessages();

    EXPECT_EQ(LiveMenus(oldMenus), 0) << "menus of destroyed bars still exist";
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS), userBefore);
    EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore);
    const SIZE_T memoryAfter = PrivateBytes();
    EXPECT_LT(memoryAfter, memoryBefore + 512 * 1024) << "private bytes grew from " << memoryBefore << " to " << memoryAfter;

    // The command map is rebuilt, not appended to: one link per app.
    int links = 0;
    for (CommandLink* link = gApp.catalogue.commandMap; link != nullptr; link = link->next) ++links;
    EXPECT_EQ(links, 15);
}

TEST_F(EnduranceTest, ReadOnlyCatalogueFileWarnsAndKeepsFileAndMemory) {
    AddMenu("Old", {"a"});
    SaveCatalogue(gApp.catalogue);
    const std::string old = ReadFileText("apps.dat");
    ASSERT_EQ(old.size(), 48u + 228u);
    ASSERT_TRUE(SetFileAttributesA("apps.dat", FILE_ATTRIBUTE_READONLY));
    AddMenu("New", {"b", "c"});

    ModalDriver driver;
    driver.Then(Answer(IDOK));
    driver.Run([] { SaveCatalogue(gApp.catalogue); });
    ASSERT_EQ(driver.seen.size(), 1u);
    EXPECT_EQ(driver.seen[0].text, "Could not open APPS.DAT for write.\r\nPlease check the file.");
    EXPECT_EQ(ReadFileText("apps.dat"), old);
    EXPECT_STREQ(gApp.catalogue.head->next->name, "New");
    EXPECT_EQ(gApp.catalogue.head->next->appCount, 2);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*.tmp", &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "temporary file left: " << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    SetFileAttributesA("apps.dat", FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
