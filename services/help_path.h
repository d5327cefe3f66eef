// Where the help page lies: help\help.htm in the executable's folder. Pure text work.
#pragma once
#include <windows.h>

// The help page's path for an executable's full path. False, with nothing usable in helpPath,
// when the path has no backslash or the page's path would not fit.
bool HelpPathFromExePath(const char* exePath, char (&helpPath)[MAX_PATH]);
