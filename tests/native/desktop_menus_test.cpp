// The imported catalogue's pure rules: main categories, labels (mnemonics, "&" doubled, cuts that never
// split a character), code-page conversion and its fallbacks, start-app's keys, and the session's
// environment recorded before Wine and given back after it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib/gstdio.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "linux/desktop_menus.h"
#include "linux/session_env.h"

namespace {

LabelText Chars(const std::string& text, int codePage = 0) {
    return AnsiEncoder(codePage).Readable(text);
}

std::string MakeLabel(const LabelText& chars, size_t size, LabelLetters& taken) {
    char label[kLabelChars];
    WriteLabel(chars, taken, label, size);
    return label;
}

std::string Label(const DesktopApp& app, int codePage, size_t size = 30) {
    AnsiEncoder encoder(codePage);
    LabelLetters taken;
    return MakeLabel(LabelChars(app, encoder, nullptr), size, taken);
}

TEST(DesktopMenus, FirstMainCategoryPicksTheMenu) {
    const struct { const char* categories; const char* menu; } cases[] = {
        {"Network;WebBrowser;", "Internet"}, {"GTK;Audio;AudioVideo;", "Sound & Video"},
        {"Settings;System;", "Settings"},    {"GTK;Utility;TextEditor;", "Utilities"},
        {"Game", "Games"},                   {"GTK;Qt;", "Other"},
        {"", "Other"},                       {"Networking;", "Other"}};
    for (const auto& c : cases) EXPECT_STREQ(kMenuTitles[MenuOf(c.categories)], c.menu) << c.categories;
}

TEST(DesktopMenus, LabelsDoubleAmpersandsAndTakeFreeMnemonics) {
    LabelLetters taken;
    EXPECT_EQ(MakeLabel(Chars("Sound & Video"), 32, taken), "&Sound && Video");
    EXPECT_EQ(MakeLabel(Chars("Science"), 32, taken), "S&cience");  // S is taken
    EXPECT_EQ(MakeLabel(Chars("Big Screen"), 32, taken), "&Big Screen");
    EXPECT_EQ(MakeLabel(Chars("Bb Sc"), 32, taken), "Bb Sc");  // every letter taken: no marker
    EXPECT_EQ(taken.count, 3u);
    EXPECT_TRUE(HasLetter(taken, 's') && HasLetter(taken, 'c') && HasLetter(taken, 'b'));
    LabelLetters fresh;
    EXPECT_EQ(MakeLabel(Chars("& 2 x"), 32, fresh), "&& &2 x");
}

TEST(DesktopMenus, CutsKeepWholeCharactersAndTheMnemonic) {
    LabelLetters taken;
    // 40 characters into 29 bytes: the marker and "..." count, and a doubled "&" is never cut in half.
    const std::string label = MakeLabel(Chars("Abcdefghijklmnopqrstuvwxy&&&&&&&&&&&&&&&"), 30, taken);
    EXPECT_EQ(label, "&Abcdefghijklmnopqrstuvwxy...");
    for (char c = 'a'; c <= 'y'; ++c) TakeLetter(taken, static_cast<unsigned char>(c));
    // The only free letter lies past the cut: no marker rather than one pointing outside the label.
    EXPECT_EQ(MakeLabel(Chars("abcdefghijklmnopqrstuvwxyabcdz"), 30, taken), "abcdefghijklmnopqrstuvwxya...");
    // Cut after the last whole word when it ends near; else mid-word. Names that fit stay whole.
    LabelLetters fresh;
    EXPECT_EQ(MakeLabel(Chars("Analyseur d'utilisation des disques"), 30, fresh), "&Analyseur d'utilisation...");
    EXPECT_EQ(MakeLabel(Chars("ImageMagick (color depth=q16)"), 30, fresh), "&ImageMagick (color...");
    EXPECT_EQ(MakeLabel(Chars("Openbox Configuration Manager"), 31, fresh), "&Openbox Configuration Manager");
    EXPECT_EQ(MakeLabel(Chars("Supercalifragilisticexpialidocious"), 30, fresh), "&Supercalifragilisticexpia...");

    // Double-byte code page: 20 Japanese characters are 40 bytes; 26 bytes before "..." hold 13 whole
    // ones, no marker (no letter typed with one key).
    DesktopApp app{"jp.desktop", "日本語のテキストエディタで長い名前の例です", "Japanese Editor", ""};
    const std::string japanese = Label(app, 932);
    ASSERT_EQ(japanese.size(), 29u);
    EXPECT_EQ(japanese.substr(26), "...");
    gchar* back = g_convert(japanese.c_str(), 26, "UTF-8", "CP932", nullptr, nullptr, nullptr);
    ASSERT_NE(back, nullptr) << "the cut split a character";
    EXPECT_STREQ(back, "日本語のテキストエディタで");
    g_free(back);
}

TEST(DesktopMenus, JapaneseTitlesGetDistinctLatinLettersInParenthesesWithinTheField) {
    // Titles in katakana and kanji have no letter typed with one key: each gets one of its category's
    // English name in parentheses, the next free one where the first is taken, cut before them if long.
    std::vector<std::string> titles(kMenuTitles, kMenuTitles + kMenuCount);
    titles[2] = "グラフィックス";
    titles[4] = "ゲーム";
    titles[5] = "ソフトウェア開発ツールとプログラミング環境";
    titles[8] = "システム";
    titles[9] = "設定";
    titles[10] = "ユーティリティ";
    titles[11] = "その他";
    const std::vector<DesktopApp> apps = {
        {"g.desktop", "g", "g", "Graphics;"}, {"a.desktop", "a", "a", "Game;"},
        {"d.desktop", "d", "d", "Development;"}, {"s.desktop", "s", "s", "System;"},
        {"e.desktop", "e", "e", "Settings;"}, {"u.desktop", "u", "u", "Utility;"}, {"o.desktop", "o", "o", ""}};
    AnsiEncoder encoder(932);
    Catalogue catalogue;
    ImportSummary summary;
    ASSERT_TRUE(BuildImportedCatalogue(apps, encoder, "Z:\\start-app", catalogue, summary, titles));
    std::vector<std::string> seen;
    for (UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        EXPECT_LT(strlen(menu->name), sizeof menu->name);
        gchar* utf8 = g_convert(menu->name, -1, "UTF-8", "CP932", nullptr, nullptr, nullptr);
        ASSERT_NE(utf8, nullptr) << "a title holds half a character";
        seen.emplace_back(utf8);
        g_free(utf8);
    }
    FreeCatalogue(catalogue);
    EXPECT_EQ(seen, (std::vector<std::string>{"グラフィックス(&G)", "ゲーム(&A)", "ソフトウェア開発ツールと...(&D)",
                                              "システム(&S)", "設定(&E)", "ユーティリティ(&U)", "その他(&O)"}));
}

TEST(DesktopMenus, NamesFallBackWhenTheCodePageCannotHoldThem) {
    // In the user's language where the code page holds it.
    EXPECT_EQ(Label({"a.desktop", "Bildbetrachter für Fotos", "Image Viewer", ""}, 1252), "&Bildbetrachter f\xfcr Fotos");
    EXPECT_EQ(Label({"a.desktop", "Текстовый редактор", "Text Editor", ""}, 1251),
              "&\xd2\xe5\xea\xf1\xf2\xee\xe2\xfb\xe9 \xf0\xe5\xe4\xe0\xea\xf2\xee\xf0");  // a Cyrillic mnemonic
    // Else the untranslated Name; else a readable ASCII form; else the ID.
    EXPECT_EQ(Label({"a.desktop", "Текстовый редактор", "Text Editor", ""}, 1252), "&Text Editor");
    EXPECT_EQ(Label({"a.desktop", "Ünïcödé Pâd", "Ünïcödé Pâd", ""}, 0), "&Unicode Pad");
    EXPECT_EQ(Label({"org.example.Nihongo.desktop", "日本語", "日本語", ""}, 1252), "&org.example.Nihongo");
    // Decomposed accents are composed first, so that the code page can hold them.
    EXPECT_EQ(Label({"a.desktop", "Cafe\xcc\x81", "Cafe", ""}, 1252), "&Caf\xe9");
}

TEST(DesktopMenus, NamesKeepEveryCharacterTheCodePageHoldsOrCanSpell) {
    // Each character the code page lacks in its ASCII form, else left out, spaces tidied after it.
    EXPECT_EQ(Label({"s.desktop", "\xf0\x9f\x98\x80 Smile", "\xf0\x9f\x98\x80 Smile", ""}, 1252), "&Smile");
    EXPECT_EQ(Label({"e.desktop", "Éditeur 日本 Œuvre", "Editor 日本", ""}, 1252), "&\xc9" "diteur \x8cuvre");
    // A name the code page holds whole comes before one with characters lost.
    EXPECT_EQ(Label({"e.desktop", "Éditeur 日本", "Editor", ""}, 1252), "&Editor");
    EXPECT_EQ(Label({"e.desktop", "Straße № 5 — ½", "Straße № 5 — ½", ""}, 0), "&Strasse No 5 -- 1/2");
    // Nothing readable left: the untranslated Name, then the ID.
    EXPECT_EQ(Label({"o.desktop", "日本語", "Kanji Pad \xe2\x9c\x93", ""}, 1252), "&Kanji Pad");
    EXPECT_EQ(Label({"o.desktop", "日本語 \xe2\x9c\x93", "日本語", ""}, 1252), "&o");

    // UTF-8 (65001) holds every name whole; a letter of an alphabet is a mnemonic, a kanji is not.
    EXPECT_EQ(Label({"g.desktop", "ტექსტური რედაქტორი", "Text Editor", ""}, 65001, 64), "&ტექსტური რედაქტორი");
    EXPECT_EQ(Label({"h.desktop", "कैलकुलेटर", "", ""}, 65001), "&कैलकुलेटर");
    EXPECT_EQ(Label({"j.desktop", "日本語 Pad", "", ""}, 65001), "日本語 &Pad");
    // Cut at a whole UTF-8 character: 10 Georgian letters are 30 bytes, the 25 before "..." and the
    // marker hold 8.
    EXPECT_EQ(Label({"g.desktop", "ტექსტურიიი", "", ""}, 65001, 30), "&ტექსტური...");

    // Mnemonics compare in lower case, Cyrillic too: the second name takes its next free letter.
    AnsiEncoder cyrillic(1251);
    LabelLetters taken;
    EXPECT_EQ(MakeLabel(cyrillic.Readable("Терминал"), 30, taken), "&\xd2\xe5\xf0\xec\xe8\xed\xe0\xeb");
    EXPECT_EQ(MakeLabel(cyrillic.Readable("текст"), 30, taken), "\xf2&\xe5\xea\xf1\xf2");
}

TEST(DesktopMenus, SortedByTheLocalesCollationAndTitledAsTheDesktopTitlesMenus) {
    const std::string before = setlocale(LC_ALL, nullptr);
    ASSERT_NE(setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr) << "the fr_FR.UTF-8 locale is missing (scripts/setup.sh --tests)";
    const char* language = g_getenv("LANGUAGE");
    const std::string oldLanguage = language != nullptr ? language : "";
    g_setenv("LANGUAGE", "fr", TRUE);

    gchar* dir = g_dir_make_tmp("kelmar-titles-XXXXXX", nullptr);
    ASSERT_NE(dir, nullptr);
    const std::string folder = std::string(dir) + "/desktop-directories";
    g_mkdir(folder.c_str(), 0700);
    g_file_set_contents((folder + "/Utility.directory").c_str(),
                        "[Desktop Entry]\nType=Directory\nName=Utilities\nName[fr]=Utilitaires\nName[de]=Dienstprogramme\n",
                        -1, nullptr);
    g_file_set_contents((folder + "/Other.directory").c_str(),
                        "[Desktop Entry]\nType=Directory\nName=Accessories\nName[fr]=Accessoires\n", -1, nullptr);
    const std::vector<std::string> titles = MenuTitles({dir});
    // Every language's title, to know a menu imported under another: German ones too under French.
    const std::vector<std::vector<std::string>> translations = MenuTitleTranslations({dir});
    std::vector<std::string> utilities = translations[10];
    std::sort(utilities.begin(), utilities.end());
    EXPECT_EQ(utilities, (std::vector<std::string>{"Dienstprogramme", "Utilitaires", "Utilities"}));
    EXPECT_TRUE(translations[11].empty());  // "Accessories" titles no menu of the import

    const std::vector<DesktopApp> apps = {
        {"x.desktop", "Xarchiver", "Xarchiver", "Utility;"},
        {"e.desktop", "Éditeur de texte", "Text Editor", "Utility;"},
        {"a.desktop", "archives", "archives", "Utility;"},
        {"m.desktop", "Divers", "Misc", ""}};
    AnsiEncoder encoder(1252);
    Catalogue catalogue;
    ImportSummary summary;
    ASSERT_TRUE(BuildImportedCatalogue(apps, encoder, "Z:\\start-app", catalogue, summary, titles));
    std::vector<std::string> seen;
    for (UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        std::string line = menu->name;
        for (AppEntry* app = menu->apps; app != nullptr; app = app->next) line += std::string(" ") + app->params;
        seen.push_back(line);
    }
    FreeCatalogue(catalogue);
    EXPECT_EQ(seen, (std::vector<std::string>{"&Utilitaires a e x", "&Other m"}));

    setlocale(LC_ALL, before.c_str());
    g_setenv("LANGUAGE", oldLanguage.c_str(), TRUE);
    if (oldLanguage.empty()) g_unsetenv("LANGUAGE");
    g_remove((folder + "/Utility.directory").c_str());
    g_remove((folder + "/Other.directory").c_str());
    g_rmdir(folder.c_str());
    g_rmdir(dir);
    g_free(dir);
}

TEST(DesktopMenus, KeysNameTheIdWhereItFitsAndHashItWhereNot) {
    EXPECT_EQ(AppKey("org.gnome.Terminal.desktop"), "org.gnome.Terminal");
    EXPECT_FALSE(IsShortKey("org.gnome.Terminal"));
    const std::string a = AppKey("org.example.AVeryLongApplicationName.One.desktop");
    const std::string b = AppKey("org.example.AVeryLongApplicationName.Two.desktop");
    EXPECT_EQ(a.size(), 29u);
    EXPECT_NE(a, b);
    EXPECT_TRUE(IsShortKey(a));
    EXPECT_EQ(a.substr(0, 13), "org.example.~");
    // The key's hash pinned to its value, worked out apart from this code (base 32 of the first 80 bits of
    // the ID's SHA-256): a key with fewer bits, or other ones, would no longer find the imported entries.
    EXPECT_EQ(a, "org.example.~j2ob6anqsjat765h");
    EXPECT_EQ(AppKey("org.example.AVeryLongApplicationIdentifier.Editor.desktop"), "org.example.~g2pk2yrvk5sltyzm");
    // Wine splits Parameters at spaces and reads quotes: such IDs always get a key of plain characters.
    const std::string spaced = AppKey("my \"app\".desktop");
    EXPECT_EQ(spaced.substr(0, 9), "my__app_~");
    EXPECT_TRUE(IsShortKey(spaced));
    // Two IDs whose keys were one in the first release (its 32-bit hash collides for them) differ now;
    // that release's key still names each, so start-app can refuse it as ambiguous rather than guess.
    const std::string one = "org.example.CollisionDemo.App72001.desktop";
    const std::string two = "org.example.CollisionDemo.App1357800.desktop";
    EXPECT_NE(AppKey(one), AppKey(two));
    EXPECT_TRUE(KeyNames(AppKey(one), one));
    EXPECT_FALSE(KeyNames(AppKey(one), two));
    EXPECT_TRUE(KeyNames("org.example.Collisio~0e733e31", one));
    EXPECT_TRUE(KeyNames("org.example.Collisio~0e733e31", two));
    EXPECT_FALSE(KeyNames("org.example.Collisio~0e733e32", one));
}

TEST(DesktopMenus, WinePathsGoThroughDriveZInTheCodePage) {
    AnsiEncoder western(1252);
    AnsiEncoder cyrillic(1251);
    EXPECT_EQ(WinePath("/usr/lib/kelmar/start-app", western), "Z:\\usr\\lib\\kelmar\\start-app");
    EXPECT_EQ(WinePath("/home/\xd0\x98/x y", cyrillic), "Z:\\home\\\xc8\\x y");  // U+0418 is 0xC8 in 1251
    EXPECT_EQ(WinePath("/home/\xd0\x98/x", western), "");  // no form in 1252: never a wrong name
    EXPECT_EQ(WinePath("usr/bin/x", western), "");
}

TEST(DesktopMenus, CatalogueHasMenusInOrderAppsSortedAndStartAppWithKeys) {
    const std::vector<DesktopApp> apps = {
        {"zed.desktop", "zed", "zed", "Utility;"},
        {"web.desktop", "Web", "Web", "Network;"},
        {"calc.desktop", "Calculator", "Calculator", "Utility;"},
        {"alpha.desktop", "alpha", "alpha", "Utility;"},
        {"misc.desktop", "Misc", "Misc", ""}};
    AnsiEncoder encoder(1252);
    Catalogue catalogue;
    ImportSummary summary;
    ASSERT_TRUE(BuildImportedCatalogue(apps, encoder, "/usr/lib/kelmar/start-app", catalogue, summary));
    std::vector<std::string> seen;
    for (UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        std::string line = std::string(menu->name) + ":";
        for (AppEntry* app = menu->apps; app != nullptr; app = app->next) {
            line += std::string(" ") + app->name + "=" + app->params;
            EXPECT_STREQ(app->path, "/usr/lib/kelmar/start-app");
            EXPECT_STREQ(app->workDir, "");
        }
        seen.push_back(line);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"&Internet: &Web=web", "&Utilities: &alpha=alpha &Calculator=calc &zed=zed",
                                              "&Other: &Misc=misc"}));
    EXPECT_EQ(summary.apps, 5);
    FreeCatalogue(catalogue);

    // Two entries never share a key: a second with the same one is left out, with the reason.
    const std::vector<DesktopApp> twins = {{"twin.desktop", "Twin", "Twin", "Utility;"},
                                           {"twin.desktop", "Twin", "Twin", "Game;"}};
    Catalogue one;
    ImportSummary twinSummary;
    ASSERT_TRUE(BuildImportedCatalogue(twins, encoder, "/usr/lib/kelmar/start-app", one, twinSummary));
    EXPECT_EQ(twinSummary.apps, 1);
    ASSERT_EQ(twinSummary.leftOut.size(), 1u);
    EXPECT_EQ(twinSummary.leftOut[0].reason, "its key twin is another application's");
    FreeCatalogue(one);

    Catalogue none;
    EXPECT_FALSE(BuildImportedCatalogue(apps, encoder, std::string(80, 'x'), none, summary));
    EXPECT_EQ(none.head, nullptr);
}

