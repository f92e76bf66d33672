// A test helper that Kelmar launches: it writes down how it was started and ends at once, so a test
// can check the parameters and the working folder the shell gave it and nothing is left running.
// The record goes to the file named by KELMAR_RECORD, else to recorder.txt beside this program:
//   line 1: the parameters (the command line after the program's name)
//   line 2: the current folder
//   line 3: the whole command line
//   line 4: the show command it was asked to open its window with (-1 when none was given)
#include <windows.h>

namespace {

// The command line without the program's name, which may be quoted, and the blanks after it.
const char* Parameters(const char* commandLine) {
    const char* at = commandLine;
    if (*at == '"') {
        ++at;
        while (*at != '\0' && *at != '"') ++at;
        if (*at == '"') ++at;
    } else {
        while (*at != '\0' && *at != ' ' && *at != '\t') ++at;
    }
    while (*at == ' ' || *at == '\t') ++at;
    return at;
}

void Write(HANDLE file, const char* text) {
    DWORD written = 0;
    WriteFile(file, text, lstrlenA(text), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char recordPath[MAX_PATH] = "";
    const DWORD fromEnvironment = GetEnvironmentVariableA("KELMAR_RECORD", recordPath, sizeof recordPath);
    if (fromEnvironment == 0 || fromEnvironment >= sizeof recordPath) {
        const DWORD length = GetModuleFileNameA(nullptr, recordPath, sizeof recordPath - 16);
        char* slash = recordPath + length;
        while (slash > recordPath && slash[-1] != '\\') --slash;
        lstrcpyA(slash, "recorder.txt");
    }
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    const char* commandLine = GetCommandLineA();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    char show[16];
    wsprintfA(show, "%d", (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? static_cast<int>(startup.wShowWindow) : -1);

    // Written aside and moved into place, so a test that sees the record sees all of it.
    char partPath[MAX_PATH + 8];
    lstrcpyA(partPath, recordPath);
    lstrcatA(partPath, ".part");
    HANDLE file = CreateFileA(partPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    Write(file, Parameters(commandLine));
    Write(file, "\r\n");
    Write(file, directory);
    Write(file, "\r\n");
    Write(file, commandLine);
    Write(file, "\r\n");
    Write(file, show);
    Write(file, "\r\n");
    CloseHandle(file);
    return MoveFileExA(partPath, recordPath, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
