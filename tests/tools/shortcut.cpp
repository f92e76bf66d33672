// A test helper that reads a shortcut (.lnk) back the way the shell reads it, through IShellLinkW:
//   shortcut.exe FILE.lnk   prints three lines in UTF-8: the target, the "Start in" folder and the
//                           arguments, so that names outside the ANSI code page come through whole.
// Exits 0 when the shortcut could be read, 1 otherwise.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>

namespace {

void PrintLine(const WCHAR* text) {
    char utf8[MAX_PATH * 4];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr) == 0) utf8[0] = '\0';
    printf("%s\n", utf8);
}

}  // namespace

int main() {
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 2) {
        fprintf(stderr, "usage: shortcut.exe FILE.lnk\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    WCHAR target[MAX_PATH] = L"", folder[MAX_PATH] = L"", arguments[MAX_PATH] = L"";
    PIDLIST_ABSOLUTE items = nullptr;
    bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                           reinterpret_cast<void**>(&link)))
                && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))
                && SUCCEEDED(persist->Load(argv[1], STGM_READ))
                // The target from the shortcut's item list, which the shell starts: Wine's GetPath gives
                // the copy stored in the ANSI code page, which loses names outside it.
                && SUCCEEDED(link->GetIDList(&items)) && SHGetPathFromIDListW(items, target)
                && SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH))
                && SUCCEEDED(link->GetArguments(arguments, MAX_PATH));
    CoTaskMemFree(items);
    if (persist != nullptr) persist->Release();
    if (link != nullptr) link->Release();
    CoUninitialize();
    if (!read) {
        fprintf(stderr, "cannot read the shortcut\n");
        return 1;
    }
    PrintLine(target);
    PrintLine(folder);
    PrintLine(arguments);
    return 0;
}
