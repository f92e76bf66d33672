// The launcher and the clock.
#include "launch/launcher.h"

#include <shellapi.h>

#include "core/app.h"
#include "launch/clock_text.h"
#include "launch/launch_text.h"
#include "resources/resource.h"

// The platform's local time rather than the C runtime's: under Wine the runtime ignores a Linux-style TZ
// and gives UTC, where GetLocalTime follows the zone; on Windows the two agree.
void(WINAPI* gLocalTimeSource)(SYSTEMTIME* now) = GetLocalTime;
bool (*gChimeHook)(const char* path) = PlayChime;

bool LaunchApp(const AppEntry& app) {
    const INT_PTR result =
        reinterpret_cast<INT_PTR>(ShellExecuteA(gApp.bar, "open", app.path, app.params, app.workDir, SW_RESTORE));
    // The answer is pointer-sized: any value above 32 is success, also one that would not fit in 32 bits.
    if (result > 32) return true;
    char text[kLaunchTextSize];
    LaunchResultText(static_cast<int32_t>(result < INT32_MIN ? INT32_MIN : result), text);
    WarnBox(text);
    return false;
}

bool UpdateClock() {
    SYSTEMTIME now;
    gLocalTimeSource(&now);  // local time in the system's current time zone
    char text[kClockTextSize];
    FormatClockText(now.wHour, now.wMinute, text);
    if (!ModifyMenuA(gApp.barMenu, CMD_TIME, MF_BYCOMMAND | MF_STRING | MF_DISABLED | MF_HELP, CMD_TIME, text)) {
        return false;
    }
    DrawMenuBar(gApp.bar);
    if (gApp.chimeOnHour != 0 && now.wMinute == 0) gChimeHook(gApp.chimeWav);
    return true;
}

bool PlayChime(const char* /*path*/) {
    return true;
}
