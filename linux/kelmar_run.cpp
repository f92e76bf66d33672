// kelmar-run [--session FD] --launch COMMAND LIBRARY [OPTION...]: the kelmar command's work (linux/launch.h),
// then Kelmar run as below in the data folder's Wine prefix.
// kelmar-run [--session FD] LOCKFOLDER [NAME=VALUE...] -- PROGRAM [ARG...]: runs PROGRAM (Wine with
// Kelmar) with the variables set, holding the data folder's lock shared for as long as it runs, with the
// session's environment recorded for start-app: the one read from descriptor FD (NUL-ended entries, as
// the kelmar command got it, before its shell changed PWD and the like), else its own. It stays as
// PROGRAM's parent so that the end of the desktop session saves as on Windows: the session manager's
// SIGTERM and SIGHUP, sent to every process of the session, find Wine's processes blocking them (Wine
// keeps them so; kept from Wine's server, SIGHUP has it dump nothing into the session's log), and the
// SIGINT of Ctrl+C in the terminal that started Kelmar never reaches them, as they run in a process
// group of their own. This program answers each of them by running "wineboot --end-session", which
// sends Kelmar Windows's end-of-session messages; Kelmar then saves and ends, and so does this program.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "linux/data_lock.h"
#include "linux/launch.h"
#include "linux/session_env.h"

namespace {

// How long Kelmar may take to save and end once the session has ended, before it is stopped.
constexpr int kEndSeconds = 30;
// How long a Wine server left by the kelmar command's own Wine commands may take to end.
constexpr int kServerSeconds = 10;

pid_t Start(char** argv, const sigset_t& childMask) {
    const pid_t pid = fork();
    if (pid == 0) {
        // A process group of its own: Ctrl+C in the terminal signals the terminal's foreground group,
        // which holds this program alone then. Wine 10 unblocks SIGINT and ends a program on it at once.
        setpgid(0, 0);
        signal(SIGHUP, SIG_IGN);  // for any process that unblocks it; Wine's server sets its own action
        sigprocmask(SIG_SETMASK, &childMask, nullptr);
        execv(argv[0], argv);
        fprintf(stderr, "kelmar: cannot run %s: %s\n", argv[0], strerror(errno));
        _exit(127);
    }
    return pid;
}

// Removes the records of this data folder that Kelmars which ended without removing theirs left.
void RemoveLeftRecords(const std::string& base) {
    const size_t slash = base.rfind('/');
    DIR* folder = opendir(base.substr(0, slash).c_str());
    if (folder == nullptr) return;
    const std::string prefix = base.substr(slash + 1) + ".";
    while (const struct dirent* entry = readdir(folder)) {
        if (strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        // Named for the process that made it: one still running keeps its record.
        const long pid = strtol(entry->d_name + prefix.size(), nullptr, 10);
        if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) continue;
        unlinkat(dirfd(folder), entry->d_name, 0);
    }
    closedir(folder);
}

// This Kelmar's record of the session's environment (each running Kelmar has its own): under
// XDG_RUNTIME_DIR, else in the data folder.
std::string RecordBase(const std::string& data, int choice) {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    return choice == 0 ? RecordPath(runtime != nullptr ? runtime : "", data) : RecordPath("", data);
}

std::string Record(const std::vector<std::string>& session, const std::string& data) {
    const std::string record = RecordOf(session);
    const std::string own = "." + std::to_string(getpid());
    for (int choice = 0; choice < 2; ++choice) {
        if (WriteRecord(RecordBase(data, choice) + own, record)) return RecordBase(data, choice) + own;
    }
    const std::string path = RecordBase(data, 1) + own;
    fprintf(stderr, "kelmar: cannot record the session's environment in %s: %s; applications started from the bar "
                    "get Wine's\n", path.c_str(), strerror(errno));
    return std::string();
}

// A Wine server that the kelmar command's own Wine commands started (its code-page query) would run
// Kelmar without the signal handling above, and a SIGTERM would end it and all of Wine with it: when no
// other Kelmar runs, such a server is given a few seconds to end (it ends once idle) before Kelmar starts.
void AwaitIdleServer(const sigset_t& childMask) {
    const char* server = getenv("WINESERVER");
    if (server == nullptr || server[0] != '/') return;
    char* argv[] = {const_cast<char*>(server), const_cast<char*>("-w"), nullptr};
    const pid_t waiter = Start(argv, childMask);
    if (waiter < 0) return;
    const struct timespec tick = {0, 50 * 1000 * 1000};
    for (int i = 0; i < kServerSeconds * 20; ++i) {
        if (waitpid(waiter, nullptr, WNOHANG) == waiter) return;
        nanosleep(&tick, nullptr);
    }
    kill(waiter, SIGKILL);
    waitpid(waiter, nullptr, 0);
}

// The session's environment from a descriptor, read to its end and closed.
bool ReadSession(int fd, std::vector<std::string>& session) {
    std::string entries;
    const bool whole = ReadToEnd(fd, entries);
    session = EntriesOfRecord(entries);
    return whole && !session.empty();
}

}  // namespace

