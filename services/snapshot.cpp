#include "services/snapshot.h"

#include <strsafe.h>

#include "app/app_state.h"
#include "base/message_box.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "res/texts.h"
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
        DeleteFileW(to);
    }
    return ok;
}

bool MakeSnapshot(const WCHAR* voicePath, const WCHAR* name, WCHAR (&snapshot)[MAX_PATH]) {
    WCHAR folder[MAX_PATH];
    if (!SnapshotFolder(folder)) {
        return false;
    }
    if (!CreateDirectoryW(folder, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
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

void ReportSnapshotFailed() {
    ShowMessageBox(g_mainWindow, LoadText(IDS_ERROR_COPY_FILE).chars, nullptr, MB_OK);
}
