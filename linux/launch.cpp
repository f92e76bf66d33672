// The kelmar command's options, checks, data folder, first menus and Wine prefix.
#include "linux/launch.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "linux/autostart.h"
#include "linux/notify.h"
#include "linux/session_env.h"
#include "linux/session_look.h"
#include "linux/wine_locale.h"

namespace {

// Debian's 64-bit Wine, the one Kelmar's package depends on.
constexpr const char* kDebianLoader = "/usr/lib/wine/wine64";
constexpr const char* kDebianServer = "/usr/lib/wine/wineserver64";
constexpr const char* kWinePackage = "wine64";
constexpr const char* kPreloaderPackage = "wine64-preloader";
// Files of Kelmar's own in its prefix: the time of the wine.inf that the prefix was last made small for,
// and the settings last given to Wine. Earlier Kelmars' marks, no longer used.
constexpr const char* kLinkedMark = ".kelmar-wine";
constexpr const char* kSettingsFile = "kelmar-session.inf";
constexpr const char* kOldMarks[] = {"kelmar-session", ".kelmar-x11-settings-1"};

void Usage() {
    printf("Usage: kelmar [OPTION]\n"
           "Starts Kelmar, a thin bar of application menus across the top of the screen, under Wine.\n"
           "\n"
           "  --autostart on|off  start Kelmar with the desktop session, or no longer\n"
           "  --import            make the menus again from the desktop's applications\n"
           "                      (the previous menus are kept as apps.dat.bak, earlier\n"
           "                      ones as apps.dat.bak.1 to .9)\n"
           "  --help              show this help and exit\n"
           "  --version           show the version and exit\n"
           "\n"
           "Kelmar keeps its menus (apps.dat) and its Wine prefix in ${XDG_DATA_HOME:-~/.local/share}/kelmar.\n"
           "Without an apps.dat, it first makes one from the applications of the desktop's menus.\n"
           "See kelmar(1).\n");
}

int Fail(const std::string& message) {
    fprintf(stderr, "kelmar: %s\n", message.c_str());
    return 1;
}

bool Refuse(const std::string& message) {
    Fail(message);
    return false;
}

// Said on standard output and as a notification: the few starts that take long.
void Announce(const std::string& message) {
    printf("%s\n", message.c_str());
    fflush(stdout);
    Notify(message);
}

bool Executable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::string Env(const char* name, const char* fallback = "") {
    const char* value = getenv(name);
    return value != nullptr && value[0] != '\0' ? value : fallback;
}

std::string Folder(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The data folder's own lock against a second kelmar making or changing the prefix at the same time
// (flock(2), apart from kelmar.lock's record locks); released when closed.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder) : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        while (fd_ >= 0 && flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Starts a program that is not Wine, in folder; its exit status, or -1.
int Run(const std::vector<std::string>& args, const std::string& folder) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        sigset_t none;  // kelmar-run keeps the ending signals blocked for itself alone
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (chdir(folder.c_str()) == 0) execv(argv[0], argv.data());
        fprintf(stderr, "kelmar: cannot run %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    return pid < 0 ? -1 : WaitFor(pid);
}

// Runs a Wine command as Kelmar is run, its output into a file (not a pipe, which a Wine server started
// by it would hold open) when output is a descriptor; its exit status, or -1.
int RunWine(const StartProgram& start, const std::vector<std::string>& args, int output = -1) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    fflush(stdout);
    fflush(stderr);
    // The command inherits this process's standard output and error, for its start only.
    const int savedOut = output >= 0 ? dup(STDOUT_FILENO) : -1;
    const int savedError = output >= 0 ? dup(STDERR_FILENO) : -1;
    if (output >= 0) {
        dup2(output, STDOUT_FILENO);
        dup2(output, STDERR_FILENO);
    }
    const pid_t pid = start(argv.data());
    if (savedOut >= 0) {
        dup2(savedOut, STDOUT_FILENO);
        close(savedOut);
    }
    if (savedError >= 0) {
        dup2(savedError, STDERR_FILENO);
        close(savedError);
    }
    return pid < 0 ? -1 : WaitFor(pid);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Wine's data folder (locale table, wine.inf): Debian's, or beside a loader installed elsewhere.
std::string WineDataFolder(const Launch& launch) {
    if (launch.loader == kDebianLoader) return "/usr/share/wine";
    return Folder(Folder(launch.loader)) + "/share/wine";
}

// A temporary file for a Wine command's output, readable by the user alone; its descriptor, -1 on failure.
int TemporaryFile(std::string& path) {
    path = std::string(P_tmpdir) + "/kelmar.XXXXXX";
    const int fd = mkstemp(&path[0]);
    if (fd < 0) path.clear();
    return fd;
}

// Makes the prefix where there is none: a copy of the one prepared for every user, else set up by Wine
// (tens of seconds). Made aside and moved into place only when whole, so a prefix that exists is ready
// and one cut short is begun again; the folder lock has a second kelmar started meanwhile wait for it.
bool EnsurePrefix(Launch& launch, const StartProgram& start) {
    FolderLock lock(launch.data);
    if (Exists(launch.prefix)) return true;
    const std::string staging = launch.data + "/wineprefix.setup";
    if (!RemoveTree(staging)) return Refuse("cannot remove the unfinished Wine prefix " + staging);
    const bool root = geteuid() == 0;
    const WineFileIndex index(launch.wine);
    const std::string shared = launch.shared;
    const bool copied = !shared.empty() && ReadNumberFile(shared + "/" + kSharedMark) == kSharedVersion &&
                        CopyPrefixTree(shared, staging, launch.wine, root);
    if (copied) {
        // Made small for the Wine installed, unless that changed since (the update then catches up).
        const long long inf = WineInfTime(launch.wine);
        if (inf >= 0 && PrefixUpdate(staging, inf) == WineUpdate::kCurrent) WriteNumberFile(staging + "/" + kLinkedMark, inf);
    } else {
        RemoveTree(staging);
        if (Run({launch.loader, "--version"}, "/") != 0) {
            return Refuse("64-bit Wine does not run (" + launch.loader + " --version failed); reinstall the package " +
                          kWinePackage);
        }
        Announce("Setting up Wine for Kelmar (first run only)…");
        std::string log;
        const int output = TemporaryFile(log);
        setenv("WINEPREFIX", staging.c_str(), 1);
        const bool made = RunWine(start, {launch.loader, "wineboot", "-i"}, output) == 0 &&
                          RunWine(start, {launch.server, "-w"}, output) == 0;
        setenv("WINEPREFIX", launch.prefix.c_str(), 1);
        if (output >= 0) close(output);
        if (!made) {
            Run({"/usr/bin/tail", "-n", "15", log}, "/");
            unlink(log.c_str());
            RemoveTree(staging);
            return Refuse("Wine could not set up a prefix for Kelmar (its messages are above); nothing was kept, so "
                          "the next run tries again");
        }
        unlink(log.c_str());
        if (!root && !index.Empty()) {
            LinkWineCopies(staging, index);
            const long long inf = WineInfTime(launch.wine);
            if (inf >= 0) WriteNumberFile(staging + "/" + kLinkedMark, inf);
        }
    }
    if (rename(staging.c_str(), launch.prefix.c_str()) != 0) {
        RemoveTree(staging);
        return Refuse("cannot move the new Wine prefix to " + launch.prefix);
    }
    launch.madePrefix = true;
    return true;
}

// The ANSI code page of Kelmar's names: from Wine's own locale table, or from Wine itself where Wines
// differ on the locale (the prefix is made for that); 0 when unknown.
int CodePage(Launch& launch, const StartProgram& start) {
    const int known = WineAnsiCodePage(WineDataFolder(launch) + "/nls/locale.nls");
    if (known > 0) return known;
    if (!EnsurePrefix(launch, start)) return 0;
    std::string answer;
    const int output = TemporaryFile(answer);
    if (output < 0) return 0;
    RunWine(start, {launch.loader, "reg", "query", "HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage", "/v", "ACP"},
            output);
    close(output);
    const std::string text = ReadFile(answer);
    unlink(answer.c_str());
    const size_t at = text.find("REG_SZ");
    return at == std::string::npos ? 0 : atoi(text.c_str() + at + 6);
}

// Menus from the desktop's applications (kelmar-import says what it did); its exit status.
int Import(Launch& launch, const StartProgram& start, bool firstRun) {
    std::vector<std::string> args = {launch.lib + "/kelmar-import"};
    if (firstRun) args.emplace_back("--first-run");
    const int page = CodePage(launch, start);
    if (page > 0) {
        args.emplace_back("--codepage");
        args.push_back(std::to_string(page));
    }
    return Run(args, launch.data);
}

// apps.dat's names are in the code page of the language they were written under: kelmar-import converts
// them to this start's before Kelmar reads them (and says what it did). Where only Wine can say which
// code page that is, Wine is asked only when the locale changed since (kelmar-import's exit code 2).
void ConvertMenus(Launch& launch, const StartProgram& start) {
    const std::string program = launch.lib + "/kelmar-import";
    int page = WineAnsiCodePage(WineDataFolder(launch) + "/nls/locale.nls");
    if (page <= 0) {
        constexpr int kCodePageNeeded = 2;
        if (Run({program, "--convert"}, launch.data) != kCodePageNeeded) return;
        page = CodePage(launch, start);
    }
    if (page > 0) Run({program, "--convert", "--codepage", std::to_string(page)}, launch.data);
}

// Brings a prefix that an earlier Wine made up to the Wine installed, as Wine itself would at Kelmar's
// start: the links to Wine's files become copies, Wine's update rewrites and registers each of them as in
// a plain prefix, and the copies become links again. due: the prefix's time stamp asks Wine for the
// update, which Wine then makes at its first start; else it is asked for.
void UpdatePrefix(const Launch& launch, const StartProgram& start, long long inf, bool due) {
    Announce("Updating Kelmar's Wine prefix for the Wine now installed…");
    const PrefixPass copies = CopyWineLinks(launch.prefix, launch.wine);
    std::string log;
    const int output = TemporaryFile(log);
    const bool updated = copies.failed == 0 && RunWine(start, {launch.loader, "wineboot", due ? "--init" : "--update"}, output) == 0;
    if (output >= 0) close(output);
    if (geteuid() != 0) LinkWineCopies(launch.prefix, WineFileIndex(launch.wine));
    if (updated) {
        WriteNumberFile(launch.prefix + "/" + kLinkedMark, inf);
    } else {
        if (!log.empty()) Run({"/usr/bin/tail", "-n", "15", log}, "/");
        fprintf(stderr, "kelmar: Wine could not update its prefix %s%s; Kelmar starts as before and tries again next "
                        "time\n", launch.prefix.c_str(), copies.failed > 0 ? " (is the disk full?)" : "");
    }
    if (!log.empty()) unlink(log.c_str());
}

// Starts giving the prefix the session's language and screen when they changed since they were last
// given; false when nothing needs to be given. FinishSessionLook waits for Wine and notes what it took.
bool BeginSessionLook(Launch& launch, const StartProgram& start) {
    const std::string locale = Env("LC_ALL", Env("LC_CTYPE", Env("LANG").c_str()).c_str());
    const int dpi = SessionDpi(getenv("DISPLAY"), getenv("GDK_SCALE"));
    launch.lookInf = Utf16WithMark(SettingsInf(dpi, FontFor(FontLanguage(locale))));
    const std::string noted = ReadFile(launch.prefix + "/" + kSettingsFile);
    if (launch.lookInf.empty() || noted == launch.lookInf) return false;
    // The DPI the last settings named, else Wine's own 96; the INF's line for it, in its UTF-16.
    constexpr int kWineDpi = 96;
    std::string line;
    for (const char c : "\"LogPixels\",0x10001," + std::to_string(dpi) + "\r\n") line += {c, '\0'};
    launch.dpiChanged = noted.empty() ? dpi != kWineDpi : noted.find(line) == std::string::npos;
    // Handed to Wine inside the prefix, by a name that holds nothing but ASCII whatever the data folder's.
    const std::string temp = launch.prefix + "/drive_c/windows/temp";
    g_mkdir_with_parents(temp.c_str(), 0755);
    launch.lookFile = temp + "/kelmar-session.inf";
    bool written = false;
    {
        std::ofstream out(launch.lookFile, std::ios::binary | std::ios::trunc);
        out << launch.lookInf;
        written = static_cast<bool>(out.flush());
    }
    std::vector<char*> argv;
    for (const char* arg : {launch.loader.c_str(), "rundll32", "setupapi,InstallHinfSection", "DefaultInstall", "128",
                            "C:\\windows\\temp\\kelmar-session.inf"}) {
        argv.push_back(const_cast<char*>(arg));
    }
    argv.push_back(nullptr);
    launch.lookPid = written ? start(argv.data()) : -1;
    return true;
}

void FinishSessionLook(Launch& launch) {
    const bool given = launch.lookPid > 0 && WaitFor(launch.lookPid) == 0;
    launch.lookPid = -1;
    // Noted only once Wine took it; the file moved into place whole.
    if (!given || rename(launch.lookFile.c_str(), (launch.prefix + "/" + kSettingsFile).c_str()) != 0) {
        unlink(launch.lookFile.c_str());
        fprintf(stderr, "kelmar: could not give Wine the session's fonts and DPI; Kelmar starts as before\n");
    }
}

}  // namespace

std::vector<std::string> Launch::WineSettings() const {
    return {"WINEPREFIX=" + prefix, "WINELOADER=" + loader, "WINESERVER=" + server, "WINEDEBUG=" + Env("WINEDEBUG", "-all"),
            "WINEDLLOVERRIDES=" + Env("WINEDLLOVERRIDES", "mscoree,mshtml,winemenubuilder.exe=")};
}

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int PrepareLaunch(const std::vector<std::string>& args, const StartProgram& start, Launch& launch) {
    if (args.size() < 2) return Fail("kelmar-run --launch needs the kelmar command's path and its library folder");
    launch.command = args[0];
    // By its own path, so that the root Kelmar is installed in shows.
    char* lib = realpath(args[1].c_str(), nullptr);
    launch.lib = lib != nullptr ? lib : args[1];
    free(lib);
    const std::vector<std::string> options(args.begin() + 2, args.end());
    bool import = false;
    if (options.size() == 1) {
        const std::string& option = options[0];
        if (option == "--help" || option == "-h") {
            Usage();
            return 0;
        }
        if (option == "--version") {
            printf("kelmar %s\n", KELMAR_VERSION);
            return 0;
        }
        if (option == "--autostart") return Autostart("", launch.command);
        if (option != "--import") return Fail("unknown option '" + option + "'; see kelmar --help");
        import = true;
    } else if (options.size() == 2) {
        const std::string& option = options[0];
        if (option == "--autostart") return Autostart(options[1], launch.command);
        if (option == "--help" || option == "-h" || option == "--version" || option == "--import") {
            return Fail(option + " takes no argument; see kelmar --help");
        }
        return Fail("unknown option '" + option + "'; see kelmar --help");
    } else if (options.size() > 2) {
        return Fail("too many arguments; see kelmar --help");
    }

    if (!Exists(launch.lib + "/KELMAR32.EXE") || !Executable(launch.lib + "/kelmar-import")) {
        return Fail("Kelmar's programs are missing: KELMAR32.EXE, kelmar-run and kelmar-import belong in " + launch.lib);
    }
    if (!import && Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty()) {
        return Fail("no display: Kelmar is a desktop program; start it from a desktop session (DISPLAY and "
                    "WAYLAND_DISPLAY are unset)");
    }
    launch.loader = Env("WINELOADER", kDebianLoader);
    launch.server = Env("WINESERVER", kDebianServer);
    if (!Executable(launch.loader) || !Executable(launch.server)) {
        return Fail("64-bit Wine is not installed (" + launch.loader + " is missing); install it with: sudo apt install " +
                    kWinePackage);
    }
    // Without its preloader, Wine cannot reserve the addresses it needs before the kernel places something
    // there, and now and then a start fails at once with exit code 1 and no message.
    const std::string preloader = Folder(launch.loader) + "/wine64-preloader";
    if (!Executable(preloader)) {
        fprintf(stderr, "kelmar: Wine's preloader %s is missing, so Wine may now and then fail to start; install it "
                        "with: sudo apt install %s\n", preloader.c_str(), kPreloaderPackage);
    }

    launch.data = DataFolder();
    if (launch.data.empty()) return Fail("no home folder: HOME is not set and the user has none");
    if (!Exists(launch.data) && g_mkdir_with_parents(launch.data.c_str(), 0755) != 0) {
        return Fail("cannot make the data folder " + launch.data);
    }
    // access(2) answers for a read-only file system too, and for root as the kernel would.
    if (access(launch.data.c_str(), W_OK) != 0) return Fail("cannot write in the data folder " + launch.data);
    launch.prefix = launch.data + "/wineprefix";
    // Links into Wine's files and the prepared prefix only with the Wine the package knows: one installed
    // some other way keeps its files elsewhere.
    if (launch.loader == kDebianLoader) {
        launch.wine = DebianWine();
        const std::string tail = "/usr/lib/kelmar";
        if (launch.lib.size() >= tail.size() && launch.lib.compare(launch.lib.size() - tail.size(), tail.size(), tail) == 0) {
            launch.shared = launch.lib.substr(0, launch.lib.size() - tail.size()) + kSharedPrefix;
        }
    }
    for (const std::string& setting : launch.WineSettings()) {
        const size_t equals = setting.find('=');
        setenv(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1, 1);
    }
    // Debian 13's Wine 10 ends at once ("free(): invalid pointer") whenever TMPDIR is set, to any value;
    // Wine's commands go without it (the applications started from the bar get the session's back).
    unsetenv("TMPDIR");

    if (import) return Import(launch, start, false);
    if (!EnsurePrefix(launch, start)) return 1;
    launch.active = true;
    // A prefix just copied, for the Wine installed, needs nothing but the session's look: Wine takes it
    // while the first menus are made, which is most of a first start's own work.
    const long long inf = WineInfTime(launch.wine);
    if (launch.madePrefix && inf >= 0 && PrefixUpdate(launch.prefix, inf) == WineUpdate::kCurrent &&
        ReadNumberFile(launch.prefix + "/" + kLinkedMark) == inf) {
        launch.lookEarly = true;
        launch.lookPending = BeginSessionLook(launch, start);
    }
    // The first run's menus are the desktop's applications, where it has any.
    struct stat menus;
    if (stat((launch.data + "/apps.dat").c_str(), &menus) != 0 || menus.st_size == 0) Import(launch, start, true);
    ConvertMenus(launch, start);
    return kRunKelmar;
}

void PreparePrefix(Launch& launch, bool alone, const StartProgram& start) {
    FolderLock lock(launch.data);
    if (launch.lookEarly) {
        if (launch.lookPending) FinishSessionLook(launch);
        return;
    }
    for (const char* mark : kOldMarks) unlink((launch.prefix + "/" + mark).c_str());
    if (!launch.wine.folders.empty()) {
        const bool root = geteuid() == 0;
        // Root's Wine writes where it is asked to, through a link into Wine's own files too: root's prefix
        // holds plain copies.
        if (root && HasWineLinks(launch.prefix, launch.wine)) CopyWineLinks(launch.prefix, launch.wine);
        const long long inf = WineInfTime(launch.wine);
        const long long linked = ReadNumberFile(launch.prefix + "/" + kLinkedMark);
        const WineUpdate update = PrefixUpdate(launch.prefix, inf);
        // Due by the time stamp, or done without Kelmar (by a Wine started in the prefix by hand), when links
        // kept it from registering what it rewrote.
        if (inf >= 0 && (update == WineUpdate::kDue || (update == WineUpdate::kCurrent && linked >= 0 && linked != inf))) {
            // Never under a running Kelmar: its Wine server has the prefix.
            if (alone) UpdatePrefix(launch, start, inf, update == WineUpdate::kDue);
        } else if (!root && inf >= 0 && linked < 0) {
            // A prefix an earlier Kelmar made, or whose mark was lost: small now.
            LinkWineCopies(launch.prefix, WineFileIndex(launch.wine));
            WriteNumberFile(launch.prefix + "/" + kLinkedMark, inf);
        }
    }
    if (BeginSessionLook(launch, start)) FinishSessionLook(launch);
}
