// The launcher's warnings for the shell's results, and the clock's text.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "launch/clock_text.h"
#include "launch/launch_text.h"

namespace {

TEST(LaunchText, EachResultHasItsWarning) {
    struct Case {
        int32_t result;
        const char* text;
    };
    const Case cases[] = {
        {2, "File/Executable not found.\r\nCheck application setup."},
        {3, "Path not found.\r\nCheck application setup."},  // Windows: a missing folder in the path (Wine answers 2)
        {8, "Insufficient memory to start application."},
        {31, "ShellExec returned error code: 31"},
        {32, "ShellExec returned error code: 32"},
        {0, "ShellExec returned error code: 0"},
        {-5, "ShellExec returned error code: -5"},
        {INT32_MIN, "ShellExec returned error code: -2147483648"},
    };
    for (const Case& c : cases) {
        char text[kLaunchTextSize];
        EXPECT_FALSE(LaunchResultText(c.result, text)) << c.result;
        EXPECT_STREQ(text, c.text);
    }
}

TEST(LaunchText, AboveThirtyTwoIsSuccess) {
    for (int32_t result : {33, 42, INT32_MAX}) {
        char text[kLaunchTextSize];
        EXPECT_TRUE(LaunchResultText(result, text)) << result;
    }
}

TEST(ClockText, TwelveHourTimeWithoutLeadingZero) {
    struct Case {
        int hour, minute;
        const char* text;
    };
    const Case cases[] = {
        {12, 0, "12:00 PM"}, {0, 7, "12:07 AM"}, {13, 5, "1:05 PM"}, {9, 5, "9:05 AM"},
        {23, 59, "11:59 PM"}, {11, 59, "11:59 AM"}, {10, 30, "10:30 AM"}, {0, 0, "12:00 AM"},
    };
    for (const Case& c : cases) {
        char text[kClockTextSize];
        FormatClockText(c.hour, c.minute, text);
        EXPECT_STREQ(text, c.text) << c.hour << ":" << c.minute;
    }
}

TEST(ClockText, NeverWritesPastTenBytes) {
    // Out-of-range values (a broken clock source) still give a short, terminated text.
    for (int hour : {-1, 24, 99, INT_MAX, INT_MIN}) {
        for (int minute : {-1, 60, 99, INT_MIN}) {
            char text[kClockTextSize + 4];
            memset(text, 'Z', sizeof text);
            FormatClockText(hour, minute, text);
            EXPECT_LE(strlen(text), kClockTextSize - 1);
            EXPECT_EQ(text[kClockTextSize], 'Z');
        }
    }
}

}  // namespace
