// A test helper for shortcuts (.lnk files), through the shell's own IShellLinkW:
//   shortcut.exe FILE.lnk   prints three lines in UTF-8: the target, the "Start in" folder and the
//                           arguments, so that names outside the ANSI code page come through whole.
//   shortcut.exe make FILE.lnk TARGET ARGUMENTS FOLDER [SHOW]
//                           makes a shortcut as a program's setup would; SHOW is its run setting
//                           (a SW_ number, 1 when left out).
// Exits 0 when the shortcut could be read or made, 1 otherwise.
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

int Read(IShellLinkW* link, IPersistFile* persist, const WCHAR* file) {
    WCHAR target[MAX_PATH] = L"", folder[MAX_PATH] = L"", arguments[MAX_PATH] = L"";
    PIDLIST_ABSOLUTE items = nullptr;
    const bool read = SUCCEEDED(persist->Load(file, STGM_READ))
                      // The target from the shortcut's item list, which the shell starts: Wine's GetPath
                      // gives the copy stored in the ANSI code page, which loses names outside it.
                      && SUCCEEDED(link->GetIDList(&items)) && SHGetPathFromIDListW(items, target)
                      && SUCCEEDED(link->GetWorkingDirectory(folder, MAX_PATH))
                      && SUCCEEDED(link->GetArguments(arguments, MAX_PATH));
    CoTaskMemFree(items);
    if (!read) {
        fprintf(stderr, "cannot read the shortcut\n");
        return 1;
    }
    PrintLine(target);
    PrintLine(folder);
    PrintLine(arguments);
    return 0;
}

int Make(IShellLinkW* link, IPersistFile* persist, WCHAR** argv, int argc) {
    const bool made = SUCCEEDED(link->SetPath(argv[3])) && SUCCEEDED(link->SetArguments(argv[4]))
                      && SUCCEEDED(link->SetWorkingDirectory(argv[5]))
                      && SUCCEEDED(link->SetShowCmd(argc > 6 ? _wtoi(argv[6]) : SW_SHOWNORMAL))
                      && SUCCEEDED(persist->Save(argv[2], TRUE));
    if (!made) fprintf(stderr, "cannot make the shortcut\n");
    return made ? 0 : 1;
}

}  // namespace

int main() {
    int argc = 0;
    WCHAR** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const bool make = argv != nullptr && argc >= 6 && argc <= 7 && lstrcmpW(argv[1], L"make") == 0;
    if (argv == nullptr || (argc != 2 && !make)) {
        fprintf(stderr, "usage: shortcut.exe FILE.lnk | shortcut.exe make FILE.lnk TARGET ARGUMENTS FOLDER [SHOW]\n");
        return 2;
    }
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkW* link = nullptr;
    IPersistFile* persist = nullptr;
    int result = 1;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))
        && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        result = make ? Make(link, persist, argv, argc) : Read(link, persist, argv[1]);
    } else {
        fprintf(stderr, "no shell link object\n");
    }
    if (persist != nullptr) persist->Release();
    if (link != nullptr) link->Release();
    CoUninitialize();
    return result;
}
