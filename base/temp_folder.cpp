#include "base/temp_folder.h"

bool GetTempFolder(WCHAR (&folder)[MAX_PATH]) {
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    // A length of MAX_PATH or more is the size needed: nothing usable was written.
    return length != 0 && length < MAX_PATH;
}
