// KELMENUS.EXE [/S]: makes Kelmar's menus from the Start menu, in apps.dat beside this program (where
// the setup installs Kelmar, and where a portable copy keeps its menus). The previous apps.dat is kept
// as apps.dat.bak, the earlier backups as apps.dat.bak.1 to .9. Refuses while the KELMAR32.EXE of this
// folder runs, which would save its own menus over the new ones when it ends. Asks before it replaces
// menus and says what it did and what it left out; with /S, as the setup runs it, it shows nothing and
// tells by its exit code: 0 when it made the menus, 1 otherwise.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "catalogue/catalogue_file.h"
#include "core/host.h"
#include "windows/start_menu.h"

namespace {

constexpr WCHAR kCatalogue[] = L"apps.dat";
constexpr WCHAR kBackup[] = L"apps.dat.bak";
constexpr int kOlderBackups = 9;  // apps.dat.bak.1, the newest of them, to apps.dat.bak.9
constexpr size_t kMessageSize = 8192;
constexpr size_t kNamesShown = 8;  // names listed for each reason; the rest are counted

bool gSilent = false;
bool gWarned = false;  // a host warning came while the menus were saved

// A message of at most kMessageSize characters, built piece by piece.
struct Message {
    WCHAR text[kMessageSize];
    int length = 0;

    Message() { text[0] = L'\0'; }

    Message& operator<<(const WCHAR* piece) {
        const int pieceLength = lstrlenW(piece);
        if (length + pieceLength < static_cast<int>(kMessageSize)) {
            lstrcpyW(text + length, piece);
            length += pieceLength;
        }
        return *this;
    }
    Message& operator<<(int number) {
        WCHAR digits[16];
        wsprintfW(digits, L"%d", number);
        return *this << digits;
    }
};

int Say(const Message& message, UINT icon) {
    if (!gSilent) MessageBoxW(nullptr, message.text, L"Kelmar", MB_OK | icon);
    return 1;
}

void BackupName(int number, WCHAR* out) {
    if (number == 0) {
        lstrcpyW(out, kBackup);
    } else {
        wsprintfW(out, L"%s.%d", kBackup, number);
    }
}

bool Exists(const WCHAR* name) {
    return GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES;
}

// The whole file, from the process heap; nullptr when it cannot be read.
char* ReadWhole(const WCHAR* name, DWORD& size) {
    HANDLE file = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    size = GetFileSize(file, nullptr);
    char* bytes = size != INVALID_FILE_SIZE ? static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + 1)) : nullptr;
    DWORD read = 0;
    if (bytes != nullptr && (!ReadFile(file, bytes, size, &read, nullptr) || read != size)) {
        HeapFree(GetProcessHeap(), 0, bytes);
        bytes = nullptr;
    }
    CloseHandle(file);
    return bytes;
}

// A copy of apps.dat as apps.dat.bak, written aside and moved into place, the earlier backups each moved
// one number on and the tenth dropped; nothing moves when apps.dat is the same as apps.dat.bak.
bool KeepBackup() {
    DWORD size = 0;
    char* bytes = ReadWhole(kCatalogue, size);
    if (bytes == nullptr) return false;
    DWORD backupSize = 0;
    char* backup = ReadWhole(kBackup, backupSize);
    bool same = backup != nullptr && backupSize == size;
    for (DWORD i = 0; same && i < size; ++i) same = bytes[i] == backup[i];
    if (backup != nullptr) HeapFree(GetProcessHeap(), 0, backup);
    if (same) {
        HeapFree(GetProcessHeap(), 0, bytes);
        return true;
    }
    WCHAR temp[MAX_PATH];
    bool kept = GetTempFileNameW(L".", L"kel", 0, temp) != 0;
    if (kept) {
        HANDLE file = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        kept = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, size, &written, nullptr) && written == size &&
               FlushFileBuffers(file);
        if (file != INVALID_HANDLE_VALUE) kept = CloseHandle(file) && kept;
        // Oldest first, so that no backup is ever written over before it has moved on.
        for (int number = kOlderBackups - 1; kept && number >= 0; --number) {
            WCHAR from[MAX_PATH];
            WCHAR to[MAX_PATH];
            BackupName(number, from);
            BackupName(number + 1, to);
            if (Exists(from)) kept = MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        }
        kept = kept && MoveFileExW(temp, kBackup, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!kept) DeleteFileW(temp);
    }
    HeapFree(GetProcessHeap(), 0, bytes);
    return kept;
}

