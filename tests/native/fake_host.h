// Recording stand-ins for the host functions, for the native tests.
#pragma once

#include <string>
#include <vector>

#include "catalogue/records.h"

struct FakeHost {
    std::vector<std::string> warnings;
    std::string windowsDir = "C:\\WINDOWS";
    int codePage = 0;  // the ANSI code page whose characters CharBytes counts; 0: a character per byte
    bool failTempFile = false;
    bool failCommit = false;
    bool failReplace = false;
    bool keepSourceOnReplace = false;  // the replace fails with the target moved aside for good
    Catalogue* releaseOnFatal = nullptr;  // what the program's fatal path would release
    size_t heapBeforeLoad = 0;            // heap in use before a load that must end fatally
};

// Heap bytes in use now, as the sanitizer's allocator counts them.
size_t HeapInUse();

extern FakeHost gHost;

// Resets the recorder to its defaults.
void ResetFakeHost();
