// The time as the bar shows it: "9:05 AM", "12:30 PM", whatever the user's locale. Portable.
#pragma once

#include <cstddef>

constexpr size_t kClockTextSize = 10;

// hour 0..23, minute 0..59: hour 1 to 12 without a leading zero, ":", two-digit minutes, " AM" or " PM".
// Values out of range are brought into range, so the text never outgrows its 10 bytes.
void FormatClockText(int hour, int minute, char text[kClockTextSize]);
