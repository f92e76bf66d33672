// Host functions for the native tests: warnings are recorded; a fatal error releases the catalogue as the
// program does and exits with code 1, or with 2 when the heap is not back where the load began (a leak).
#include "tests/native/fake_host.h"

extern "C" size_t __sanitizer_get_current_allocated_bytes();  // from the sanitizer runtime
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalogue/catalogue_file.h"
#include "core/host.h"
#include "linux/ansi_chars.h"

FakeHost gHost;

void ResetFakeHost() {
    gHost = FakeHost();
}

void WarnBox(const char* text) {
    gHost.warnings.emplace_back(text);
}

void FatalError(const char* text) {
    fprintf(stderr, "FATAL: %s\n", text);
    CloseCatalogueStream();  // as the program does: the loader leaves its stream to the fatal path
    if (gHost.releaseOnFatal != nullptr) FreeCatalogue(*gHost.releaseOnFatal);
    if (gHost.heapBeforeLoad != 0 && HeapInUse() != gHost.heapBeforeLoad) {
        fprintf(stderr, "LEAK: %zu bytes\n", HeapInUse() - gHost.heapBeforeLoad);
        _exit(2);
    }
    _exit(1);  // not exit(): the sanitizers' own exit code would hide the one chosen here
}

size_t HeapInUse() {
    return __sanitizer_get_current_allocated_bytes();
}

bool GetWindowsDir(char* out, size_t size) {
    if (gHost.windowsDir.size() >= size) return false;
    strcpy(out, gHost.windowsDir.c_str());
    return true;
}

size_t CharBytes(const char* text, size_t available) {
    return AnsiCharBytes(gHost.codePage, text, available);
}

bool MakeTempFileIn(const char* dir, char* out, size_t size) {
    if (gHost.failTempFile) return false;
    std::string pattern = std::string(dir) + "/kelXXXXXX";
    if (pattern.size() >= size) return false;
    strcpy(out, pattern.c_str());
    int fd = mkstemp(out);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool CommitFile(FILE* file) {
    return !gHost.failCommit && fsync(fileno(file)) == 0;
}

ReplaceResult ReplaceFileWith(const char* source, const char* target) {
    if (gHost.keepSourceOnReplace) return ReplaceResult::kSourceKept;
    return !gHost.failReplace && rename(source, target) == 0 ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
}