TEST(SessionEnvironment, TheRecordGivesBackTheSessionByteForByteAndWithoutWineLeavesWinesOut) {
    const std::vector<std::string> session = {"HOME=/home/u", "NAME\nWITH NEWLINE=a\nb=c", "RAW=\xff\xfe", "EMPTY=",
                                              "WINEPREFIX=/home/u/.wine", "DESKTOP_STARTUP_ID=kelmar-start",
                                              "XDG_ACTIVATION_TOKEN=t", "KELMAR_SESSIONS=1"};
    const std::string record = RecordOf(session);
    EXPECT_EQ(EntriesOfRecord(record), session);
    // Written aside, readable by the user alone, and read back as it was.
    char folder[] = "/tmp/kelmar-record.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = RecordPath(folder, "/home/u/.local/share/kelmar");
    EXPECT_EQ(path.rfind(std::string(folder) + "/kelmar-", 0), 0u);
    EXPECT_NE(path, RecordPath(folder, "/elsewhere/kelmar"));
    EXPECT_EQ(RecordPath("", "/d/kelmar"), "/d/kelmar/session.env");
    ASSERT_TRUE(WriteRecord(path, record));
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::string read;
    ASSERT_TRUE(ReadRecord(path, read));
    EXPECT_EQ(read, record);
    unlink(path.c_str());
    rmdir(folder);
    // The moment of Kelmar's own start is not the application's.
    std::vector<std::string> forApp = ForApplication(session);
    EXPECT_EQ(forApp.size(), session.size() - 2);
    std::string value;
    EXPECT_FALSE(FindVariable(forApp, "DESKTOP_STARTUP_ID", value));
    EXPECT_TRUE(FindVariable(forApp, "WINEPREFIX", value));  // the session's own
    EXPECT_TRUE(FindVariable(forApp, "NAME\nWITH NEWLINE", value));
    EXPECT_EQ(value, "a\nb=c");
    // Kelmar's settings for Wine replace the session's values of the same names.
    EXPECT_EQ(WithSettings({"WINEPREFIX=/home/u/.wine", "A=1"}, {"WINEPREFIX=/k", "WINEDEBUG=-all"}),
              (std::vector<std::string>{"A=1", "WINEPREFIX=/k", "WINEDEBUG=-all"}));
    // Without a record: what Wine added goes, the rest stays.
    EXPECT_EQ(WithoutWine({"A=1", "windir=C:\\windows", "WINEPREFIX=/k", "OS=Windows_NT", "WINEPATH=x", "OSX=1"}),
              (std::vector<std::string>{"A=1", "WINEPATH=x", "OSX=1"}));
}

}  // namespace
