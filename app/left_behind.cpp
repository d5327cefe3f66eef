#include "app/left_behind.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/message_box.h"
#include "services/attachment_name.h"
#include "voice/recorder.h"
#include "voice/voice_file.h"

namespace {

constexpr int kOwnFileTries = 5;  // another start may take a new empty file before we hold it
// The most a recording can hold: the size limit, then the drain of every buffer.
constexpr ULONGLONG kMostFileBytes =
    ULONGLONG{kHeaderBytes} + kMaxDataBytes + ULONGLONG{kRecordBuffers} * kBlockBytes;

// Readable and writable by the recorder, the player and the copies, but never deletable, so
// that no other Kestrune takes it for one left behind.
HANDLE HoldFile(const char* path) {
    return CreateFileA(path, FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// "Www Mmm DD hh:mm" of a file time, in local time.
void FormatWhen(const FILETIME& written, char (&text)[kTimeTextBytes]) {
    SYSTEMTIME utc;
    SYSTEMTIME local;
    tm parts = {};
    const bool usable = FileTimeToSystemTime(&written, &utc) &&
                        SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    if (usable) {
        parts.tm_wday = local.wDayOfWeek;
        parts.tm_mon = local.wMonth - 1;
        parts.tm_mday = local.wDay;
        parts.tm_hour = local.wHour;
        parts.tm_min = local.wMinute;
        parts.tm_year = local.wYear - 1900;
    }
    FormatTimeText(usable ? &parts : nullptr, text);
    text[16] = '\0';  // the seconds and the year go
}

// Opens a file left behind for us alone; false when it is not one of ours that has audio (a
// short one of ours is deleted on the way).
bool TakeLeftBehind(const char* path, LeftBehind* found) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;  // a running Kestrune holds it, or it is not ours to open
    }
    LARGE_INTEGER size;
    BYTE head[kHeaderBytes];
    DWORD read = 0;
    const bool readable = GetFileSizeEx(file, &size) && size.QuadPart >= 0 &&
                          ReadFile(file, head, kHeaderBytes, &read, nullptr) &&
                          read == std::min<ULONGLONG>(size.QuadPart, kHeaderBytes);
    const ULONGLONG length = readable ? static_cast<ULONGLONG>(size.QuadPart) : 0;
    if (!readable || !HasVoiceHeaderLayout(head, read) || length > kMostFileBytes) {
        CloseHandle(file);
        return false;
    }
    if (length < kHeaderBytes + kFrameBytes) {
        // What a Kestrune ended before it recorded leaves: its empty file, or a header alone.
        CloseHandle(file);
        DeleteFileA(path);
        return false;
    }
    // Never trust the sizes left behind: the audio is what the file holds, in whole frames.
    const DWORD dataBytes = WholeFrameBytes(static_cast<DWORD>(length - kHeaderBytes));
    FILETIME written = {};
    const bool haveTime = GetFileTime(file, nullptr, nullptr, &written);
    SetFilePointer(file, static_cast<LONG>(kHeaderBytes + dataBytes), nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CompleteVoiceHeader(file, dataBytes);
    g_flushFile(file);
    if (haveTime) {
        SetFileTime(file, nullptr, nullptr, &written);  // the repair is not a recording
    }
    lstrcpynA(found->path, path, MAX_PATH);
    found->file = file;
    found->written = written;
    found->dataBytes = dataBytes;
    return true;
}

// Makes the file the current recording, as if it had just been recorded, in place of the
// window's own empty one.
bool Adopt(AppState* state, const LeftBehind& found) {
    HANDLE keeper = HoldFile(found.path);
    if (keeper == INVALID_HANDLE_VALUE) {
        return false;  // another start took it meanwhile
    }
    ReleaseVoiceFile(state);
    if (state->tempPath[0] != '\0') {
        DeleteFileA(state->tempPath);
    }
    lstrcpynA(state->tempPath, found.path, MAX_PATH);
    state->keeper = keeper;
    state->dataBytes = found.dataBytes;
    return true;
}

}  // namespace

bool MakeOwnVoiceFile(AppState* state) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    for (int attempt = 0; attempt < kOwnFileTries; ++attempt) {
        char path[MAX_PATH];
        if (GetTempFileNameA(folder, "kes", 0, path) == 0) {
            return false;
        }
        HANDLE keeper = HoldFile(path);
        if (keeper != INVALID_HANDLE_VALUE) {
            lstrcpynA(state->tempPath, path, MAX_PATH);
            state->keeper = keeper;
            return true;
        }
    }
    return false;
}

void ReleaseVoiceFile(AppState* state) {
    if (state->keeper != INVALID_HANDLE_VALUE && state->keeper != nullptr) {
        CloseHandle(state->keeper);
    }
    state->keeper = INVALID_HANDLE_VALUE;
}

// Fixed storage, sorted in place: no container or exception machinery in the exe for this.
int FindLeftBehind(const char* folder, const char* ownPath, LeftBehind* found, int capacity) {
    int count = 0;
    char pattern[MAX_PATH];
    if (snprintf(pattern, sizeof pattern, "%skes*.tmp", folder) >= MAX_PATH) {
        return 0;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        char path[MAX_PATH];
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            snprintf(path, sizeof path, "%s%s", folder, entry.cFileName) >= MAX_PATH ||
            lstrcmpiA(path, ownPath) == 0) {
            continue;
        }
        if (TakeLeftBehind(path, &found[count])) {
            // Newest first: it goes in before the first older one.
            int at = count++;
            for (; at > 0 && CompareFileTime(&found[at - 1].written, &found[at].written) < 0;
                 --at) {
                std::swap(found[at - 1], found[at]);
            }
        }
    } while (count < capacity && FindNextFileA(search, &entry));
    FindClose(search);
    return count;
}

bool OfferLeftBehind(AppState* state) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    bool adopted = false;
    LeftBehind files[kMostLeftBehind];
    const int count = FindLeftBehind(folder, state->tempPath, files, kMostLeftBehind);
    for (int index = 0; index < count; ++index) {
        const LeftBehind& found = files[index];
        if (adopted) {
            CloseHandle(found.file);  // one recording at a time: the rest wait for the next start
            continue;
        }
        char duration[kTimeReadoutBytes];
        FormatTimeReadout(SecondsFromBytes(found.dataBytes), duration);
        char when[kTimeTextBytes];
        FormatWhen(found.written, when);
        char text[256];
        snprintf(text, sizeof text,
                 "Kestrune found a recording that was left behind (%s long, made %s).\n\n"
                 "Open it? No deletes it; Cancel keeps it for later.",
                 duration, when);
        const int answer =
            ShowMessageBox(state->dialog, text, "Kestrune", MB_YESNOCANCEL | MB_ICONQUESTION);
        CloseHandle(found.file);
        if (answer == IDYES) {
            adopted = Adopt(state, found);
        } else if (answer == IDNO) {
            DeleteFileA(found.path);
        }
    }
    return adopted;
}
