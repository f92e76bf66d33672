// The data folder's lock, as fcntl record locks.
#include "linux/data_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

bool SetLock(int fd, short type, int command) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    while (fcntl(fd, command, &lock) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

int OpenDataLock(const char* folder) {
    const std::string path = std::string(folder) + "/" + kLockFile;
    return open(path.c_str(), O_RDWR | O_CREAT, 0644);
}

bool LockShared(int fd) {
    return SetLock(fd, F_RDLCK, F_SETLKW);
}

bool TryLockAlone(int fd) {
    return SetLock(fd, F_WRLCK, F_SETLK);
}
