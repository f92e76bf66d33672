// Links in place of Wine's copies, copies in place of the links, and the prefix's time stamps.
#include "linux/wine_prefix.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "linux/session_env.h"

namespace {

// Names of the files written aside here; a walk passes over them.
constexpr const char* kAsideSuffix = ".kelmar-aside";

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The entries of a folder but "." and "..", read before anything in it changes.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.emplace_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

bool ReadLink(const std::string& path, std::string& target) {
    char buffer[4096];
    const ssize_t size = readlink(path.c_str(), buffer, sizeof buffer);
    if (size < 0 || static_cast<size_t>(size) >= sizeof buffer) return false;
    target.assign(buffer, static_cast<size_t>(size));
    return true;
}

bool IntoWine(const std::string& target, const WineFiles& wine) {
    for (const std::string& folder : wine.folders) {
        if (target.size() > folder.size() + 1 && target.compare(0, folder.size(), folder) == 0 &&
            target[folder.size()] == '/') {
            return true;
        }
    }
    return false;
}

bool ReadFull(int fd, char* buffer, size_t size, size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return true;
}

bool SameBytes(const std::string& one, const std::string& two) {
    const int a = open(one.c_str(), O_RDONLY | O_CLOEXEC);
    if (a < 0) return false;
    const int b = open(two.c_str(), O_RDONLY | O_CLOEXEC);
    if (b < 0) {
        close(a);
        return false;
    }
    static char first[1 << 16], second[1 << 16];
    bool same = true;
    for (;;) {
        size_t gotA = 0, gotB = 0;
        if (!ReadFull(a, first, sizeof first, gotA) || !ReadFull(b, second, sizeof second, gotB) || gotA != gotB ||
            memcmp(first, second, gotA) != 0) {
            same = false;
            break;
        }
        if (gotA < sizeof first) break;
    }
    close(a);
    close(b);
    return same;
}

// Copies a regular file's bytes and permission bits to a new file at to, which must not exist.
bool CopyFile(const std::string& from, const std::string& to) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat info {};
    if (fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISREG(info.st_mode) ? errno : EINVAL;
        close(in);
        errno = error;
        return false;
    }
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
    if (out < 0) {
        const int error = errno;
        close(in);
        errno = error;
        return false;
    }
    bool ok = true;
    off_t left = info.st_size;
    while (ok && left > 0) {  // the kernel's copy first, else through a buffer
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
        if (n > 0) {
            left -= n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            static char buffer[1 << 16];
            size_t got = 0;
            ok = ReadFull(in, buffer, sizeof buffer, got) && got > 0 && WriteAll(out, buffer, got);
            left -= static_cast<off_t>(got);
        }
    }
    const int error = errno;
    if (close(out) != 0) ok = false;
    close(in);
    if (!ok) {
        unlink(to.c_str());
        errno = error != 0 ? error : EIO;
    }
    return ok;
}

template <typename Visit>
void WalkDriveC(const std::string& folder, Visit& visit) {
    for (const std::string& name : Entries(folder)) {
        if (EndsWith(name, kAsideSuffix)) continue;
        const std::string path = folder + "/" + name;
        struct stat info;
        if (lstat(path.c_str(), &info) != 0) continue;
        // Never through a link: the user's folder links lead into the home folder.
        if (S_ISDIR(info.st_mode)) {
            WalkDriveC(path, visit);
        } else {
            visit(path, name, info);
        }
    }
}

int RemoveOne(const char* path, const struct stat*, int type, struct FTW*) {
    return (type == FTW_DP ? rmdir(path) : unlink(path)) == 0 ? 0 : -1;
}

}  // namespace

WineFiles DebianWine(const std::string& root) {
    WineFiles wine;
    // The 64-bit libraries, the 32-bit ones of the 64-bit package and of the 32-bit Wine, the tables.
    for (const char* folder : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
                               "/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/share/wine/nls"}) {
        wine.folders.push_back(root + folder);
    }
    wine.inf = root + "/usr/share/wine/wine.inf";
    return wine;
}

WineFileIndex::WineFileIndex(const WineFiles& wine) {
    for (const std::string& folder : wine.folders) {
        std::vector<std::string> names = Entries(folder);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string path = folder + "/" + name;
            struct stat info;
            if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
            names_.emplace_back(Lower(name), std::vector<std::string>{path});
        }
    }
    // One entry a name, its files in the order of the folders.
    std::stable_sort(names_.begin(), names_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<std::string, std::vector<std::string>>> merged;
    for (auto& entry : names_) {
        if (!merged.empty() && merged.back().first == entry.first) {
            merged.back().second.push_back(entry.second.front());
        } else {
            merged.push_back(std::move(entry));
        }
    }
    names_ = std::move(merged);
}

const std::vector<std::string>* WineFileIndex::Find(const std::string& name) const {
    const std::string key = Lower(name);
    const auto at = std::lower_bound(names_.begin(), names_.end(), key,
                                     [](const auto& entry, const std::string& k) { return entry.first < k; });
    return at != names_.end() && at->first == key ? &at->second : nullptr;
}

