#include "voice/voice_store.h"

#include <strsafe.h>

#include <algorithm>

#include "base/temp_folder.h"
#include "voice/recorder.h"
#include "voice/voice_file.h"

namespace {

constexpr int kOwnFileTries = 5;  // another start may take a new empty file before we hold it
// The most a recording can hold: the size limit, then the drain of every buffer.
constexpr ULONGLONG kMostFileBytes =
    ULONGLONG{kHeaderBytes} + kMaxDataBytes + ULONGLONG{kRecordBuffers} * kBlockBytes;

struct OpenRule {
    DWORD access;
    DWORD sharing;
    DWORD disposition;
    DWORD flags;
};

// By VoiceFileUse; the rules are explained in the header.
constexpr OpenRule kOpenRules[] = {
    {FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL},
    {FILE_READ_DATA | FILE_WRITE_DATA, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL},
    {FILE_READ_DATA | FILE_WRITE_DATA, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL},
    {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN},
    {GENERIC_READ | GENERIC_WRITE | DELETE, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL},
};

// Cuts the file back to `dataBytes` after its header and writes the header for them, keeping
// the time it was last recorded into; false when any of it failed.
bool Repair(HANDLE file, DWORD dataBytes, const FILETIME* written) {
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG{kHeaderBytes} + dataBytes;
    if (!SetFilePointerEx(file, end, nullptr, FILE_BEGIN) || !SetEndOfFile(file) ||
        !CompleteVoiceHeader(file, dataBytes)) {
        return false;
    }
    g_flushFile(file);  // a later write-back still brings it to the disk
    if (written != nullptr) {
        SetFileTime(file, nullptr, nullptr, written);  // the repair is not a recording
    }
    return true;
}

// Opens a file left behind for us alone; false when it is not one of ours that has audio (a
// short one of ours is deleted on the way).
bool TakeLeftBehind(const WCHAR* path, LeftBehind* found) {
    HANDLE file = OpenVoiceFile(path, VoiceFileUse::Repair);
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
        DeleteFileW(path);
        return false;
    }
    // Never trust the sizes left behind: the audio is what the file holds, in whole frames.
    const DWORD dataBytes = WholeFrameBytes(static_cast<DWORD>(length - kHeaderBytes));
    FILETIME written = {};
    const bool haveTime = GetFileTime(file, nullptr, nullptr, &written) != FALSE;
    if (!Repair(file, dataBytes, haveTime ? &written : nullptr)) {
        CloseHandle(file);  // not offered: a file we cannot make whole might not play
        return false;
    }
    lstrcpynW(found->path, path, MAX_PATH);
    found->file = file;
    found->written = written;
    found->dataBytes = dataBytes;
    return true;
}

}  // namespace

HANDLE OpenVoiceFile(const WCHAR* path, VoiceFileUse use) {
    const OpenRule& rule = kOpenRules[static_cast<int>(use)];
    return CreateFileW(path, rule.access, rule.sharing, nullptr, rule.disposition, rule.flags,
                       nullptr);
}

bool MakeOwnVoiceFile(AppState* state) {
    WCHAR folder[MAX_PATH];
    if (!GetTempFolder(folder)) {
        return false;
    }
    for (int attempt = 0; attempt < kOwnFileTries; ++attempt) {
        WCHAR path[MAX_PATH];
        if (GetTempFileNameW(folder, L"kes", 0, path) == 0) {
            return false;
        }
        HANDLE keeper = OpenVoiceFile(path, VoiceFileUse::Hold);
        if (keeper != INVALID_HANDLE_VALUE) {
            lstrcpynW(state->voicePath, path, MAX_PATH);
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
int FindLeftBehind(const WCHAR* folder, const WCHAR* ownPath, LeftBehind* found, int capacity) {
    int count = 0;
    WCHAR pattern[MAX_PATH];
    if (FAILED(StringCchPrintfW(pattern, MAX_PATH, L"%skes*.tmp", folder))) {
        return 0;
    }
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        WCHAR path[MAX_PATH];
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            FAILED(StringCchPrintfW(path, MAX_PATH, L"%s%s", folder, entry.cFileName)) ||
            lstrcmpiW(path, ownPath) == 0) {
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
    } while (count < capacity && FindNextFileW(search, &entry));
    FindClose(search);
    return count;
}

bool AdoptLeftBehind(AppState* state, const LeftBehind& found) {
    HANDLE keeper = OpenVoiceFile(found.path, VoiceFileUse::Hold);
    if (keeper == INVALID_HANDLE_VALUE) {
        return false;
    }
    ReleaseVoiceFile(state);
    if (state->voicePath[0] != L'\0') {
        DeleteFileW(state->voicePath);
    }
    lstrcpynW(state->voicePath, found.path, MAX_PATH);
    state->keeper = keeper;
    state->dataBytes = found.dataBytes;
    return true;
}
