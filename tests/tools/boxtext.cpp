// A test helper that reads the message boxes on the screen as a user would: one line per visible
// box, its title, a tab, and the texts of its static controls joined by "|", with line breaks written
// as \r and \n so that each box stays on one line. Ends at once.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

void PrintEscaped(const char* text) {
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at == '\r') printf("\\r");
        else if (*at == '\n') printf("\\n");
        else putchar(*at);
    }
}

BOOL CALLBACK AddStatic(HWND child, LPARAM param) {
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    char text[1024] = "";
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
        bool* first = reinterpret_cast<bool*>(param);
        if (!*first) putchar('|');
        PrintEscaped(text);
        *first = false;
    }
    return TRUE;
}

BOOL CALLBACK PrintBox(HWND window, LPARAM) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (strcmp(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    char title[256] = "";
    GetWindowTextA(window, title, sizeof title);
    PrintEscaped(title);
    putchar('\t');
    bool first = true;
    EnumChildWindows(window, AddStatic, reinterpret_cast<LPARAM>(&first));
    printf("\n");
    return TRUE;
}

}  // namespace

int main() {
    EnumWindows(PrintBox, 0);
    return 0;
}