PrefixPass LinkWineCopies(const std::string& prefix, const WineFileIndex& wine) {
    PrefixPass pass;
    auto visit = [&](const std::string& path, const std::string& name, const struct stat& info) {
        if (!S_ISREG(info.st_mode)) return;
        const std::vector<std::string>* candidates = wine.Find(name);
        if (candidates == nullptr) return;
        for (const std::string& target : *candidates) {
            struct stat theirs;
            if (stat(target.c_str(), &theirs) != 0 || theirs.st_size != info.st_size || !SameBytes(path, target)) continue;
            const std::string aside = path + kAsideSuffix;
            unlink(aside.c_str());
            if (symlink(target.c_str(), aside.c_str()) == 0 && rename(aside.c_str(), path.c_str()) == 0) {
                ++pass.files;
                pass.bytes += info.st_size;
            } else {
                unlink(aside.c_str());
                ++pass.failed;
            }
            return;
        }
    };
    WalkDriveC(prefix + "/drive_c", visit);
    return pass;
}

PrefixPass CopyWineLinks(const std::string& prefix, const WineFiles& wine) {
    PrefixPass pass;
    auto visit = [&](const std::string& path, const std::string&, const struct stat& info) {
        std::string target;
        if (!S_ISLNK(info.st_mode) || !ReadLink(path, target) || !IntoWine(target, wine)) return;
        struct stat theirs;
        if (stat(target.c_str(), &theirs) != 0) return;  // gone with an older Wine: nothing to copy
        const std::string aside = path + kAsideSuffix;
        unlink(aside.c_str());
        if (CopyFile(target, aside) && rename(aside.c_str(), path.c_str()) == 0) {
            ++pass.files;
            pass.bytes += theirs.st_size;
        } else {
            unlink(aside.c_str());
            ++pass.failed;
        }
    };
    WalkDriveC(prefix + "/drive_c", visit);
    return pass;
}

bool HasWineLinks(const std::string& prefix, const WineFiles& wine) {
    bool found = false;
    auto visit = [&](const std::string& path, const std::string&, const struct stat& info) {
        std::string target;
        if (!found && S_ISLNK(info.st_mode) && ReadLink(path, target) && IntoWine(target, wine)) found = true;
    };
    WalkDriveC(prefix + "/drive_c", visit);
    return found;
}

bool CopyPrefixTree(const std::string& from, const std::string& to, const WineFiles& wine, bool followLinks) {
    struct stat info;
    if (lstat(from.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if (mkdir(to.c_str(), info.st_mode & 0777) != 0) return false;
    for (const std::string& name : Entries(from)) {
        const std::string source = from + "/" + name;
        const std::string target = to + "/" + name;
        if (lstat(source.c_str(), &info) != 0) return false;
        if (S_ISDIR(info.st_mode)) {
            if (!CopyPrefixTree(source, target, wine, followLinks)) return false;
        } else if (S_ISLNK(info.st_mode)) {
            std::string link;
            if (!ReadLink(source, link)) return false;
            if (followLinks && IntoWine(link, wine)) {
                if (!CopyFile(link, target)) return false;
            } else if (symlink(link.c_str(), target.c_str()) != 0) {
                return false;
            }
        } else if (S_ISREG(info.st_mode)) {
            if (!CopyFile(source, target)) return false;
        }
    }
    return true;
}

bool RemoveTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
    if (!S_ISDIR(info.st_mode)) return unlink(path.c_str()) == 0;
    nftw(path.c_str(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
    return lstat(path.c_str(), &info) != 0 && errno == ENOENT;
}

long long WineInfTime(const WineFiles& wine) {
    struct stat info;
    if (wine.inf.empty() || stat(wine.inf.c_str(), &info) != 0) return -1;
    return static_cast<long long>(info.st_mtime);
}

WineUpdate PrefixUpdate(const std::string& prefix, long long infTime) {
    // Read as Wine reads it: "disable" first, else the leading number, 0 when there is none.
    char buffer[100] = {};
    const int fd = open((prefix + "/.update-timestamp").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return WineUpdate::kDue;
    size_t got = 0;
    const bool read = ReadFull(fd, buffer, sizeof buffer - 1, got);
    close(fd);
    if (!read) return WineUpdate::kDue;
    if (strncmp(buffer, "disable", 7) == 0) return WineUpdate::kDisabled;
    const unsigned long long noted = strtoull(buffer, nullptr, 10);
    return infTime >= 0 && noted == static_cast<unsigned long long>(infTime) ? WineUpdate::kCurrent : WineUpdate::kDue;
}

long long ReadNumberFile(const std::string& path) {
    char buffer[32] = {};
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    size_t got = 0;
    const bool read = ReadFull(fd, buffer, sizeof buffer - 1, got);
    close(fd);
    // Digits and one newline, nothing else: a cut or garbled file is no number.
    if (!read || got < 2 || buffer[got - 1] != '\n') return -1;
    long long value = 0;
    for (size_t i = 0; i + 1 < got; ++i) {
        if (buffer[i] < '0' || buffer[i] > '9' || value > 99999999999999LL) return -1;
        value = value * 10 + (buffer[i] - '0');
    }
    return value;
}

bool WriteNumberFile(const std::string& path, long long value) {
    std::string aside = path + ".XXXXXX";
    const int fd = mkstemp(&aside[0]);
    if (fd < 0) return false;
    const std::string text = std::to_string(value) + "\n";
    fchmod(fd, 0644);
    const bool written = WriteAll(fd, text.data(), text.size());
    if (close(fd) != 0 || !written || rename(aside.c_str(), path.c_str()) != 0) {
        unlink(aside.c_str());
        return false;
    }
    return true;
}
