// The words for the shell's answer to an open request. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for the longest warning, the file-not-found one (53 characters).
constexpr size_t kLaunchTextSize = 64;

// True when the result (above 32) means the shell accepted the request; otherwise false, with the
// warning for that result in text.
bool LaunchResultText(int32_t result, char text[kLaunchTextSize]);