// Windows refuses to open a running program for writing: so the KELMAR32.EXE of this folder runs.
bool KelmarRuns() {
    HANDLE file = CreateFileW(L"KELMAR32.EXE", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

// What the message says of the shortcuts left out for a reason, one paragraph for each reason.
void ListLeftOut(const StartMenu& menu, Verdict verdict, const WCHAR* reason, Message& message) {
    size_t count = 0;
    for (size_t i = 0; i < menu.count; ++i) {
        const StartMenuFolder& folder = *menu.folders[i];
        for (size_t j = 0; j < folder.count; ++j) {
            if (folder.items[j]->verdict != verdict) continue;
            if (count == 0) message << L"\r\n\r\nLeft out, " << reason << L": ";
            if (count < kNamesShown) message << (count == 0 ? L"" : L", ") << folder.items[j]->name;
            ++count;
        }
    }
    if (count > kNamesShown) message << L" and " << static_cast<int>(count - kNamesShown) << L" more";
    if (count > 0) message << L".";
}

}  // namespace

void WarnBox(const char*) {
    gWarned = true;  // the save's own warning; the message after it says what became of the menus
}

void FatalError(const char*) {
    ExitProcess(1);  // the catalogue is only written here, never read
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    gSilent = argv != nullptr && argc == 2 && lstrcmpiW(argv[1], L"/S") == 0;
    if (argv == nullptr || (argc != 1 && !gSilent)) {
        MessageBoxW(nullptr, L"Usage: KELMENUS.EXE [/S]\r\n\r\nMakes Kelmar's menus from the Start menu; /S without a word.",
                    L"Kelmar", MB_OK | MB_ICONEXCLAMATION);
        return 2;
    }
    // The folder of this program, where Kelmar keeps its menus.
    WCHAR folder[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, folder, MAX_PATH);
    WCHAR* cut = folder + (length < MAX_PATH ? length : 0);
    while (cut > folder && cut[-1] != L'\\') --cut;
    if (cut > folder + 1 && cut[-2] != L':') --cut;  // "C:\" keeps its "\"
    *cut = L'\0';
    Message where;
    where << folder << (cut > folder && cut[-1] == L'\\' ? L"" : L"\\") << kCatalogue;
    if (cut == folder || !SetCurrentDirectoryW(folder)) {
        return Say(Message() << L"Kelmar's folder, " << folder << L", cannot be opened.", MB_ICONEXCLAMATION);
    }
    if (KelmarRuns()) {
        return Say(Message() << L"Kelmar is running from " << folder << L".\r\n\r\nChoose Exit Kelmar in its \x00a7 menu "
                             << L"(or press Ctrl+X) first: it would save its own menus over the new ones when it ends. "
                             << L"Then make the menus from the Start menu again.",
                   MB_ICONEXCLAMATION);
    }
    WIN32_FILE_ATTRIBUTE_DATA existing;
    const bool hadCatalogue = GetFileAttributesExW(kCatalogue, GetFileExInfoStandard, &existing) &&
                              (existing.nFileSizeLow != 0 || existing.nFileSizeHigh != 0);
    if (hadCatalogue && !gSilent &&
        MessageBoxW(nullptr, (Message() << L"Make Kelmar's menus from your Start menu?\r\n\r\nThe menus you have now are kept in "
                                        << kBackup << L" in " << folder << L".").text,
                    L"Kelmar", MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return 1;
    }

    if (FAILED(CoInitialize(nullptr))) return Say(Message() << L"Windows's shell cannot be started.", MB_ICONEXCLAMATION);
    StartMenu menu;
    ReadStartMenu(CSIDL_PROGRAMS, menu);
    ReadStartMenu(CSIDL_COMMON_PROGRAMS, menu);
    Catalogue catalogue;
    int menus = 0;
    int entries = 0;
    const bool built = !menu.outOfMemory && BuildStartMenuCatalogue(menu, catalogue, menus, entries);
    int result = 0;
    if (!built) {
        result = Say(Message() << L"Not enough memory for the menus; " << where.text << L" is left as it was.", MB_ICONEXCLAMATION);
    } else if (menus == 0) {
        result = Say(Message() << L"Found no programs in your Start menu; " << where.text << L" is left as it was.",
                     MB_ICONEXCLAMATION);
    } else if (hadCatalogue && !KeepBackup()) {
        result = Say(Message() << L"Your menus could not be kept as " << kBackup << L" in " << folder
                               << L", so the new ones were not made; apps.dat is left as it was.",
                     MB_ICONEXCLAMATION);
    } else {
        SaveCatalogue(catalogue);
        if (gWarned) {
            result = Say(Message() << L"The menus could not be written in " << folder << L"; apps.dat is left as it was.",
                         MB_ICONEXCLAMATION);
        } else {
            Message report;
            report << L"Kelmar's menus are made from your Start menu: " << menus << (menus == 1 ? L" menu" : L" menus")
                   << L" of " << entries << (entries == 1 ? L" program" : L" programs") << L", in " << where.text << L".";
            if (hadCatalogue) {
                int older = 0;
                WCHAR name[MAX_PATH];
                for (BackupName(1, name); older < kOlderBackups && Exists(name); BackupName(older + 1, name)) ++older;
                report << L"\r\n\r\nThe menus you had are kept in " << kBackup;
                if (older == 1) report << L", the ones before them in " << kBackup << L".1";
                if (older > 1) report << L", earlier ones in " << kBackup << L".1 to ." << older << L", newest first";
                report << L".";
            }
            ListLeftOut(menu, Verdict::kUninstaller, L"uninstallers", report);
            ListLeftOut(menu, Verdict::kDocument, L"readme, help, website and licence files", report);
            ListLeftOut(menu, Verdict::kBroken, L"shortcuts that lead nowhere", report);
            ListLeftOut(menu, Verdict::kTooLong, L"paths too long for Kelmar's 79 characters", report);
            ListLeftOut(menu, Verdict::kNoName, L"names your Windows cannot show in Kelmar", report);
            ListLeftOut(menu, Verdict::kMenuFull, L"more than 999 in a menu", report);
            ListLeftOut(menu, Verdict::kBarFull, L"in menus after the bar's 39th", report);
            report << L"\r\n\r\nStart Kelmar to use them; Edit Menus (Ctrl+E) changes them.";
            Say(report, MB_ICONINFORMATION);
        }
    }
    FreeCatalogue(catalogue);
    FreeStartMenu(menu);
    CoUninitialize();
    return result;
}
