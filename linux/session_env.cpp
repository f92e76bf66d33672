// The session's environment, noted before Wine and given back after it.
#include "linux/session_env.h"

#include <cstdlib>
#include <set>

extern char** environ;

namespace {

constexpr const char* kNames = "KELMAR_SESSION";
constexpr const char* kValuePrefix = "KELMAR_SESSION_";

std::string NameOf(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

std::string ValueOf(const std::string& entry) {
    const size_t equals = entry.find('=');
    return equals == std::string::npos ? std::string() : entry.substr(equals + 1);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

std::vector<std::string> NoteSession(const std::vector<std::string>& session, const std::vector<std::string>& overrides) {
    std::set<std::string> overridden;
    for (const std::string& entry : overrides) overridden.insert(NameOf(entry));
    std::vector<std::string> result;
    std::string names;
    for (const std::string& entry : session) {
        const std::string name = NameOf(entry);
        if (name.empty() || StartsWith(name, kNames)) continue;  // a note of an outer run is not the session's
        // Names are separated by newlines, which no variable's name holds.
        names += (names.empty() ? "" : "\n") + name;
        if (overridden.count(name) != 0) {
            result.push_back(kValuePrefix + entry);
        } else {
            result.push_back(entry);
        }
    }
    result.push_back(std::string(kNames) + "=" + names);
    for (const std::string& entry : overrides) result.push_back(entry);
    return result;
}

std::vector<std::string> RestoreSession(const std::vector<std::string>& environment) {
    const std::string namesPrefix = std::string(kNames) + "=";
    const std::string* note = nullptr;
    for (const std::string& entry : environment) {
        if (StartsWith(entry, namesPrefix)) note = &entry;
    }
    if (note == nullptr) return environment;

    std::set<std::string> names;
    const std::string list = ValueOf(*note);
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) names.insert(list.substr(start, end - start));
        start = end + 1;
    }
    std::vector<std::string> result;
    std::set<std::string> restored;
    for (const std::string& entry : environment) {
        if (StartsWith(entry, kValuePrefix)) {
            const std::string original = entry.substr(std::string(kValuePrefix).size());
            if (names.count(NameOf(original)) != 0) {
                result.push_back(original);
                restored.insert(NameOf(original));
            }
        }
    }
    for (const std::string& entry : environment) {
        const std::string name = NameOf(entry);
        if (StartsWith(name, kNames) || names.count(name) == 0 || restored.count(name) != 0) continue;
        result.push_back(entry);
    }
    return result;
}

std::vector<std::string> CurrentEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) entries.emplace_back(*entry);
    return entries;
}

void ReplaceEnvironment(const std::vector<std::string>& entries) {
    clearenv();
    for (const std::string& entry : entries) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos || equals == 0) continue;
        setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
    }
}
