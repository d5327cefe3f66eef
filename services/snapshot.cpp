#include "services/snapshot.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "base/message_box.h"
#include "base/temp_folder.h"
#include "voice/voice_store.h"

namespace {

constexpr int kMaxNumber = 99;
constexpr ULONGLONG kFileTimeTicksPerDay = 24ULL * 60 * 60 * 10000000;

// %TEMP%\Kestrune, without a trailing backslash.
bool SnapshotFolder(char (&folder)[MAX_PATH]) {
    char temp[MAX_PATH];
    if (!GetTempFolder(temp)) {
        return false;
    }
    const int written = snprintf(folder, sizeof folder, "%sKestrune", temp);
    return written > 0 && written < static_cast<int>(sizeof folder);
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// <name> for the first try, then <stem>-<number><extension>.
bool NumberedPath(const char* folder, const char* name, int number, char (&path)[MAX_PATH]) {
    int written = 0;
    if (number < 2) {
        written = snprintf(path, sizeof path, "%s\\%s", folder, name);
    } else {
        const char* dot = strrchr(name, '.');
        const int stem =
            dot != nullptr ? static_cast<int>(dot - name) : static_cast<int>(strlen(name));
        written =
            snprintf(path, sizeof path, "%s\\%.*s-%d%s", folder, stem, name, number, name + stem);
    }
    return written > 0 && written < static_cast<int>(sizeof path);
}

}  // namespace

bool CopyWholeFile(const char* from, const char* to, DWORD disposition) {
    HANDLE source = OpenVoiceFile(from, VoiceFileUse::Copy);
    if (source == INVALID_HANDLE_VALUE) {
        return false;
    }
    HANDLE target =
        CreateFileA(to, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        CloseHandle(source);
        SetLastError(error);
        return false;
    }
    bool ok = true;
    char chunk[16384];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(source, chunk, sizeof chunk, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) {
            break;
        }
        DWORD written = 0;
        if (!WriteFile(target, chunk, read, &written, nullptr) || written != read) {
            ok = false;
            break;
        }
    }
    // A close can be where a full disk shows.
    if (!CloseHandle(target)) {
        ok = false;
    }
    CloseHandle(source);
    if (!ok) {
        DeleteFileA(to);
    }
    return ok;
}

bool MakeSnapshot(const char* voicePath, const char* name, char (&snapshot)[MAX_PATH]) {
    char folder[MAX_PATH];
    if (!SnapshotFolder(folder)) {
        return false;
    }
    if (!CreateDirectoryA(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    RemoveOldSnapshots();
    for (int number = 1; number <= kMaxNumber; ++number) {
        if (!NumberedPath(folder, name, number, snapshot)) {
            return false;
        }
        if (CopyWholeFile(voicePath, snapshot, CREATE_NEW)) {
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    return false;
}

void RemoveOldSnapshots() {
    char folder[MAX_PATH];
    char pattern[MAX_PATH];
    if (!SnapshotFolder(folder) || snprintf(pattern, sizeof pattern, "%s\\voice-message-*.wav",
                                            folder) >= static_cast<int>(sizeof pattern)) {
        return;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const ULONGLONG written = Ticks(found.ftLastWriteTime);
        char path[MAX_PATH];
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
            Ticks(now) > written + kFileTimeTicksPerDay &&
            snprintf(path, sizeof path, "%s\\%s", folder, found.cFileName) <
                static_cast<int>(sizeof path)) {
            // One still open in a mail program stays until the next time.
            DeleteFileA(path);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void ReportSnapshotFailed() {
    ShowMessageBox(g_mainWindow, "Failed to copy temporary file", nullptr, MB_OK);
}
