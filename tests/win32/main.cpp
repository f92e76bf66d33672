// The in-process Win32 tests: real user32 under Wine, this program's own resources.
#include <gtest/gtest.h>
#include <windows.h>

#include "core/app.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    gApp.instance = GetModuleHandleA(nullptr);
    return RUN_ALL_TESTS();
}
