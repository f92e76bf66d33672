// The session's environment, recorded before Wine and given back after it.
#include "linux/session_env.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

std::string NameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

}  // namespace

std::string RecordOf(const std::vector<std::string>& environment) {
    std::string record;
    for (const std::string& entry : environment) {
        record += entry;
        record.push_back('\0');
    }
    return record;
}

std::vector<std::string> EntriesOfRecord(const std::string& record) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < record.size()) {
        size_t end = record.find('\0', start);
        if (end == std::string::npos) end = record.size();
        if (end > start) entries.push_back(record.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::string RecordPath(const std::string& runtimeDir, const std::string& dataFolder) {
    if (runtimeDir.empty() || runtimeDir[0] != '/') return dataFolder + "/session.env";
    // One record for each data folder that may run at the same time: a hash of its path names it.
    uint64_t hash = 14695981039346656037ull;
    for (unsigned char c : dataFolder) hash = (hash ^ c) * 1099511628211ull;
    char name[40];
    snprintf(name, sizeof name, "/kelmar-%016llx.env", static_cast<unsigned long long>(hash));
    return runtimeDir + name;
}

bool WriteRecord(const std::string& path, const std::string& record) {
    std::string aside = path + ".XXXXXX";
    const int fd = mkstemp(&aside[0]);  // mode 0600
    if (fd < 0) return false;
    const bool written = WriteAll(fd, record.data(), record.size());
    if (close(fd) != 0 || !written || rename(aside.c_str(), path.c_str()) != 0) {
        unlink(aside.c_str());
        return false;
    }
    return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool ReadToEnd(int fd, std::string& data) {
    data.clear();
    char buffer[8192];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        data.append(buffer, static_cast<size_t>(got));
    }
    close(fd);
    return got == 0;
}

bool ReadRecord(const std::string& path, std::string& record) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    return ReadToEnd(fd, record);
}

std::vector<std::string> ForApplication(const std::vector<std::string>& session) {
    std::vector<std::string> result;
    for (const std::string& entry : session) {
        const std::string name = NameOf(entry);
        if (name == "DESKTOP_STARTUP_ID" || name == "XDG_ACTIVATION_TOKEN") continue;
        result.push_back(entry);
    }
    return result;
}

std::vector<std::string> WithoutWine(const std::vector<std::string>& environment) {
    // What Wine sets for the programs it starts, and what kelmar-run sets for Wine.
    static const char* const kWineNames[] = {
        "WINEPREFIX", "WINELOADER", "WINESERVER", "WINEDEBUG", "WINEDLLOVERRIDES", "WINEDLLPATH",
        "WINELOADERNOEXEC", "WINEPRELOADRESERVE", "WINEUSERNAME", "WINECONFIGDIR", "WINEDATADIR",
        "WINEHOMEDIR", "WINEBUILDDIR", "WINEUNIXCP", "WINE_HOST_XDG_CURRENT_DESKTOP", kRecordVariable,
        "windir", "winsysdir", "SystemRoot", "SystemDrive", "ComSpec", "COMSPEC", "PATHEXT", "ALLUSERSPROFILE",
        "APPDATA", "LOCALAPPDATA", "ProgramData", "PROGRAMDATA", "ProgramFiles", "ProgramFiles(x86)",
        "ProgramW6432", "CommonProgramFiles", "CommonProgramFiles(x86)", "CommonProgramW6432", "PUBLIC",
        "USERPROFILE", "USERDOMAIN", "COMPUTERNAME", "OS", "PROCESSOR_ARCHITECTURE", "PROCESSOR_IDENTIFIER",
        "PROCESSOR_LEVEL", "PROCESSOR_REVISION", "NUMBER_OF_PROCESSORS", "HOMEDRIVE", "HOMEPATH",
        "LOGONSERVER", "SESSIONNAME", "CLIENTNAME", "DriverData", "WINETEMP", "WINETMP"};
    std::vector<std::string> result;
    for (const std::string& entry : environment) {
        const std::string name = NameOf(entry);
        bool wine = false;
        for (const char* wineName : kWineNames) wine = wine || name == wineName;
        if (!wine) result.push_back(entry);
    }
    return result;
}

std::vector<std::string> WithSettings(const std::vector<std::string>& environment, const std::vector<std::string>& settings) {
    std::vector<std::string> result;
    for (const std::string& entry : environment) {
        bool replaced = false;
        for (const std::string& setting : settings) replaced = replaced || NameOf(setting) == NameOf(entry);
        if (!replaced) result.push_back(entry);
    }
    result.insert(result.end(), settings.begin(), settings.end());
    return result;
}

bool FindVariable(const std::vector<std::string>& entries, const std::string& name, std::string& value) {
    for (const std::string& entry : entries) {
        if (entry.size() > name.size() && entry[name.size()] == '=' && entry.compare(0, name.size(), name) == 0) {
            value = entry.substr(name.size() + 1);
            return true;
        }
    }
    return false;
}

std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) entries.emplace_back(*entry);
    return entries;
}

void ReplaceEnvironment(const std::vector<std::string>& entries) {
    // environ is set as a whole, so that names setenv refuses (with a newline, say) stay as they were.
    // The strings live as long as the process.
    char** table = static_cast<char**>(calloc(entries.size() + 1, sizeof(char*)));
    if (table == nullptr) return;
    for (size_t i = 0; i < entries.size(); ++i) table[i] = strdup(entries[i].c_str());
    environ = table;
}

std::string DataFolder() {
    const char* data = getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') return std::string(data) + "/kelmar";
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const struct passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == '\0') return std::string();
    return std::string(home) + "/.local/share/kelmar";
}
