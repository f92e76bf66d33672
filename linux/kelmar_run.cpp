// kelmar-run LOCKFOLDER [NAME=VALUE...] -- PROGRAM [ARG...]: runs PROGRAM (Wine with Kelmar) in place of
// itself, with the variables set, holding the data folder's lock shared for as long as it runs, and with
// the session's environment noted for start-app. The launcher execs it, so it adds no process.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "linux/data_lock.h"
#include "linux/session_env.h"

int main(int argc, char** argv) {
    int separator = 2;
    while (separator < argc && strcmp(argv[separator], "--") != 0) ++separator;
    if (argc < 2 || separator + 1 >= argc) {
        fprintf(stderr, "usage: kelmar-run LOCKFOLDER [NAME=VALUE...] -- PROGRAM [ARG...]\n");
        return 1;
    }
    const int fd = OpenDataLock(argv[1]);
    if (fd < 0 || !LockShared(fd)) {
        fprintf(stderr, "kelmar: cannot lock %s/%s: %s\n", argv[1], kLockFile, strerror(errno));
        return 1;
    }
    std::vector<std::string> overrides(argv + 2, argv + separator);
    ReplaceEnvironment(NoteSession(CurrentEnvironment(), overrides));
    execv(argv[separator + 1], argv + separator + 1);
    fprintf(stderr, "kelmar: cannot run %s: %s\n", argv[separator + 1], strerror(errno));
    return 1;
}
