#include "base/disk.h"

WriteFileFn g_writeFile = WriteFile;
FlushFileFn g_flushFile = FlushFileBuffers;
DiskFreeSpaceFn g_diskFreeSpace = GetDiskFreeSpaceExW;

bool IsDiskFullError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

bool FreeBytesBeside(const WCHAR* path, ULONGLONG* bytes) {
    // The file's folder, with its backslash: the system answers for folders only, and a share's
    // folder must end in one.
    WCHAR folder[MAX_PATH];
    int cut = -1;
    int at = 0;
    for (; path[at] != L'\0' && at < MAX_PATH - 1; ++at) {
        folder[at] = path[at];
        if (path[at] == L'\\') {
            cut = at + 1;
        }
    }
    if (cut < 0 || path[at] != L'\0') {
        return false;
    }
    folder[cut] = L'\0';
    ULARGE_INTEGER available;
    if (!g_diskFreeSpace(folder, &available, nullptr, nullptr)) {
        return false;
    }
    *bytes = available.QuadPart;
    return true;
}
