// The lock of a data folder, "kelmar.lock": each running Kelmar holds it shared (kelmar-run takes it and
// keeps it across exec into Wine); an import holds it alone. It is a POSIX record lock, which belongs to
// the process: the programs Wine starts inherit the descriptor but not the lock, so nothing that Kelmar
// started keeps the folder locked after Kelmar has ended.
#pragma once

constexpr const char* kLockFile = "kelmar.lock";

// Opens (creating) the lock file in folder, left open across exec; -1 on failure.
int OpenDataLock(const char* folder);

// Waits for the shared lock; false on failure.
bool LockShared(int fd);

// Takes the lock alone without waiting; false when any Kelmar or import holds it.
bool TryLockAlone(int fd);
