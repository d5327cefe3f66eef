#include "services/help_path.h"

#include <cstdio>
#include <cstring>

bool HelpPathFromExePath(const char* exePath, char (&helpPath)[MAX_PATH]) {
    const char* lastBackslash = strrchr(exePath, '\\');
    if (lastBackslash == nullptr) {
        return false;
    }
    const int folderLength = static_cast<int>(lastBackslash - exePath);
    const int written =
        snprintf(helpPath, sizeof helpPath, "%.*s\\help\\help.htm", folderLength, exePath);
    // A cut-off path would name some other file.
    return written > 0 && written < static_cast<int>(sizeof helpPath);
}
