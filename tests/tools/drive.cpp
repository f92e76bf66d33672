// A test helper that works a running Kelmar's windows from outside, the way assistive tools do, so
// that several copies can be driven at once without fighting over the keyboard focus.
//   drive.exe add-menu N NAME   in the bar of the Nth copy (in start order): User Menus, New Menu, NAME, OK, OK,
//                               returning once that copy has made its bar again and saved
//   drive.exe type-menu N NAME  likewise, but leaves Menu Setup open with NAME typed, as a user at work
//   drive.exe exit N            the Exit command of the Nth copy
// Exits 0 when every step found its window, 1 otherwise.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Bars {
    HWND found[16];
    int count = 0;
};

BOOL CALLBACK CollectBar(HWND window, LPARAM param) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    auto* bars = reinterpret_cast<Bars*>(param);
    if (strcmp(className, "KelmarClass") == 0 && bars->count < 16) bars->found[bars->count++] = window;
    return TRUE;
}

HWND NthBar(int n) {
    Bars bars;
    EnumWindows(CollectBar, reinterpret_cast<LPARAM>(&bars));
    // Process ids grow with each start, so sorting by them gives the copies in the order they started
    // (a copy's bar handle changes with every rebuild).
    DWORD process[16];
    for (int i = 0; i < bars.count; ++i) GetWindowThreadProcessId(bars.found[i], &process[i]);
    for (int i = 0; i < bars.count; ++i) {
        for (int j = i + 1; j < bars.count; ++j) {
            if (process[j] < process[i]) {
                DWORD swapId = process[i];
                process[i] = process[j];
                process[j] = swapId;
                HWND swap = bars.found[i];
                bars.found[i] = bars.found[j];
                bars.found[j] = swap;
            }
        }
    }
    return n >= 1 && n <= bars.count ? bars.found[n - 1] : nullptr;
}

// The bar that replaced old in its process.
HWND BarOfProcess(HWND old, DWORD oldProcess) {
    Bars bars;
    EnumWindows(CollectBar, reinterpret_cast<LPARAM>(&bars));
    for (int i = 0; i < bars.count; ++i) {
        DWORD process = 0;
        GetWindowThreadProcessId(bars.found[i], &process);
        if (bars.found[i] != old && process == oldProcess) return bars.found[i];
    }
    return nullptr;
}

struct Owned {
    HWND owner;
    const char* title;
    HWND found = nullptr;
};

BOOL CALLBACK FindOwned(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Owned*>(param);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (IsWindowVisible(window) && strcmp(title, search->title) == 0 && GetWindow(window, GW_OWNER) == search->owner) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// Waits up to five seconds for a visible window of that title owned by owner.
HWND WaitOwned(HWND owner, const char* title) {
    for (int i = 0; i < 250; ++i) {
        Owned search = {owner, title};
        EnumWindows(FindOwned, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) return search.found;
        Sleep(20);
    }
    fprintf(stderr, "no window \"%s\"\n", title);
    exit(1);
}

void Press(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    HWND bar = NthBar(atoi(argv[2]));
    if (bar == nullptr) {
        fprintf(stderr, "no bar %s\n", argv[2]);
        return 1;
    }
    if (strcmp(argv[1], "exit") == 0) {
        PostMessageA(bar, WM_COMMAND, 40006, 0);
        return 0;
    }
    bool leaveOpen = strcmp(argv[1], "type-menu") == 0;
    if ((strcmp(argv[1], "add-menu") != 0 && !leaveOpen) || argc < 4) return 2;
    DWORD process = 0;
    GetWindowThreadProcessId(bar, &process);
    PostMessageA(bar, WM_COMMAND, 40004, 0);
    HWND editor = WaitOwned(bar, "User Menus");
    Press(editor, 1007);  // New Menu
    HWND setup = WaitOwned(editor, "Menu Setup");
    SendMessageA(GetDlgItem(setup, 1015), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
    if (leaveOpen) return 0;
    Press(setup, IDOK);
    for (int i = 0; i < 250 && IsWindow(setup); ++i) Sleep(20);
    Press(editor, IDOK);
    for (int i = 0; i < 250 && IsWindow(editor); ++i) Sleep(20);
    if (IsWindow(editor)) return 1;
    // OK makes the bar again and then saves, in one handler: a message sent to the new bar is answered
    // only once Kelmar is back in its message loop, so that answer means the save is done.
    HWND rebuilt = nullptr;
    for (int i = 0; i < 250 && rebuilt == nullptr; ++i) {
        rebuilt = BarOfProcess(bar, process);
        if (rebuilt == nullptr) Sleep(20);
    }
    DWORD_PTR answer = 0;
    if (rebuilt == nullptr || SendMessageTimeoutA(rebuilt, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer) == 0) {
        fprintf(stderr, "Kelmar did not come back from OK\n");
        return 1;
    }
    return 0;
}
