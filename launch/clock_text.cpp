// The clock's text.
#include "launch/clock_text.h"

void FormatClockText(int hour, int minute, char text[kClockTextSize]) {
    hour = ((hour % 24) + 24) % 24;
    minute = ((minute % 60) + 60) % 60;
    const int twelveHour = hour % 12 == 0 ? 12 : hour % 12;
    char* out = text;
    if (twelveHour >= 10) *out++ = '1';
    *out++ = static_cast<char>('0' + twelveHour % 10);
    *out++ = ':';
    *out++ = static_cast<char>('0' + minute / 10);
    *out++ = static_cast<char>('0' + minute % 10);
    *out++ = ' ';
    *out++ = hour < 12 ? 'A' : 'P';
    *out++ = 'M';
    *out = '\0';
}
