// Kelmar's Wine prefix: copies of Wine's files made links and links made copies again (never through a
// folder link into the home folder), the prefix copied with or without them, the time stamps and marks
// read as Wine reads them and damaged ones as unknown, the code page from a hand-made locale table, the
// session's DPI and font language, the INF file for Wine and the autostart entry's Exec.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "linux/autostart.h"
#include "linux/session_look.h"
#include "linux/wine_locale.h"
#include "linux/wine_prefix.h"

namespace {

class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelmar-prefix-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
    }
    void TearDown() override { RemoveTree(root_); }

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    void Write(const std::string& relative, const std::string& bytes) const {
        const std::string path = Path(relative);
        for (size_t slash = path.find('/', root_.size() + 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
            mkdir(path.substr(0, slash).c_str(), 0755);
        }
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(Path(relative), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string LinkOf(const std::string& relative) const {
        char target[4096];
        const ssize_t size = readlink(Path(relative).c_str(), target, sizeof target);
        return size < 0 ? std::string() : std::string(target, static_cast<size_t>(size));
    }
    WineFiles Wine() const { return WineFiles{{Path("wine/x86_64-windows"), Path("wine/nls")}, Path("wine/wine.inf")}; }

    std::string root_;
};

TEST_F(Scratch, CopiesOfWinesFilesBecomeLinksAndLinksCopiesAgain) {
    Write("wine/x86_64-windows/kernel32.dll", "MZ kernel");
    Write("wine/x86_64-windows/Shell32.dll", "MZ shell");
    Write("wine/x86_64-windows/user32.dll", "MZ user32");
    Write("wine/nls/c_1252.nls", "table");
    Write("p/drive_c/windows/system32/kernel32.dll", "MZ kernel");   // a copy
    Write("p/drive_c/windows/system32/SHELL32.DLL", "MZ shell");     // a copy, named in other case
    Write("p/drive_c/windows/system32/user32.dll", "MZ USER32");     // same size, other bytes: a native one
    Write("p/drive_c/windows/system32/c_1252.nls", "table");
    Write("p/drive_c/windows/notes.txt", "MZ kernel");               // same bytes, no such Wine file
    // The user's Desktop is a link into the home folder: nothing there is the prefix's to change.
    Write("home/Desktop/kernel32.dll", "MZ kernel");
    mkdir(Path("p/drive_c/users").c_str(), 0755);
    mkdir(Path("p/drive_c/users/u").c_str(), 0755);
    ASSERT_EQ(symlink(Path("home/Desktop").c_str(), Path("p/drive_c/users/u/Desktop").c_str()), 0);

    const PrefixPass linked = LinkWineCopies(Path("p"), WineFileIndex(Wine()));
    EXPECT_EQ(linked.files, 3);
    EXPECT_EQ(linked.bytes, 9 + 8 + 5);
    EXPECT_EQ(LinkOf("p/drive_c/windows/system32/kernel32.dll"), Path("wine/x86_64-windows/kernel32.dll"));
    EXPECT_EQ(LinkOf("p/drive_c/windows/system32/SHELL32.DLL"), Path("wine/x86_64-windows/Shell32.dll"));
    EXPECT_EQ(LinkOf("p/drive_c/windows/system32/c_1252.nls"), Path("wine/nls/c_1252.nls"));
    EXPECT_EQ(LinkOf("p/drive_c/windows/system32/user32.dll"), "");
    EXPECT_EQ(LinkOf("p/drive_c/windows/notes.txt"), "");
    EXPECT_EQ(LinkOf("home/Desktop/kernel32.dll"), "");
    EXPECT_TRUE(HasWineLinks(Path("p"), Wine()));

    // A link whose Wine file is gone stays as it is; the others become copies of their targets.
    ASSERT_EQ(symlink(Path("wine/x86_64-windows/gone.dll").c_str(), Path("p/drive_c/windows/system32/gone.dll").c_str()), 0);
    const PrefixPass copied = CopyWineLinks(Path("p"), Wine());
    EXPECT_EQ(copied.files, 3);
    EXPECT_EQ(copied.failed, 0);
    EXPECT_EQ(LinkOf("p/drive_c/windows/system32/kernel32.dll"), "");
    EXPECT_EQ(Read("p/drive_c/windows/system32/kernel32.dll"), "MZ kernel");
    EXPECT_EQ(Read("p/drive_c/windows/system32/SHELL32.DLL"), "MZ shell");
    EXPECT_EQ(LinkOf("p/drive_c/windows/system32/gone.dll"), Path("wine/x86_64-windows/gone.dll"));
    EXPECT_EQ(LinkOf("p/drive_c/users/u/Desktop"), Path("home/Desktop"));
    unlink(Path("p/drive_c/windows/system32/gone.dll").c_str());
    EXPECT_FALSE(HasWineLinks(Path("p"), Wine()));
}

TEST_F(Scratch, PrefixCopiedWithLinksOrWithWinesFilesInTheirPlace) {
    Write("wine/x86_64-windows/kernel32.dll", "MZ kernel");
    Write("shared/system.reg", "registry");
    Write("shared/drive_c/windows/win.ini", "[windows]");
    mkdir(Path("shared/dosdevices").c_str(), 0755);
    ASSERT_EQ(symlink("../drive_c", Path("shared/dosdevices/c:").c_str()), 0);
    ASSERT_EQ(symlink(Path("wine/x86_64-windows/kernel32.dll").c_str(), Path("shared/drive_c/windows/kernel32.dll").c_str()), 0);

    ASSERT_TRUE(CopyPrefixTree(Path("shared"), Path("user"), Wine(), false));
    EXPECT_EQ(Read("user/system.reg"), "registry");
    EXPECT_EQ(Read("user/drive_c/windows/win.ini"), "[windows]");
    EXPECT_EQ(LinkOf("user/dosdevices/c:"), "../drive_c");
    EXPECT_EQ(LinkOf("user/drive_c/windows/kernel32.dll"), Path("wine/x86_64-windows/kernel32.dll"));

    // Root's copy: Wine's file itself, and other links as they are.
    ASSERT_TRUE(CopyPrefixTree(Path("shared"), Path("root"), Wine(), true));
    EXPECT_EQ(LinkOf("root/drive_c/windows/kernel32.dll"), "");
    EXPECT_EQ(Read("root/drive_c/windows/kernel32.dll"), "MZ kernel");
    EXPECT_EQ(LinkOf("root/dosdevices/c:"), "../drive_c");

    EXPECT_FALSE(CopyPrefixTree(Path("shared"), Path("user"), Wine(), false));  // never over an existing one
    EXPECT_FALSE(CopyPrefixTree(Path("nothing"), Path("other"), Wine(), false));
    EXPECT_TRUE(RemoveTree(Path("user")));
    EXPECT_TRUE(RemoveTree(Path("user")));
}

TEST_F(Scratch, TimeStampsAsWineReadsThemAndMarksDamagedAsUnknown) {
    Write("wine/wine.inf", "[Version]");
    struct stat info;
    ASSERT_EQ(stat(Path("wine/wine.inf").c_str(), &info), 0);
    const long long inf = WineInfTime(Wine());
    EXPECT_EQ(inf, static_cast<long long>(info.st_mtime));
    EXPECT_EQ(WineInfTime(WineFiles{{}, Path("wine/none.inf")}), -1);

    const std::string now = std::to_string(inf);
    const struct { std::string stamp; WineUpdate update; } stamps[] = {
        {now + "\n", WineUpdate::kCurrent}, {now, WineUpdate::kCurrent}, {" " + now + "\n", WineUpdate::kCurrent},
        {std::to_string(inf - 1) + "\n", WineUpdate::kDue}, {"", WineUpdate::kDue}, {"garbage\n", WineUpdate::kDue},
        {"disable\n", WineUpdate::kDisabled}};
    for (const auto& s : stamps) {
        Write("p/.update-timestamp", s.stamp);
        EXPECT_EQ(PrefixUpdate(Path("p"), inf), s.update) << "'" << s.stamp << "'";
    }
    unlink(Path("p/.update-timestamp").c_str());
    EXPECT_EQ(PrefixUpdate(Path("p"), inf), WineUpdate::kDue);

    const struct { std::string text; long long value; } marks[] = {
        {"1676758571\n", 1676758571}, {"0\n", 0}, {"", -1}, {"1676758571", -1}, {std::string("16767\0" "58571\n", 12), -1},
        {"12a\n", -1}, {"\n", -1}, {"-5\n", -1}, {"123456789012345678901\n", -1}, {"1\n2\n", -1}};
    for (const auto& m : marks) {
        Write("p/mark", m.text);
        EXPECT_EQ(ReadNumberFile(Path("p/mark")), m.value) << "'" << m.text << "'";
    }
    EXPECT_EQ(ReadNumberFile(Path("p/none")), -1);
    ASSERT_TRUE(WriteNumberFile(Path("p/mark"), 42));
    EXPECT_EQ(Read("p/mark"), "42\n");
}

// A locale table in the layout of locale.nls with the few locales the cases need.
std::string LocaleTable() {
    struct Locale { const char* name; uint16_t defaultLanguage; uint32_t lcid; uint16_t codePage; };
    // Sorted by name; the id index lists them by id, 0x1000 before 0x701a.
    const Locale locales[] = {{"en-US", 0x409, 0x409, 1252}, {"ja-JP", 0x411, 0x411, 932},
                              {"ka-GE", 0x437, 0x437, 65001}, {"sr", 0x701a, 0x701a, 1250},
                              {"xc-CUSTOM", 0x1000, 0x1000, 1251}};
    const uint16_t byId[] = {0, 1, 2, 4, 3};
    const size_t table = 0x20, recordSize = 0x148;
    const size_t lcids = 0x50, names = lcids + 8 * 5, records = names + 8 * 5, strings = records + recordSize * 5;
    std::string bytes(table + strings + 200, '\0');
    auto u16 = [&](size_t at, uint32_t v) { bytes[at] = static_cast<char>(v & 0xff); bytes[at + 1] = static_cast<char>(v >> 8); };
    auto u32 = [&](size_t at, uint32_t v) { u16(at, v & 0xffff); u16(at + 2, v >> 16); };
    u32(0x10, table);
    u16(table + 0x1e, 5);
    u16(table + 0x22, recordSize);
    u32(table + 0x24, records);
    u16(table + 0x28, 5);
    u32(table + 0x2c, lcids);
    u32(table + 0x30, names);
    u32(table + 0x40, strings);
    size_t text = 0;
    for (uint16_t i = 0; i < 5; ++i) {
        const Locale& l = locales[i];
        u32(table + lcids + 8 * i, locales[byId[i]].lcid);
        u16(table + lcids + 8 * i + 4, byId[i]);
        u16(table + names + 8 * i, static_cast<uint32_t>(text));
        u16(table + names + 8 * i + 2, i);
        u16(table + records + recordSize * i + 0x6c, l.defaultLanguage);
        u16(table + records + recordSize * i + 0x6e, l.codePage);
        u16(table + strings + 2 * text, static_cast<uint32_t>(strlen(l.name)));
        for (size_t c = 0; l.name[c] != '\0'; ++c) u16(table + strings + 2 * (text + 1 + c), static_cast<unsigned char>(l.name[c]));
        text += strlen(l.name) + 2;
    }
    return bytes;
}

TEST(WineLocale, CodePageOfEachLocaleAsWineFindsIt) {
    const std::string table = LocaleTable();
    const struct { const char* name; int codePage; } cases[] = {
        {"ja-JP", 932}, {"JA_jp", 932}, {"ka-GE", 65001}, {"en-US", 1252}, {"sr", 1250},
        {"xc-CUSTOM", 1252},   // a custom locale: Wine keeps English
        {"sr-RS", kAskWine},   // not in the table: Wine 8 takes English, Wine 10 "sr"
        {"sr-Latn-XK", kAskWine}, {"ja", 1252}, {"xx-YY", 1252}, {"ja-JP-x", kAskWine}, {"", 1252}};
    for (const auto& c : cases) EXPECT_EQ(AnsiCodePageOf(table, c.name), c.codePage) << c.name;
    EXPECT_EQ(AnsiCodePageOf(table.substr(0, 0x60), "ja-JP"), 0);
    EXPECT_EQ(AnsiCodePageOf(std::string(), "ja-JP"), 0);
    std::string broken = table;
    broken[0x20 + 0x43] = '\x7f';  // the strings' offset far outside the file
    EXPECT_EQ(AnsiCodePageOf(broken, "ja-JP"), 0);
}

TEST(WineLocale, UnixLocaleNamesAsWindowsNamesThem) {
    const struct { const char* unix; const char* lcAll; const char* windows; } cases[] = {
        {"ja_JP.UTF-8", nullptr, "ja-JP"}, {"de_DE@euro", nullptr, "de-DE"}, {"sr_RS@latin", nullptr, "sr-Latn-RS"},
        {"uz_UZ.UTF-8@cyrillic", nullptr, "uz-Cyrl-UZ"}, {"ca_ES.UTF-8@valencia", nullptr, "ca-ES-valencia"},
        {"aa_ER@saaho", nullptr, "ssy-ER"}, {"de", nullptr, "de"}, {"POSIX", nullptr, "en-US"},
        {"C", nullptr, ""}, {"C", "", ""}, {"C", "fr_FR.UTF-8", "fr-FR"}, {"C.UTF-8", nullptr, "C"},
        {"", "C", "en-US"}, {"en_US@unknown", nullptr, "en-US"}};
    for (const auto& c : cases) EXPECT_EQ(WindowsLocaleName(c.unix, c.lcAll), c.windows) << c.unix;
}

TEST(SessionLook, LanguageAndDpiFromWhatTheSessionSays) {
    const struct { const char* locale; const char* language; } languages[] = {
        {"ja_JP.UTF-8", "ja"}, {"zh_TW.UTF-8", "zh-tw"}, {"zh_CN", "zh-cn"}, {"de_DE@euro", "de"},
        {"C", "en"}, {"POSIX", "en"}, {"", "en"}, {"C.UTF-8", "en"}, {"pt", "pt"}};
    for (const auto& l : languages) EXPECT_EQ(FontLanguage(l.locale), l.language) << l.locale;

    EXPECT_EQ(DpiOfResources("Xft.dpi:\t192\n"), 192);
    EXPECT_EQ(DpiOfResources("Xft.antialias:\t1\nXft.dpi:  144.4\nXft.hinting:\t1\n"), 144);
    EXPECT_EQ(DpiOfResources("Xft.dpi:\t120"), 120);
    EXPECT_EQ(DpiOfResources("Xft.dpi:\tlarge\n"), 0);
    EXPECT_EQ(DpiOfResources("Xft.dpi:\t\n"), 0);
    EXPECT_EQ(DpiOfResources("*Xft.dpi:\t192\n"), 0);
    EXPECT_EQ(DpiOfResources(""), 0);
    EXPECT_EQ(DpiOfScale("2"), 192);
    EXPECT_EQ(DpiOfScale("1"), 96);
    for (const char* scale : {"0", "10", "1.5", "", "x"}) EXPECT_EQ(DpiOfScale(scale), 0) << scale;
    EXPECT_EQ(DpiOfScale(nullptr), 0);
    EXPECT_EQ(DpiOfScreen(1080, 286), 96);   // 95.9 dpi
    EXPECT_EQ(DpiOfScreen(2160, 286), 192);  // 191.8
    EXPECT_EQ(DpiOfScreen(1600, 286), 144);  // 142.1, nearest step 144
    EXPECT_EQ(DpiOfScreen(768, 0), 0);
    EXPECT_EQ(DpiOfScreen(0, 200), 0);
}

TEST(SessionLook, InfFileCarriesTheValuesWhateverTheyHold) {
    const std::string inf = SettingsInf(144, SessionFont{"50%.ttf", "Say \"Hi\""});
    EXPECT_NE(inf.find("\"LogPixels\",0x10001,144\r\n"), std::string::npos);
    EXPECT_NE(inf.find("\"Tahoma\",0x10000,\"50%%.ttf,Say \"\"Hi\"\"\"\r\n"), std::string::npos);
    EXPECT_NE(inf.find("\"MS Sans Serif\",0x10000,"), std::string::npos);
    EXPECT_NE(inf.find("11,,shell32.dll,1"), std::string::npos);
    for (const SessionFont& none : {SessionFont{}, SessionFont{"a.ttf", ""}, SessionFont{"\xff.ttf", "Family"}}) {
        EXPECT_EQ(SettingsInf(96, none).find("FontLink"), std::string::npos) << none.file;
    }
    EXPECT_EQ(Utf16WithMark("A\xc3\xa9"), std::string("\xff\xfe" "A\0\xe9\0", 6));
    EXPECT_EQ(Utf16WithMark("\xff"), "");
}

TEST(Autostart, ExecStartsThePathWhateverItHolds) {
    EXPECT_EQ(ExecFor("/usr/bin/kelmar"), "\"/usr/bin/kelmar\"");
    EXPECT_EQ(ExecFor("/a b/$x`y\"z\\w"), "\"/a b/\\$x\\`y\\\"z\\\\w\"");
    EXPECT_EQ(ExecFor("/opt/100% kelmar/kelmar"), "env \"/opt/100%% kelmar/kelmar\"");
}

}  // namespace
