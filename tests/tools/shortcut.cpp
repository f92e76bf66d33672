// A test helper that reads a shortcut (.lnk) back the way the shell reads it, through IShellLinkA:
//   shortcut.exe FILE.lnk   prints three lines: the target, the "Start in" folder and the arguments.
// Exits 0 when the shortcut could be read, 1 otherwise.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: shortcut.exe FILE.lnk\n");
        return 2;
    }
    WCHAR file[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, argv[1], -1, file, MAX_PATH) == 0) return 1;
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    char target[MAX_PATH] = "", folder[MAX_PATH] = "", arguments[MAX_PATH] = "";
    bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           reinterpret_cast<void**>(&link)))
                && SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))
                && SUCCEEDED(persist->Load(file, STGM_READ))
                // SLGP_RAWPATH: the target as stored, not resolved against what the disk now holds.
                && SUCCEEDED(link->GetPath(target, sizeof target, nullptr, SLGP_RAWPATH))
                && SUCCEEDED(link->GetWorkingDirectory(folder, sizeof folder))
                && SUCCEEDED(link->GetArguments(arguments, sizeof arguments));
    if (persist != nullptr) persist->Release();
    if (link != nullptr) link->Release();
    CoUninitialize();
    if (!read) {
        fprintf(stderr, "cannot read the shortcut %s\n", argv[1]);
        return 1;
    }
    printf("%s\n%s\n%s\n", target, folder, arguments);
    return 0;
}
