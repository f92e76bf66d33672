// The shell's results turned into the user's warnings.
#include "launch/launch_text.h"

#include "core/text.h"

bool LaunchResultText(int32_t result, char text[kLaunchTextSize]) {
    text[0] = '\0';
    switch (result) {
        case 2: CopyText(text, kLaunchTextSize, "File/Executable not found.\r\nCheck application setup."); break;
        case 3: CopyText(text, kLaunchTextSize, "Path not found.\r\nCheck application setup."); break;
        case 8: CopyText(text, kLaunchTextSize, "Insufficient memory to start application."); break;
        default:
            if (result > 32) return true;
            CopyText(text, kLaunchTextSize, "ShellExec returned error code: ");
            AppendDecimal(text, kLaunchTextSize, result);
            break;
    }
    return false;
}