int main(int argc, char** argv) {
    // The signals that end a session or that Ctrl+C sends wait, blocked, in Wine's processes (the kelmar
    // command's own Wine commands among them); this one takes them. Blocked from the start, before GLib
    // makes any thread (a desktop notification makes D-Bus's), since a thread that left them unblocked
    // would take one and end this program with Kelmar still running.
    sigset_t ending, waited;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    sigaddset(&ending, SIGINT);
    sigprocmask(SIG_BLOCK, &ending, nullptr);
    std::vector<std::string> session = CurrentEnvironment();
    if (argc > 2 && strcmp(argv[1], "--session") == 0) {
        if (!ReadSession(atoi(argv[2]), session)) session = CurrentEnvironment();
        argc -= 2;
        argv += 2;
    }
    Launch launch;
    const StartProgram startWine = [&ending](char** command) { return Start(command, ending); };
    std::vector<std::string> launched;
    std::vector<char*> launchedArgv;
    if (argc > 1 && strcmp(argv[1], "--launch") == 0) {
        const int status = PrepareLaunch(std::vector<std::string>(argv + 2, argv + argc), startWine, launch);
        if (status != kRunKelmar) return status;
        // As if called "kelmar-run DATA NAME=VALUE... -- WINE KELMAR32.EXE".
        launched = {argv[0], launch.data};
        for (const std::string& setting : launch.WineSettings()) launched.push_back(setting);
        launched.insert(launched.end(), {"--", launch.loader, launch.lib + "/KELMAR32.EXE"});
        for (std::string& arg : launched) launchedArgv.push_back(&arg[0]);
        launchedArgv.push_back(nullptr);
        argc = static_cast<int>(launched.size());
        argv = launchedArgv.data();
        // apps.dat lives in the working folder; kelmar.ini in the prefix's Windows folder.
        if (chdir(launch.data.c_str()) != 0) {
            fprintf(stderr, "kelmar: cannot change to the data folder %s: %s\n", launch.data.c_str(), strerror(errno));
            return 1;
        }
    }
    int separator = 2;
    while (separator < argc && strcmp(argv[separator], "--") != 0) ++separator;
    if (argc < 2 || separator + 1 >= argc) {
        fprintf(stderr, "usage: kelmar-run [--session FD] LOCKFOLDER [NAME=VALUE...] -- PROGRAM [ARG...]\n");
        return 1;
    }
    ReplaceEnvironment(WithSettings(CurrentEnvironment(), std::vector<std::string>(argv + 2, argv + separator)));
    const int fd = OpenDataLock(argv[1]);
    const bool alone = fd >= 0 && TryLockAlone(fd);  // no other Kelmar of this data folder runs

    if (alone) {
        for (int choice = 0; choice < 2; ++choice) RemoveLeftRecords(RecordBase(argv[1], choice));
        if (!launch.madePrefix) AwaitIdleServer(ending);
    }
    if (fd < 0 || !LockShared(fd)) {  // from alone to shared in one step
        fprintf(stderr, "kelmar: cannot lock %s/%s: %s\n", argv[1], kLockFile, strerror(errno));
        return 1;
    }
    fcntl(fd, F_SETFD, FD_CLOEXEC);  // the lock is this process's; Wine needs no descriptor of it
    // The prefix's own Wine commands start the Wine server that Kelmar then runs in.
    if (launch.active) PreparePrefix(launch, alone, startWine);
    if (alone && launch.dpiChanged) {
        // A prefix made by this start holds nothing but the settings' own Wine processes: ended at once.
        const char* server = getenv("WINESERVER");
        char* endServer[] = {const_cast<char*>(server), const_cast<char*>("-k"), nullptr};
        const pid_t killer = launch.madePrefix && server != nullptr ? Start(endServer, ending) : -1;
        if (killer > 0) waitpid(killer, nullptr, 0);
        AwaitIdleServer(ending);
    }
    waited = ending;
    sigaddset(&waited, SIGCHLD);
    sigprocmask(SIG_BLOCK, &waited, nullptr);

    // Ended (Ctrl+C, the session's end) while the prefix was made ready: Kelmar is not started at all.
    sigset_t pending;
    sigpending(&pending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&pending, signal)) return 128 + signal;
    }

    // Recorded only under the lock, and from here removed on every way out.
    const std::string record = Record(session, argv[1]);
    if (!record.empty()) setenv(kRecordVariable, record.c_str(), 1);
    const pid_t kelmar = Start(argv + separator + 1, ending);
    if (kelmar < 0) {
        fprintf(stderr, "kelmar: cannot start %s: %s\n", argv[separator + 1], strerror(errno));
        if (!record.empty()) unlink(record.c_str());
        return 1;
    }
    char* endSession[] = {argv[separator + 1], const_cast<char*>("wineboot"), const_cast<char*>("--end-session"), nullptr};
    pid_t ender = 0;
    time_t deadline = 0;
    int status = 0;
    for (;;) {
        // Every child that ended: Kelmar, the end-session run, the kelmar command's leftovers.
        pid_t ended;
        bool done = false;
        int childStatus;
        while ((ended = waitpid(-1, &childStatus, WNOHANG)) > 0) {
            if (ended == kelmar) {
                status = childStatus;
                done = true;
            }
        }
        if (done) break;
        int got;
        if (deadline == 0) {
            got = sigwaitinfo(&waited, nullptr);
        } else {
            const time_t now = time(nullptr);
            if (now >= deadline) {
                fprintf(stderr, "kelmar: Kelmar did not end within %d s of the session's end; stopping it\n", kEndSeconds);
                kill(kelmar, SIGKILL);
                deadline = 0;
                continue;
            }
            const struct timespec wait = {deadline - now, 0};
            got = sigtimedwait(&waited, nullptr, &wait);
        }
        if ((got == SIGTERM || got == SIGHUP || got == SIGINT) && ender == 0) {
            // Once: Windows's end-of-session messages to Kelmar, which then saves and ends.
            ender = Start(endSession, ending);
            deadline = time(nullptr) + kEndSeconds;
        }
    }
    if (!record.empty()) unlink(record.c_str());
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
