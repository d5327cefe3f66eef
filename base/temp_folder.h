// The user's temporary folder, where the voice file lives and the hand-over copies go.
#pragma once
#include <windows.h>

// The folder, ending in a backslash. False when the system cannot say or the path does not fit.
bool GetTempFolder(WCHAR (&folder)[MAX_PATH]);
