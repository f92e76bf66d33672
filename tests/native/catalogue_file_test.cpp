// The apps.dat format, the loader's damaged-file paths, the default catalogue and safe saving.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "catalogue/catalogue_file.h"
#include "core/text.h"
#include "tests/native/fake_host.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Hand-made images: texts at their offsets, counts little-endian, link fields filled with junk
// that the reader must ignore.
Bytes MenuImage(const char* name, int32_t appCount) {
    Bytes image(48, 0xEE);
    memset(image.data(), 0, 32);
    memcpy(image.data(), name, strlen(name));
    const uint32_t bits = static_cast<uint32_t>(appCount);
    for (int i = 0; i < 4; ++i) image[32 + i] = static_cast<unsigned char>(bits >> (8 * i));
    return image;
}

Bytes AppImage(const char* path, const char* workDir, const char* params, const char* name) {
    Bytes image(228, 0);
    memcpy(image.data() + 0, path, strlen(path));
    memcpy(image.data() + 80, workDir, strlen(workDir));
    memcpy(image.data() + 160, params, strlen(params));
    memcpy(image.data() + 190, name, strlen(name));
    for (int i = 220; i < 228; ++i) image[static_cast<size_t>(i)] = 0xAB;
    return image;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class CatalogueFile : public ::testing::Test {
protected:
    void SetUp() override {
        ResetFakeHost();
        char pattern[] = "/tmp/kelmar-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        ASSERT_NE(getcwd(oldDir, sizeof oldDir), nullptr);
        ASSERT_EQ(chdir(dir.c_str()), 0);
        gHost.releaseOnFatal = &catalogue;
    }
    void TearDown() override {
        FreeCatalogue(catalogue);
        ASSERT_EQ(chdir(oldDir), 0);
        std::string command = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    static void WriteFile(const Bytes& bytes, const char* name = "apps.dat") {
        std::ofstream out(name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    static Bytes ReadFile(const char* name = "apps.dat") {
        std::ifstream in(name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static int FilesInCurrentDir() {
        return system("test $(ls -A | wc -l) -eq 1") == 0 ? 1 : 0;
    }
    std::string Describe() const {
        std::string out;
        for (UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
            out += std::string(menu->name) + "(" + std::to_string(menu->appCount) + "):";
            for (AppEntry* app = menu->apps; app != nullptr; app = app->next) {
                out += std::string(" ") + app->name + "|" + app->path + "|" + app->workDir + "|" + app->params;
            }
            out += ";";
        }
        return out;
    }

    Catalogue catalogue;
    std::string dir;
    char oldDir[4096];
};

TEST_F(CatalogueFile, ImagesHoldEveryFieldAtItsOffset) {
    UserMenu menu;
    CopyText(menu.name, sizeof menu.name, "&Games");
    menu.appCount = 0x01020304;
    unsigned char menuImage[48];
    memset(menuImage, 0xCC, sizeof menuImage);
    EncodeMenu(menu, menuImage);
    Bytes expectedMenu(48, 0);
    memcpy(expectedMenu.data(), "&Games", 6);
    expectedMenu[32] = 0x04, expectedMenu[33] = 0x03, expectedMenu[34] = 0x02, expectedMenu[35] = 0x01;
    EXPECT_EQ(Bytes(menuImage, menuImage + 48), expectedMenu);

    AppEntry app;
    CopyText(app.path, sizeof app.path, "c:\\vb3\\vb.exe");
    CopyText(app.workDir, sizeof app.workDir, "c:\\vb3");
    CopyText(app.params, sizeof app.params, "/x");
    CopyText(app.name, sizeof app.name, "Visual &Basic v3.0");
    unsigned char appImage[228];
    memset(appImage, 0xCC, sizeof appImage);
    EncodeApp(app, appImage);
    Bytes expectedApp = AppImage("c:\\vb3\\vb.exe", "c:\\vb3", "/x", "Visual &Basic v3.0");
    for (int i = 220; i < 228; ++i) expectedApp[static_cast<size_t>(i)] = 0;  // links written as zero
    EXPECT_EQ(Bytes(appImage, appImage + 228), expectedApp);

    // A negative count keeps its two's-complement bytes.
    menu.appCount = -2;
    EncodeMenu(menu, menuImage);
    EXPECT_EQ(Bytes(menuImage + 32, menuImage + 36), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST_F(CatalogueFile, FieldsWithoutNulAreCutOnLoad) {
    Bytes menuImage(48, 'M');
    Bytes appImage(228, 'A');
    UserMenu menu;
    DecodeMenu(menuImage.data(), menu);
    EXPECT_EQ(strlen(menu.name), 31u);
    AppEntry app;
    DecodeApp(appImage.data(), app);
    EXPECT_EQ(strlen(app.path), 79u);
    EXPECT_EQ(strlen(app.workDir), 79u);
    EXPECT_EQ(strlen(app.params), 29u);
    EXPECT_EQ(strlen(app.name), 29u);

    // Under a double-byte code page the cut goes back to the last whole character, also where a text
    // brings half of one before its NUL (as the dialogs of earlier versions stored it).
    gHost.codePage = 932;
    Bytes katakana;
    for (int i = 0; i < 114; ++i) katakana.insert(katakana.end(), {0x83, 0x5c});  // an app image's 228 bytes
    UserMenu cut;
    DecodeMenu(katakana.data(), cut);
    EXPECT_EQ(std::string(cut.name), std::string(katakana.begin(), katakana.begin() + 30));
    AppEntry cutApp;
    DecodeApp(katakana.data(), cutApp);
    EXPECT_EQ(std::string(cutApp.path), std::string(katakana.begin(), katakana.begin() + 78));
    UserMenu half;
    DecodeMenu(MenuImage("\x83\x5c" "a\x83", 0).data(), half);
    EXPECT_STREQ(half.name, "\x83\x5c" "a");
}

TEST_F(CatalogueFile, LoadsGroupsInOrderAndRebuildsTheLinks) {
    WriteFile(Join({MenuImage("&Tools", 2), AppImage("a.exe", "c:\\w", "-p", "&A"), AppImage("b.exe", "", "", "B"),
                    MenuImage("Empty", 0), MenuImage("Neg", -5), MenuImage("One", 1), AppImage("c.exe", "", "", "C")}));
    ASSERT_TRUE(LoadCatalogue(catalogue));
    EXPECT_EQ(Describe(), "&Tools(2): &A|a.exe|c:\\w|-p B|b.exe||;Empty(0):;Neg(0):;One(1): C|c.exe||;");
    UserMenu* tools = catalogue.head;
    EXPECT_EQ(tools->prev, nullptr);
    EXPECT_EQ(tools->apps->next->prev, tools->apps);
    EXPECT_EQ(tools->next->next->next->next, nullptr);
    EXPECT_TRUE(gHost.warnings.empty());
}

TEST_F(CatalogueFile, MissingOrEmptyFileGivesTheDefaults) {
    gHost.windowsDir = "C:\\WINNT";
    ASSERT_TRUE(LoadCatalogue(catalogue));
    const std::string defaults =
        "&Apps(2): Visual &C++ v2.0|c:\\vc20\\bin\\msvc.exe|| Visual &Basic v3.0|c:\\vb3\\vb.exe||;"
        "&Games(2): &Minesweeper|C:\\WINNT\\winmine.exe|| &Solitaire|C:\\WINNT\\sol.exe||;";
    EXPECT_EQ(Describe(), defaults);
    EXPECT_EQ(access("apps.dat", F_OK), -1);  // not written until a save

    FreeCatalogue(catalogue);
    WriteFile({});
    ASSERT_TRUE(LoadCatalogue(catalogue));
    EXPECT_EQ(Describe(), defaults);
}

TEST_F(CatalogueFile, DefaultPathsAreCutToTheirField) {
    gHost.windowsDir = std::string(200, 'W');
    BuildDefaultCatalogue(catalogue);
    const AppEntry* minesweeper = catalogue.head->next->apps;
    EXPECT_EQ(std::string(minesweeper->path), std::string(79, 'W'));

    FreeCatalogue(catalogue);
    gHost.codePage = 932;
    std::string katakana;
    for (int i = 0; i < 50; ++i) katakana += "\x83\x5c";
    gHost.windowsDir = katakana;
    BuildDefaultCatalogue(catalogue);
    EXPECT_EQ(std::string(catalogue.head->next->apps->path), katakana.substr(0, 78) + "\\");
}

TEST_F(CatalogueFile, ShortFilesGiveAnEmptyCatalogueThatIsNeverSaved) {
    for (size_t length : {1u, 20u, 47u}) {
        const Bytes fragment(length, 'x');
        WriteFile(fragment);
        ASSERT_TRUE(LoadCatalogue(catalogue));
        EXPECT_EQ(catalogue.head, nullptr) << length;
        SaveCatalogue(catalogue);
        EXPECT_EQ(ReadFile(), fragment);
    }
    // A trailing fragment after whole groups is ignored in the same way.
    WriteFile(Join({MenuImage("M", 0), Bytes(47, 'x')}));
    ASSERT_TRUE(LoadCatalogue(catalogue));
    EXPECT_EQ(Describe(), "M(0):;");
    EXPECT_TRUE(gHost.warnings.empty());
}

TEST_F(CatalogueFile, AppImageCutShortIsFatalLeavesTheFileAndLeaksNothing) {
    const Bytes damaged = Join({MenuImage("A", 1), AppImage("a", "", "", "a"), MenuImage("B", 3),
                                AppImage("b", "", "", "b"), Bytes(100, 'z')});
    WriteFile(damaged);
    // The fake fatal path exits with 2 when the heap is not back where the load began.
    const auto load = [this] {
        gHost.heapBeforeLoad = HeapInUse();
        LoadCatalogue(catalogue);
    };
    EXPECT_EXIT(load(), ::testing::ExitedWithCode(1),
                "FATAL: Corrupt \\.DAT file\\. Please\r\ndelete it and restart Kelmar\\.");
    EXPECT_EQ(ReadFile(), damaged);
    // A count far beyond the bytes present is the same damage.
    WriteFile(Join({MenuImage("Huge", 0x7FFFFFFF), AppImage("a", "", "", "a")}));
    EXPECT_EXIT(load(), ::testing::ExitedWithCode(1), "Corrupt");
}

TEST_F(CatalogueFile, SaveThenLoadGivesTheSameCatalogue) {
    WriteFile(Join({MenuImage("&Tools", 2), AppImage("a.exe", "c:\\w", "-p", "&A"), AppImage("b.exe", "", "", "B"),
                    MenuImage("Empty", 0), MenuImage("One", 1), AppImage("c.exe", "", "", "C")}));
    ASSERT_TRUE(LoadCatalogue(catalogue));
    const std::string before = Describe();
    SaveCatalogue(catalogue);
    EXPECT_TRUE(gHost.warnings.empty());
    EXPECT_EQ(ReadFile().size(), 3 * 48 + 3 * 228u);
    FreeCatalogue(catalogue);
    ASSERT_TRUE(LoadCatalogue(catalogue));
    EXPECT_EQ(Describe(), before);
    EXPECT_EQ(FilesInCurrentDir(), 1);  // no temporary file left behind
}

TEST_F(CatalogueFile, EmptyCatalogueLeavesTheFileAlone) {
    const Bytes old = Join({MenuImage("Old", 0)});
    WriteFile(old);
    SaveCatalogue(catalogue);
    EXPECT_EQ(ReadFile(), old);
    EXPECT_TRUE(gHost.warnings.empty());
}

TEST_F(CatalogueFile, FailedSavesWarnAndKeepTheOldFile) {
    const Bytes old = Join({MenuImage("Old", 1), AppImage("old.exe", "", "", "Old")});
    WriteFile(old);
    BuildDefaultCatalogue(catalogue);
    const std::string inMemory = Describe();
    for (bool* fault : {&gHost.failTempFile, &gHost.failCommit, &gHost.failReplace}) {
        *fault = true;
        gHost.warnings.clear();
        SaveCatalogue(catalogue);
        EXPECT_EQ(gHost.warnings,
                  std::vector<std::string>{"Could not open APPS.DAT for write.\r\nPlease check the file."});
        EXPECT_EQ(ReadFile(), old);
        EXPECT_EQ(FilesInCurrentDir(), 1);  // the temporary file is removed again
        EXPECT_EQ(Describe(), inMemory);
        *fault = false;
    }
}

TEST_F(CatalogueFile, ASaveWhoseOldFileStaysAsideKeepsTheNewCopy) {
    const Bytes old = Join({MenuImage("Old", 0)});
    WriteFile(old);
    BuildDefaultCatalogue(catalogue);
    gHost.keepSourceOnReplace = true;
    SaveCatalogue(catalogue);
    EXPECT_EQ(gHost.warnings,
              std::vector<std::string>{"Could not open APPS.DAT for write.\r\nPlease check the file."});
    EXPECT_EQ(ReadFile(), old);
    EXPECT_EQ(system("test $(ls -A | wc -l) -eq 2"), 0);  // the temporary file, with the new catalogue, stays
}

// Real file systems that refuse the write, also to root: a full one and a read-only one.
class MountedCatalogue : public CatalogueFile {
protected:
    void SetUp() override {
        CatalogueFile::SetUp();
        if (geteuid() != 0 || mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=8k") != 0) {
            GTEST_SKIP() << "mounting a small file system needs root and mount rights here";
        }
        mounted = true;
        ASSERT_EQ(chdir(oldDir), 0);  // enter the new mount, not the folder beneath it
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
    void TearDown() override {
        if (mounted) {
            ASSERT_EQ(chdir(oldDir), 0);
            umount(dir.c_str());
            ASSERT_EQ(chdir(dir.c_str()), 0);
        }
        CatalogueFile::TearDown();
    }
    bool mounted = false;
};

TEST_F(MountedCatalogue, FullDiskKeepsTheOldFile) {
    const Bytes old = Join({MenuImage("Old", 1), AppImage("old.exe", "", "", "Old")});
    WriteFile(old);
    for (int i = 0; i < 3; ++i) BuildDefaultCatalogue(catalogue);  // more than the disk holds
    ASSERT_EQ(system("dd if=/dev/zero of=filler bs=1k count=64 2>/dev/null; true"), 0);
    SaveCatalogue(catalogue);
    EXPECT_EQ(gHost.warnings,
              std::vector<std::string>{"Could not open APPS.DAT for write.\r\nPlease check the file."});
    EXPECT_EQ(ReadFile(), old);
    EXPECT_EQ(system("test $(ls -A | wc -l) -eq 2"), 0);  // apps.dat and the filler, no temporary file
}

TEST_F(MountedCatalogue, ReadOnlyFileSystemKeepsTheOldFile) {
    const Bytes old = Join({MenuImage("Old", 0)});
    WriteFile(old);
    ASSERT_EQ(chdir(oldDir), 0);
    ASSERT_EQ(mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    BuildDefaultCatalogue(catalogue);
    SaveCatalogue(catalogue);
    EXPECT_EQ(gHost.warnings,
              std::vector<std::string>{"Could not open APPS.DAT for write.\r\nPlease check the file."});
    EXPECT_EQ(ReadFile(), old);
}

}  // namespace
