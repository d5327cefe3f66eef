#include "services/snapshot.h"

#include <strsafe.h>

#include "base/temp_folder.h"
#include "voice/voice_store.h"

namespace {

constexpr int kMaxNumber = 99;
constexpr ULONGLONG kFileTimeTicksPerDay = 24ULL * 60 * 60 * 10000000;

// %TEMP%\Kestrune, without a trailing backslash.
bool SnapshotFolder(WCHAR (&folder)[MAX_PATH]) {
    WCHAR temp[MAX_PATH];
    return GetTempFolder(temp) &&
           SUCCEEDED(StringCchPrintfW(folder, MAX_PATH, L"%sKestrune", temp));
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// <name> for the first try, then <stem>-<number><extension>.
bool NumberedPath(const WCHAR* folder, const WCHAR* name, int number, WCHAR (&path)[MAX_PATH]) {
    if (number < 2) {
        return SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", folder, name));
    }
    const WCHAR* dot = nullptr;
    const WCHAR* end = name;
    for (; *end != L'\0'; ++end) {
        if (*end == L'.') {
            dot = end;
        }
    }
    const int stem = static_cast<int>((dot != nullptr ? dot : end) - name);
    return SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s\\%.*s-%d%s", folder, stem, name, number,
                                      name + stem));
}

}  // namespace

bool MakeSnapshotFolder(WCHAR (&folder)[MAX_PATH]) {
    return SnapshotFolder(folder) &&
           (CreateDirectoryW(folder, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
}

HANDLE CreateSnapshot(const WCHAR* name, WCHAR (&path)[MAX_PATH]) {
    WCHAR folder[MAX_PATH];
    if (!MakeSnapshotFolder(folder)) {
        return INVALID_HANDLE_VALUE;
    }
    RemoveOldSnapshots();
    for (int number = 1; number <= kMaxNumber; ++number) {
        if (!NumberedPath(folder, name, number, path)) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return INVALID_HANDLE_VALUE;
        }
        HANDLE file = CreateFileW(path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool CopyFileBytes(HANDLE from, HANDLE to) {
    char chunk[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(from, chunk, sizeof chunk, &read, nullptr)) {
            return false;
        }
        if (read == 0) {
            return true;
        }
        DWORD written = 0;
        if (!WriteFile(to, chunk, read, &written, nullptr)) {
            return false;
        }
        if (written != read) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
    }
}

bool CopyWholeFile(const WCHAR* from, const WCHAR* to, DWORD disposition) {
    HANDLE source = OpenVoiceFile(from, VoiceFileUse::Copy);
    if (source == INVALID_HANDLE_VALUE) {
        return false;
    }
    HANDLE target =
        CreateFileW(to, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(source);
        SetLastError(error);
        return false;
    }
    bool ok = CopyFileBytes(source, target);
    DWORD error = ok ? 0 : GetLastError();
    // A close can be where a full disk shows.
    if (!CloseHandle(target) && ok) {
        ok = false;
        error = GetLastError();
    }
    CloseHandle(source);
    if (!ok) {
        DeleteFileW(to);
        SetLastError(error);
    }
    return ok;
}

void RemoveOldSnapshots() {
    WCHAR folder[MAX_PATH];
    WCHAR pattern[MAX_PATH];
    if (!SnapshotFolder(folder) ||
        FAILED(StringCchPrintfW(pattern, MAX_PATH, L"%s\\voice-message-*.wav", folder))) {
        return;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const ULONGLONG written = Ticks(found.ftLastWriteTime);
        WCHAR path[MAX_PATH];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            Ticks(now) > written + kFileTimeTicksPerDay &&
            SUCCEEDED(StringCchPrintfW(path, MAX_PATH, L"%s\\%s", folder, found.cFileName))) {
            // One still open in a mail program stays until the next time.
            DeleteFileW(path);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
