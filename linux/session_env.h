// The desktop session's environment across Wine. Wine hands the Linux programs it starts its own
// Windows environment (WINEPREFIX, windir, APPDATA, OS=Windows_NT, ...), so kelmar-run notes the session's
// variable names and the session's values of what it sets for Wine, and start-app gives the programs that
// Kelmar starts the session's environment back. Entries are "NAME=VALUE".
#pragma once

#include <string>
#include <vector>

// The environment for Wine: the session's, noted in KELMAR_SESSION (names) and KELMAR_SESSION_<NAME>
// (the session's value of each overridden name), with the overrides set.
std::vector<std::string> NoteSession(const std::vector<std::string>& session, const std::vector<std::string>& overrides);

// The session's environment again from one that NoteSession made and Wine passed on: only the noted names,
// each overridden one with the session's value (or gone when the session had none). An environment with no
// note comes back as it is.
std::vector<std::string> RestoreSession(const std::vector<std::string>& environment);

// The process's environment as entries, and replacing it by others.
std::vector<std::string> CurrentEnvironment();
void ReplaceEnvironment(const std::vector<std::string>& entries);
