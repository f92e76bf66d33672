// The host functions of the portable catalogue code for kelmar-import: messages go to standard error,
// characters are those of the bar's code page, and a save is written aside and moved into place with
// rename(2), as Kelmar itself saves.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/host.h"
#include "linux/ansi_chars.h"

bool gHostWarned = false;
int gHostCodePage = 0;  // the bar's ANSI code page once known; 0: a character per byte

namespace {

// A box's text on one line.
void Say(const char* text) {
    std::string line = text;
    for (size_t at = line.find("\r\n"); at != std::string::npos; at = line.find("\r\n", at)) line.replace(at, 2, " ");
    fprintf(stderr, "kelmar: %s\n", line.c_str());
}

}  // namespace

void WarnBox(const char* text) {
    gHostWarned = true;
    Say(text);
}

void FatalError(const char* text) {
    Say(text);
    exit(1);
}

bool GetWindowsDir(char* out, size_t size) {
    if (size > 0) out[0] = '\0';
    return false;
}

size_t CharBytes(const char* text, size_t available) {
    return AnsiCharBytes(gHostCodePage, text, available);
}

bool MakeTempFileIn(const char* dir, char* out, size_t size) {
    const std::string pattern = std::string(dir) + "/.apps.dat.XXXXXX";
    if (pattern.size() >= size) return false;
    pattern.copy(out, pattern.size());
    out[pattern.size()] = '\0';
    const int fd = mkstemp(out);
    if (fd < 0) return false;
    fchmod(fd, 0644);
    close(fd);
    return true;
}

bool CommitFile(FILE* file) {
    return fsync(fileno(file)) == 0;
}

ReplaceResult ReplaceFileWith(const char* source, const char* target) {
    return rename(source, target) == 0 ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
}
