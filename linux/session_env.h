// The desktop session's environment across Wine. Wine rewrites the environment it hands the Linux
// programs it starts (it adds WINEPREFIX, windir and the like, replaces USERNAME, appends to WINEPATH,
// and carries every value through UTF-16, which loses bytes that are not UTF-8), so kelmar-run records
// the session's environment in a file before Wine starts, and start-app gives the application exactly
// that. A record holds the entries "NAME=VALUE" as they were, each ended by a NUL byte.
#pragma once

#include <string>
#include <vector>

// The variable by which kelmar-run tells the programs under Wine where the record is.
constexpr const char* kRecordVariable = "KELMAR_SESSION_RECORD";

std::string RecordOf(const std::vector<std::string>& environment);
std::vector<std::string> EntriesOfRecord(const std::string& record);

// Where kelmar-run records the session of a data folder: in runtimeDir (XDG_RUNTIME_DIR, private to the
// user and gone at log-out) when there is one, else in the data folder.
std::string RecordPath(const std::string& runtimeDir, const std::string& dataFolder);

// Writes a record readable by the user alone, aside and moved into place; false on failure.
bool WriteRecord(const std::string& path, const std::string& record);
bool ReadRecord(const std::string& path, std::string& record);
// Reads a descriptor to its end into data and closes it; false on a read error.
bool ReadToEnd(int fd, std::string& data);
// Writes all of data to a descriptor, through short writes and interruptions; false on an error.
bool WriteAll(int fd, const char* data, size_t size);

// The session's environment for an application started now: the record less the variables that
// described Kelmar's own start (its startup id, its activation token); GIO sets the application's own.
std::vector<std::string> ForApplication(const std::vector<std::string>& session);

// An environment less the variables Wine adds to it, for a start-app run without a record.
std::vector<std::string> WithoutWine(const std::vector<std::string>& environment);

// An environment with the settings ("NAME=VALUE") in place of its own values of those names.
std::vector<std::string> WithSettings(const std::vector<std::string>& environment, const std::vector<std::string>& settings);

// The value of a variable in entries; false when it is not there.
bool FindVariable(const std::vector<std::string>& entries, const std::string& name, std::string& value);

// The process's environment as entries, and replacing it by others exactly as they are.
std::vector<std::string> CurrentEnvironment();
void ReplaceEnvironment(const std::vector<std::string>& entries);

// Kelmar's data folder as the session names it: $XDG_DATA_HOME/kelmar when that is an absolute path, else
// ~/.local/share/kelmar ($HOME, else the user's home folder in the password database); empty without one.
std::string DataFolder();
