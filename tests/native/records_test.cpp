// Chains, lookups and the command map of the catalogue in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "catalogue/command_ids.h"
#include "catalogue/records.h"
#include "core/text.h"
#include "tests/native/fake_host.h"

namespace {

class Chains : public ::testing::Test {
protected:
    void SetUp() override { ResetFakeHost(); }
    void TearDown() override { FreeCatalogue(catalogue); }

    UserMenu* AddMenu(const char* name) {
        UserMenu* menu = NewRecord<UserMenu>();
        CopyText(menu->name, sizeof menu->name, name);
        LinkMenuAfter(catalogue, LastMenu(catalogue), menu);
        return menu;
    }
    static AppEntry* AddApp(UserMenu* menu, const char* name) {
        AppEntry* app = NewRecord<AppEntry>();
        CopyText(app->name, sizeof app->name, name);
        LinkAppAfter(*menu, LastApp(*menu), app);
        return app;
    }
    static std::vector<std::string> Names(const UserMenu& menu) {
        std::vector<std::string> names;
        for (AppEntry* app = menu.apps; app != nullptr; app = app->next) names.emplace_back(app->name);
        return names;
    }
    // Both directions agree, the ends are open, and appCount is the chain's length.
    static void ExpectSound(const UserMenu& menu) {
        int count = 0;
        const AppEntry* previous = nullptr;
        for (const AppEntry* app = menu.apps; app != nullptr; app = app->next, ++count) {
            EXPECT_EQ(app->prev, previous);
            previous = app;
        }
        EXPECT_EQ(count, menu.appCount);
    }
    void ExpectSound() const {
        const UserMenu* previous = nullptr;
        for (const UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
            EXPECT_EQ(menu->prev, previous);
            ExpectSound(*menu);
            previous = menu;
        }
    }

