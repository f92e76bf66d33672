// Saving where MoveFileExA is missing (Windows 95, 98 and Me): the old apps.dat steps aside, the new one
// moves in, and no failing move ever leaves the folder without one whole catalogue.
#include <windows.h>

#include <set>
#include <string>

#include "catalogue/catalogue_file.h"
#include "core/host.h"
#include "core/host_win32.h"
#include "tests/win32/fixture.h"
#include "tests/win32/modal.h"

namespace {

int gMoves;                 // MoveFileA calls so far
std::set<int> gFailMoves;   // which of them fail (counted from 1)
DWORD gMoveFileExError;     // what the stand-in for MoveFileExA reports

BOOL WINAPI MissingMoveFileEx(LPCSTR, LPCSTR, DWORD) {
    SetLastError(gMoveFileExError);
    return FALSE;
}

BOOL WINAPI ScriptedMoveFile(LPCSTR existing, LPCSTR renamed) {
    if (gFailMoves.count(++gMoves) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return MoveFileA(existing, renamed);
}

class ReplaceFileTest : public KelmarTest {
protected:
    void SetUp() override {
        KelmarTest::SetUp();
        gMoves = 0;
        gFailMoves.clear();
        gMoveFileExError = ERROR_CALL_NOT_IMPLEMENTED;
        gMoveFileEx = MissingMoveFileEx;
        gMoveFile = ScriptedMoveFile;
    }
    void TearDown() override {
        gMoveFileEx = MoveFileExA;
        gMoveFile = MoveFileA;
        KelmarTest::TearDown();
    }

    // The working folder's files in name order, each with its content; names that Kelmar made up
    // (temporary and aside files) read "other".
    static std::string Folder() {
        std::multiset<std::string> entries;
        for (const std::string& name : Names()) {
            const bool known = name == "apps.dat" || name == "new.tmp";
            entries.insert((known ? name : std::string("other")) + "=" + ReadFileText(name) + ";");
        }
        std::string listing;
        for (const std::string& entry : entries) listing += entry;
        return listing;
    }
    static void ClearFolder() {
        for (const std::string& name : Names()) DeleteFileA(name.c_str());
    }
    static std::set<std::string> Names() {
        std::set<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA("*", &found);
        if (search == INVALID_HANDLE_VALUE) return names;
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.insert(found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
        return names;
    }
};

TEST_F(ReplaceFileTest, FallsBackToMovingTheOldFileAside) {
    WriteFileText("apps.dat", "old");
    WriteFileText("new.tmp", "new");
    EXPECT_EQ(ReplaceFileWith("new.tmp", "apps.dat"), ReplaceResult::kReplaced);
    EXPECT_EQ(Folder(), "apps.dat=new;");  // no aside copy, no temporary file
    EXPECT_EQ(gMoves, 2);

    WriteFileText("new.tmp", "newer");    // through a path with a folder
    const std::string target = workDir + "\\apps.dat";
    EXPECT_EQ(ReplaceFileWith("new.tmp", target.c_str()), ReplaceResult::kReplaced);
    EXPECT_EQ(Folder(), "apps.dat=newer;");

    DeleteFileA("apps.dat");               // nothing to move aside
    WriteFileText("new.tmp", "first");
    EXPECT_EQ(ReplaceFileWith("new.tmp", "apps.dat"), ReplaceResult::kReplaced);
    EXPECT_EQ(Folder(), "apps.dat=first;");
}

TEST_F(ReplaceFileTest, FailedMovesLeaveOneWholeCatalogue) {
    struct Case {
        std::set<int> fail;
        ReplaceResult result;
        const char* folder;
    };
    const Case cases[] = {
        {{1}, ReplaceResult::kFailed, "apps.dat=old;new.tmp=new;"},        // the old file cannot step aside
        {{2}, ReplaceResult::kFailed, "apps.dat=old;new.tmp=new;"},        // the new one cannot move in
        {{2, 3}, ReplaceResult::kSourceKept, "new.tmp=new;other=old;"},  // nor can the old one come back
    };
    for (const Case& c : cases) {
        ClearFolder();
        WriteFileText("apps.dat", "old");
        WriteFileText("new.tmp", "new");
        gMoves = 0;
        gFailMoves = c.fail;
        EXPECT_EQ(ReplaceFileWith("new.tmp", "apps.dat"), c.result) << *c.fail.rbegin();
        EXPECT_EQ(Folder(), c.folder) << *c.fail.rbegin();
    }
}

TEST_F(ReplaceFileTest, OtherMoveFileExErrorsAreFailuresWithoutFallback) {
    gMoveFileExError = ERROR_ACCESS_DENIED;
    WriteFileText("apps.dat", "old");
    WriteFileText("new.tmp", "new");
    EXPECT_EQ(ReplaceFileWith("new.tmp", "apps.dat"), ReplaceResult::kFailed);
    EXPECT_EQ(gMoves, 0);
    EXPECT_EQ(Folder(), "apps.dat=old;new.tmp=new;");
}

TEST_F(ReplaceFileTest, SaveCatalogueThroughTheFallback) {
    WriteFileText("apps.dat", "old");
    AddMenu("&Tools", {"Edit"});
    ModalDriver driver;
    driver.Run([] { SaveCatalogue(gApp.catalogue); });
    EXPECT_TRUE(driver.seen.empty());
    EXPECT_EQ(ReadFileText("apps.dat").size(), 48u + 228u);
    EXPECT_EQ(ReadFileText("apps.dat").substr(0, 6), std::string("&Tools"));

    // The new file cannot move in: the old one comes back, the temporary file goes, one warning.
    gMoves = 0;
    gFailMoves = {2};
    WriteFileText("apps.dat", "old");
    ModalDriver failing;
    failing.Run([] { SaveCatalogue(gApp.catalogue); });
    ASSERT_EQ(failing.seen.size(), 1u);
    EXPECT_EQ(failing.seen[0].text, "Could not open APPS.DAT for write.\r\nPlease check the file.");
    EXPECT_EQ(Folder(), "apps.dat=old;");

    // Nor can the old one come back: the temporary file keeps the new catalogue.
    gMoves = 0;
    gFailMoves = {2, 3};
    ModalDriver stranded;
    stranded.Run([] { SaveCatalogue(gApp.catalogue); });
    EXPECT_EQ(stranded.seen.size(), 1u);
    const std::string folder = Folder();
    EXPECT_EQ(folder.find("apps.dat="), std::string::npos);
    EXPECT_NE(folder.find("other=old;"), std::string::npos);
    EXPECT_NE(folder.find("other=&Tools"), std::string::npos);
}

}  // namespace
