// Where the help page lies: help\<language>\help.htm in the executable's folder, or
// help\help.htm for English. Pure text work.
#pragma once
#include <windows.h>

// The help page's path for an executable's full path and the language's folder (empty for
// English). False, with nothing usable in helpPath, when the path has no backslash or the
// page's path would not fit.
bool HelpPathFromExePath(const WCHAR* exePath, const WCHAR* language, WCHAR (&helpPath)[MAX_PATH]);