    Catalogue catalogue;
};

TEST_F(Chains, NewRecordsAreEmpty) {
    UserMenu* menu = AddMenu("");
    EXPECT_STREQ(menu->name, "");
    EXPECT_EQ(menu->appCount, 0);
    EXPECT_EQ(menu->apps, nullptr);
    AppEntry* app = NewRecord<AppEntry>();
    EXPECT_STREQ(app->path, "");
    EXPECT_STREQ(app->workDir, "");
    EXPECT_STREQ(app->params, "");
    EXPECT_STREQ(app->name, "");
    EXPECT_EQ(app->next, nullptr);
    EXPECT_EQ(app->prev, nullptr);
    ReleaseRecord(app);
}

TEST_F(Chains, UnlinkFirstMiddleLastAndOnly) {
    UserMenu* menu = AddMenu("m");
    AppEntry* a = AddApp(menu, "a");
    AddApp(menu, "b");
    AppEntry* c = AddApp(menu, "c");
    AddApp(menu, "d");

    DeleteApp(*menu, c);  // middle: both neighbours joined
    EXPECT_EQ(Names(*menu), (std::vector<std::string>{"a", "b", "d"}));
    ExpectSound();

    DeleteApp(*menu, a);  // first: the menu's apps moves on
    EXPECT_EQ(Names(*menu), (std::vector<std::string>{"b", "d"}));
    EXPECT_EQ(menu->apps->prev, nullptr);
    ExpectSound();

    DeleteApp(*menu, LastApp(*menu));  // last: the predecessor's next is none
    EXPECT_EQ(Names(*menu), (std::vector<std::string>{"b"}));
    EXPECT_EQ(menu->apps->next, nullptr);
    ExpectSound();

    DeleteApp(*menu, menu->apps);  // only
    EXPECT_EQ(menu->apps, nullptr);
    EXPECT_EQ(menu->appCount, 0);
}

TEST_F(Chains, UnlinkAppLeavesTheMenuToTheCaller) {
    UserMenu* menu = AddMenu("m");
    AppEntry* a = AddApp(menu, "a");
    AppEntry* b = AddApp(menu, "b");
    menu->apps = b;  // what the caller does for a first app
    UnlinkApp(a);
    EXPECT_EQ(b->prev, nullptr);
    EXPECT_EQ(menu->appCount, 2);  // UnlinkApp never touches the count
    menu->appCount = 1;
}

TEST_F(Chains, MenuLookupsTakeTheFirstExactMatch) {
    EXPECT_EQ(FindMenuByName(catalogue, "&Games"), nullptr);
    EXPECT_EQ(gHost.warnings, std::vector<std::string>{"Menu not found in linked list!"});

    UserMenu* first = AddMenu("&Games");
    AddMenu("&Games");
    gHost.warnings.clear();
    EXPECT_EQ(FindMenuByName(catalogue, "&Games"), first);
    EXPECT_TRUE(gHost.warnings.empty());
    EXPECT_EQ(FindMenuByName(catalogue, "Games"), nullptr);   // "&" markers count
    EXPECT_EQ(FindMenuByName(catalogue, "&games"), nullptr);  // and so does case
    EXPECT_EQ(gHost.warnings.size(), 2u);
}

TEST_F(Chains, AppLookupsTakeTheFirstExactMatch) {
    EXPECT_EQ(FindAppByName(nullptr, "x"), nullptr);
    EXPECT_EQ(gHost.warnings, std::vector<std::string>{"Application not found in linked list!"});

    UserMenu* menu = AddMenu("m");
    AddApp(menu, "&Solitaire");
    AppEntry* twin = AddApp(menu, "Twin");
    AddApp(menu, "Twin");
    gHost.warnings.clear();
    EXPECT_EQ(FindAppByName(menu->apps, "Twin"), twin);
    EXPECT_EQ(FindAppByName(menu->apps, "Solitaire"), nullptr);
    EXPECT_EQ(FindAppByName(twin->next, "&Solitaire"), nullptr);  // only from the given app on
    EXPECT_EQ(gHost.warnings.size(), 2u);
}

TEST_F(Chains, CommandMapKeepsOrderAndFirstLinkWins) {
    EXPECT_EQ(FindAppByCommand(catalogue, 1001), nullptr);
    UserMenu* menu = AddMenu("m");
    AppEntry* a = AddApp(menu, "a");
    AppEntry* b = AddApp(menu, "b");
    ASSERT_TRUE(AppendCommand(catalogue, 1001, a));
    ASSERT_TRUE(AppendCommand(catalogue, 2001, b));
    ASSERT_TRUE(AppendCommand(catalogue, 1001, b));
    EXPECT_EQ(FindAppByCommand(catalogue, 1001), a);
    EXPECT_EQ(FindAppByCommand(catalogue, 2001), b);
    EXPECT_EQ(FindAppByCommand(catalogue, 1002), nullptr);
    FreeCommandMap(catalogue);
    EXPECT_EQ(catalogue.commandMap, nullptr);
    EXPECT_EQ(FindAppByCommand(catalogue, 1001), nullptr);
    ASSERT_TRUE(AppendCommand(catalogue, 3001, a));  // a fresh map after a release
    EXPECT_EQ(FindAppByCommand(catalogue, 3001), a);
}

TEST(CommandIds, FollowMenuAndAppPositions) {
    EXPECT_EQ(AppCommandId(0, 1), 1001u);
    EXPECT_EQ(AppCommandId(0, 2), 1002u);
    EXPECT_EQ(AppCommandId(2, 1), 3001u);
    EXPECT_EQ(AppCommandId(39, 8), 40008u);  // the 40th menu meets the fixed commands
    EXPECT_EQ(AppCommandId(65, 1), 66001u);  // past what a 16-bit command carries
}

TEST_F(Chains, PositionsAndMenuDeletion) {
    UserMenu* a = AddMenu("a");
    UserMenu* b = AddMenu("b");
    UserMenu* c = AddMenu("c");
    AddApp(b, "x");
    EXPECT_EQ(MenuAt(catalogue, 1), b);
    EXPECT_EQ(MenuAt(catalogue, 3), nullptr);
    EXPECT_EQ(MenuAt(catalogue, -1), nullptr);
    EXPECT_STREQ(AppAt(*b, 0)->name, "x");
    EXPECT_EQ(AppAt(*b, 1), nullptr);

    DeleteMenu(catalogue, b);  // with its app
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(c->prev, a);
    DeleteMenu(catalogue, a);  // the head
    EXPECT_EQ(catalogue.head, c);
    EXPECT_EQ(c->prev, nullptr);
    DeleteMenu(catalogue, c);
    EXPECT_EQ(catalogue.head, nullptr);
}

// A fixed-seed series of insertions and deletions, the chain checked against a model after each step.
TEST_F(Chains, RandomOperationsKeepTheChainsSound) {
    std::mt19937 random(20261207);
    std::vector<std::vector<std::string>> model;
    int serial = 0;
    for (int step = 0; step < 3000; ++step) {
        const unsigned choice = random() % 6;
        if (choice == 0 || model.empty()) {
            AddMenu(("m" + std::to_string(serial++)).c_str());
            model.emplace_back();
        } else if (choice == 1 && model.size() > 1) {
            const int index = static_cast<int>(random() % model.size());
            DeleteMenu(catalogue, MenuAt(catalogue, index));
            model.erase(model.begin() + index);
        } else {
            const int index = static_cast<int>(random() % model.size());
            UserMenu* menu = MenuAt(catalogue, index);
            auto& apps = model[static_cast<size_t>(index)];
            if (choice <= 3 || apps.empty()) {
                const int at = static_cast<int>(random() % (apps.size() + 1));
                AppEntry* app = NewRecord<AppEntry>();
                CopyText(app->name, sizeof app->name, ("a" + std::to_string(serial)).c_str());
                LinkAppAfter(*menu, at == 0 ? nullptr : AppAt(*menu, at - 1), app);
                apps.insert(apps.begin() + at, "a" + std::to_string(serial++));
            } else {
                const int at = static_cast<int>(random() % apps.size());
                DeleteApp(*menu, AppAt(*menu, at));
                apps.erase(apps.begin() + at);
            }
        }
        ASSERT_NO_FATAL_FAILURE(ExpectSound());
        int index = 0;
        for (UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next, ++index) {
            ASSERT_LT(static_cast<size_t>(index), model.size());
            ASSERT_EQ(Names(*menu), model[static_cast<size_t>(index)]) << "step " << step;
        }
        ASSERT_EQ(static_cast<size_t>(index), model.size());
    }
}

TEST(Text, CopyAppendAndDecimalNeverOverflow) {
    char field[8];
    CopyText(field, sizeof field, "abcdefghij");
    EXPECT_STREQ(field, "abcdefg");
    CopyText(field, sizeof field, "ab");
    AppendText(field, sizeof field, "cdefghij");
    EXPECT_STREQ(field, "abcdefg");
    char number[12] = "";
    AppendDecimal(number, sizeof number, INT32_MIN);
    EXPECT_STREQ(number, "-2147483648");
    char small[4] = "";
    AppendDecimal(small, sizeof small, 12345);
    EXPECT_STREQ(small, "123");
    char zero[4] = "";
    AppendDecimal(zero, sizeof zero, 0);
    EXPECT_STREQ(zero, "0");
}


std::string Times(int count, const std::string& text) {
    std::string out;
    for (int i = 0; i < count; ++i) out += text;
    return out;
}

// Texts cut to a field under double-byte code pages, as the system's converter for each reads them: the
// cut never leaves half a character (also one the text brings, a lead byte before its NUL), a text that
// fits is kept whole, and a single-byte code page cuts at the byte as ever.
TEST(Text, CutsEndOnAWholeCharacterOfTheCodePage) {
    const std::string so = "\x83\x5c";  // katakana "so" in 932: its trail byte is "\\"
    const std::string jo = "\x81\x5c";  // a Han character in 936, trail byte "\\" too
    struct Case {
        int codePage;
        std::string text;
        std::string kept;  // in a 30-byte field
    };
    const Case cases[] = {
        {932, Times(15, so), Times(14, so)},
        {932, Times(14, so) + "a" + so, Times(14, so) + "a"},  // 29 bytes: exactly the field
        {932, Times(14, so) + "\x83", Times(14, so)},           // as today's dialogs stored it
        {936, Times(15, jo), Times(14, jo)},
        {936, "ab" + Times(14, jo), "ab" + Times(13, jo)},
        {1252, Times(15, so), Times(14, so) + "\x83"},
        {0, Times(15, jo), Times(14, jo) + "\x81"},
    };
    for (const Case& c : cases) {
        ResetFakeHost();
        gHost.codePage = c.codePage;
        SCOPED_TRACE(c.codePage);
        char field[30];
        memset(field, 'x', sizeof field);
        CopyText(field, sizeof field, c.text.c_str());
        EXPECT_EQ(std::string(field), c.kept);
        char appended[30] = "";
        AppendText(appended, sizeof appended, c.text.c_str());
        EXPECT_EQ(std::string(appended), c.kept);
    }
    ResetFakeHost();
}

// The last separator of a path, walked by characters: a trail byte 0x5C is no "\\".
TEST(Text, SeparatorsAreFoundByCharacters) {
    const std::string so = "\x83\x5c", hyo = "\x95\x5c", nou = "\x94\x5c";  // three such characters of 932
    struct Case {
        std::string path;
        int at932;    // index of the last separator, -1 for none
        int atBytes;  // the same path walked byte by byte: the trap is in the data
    };
    const Case cases[] = {
        {"C:\\" + so + "fto\\" + hyo, 8, 10},
        {"C:" + nou, 1, 3},
        {hyo, -1, 1},
        {"C:\\dir\\apps.dat", 6, 6},
        {"C:" + so + "\x83", 1, 3},  // ends in half a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        for (int codePage : {932, 0}) {
            ResetFakeHost();
            gHost.codePage = codePage;
            const char* found = FindLastSeparator(c.path.c_str(), "\\/:");
            const int at = found == nullptr ? -1 : static_cast<int>(found - c.path.c_str());
            EXPECT_EQ(at, codePage != 0 ? c.at932 : c.atBytes);
        }
    }
    ResetFakeHost();
}

}  // namespace
