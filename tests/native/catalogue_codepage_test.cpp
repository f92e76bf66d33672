// apps.dat across a change of code page: hand-made record images in one code page, converted to another;
// names exact with their mnemonics where the new code page holds them, cut at whole characters, else
// readable or the desktop's own; paths only when exact; a file Kelmar cannot read left as it is; the
// note of the code page and its damaged forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "linux/catalogue_codepage.h"

namespace {

std::string Field(const std::string& text, size_t size) {
    std::string field = text;
    field.resize(size, '\0');
    return field;
}

// A menu image: name (32), appCount (32-bit little-endian), three link words.
std::string MenuImage(const std::string& name, int32_t count) {
    const uint32_t bits = static_cast<uint32_t>(count);
    std::string image = Field(name, 32);
    for (int shift = 0; shift < 32; shift += 8) image.push_back(static_cast<char>((bits >> shift) & 0xff));
    return image + std::string(12, '\0');
}

// An app image: path (80), folder (80), parameters (30), name (30), two link words.
std::string AppImage(const std::string& name, const std::string& path, const std::string& folder = "",
                     const std::string& params = "") {
    return Field(path, 80) + Field(folder, 80) + Field(params, 30) + Field(name, 30) + std::string(8, '\0');
}

std::string NameAt(const std::string& bytes, size_t at, size_t size) {
    return std::string(bytes.data() + at, strnlen(bytes.data() + at, size));
}

constexpr size_t kApp = 48;  // the first app image of the first menu
constexpr size_t kPath = 0, kFolder = 80, kParams = 160, kName = 190;

std::string Convert(const std::string& bytes, int from, int to, CatalogueConversion& conversion,
                    const DesktopNames& desktop = DesktopNames()) {
    AnsiEncoder fromEncoder(from);
    AnsiEncoder toEncoder(to);
    return ConvertCatalogue(bytes, fromEncoder, toEncoder, desktop, conversion);
}

TEST(CatalogueCodePage, CyrillicNamesStayTheSameUnderJapanese) {
    // "&Терминал" in 1251, a path through a Cyrillic folder, and a name of 20 Cyrillic letters, which
    // takes 40 bytes in 932.
    const std::string file = MenuImage("&\xd2\xe5\xea\xf1\xf2", 2) +
                             AppImage("&\xd2\xe5\xf0\xec\xe8\xed\xe0\xeb", "C:\\\xd2\\t.exe", "C:\\\xd2", "-x") +
                             AppImage(std::string(20, '\xe0'), "C:\\a.exe") + std::string(7, 'z');
    CatalogueConversion conversion;
    const std::string out = Convert(file, 1251, 932, conversion);
    ASSERT_TRUE(conversion.readable);
    EXPECT_TRUE(conversion.changed);
    EXPECT_EQ(out.size(), file.size());
    EXPECT_EQ(NameAt(out, 0, 32), "&\x84\x53\x84\x75\x84\x7b\x84\x83\x84\x84");
    EXPECT_EQ(NameAt(out, kApp + kName, 30), "&\x84\x53\x84\x75\x84\x82\x84\x7d\x84\x79\x84\x7e\x84\x70\x84\x7c");
    EXPECT_EQ(NameAt(out, kApp + kPath, 80), "C:\\\x84\x53\\t.exe");
    EXPECT_EQ(NameAt(out, kApp + kFolder, 80), "C:\\\x84\x53");
    EXPECT_EQ(NameAt(out, kApp + kParams, 30), "-x");
    // Cut between characters before "...": 13 letters of two bytes each.
    std::string cut;
    for (int i = 0; i < 13; ++i) cut += "\x84\x70";
    EXPECT_EQ(NameAt(out, kApp + 228 + kName, 30), cut + "...");
    EXPECT_EQ(out.substr(out.size() - 7), std::string(7, 'z'));  // a trailing fragment as it was
    EXPECT_TRUE(conversion.madeReadable.empty());
    EXPECT_TRUE(conversion.keptAsTheyWere.empty());
}

TEST(CatalogueCodePage, NamesTheCodePageLacksBecomeReadablePathsStayAsTheyWere) {
    // Under 1251 from 1252: letters 1251 lacks in their ASCII form, the mnemonic moved with its letter.
    const std::string western = MenuImage("&\xc9" "diteurs", 2) + AppImage("Stra\xdf" "e &\xe9t\xe9", "C:\\caf\xe9\\a.exe") +
                                AppImage("A && B", "C:\\b.exe", "C:\\", "x y");
    CatalogueConversion conversion;
    std::string out = Convert(western, 1252, 1251, conversion);
    EXPECT_EQ(NameAt(out, 0, 32), "&Editeurs");
    EXPECT_EQ(NameAt(out, kApp + kName, 30), "Strasse &ete");
    EXPECT_EQ(NameAt(out, kApp + kPath, 80), "C:\\caf\xe9\\a.exe");  // as it was
    EXPECT_EQ(NameAt(out, kApp + 228 + kName, 30), "A && B");
    ASSERT_EQ(conversion.keptAsTheyWere.size(), 1u);
    EXPECT_EQ(conversion.keptAsTheyWere[0], "the path of Stra\xc3\x9f" "e \xc3\xa9t\xc3\xa9 (menu \xc3\x89" "diteurs)");
    EXPECT_EQ(conversion.madeReadable.size(), 2u);

    // Under 1252 from 932: nothing of a kana name is readable. An imported menu takes its title in this
    // language (else English), an imported application its names on the desktop, else its key; any
    // other its program's name; each with a mnemonic free in its menu. Latin letters among kana stay.
    DesktopNames desktop;
    desktop.titleTranslations.assign(kMenuCount, {});
    desktop.titleTranslations[2] = {"Graphics", "\xe3\x82\xb0\xe3\x83\xa9\xe3\x83\x95\xe3\x82\xa3\xe3\x83\x83\xe3\x82\xaf\xe3\x82\xb9"};
    desktop.titles.assign(kMenuCount, "\xd0\x93");  // Cyrillic, which 1252 lacks: the English title then
    desktop.titles[0] = "Internet";
    desktop.appNames = [](const std::string& key) {
        return key == "kana1" ? std::vector<std::string>{"\xe3\x83\x86", "Kana One"} : std::vector<std::string>();
    };
    const std::string japanese =
        MenuImage("&\x83\x4f\x83\x89\x83\x74\x83\x42\x83\x62\x83\x4e\x83\x58", 4) +
        AppImage("\x83\x65\x83\x65\x83\x65", "Z:\\usr\\lib\\kelmar\\start-app", "", "kana1") +
        AppImage("\x83\x65\x83\x58\x83\x67", "Z:\\usr\\lib\\kelmar\\start-app", "", "org.example.Kana") +
        AppImage("\x83\x47\x83\x66\x83\x42\x83\x5e &Pad", "C:\\\x83\x65\\edit.exe") +
        AppImage("\x83\x65", "C:\\tools\\pview.exe") + MenuImage("\x83\x65\x83\x58\x83\x67", 0);
    out = Convert(japanese, 932, 1252, conversion, desktop);
    EXPECT_EQ(NameAt(out, 0, 32), "&Graphics");
    size_t app = kApp;
    EXPECT_EQ(NameAt(out, app + kName, 30), "&Kana One");
    EXPECT_EQ(NameAt(out, app + 228 + kName, 30), "&org.example.Kana");
    EXPECT_EQ(NameAt(out, app + 2 * 228 + kName, 30), "&Pad");
    EXPECT_EQ(NameAt(out, app + 2 * 228 + kPath, 80), "C:\\\x83\x65\\edit.exe");
    EXPECT_EQ(NameAt(out, app + 3 * 228 + kName, 30), "p&view");  // "p" is Pad's
    EXPECT_EQ(NameAt(out, app + 4 * 228, 32), "&Menu 2");
    ASSERT_EQ(conversion.keptAsTheyWere.size(), 1u);
    EXPECT_EQ(conversion.keptAsTheyWere[0].rfind("the path of ", 0), 0u);
}

TEST(CatalogueCodePage, ACatalogueKelmarCannotReadOrThatNeedsNothingStaysByteForByte) {
    CatalogueConversion conversion;
    // The second group promises three apps and holds two.
    const std::string cut = MenuImage("&\xe0", 1) + AppImage("\xe0", "a") + MenuImage("B", 3) + AppImage("b", "b") +
                            AppImage("c", "c");
    EXPECT_EQ(Convert(cut, 1251, 932, conversion), cut);
    EXPECT_FALSE(conversion.readable);
    EXPECT_FALSE(conversion.changed);

    // ASCII, with bytes after the NULs and a negative count, reads the same in every code page.
    std::string plain = MenuImage("&Tools", 1) + AppImage("&Edit", "C:\\e.exe", "C:\\", "-n") + MenuImage("Neg", -4);
    plain[20] = 'q';
    EXPECT_EQ(Convert(plain, 1252, 932, conversion), plain);
    EXPECT_TRUE(conversion.readable);
    EXPECT_FALSE(conversion.changed);

    // A name with a double-byte character cut short at its end: the whole characters stay.
    const std::string broken = MenuImage("A\x83\x65\x83", 0);
    EXPECT_EQ(NameAt(Convert(broken, 932, 65001, conversion), 0, 32), "A\xe3\x83\x86");
}

TEST(CatalogueCodePage, TheNoteReadsBackAsWrittenAndDamagedAsNone) {
    EXPECT_EQ(CodePageRecordText({1251, "ru_RU.UTF-8"}), "1251\nru_RU.UTF-8\n");
    CodePageRecord record;
    ASSERT_TRUE(ParseCodePageRecord("932\nja_JP.UTF-8\n", record));
    EXPECT_EQ(record.codePage, 932);
    EXPECT_EQ(record.locale, "ja_JP.UTF-8");
    ASSERT_TRUE(ParseCodePageRecord("1252\n\n", record));  // no locale set: the C locale
    EXPECT_EQ(record.locale, "");
    const std::string damaged[] = {"", "\n", "932", "932\n", "932\nja", "x32\nja\n", "0\nja\n", "70000\nja\n",
                                   "932\nja\nmore\n", std::string("932\nj\0a\n", 8), "123456\nja\n"};
    for (const std::string& text : damaged) EXPECT_FALSE(ParseCodePageRecord(text, record)) << text;

    // The locale Wine takes the code page from: LC_ALL, else LC_CTYPE, else LANG. The caller's are put back.
    std::vector<std::pair<std::string, std::string>> callers;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (getenv(name) != nullptr) callers.emplace_back(name, getenv(name));
    }
    setenv("LANG", "de_DE.UTF-8", 1);
    setenv("LC_CTYPE", "ja_JP.UTF-8", 1);
    setenv("LC_ALL", "", 1);
    EXPECT_EQ(CodePageLocale(), "ja_JP.UTF-8");
    setenv("LC_ALL", "ru_RU.UTF-8", 1);
    EXPECT_EQ(CodePageLocale(), "ru_RU.UTF-8");
    unsetenv("LC_ALL");
    unsetenv("LC_CTYPE");
    EXPECT_EQ(CodePageLocale(), "de_DE.UTF-8");
    unsetenv("LANG");
    EXPECT_EQ(CodePageLocale(), "");
    for (const auto& variable : callers) setenv(variable.first.c_str(), variable.second.c_str(), 1);
}

}  // namespace
