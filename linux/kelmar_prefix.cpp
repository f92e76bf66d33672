// kelmar-prefix [--remove]: prepares the Wine prefix that each user's first start of Kelmar copies,
// /var/cache/kelmar/wineprefix under the root Kelmar is installed in, for the Wine installed now; the
// package's maintainer script runs it at install and again whenever Wine's files change (a trigger).
// Wine sets the prefix up as an unprivileged user under a stand-in name; then what would make it one
// user's is taken out (the stand-in's profile folder and its links, the name in the registry, the note
// of the Wine server's folder), which each user's first start makes again for that user, and each copy
// of Wine's own files becomes a link to it. With --remove it removes it. Exit code 1 when it could not
// (each user's first start then sets Wine up itself, slowly).
#include <dirent.h>
#include <glib.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "linux/wine_prefix.h"

namespace {

constexpr const char* kLoader = "/usr/lib/wine/wine64";
constexpr const char* kServer = "/usr/lib/wine/wineserver64";
// The stand-in user; it must not be a word that a registry holds for other reasons.
constexpr const char* kStandIn = "kelmar-shared-prefix";
// What made the prefix one user's: their folders' paths in the registry (Wine fills these again at
// the first use of each), the environment's temporary folders, the profile's place, and the last
// session's environment.
constexpr const char* kOneUsersKeys =
    "REGEDIT4\r\n\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "[-HKEY_USERS\\.Default\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Common Favorites\"=-\r\n"
    // The same in the 32-bit half's view of the registry, where Wine made one.
    "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\r\n"
    "\"Common Favorites\"=-\r\n"
    "[-HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000]\r\n"
    "[HKEY_CURRENT_USER\\Environment]\r\n"
    "\"TEMP\"=-\r\n"
    "\"TMP\"=-\r\n"
    "[-HKEY_CURRENT_USER\\Volatile Environment]\r\n";

int Fail(const std::string& message) {
    fprintf(stderr, "kelmar-prefix: %s; each user's first start of Kelmar sets Wine up itself instead\n",
            message.c_str());
    return 1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a Wine command with only the given environment, as user (when this runs as root); its exit status.
int RunAs(const struct passwd* user, const std::vector<std::string>& args, const std::vector<std::string>& environment,
          const std::string& log) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv, envp;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        if (user != nullptr && (setgroups(0, nullptr) != 0 || setgid(user->pw_gid) != 0 || setuid(user->pw_uid) != 0)) {
            _exit(126);
        }
        // Into a file, not a pipe: Wine's server, started here, would hold a pipe open.
        if (freopen(log.c_str(), "a", stdout) == nullptr || dup2(fileno(stdout), STDERR_FILENO) < 0) _exit(126);
        if (chdir("/") == 0) execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    while (pid > 0 && waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Owner root and permissions anyone can read, through the whole tree (links themselves, not followed);
// false when any of it could not be changed.
bool HandOver(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return false;
    if (geteuid() == 0 && lchown(path.c_str(), 0, 0) != 0) return false;
    if (S_ISLNK(info.st_mode)) return true;
    if (chmod(path.c_str(), S_ISDIR(info.st_mode) ? 0755 : 0644) != 0) return false;
    if (!S_ISDIR(info.st_mode)) return true;
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (const struct dirent* entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.emplace_back(entry->d_name);
        }
        closedir(dir);
    }
    bool all = true;
    for (const std::string& name : names) all = HandOver(path + "/" + name) && all;
    return all;
}

long long TreeBytes(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return 0;
    long long bytes = static_cast<long long>(info.st_blocks) * 512;
    if (!S_ISDIR(info.st_mode)) return bytes;
    if (DIR* dir = opendir(path.c_str())) {
        std::vector<std::string> names;
        while (const struct dirent* entry = readdir(dir)) {
            if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.emplace_back(entry->d_name);
        }
        closedir(dir);
        for (const std::string& name : names) bytes += TreeBytes(path + "/" + name);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    const bool remove = argc == 2 && strcmp(argv[1], "--remove") == 0;
    if (argc > 2 || (argc == 2 && !remove)) {
        fprintf(stderr, "usage: kelmar-prefix [--remove]\n");
        return 1;
    }
    // The root Kelmar is installed in: this program is ROOT/usr/lib/kelmar/kelmar-prefix.
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string tail = "/usr/lib/kelmar/kelmar-prefix";
    std::string root = length > 0 ? std::string(self, static_cast<size_t>(length)) : std::string();
    if (root.size() < tail.size() || root.compare(root.size() - tail.size(), tail.size(), tail) != 0) {
        return Fail("not installed as ROOT" + tail);
    }
    root.erase(root.size() - tail.size());
    const std::string cache = root + "/var/cache/kelmar";
    const std::string target = root + kSharedPrefix;
    if (remove) return RemoveTree(cache) ? 0 : Fail("cannot remove " + cache);

    const WineFiles wine = DebianWine();
    if (access(kLoader, X_OK) != 0 || access(kServer, X_OK) != 0) {
        RemoveTree(target);
        printf("kelmar-prefix: 64-bit Wine is not installed (%s); no prefix to prepare\n", kLoader);
        return 0;
    }
    const long long inf = WineInfTime(wine);
    if (inf >= 0 && ReadNumberFile(target + "/" + kSharedMark) == kSharedVersion &&
        PrefixUpdate(target, inf) == WineUpdate::kCurrent) {
        printf("kelmar-prefix: %s is up to date\n", target.c_str());
        return 0;
    }

    // Set up by Wine as the unprivileged user nobody when this runs as root.
    const struct passwd* nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    if (geteuid() == 0 && nobody == nullptr) return Fail("there is no user nobody to set Wine up as");
    const std::string work = cache + "/wineprefix.new";
    const std::string home = work + "/home", prefix = work + "/prefix", log = work + "/wine.log";
    g_mkdir_with_parents(cache.c_str(), 0755);
    if (!RemoveTree(work) || mkdir(work.c_str(), 0755) != 0 || mkdir(home.c_str(), 0755) != 0) {
        return Fail("cannot make " + work + ": " + strerror(errno));
    }
    if (nobody != nullptr && (chown(work.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 ||
                              chown(home.c_str(), nobody->pw_uid, nobody->pw_gid) != 0)) {
        return Fail("cannot give " + work + " to nobody: " + strerror(errno));
    }
    const std::vector<std::string> environment = {
        "PATH=/usr/bin:/bin", "HOME=" + home, std::string("USER=") + kStandIn, std::string("LOGNAME=") + kStandIn,
        "LANG=C.UTF-8", "WINEPREFIX=" + prefix, std::string("WINELOADER=") + kLoader, std::string("WINESERVER=") + kServer,
        "WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="};
    const std::string oneUsers = home + "/one-user.reg";
    {
        std::ofstream out(oneUsers, std::ios::binary);
        out << kOneUsersKeys;
    }
    std::string zPath = "Z:" + oneUsers;
    for (char& c : zPath) c = c == '/' ? '\\' : c;
    printf("kelmar-prefix: setting up the Wine prefix that each user's first start of Kelmar copies…\n");
    fflush(stdout);
    const std::vector<std::vector<std::string>> steps = {
        {kLoader, "wineboot", "-i"}, {kServer, "-w"}, {kLoader, "regedit", "/S", zPath}, {kServer, "-w"}};
    for (const std::vector<std::string>& step : steps) {
        const int status = RunAs(nobody, step, environment, log);
        if (status == 0) continue;
        const std::string said = ReadFile(log);
        fprintf(stderr, "%s", said.substr(said.size() > 2000 ? said.size() - 2000 : 0).c_str());
        RemoveTree(work);
        return Fail("Wine could not set up a prefix (\"" + step[1] + "\" ended with " + std::to_string(status) +
                    "; Wine's messages are above)");
    }
    // Nothing of the stand-in user may stay: their profile, the note of their Wine server's folder.
    unlink((prefix + "/wineserver").c_str());
    RemoveTree(prefix + "/drive_c/users/" + kStandIn);
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"}) {
        const std::string text = ReadFile(prefix + "/" + hive);
        if (text.empty() || text.find(kStandIn) != std::string::npos || text.find(home) != std::string::npos) {
            RemoveTree(work);
            return Fail(std::string("the prefix's ") + hive + " still names the user Wine set it up for");
        }
    }
    const PrefixPass linked = LinkWineCopies(prefix, WineFileIndex(wine));
    if (!WriteNumberFile(prefix + "/" + kSharedMark, kSharedVersion)) {
        RemoveTree(work);
        return Fail("cannot write in " + prefix);
    }
    if (!HandOver(prefix)) {
        RemoveTree(work);
        return Fail("cannot hand " + prefix + " over to root");
    }
    const std::string old = cache + "/wineprefix.old";
    RemoveTree(old);
    rename(target.c_str(), old.c_str());
    if (rename(prefix.c_str(), target.c_str()) != 0) {
        rename(old.c_str(), target.c_str());
        RemoveTree(work);
        return Fail("cannot move the new prefix to " + target);
    }
    RemoveTree(old);
    RemoveTree(work);
    printf("kelmar-prefix: prepared %s (%.1f MB; %d copies of Wine's files, %.0f MB, are links to them)\n",
           target.c_str(), static_cast<double>(TreeBytes(target)) / 1e6, linked.files,
           static_cast<double>(linked.bytes) / 1e6);
    return 0;
}
