// SPDX-License-Identifier: LGPL-2.1-or-later
// Simple MAPI for Kestrune under Wine. Wine's own MAPISendMail opens the mail program
// without the attachment, so this one hands the message to xdg-email with --attach, and
// answers MAPI_E_FAILURE when xdg-email is missing or ends with an error, so that Kestrune can
// tell the user. Only the Linux launcher loads it (WINEDLLOVERRIDES=mapi32=n,b); it needs Wine.
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <cwchar>

namespace {

// Wine's kernel32 extras; both return a block of the process heap.
using UnixFileNameFn = char*(CDECL*)(LPCWSTR dosName);
using DosFileNameFn = WCHAR*(CDECL*)(LPCSTR unixName);

constexpr int kMaxCommandLine = 32767;
constexpr ULONGLONG kFileTimeTicksPerDay = 24ULL * 60 * 60 * 10000000;
const char kMailFolderPrefix[] = "kestrune-mail-";
// The file that marks a folder as ours, the same name the project's scripts use: a folder
// without it is somebody else's, whatever its name, and is never emptied.
const char kMarkerName[] = ".kestrune-ours";

template <typename Fn>
Fn FindExport(HMODULE module, const char* name) {
    // Through void* because FARPROC has no parameters.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Appends one argument to a command line so that the Windows rules (which Wine applies
// when it starts a Unix program) give it back unchanged.
bool AppendArgument(WCHAR* line, size_t capacity, const WCHAR* argument) {
    size_t length = wcslen(line);
    auto put = [&](WCHAR c) {
        if (length + 1 >= capacity)
            return false;
        line[length++] = c;
        line[length] = 0;
        return true;
    };
    if (length > 0 && !put(L' '))
        return false;
    if (!put(L'"'))
        return false;
    size_t backslashes = 0;
    for (const WCHAR* p = argument; *p; ++p) {
        if (*p == L'\\') {
            ++backslashes;
        } else {
            // Backslashes before a quote are doubled and the quote escaped.
            size_t extra = *p == L'"' ? backslashes + 1 : 0;
            for (size_t i = 0; i < extra; ++i)
                if (!put(L'\\'))
                    return false;
            backslashes = 0;
        }
        if (!put(*p))
            return false;
    }
    for (size_t i = 0; i < backslashes; ++i)
        if (!put(L'\\'))
            return false;
    return put(L'"');
}

// `codePage`: CP_ACP for what the caller gives, CP_UTF8 for Wine's Unix paths.
bool AppendArgumentIn(UINT codePage, WCHAR* line, size_t capacity, const char* argument) {
    int count = MultiByteToWideChar(codePage, 0, argument, -1, nullptr, 0);
    if (count <= 0)
        return false;
    auto* wide = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(WCHAR)));
    if (!wide)
        return false;
    bool ok = MultiByteToWideChar(codePage, 0, argument, -1, wide, count) > 0 &&
              AppendArgument(line, capacity, wide);
    HeapFree(GetProcessHeap(), 0, wide);
    return ok;
}

bool AppendAnsiArgument(WCHAR* line, size_t capacity, const char* argument) {
    return AppendArgumentIn(CP_ACP, line, capacity, argument);
}

// The name an attachment travels under: its given name without any folder, or else the
// file's own name; null when the entry names nothing.
const char* AttachmentName(const MapiFileDesc& file) {
    const char* name =
        file.lpszFileName && *file.lpszFileName ? file.lpszFileName : file.lpszPathName;
    if (!name)
        return nullptr;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return *name ? name : nullptr;
}

// Formats into a MAX_PATH buffer; false when the path would not fit whole.
template <typename... Args>
bool FormatPath(char (&path)[MAX_PATH], const char* format, Args... args) {
    int written = snprintf(path, MAX_PATH, format, args...);
    return written > 0 && written < MAX_PATH;
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool IsMarker(const char* name) {
    return lstrcmpiA(name, kMarkerName) == 0;
}

// Our copies in folders more than a day old: no mail program still reads them.
void RemoveOldMailFolders(const char* temp) {
    char pattern[MAX_PATH];
    if (!FormatPath(pattern, "%s%s*", temp, kMailFolderPrefix))
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WIN32_FIND_DATAA folder;
    HANDLE folders = FindFirstFileA(pattern, &folder);
    if (folders == INVALID_HANDLE_VALUE)
        return;
    do {
        char path[MAX_PATH];
        char files[MAX_PATH];
        char marker[MAX_PATH];
        if (!(folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            Ticks(now) <= Ticks(folder.ftLastWriteTime) + kFileTimeTicksPerDay ||
            !FormatPath(path, "%s%s", temp, folder.cFileName) ||
            !FormatPath(files, "%s\\*", path) || !FormatPath(marker, "%s\\%s", path, kMarkerName) ||
            GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES)
            continue;
        // The marker goes last, once all else is gone: a folder we could not empty stays ours.
        bool emptied = true;
        WIN32_FIND_DATAA file;
        HANDLE found = FindFirstFileA(files, &file);
        if (found != INVALID_HANDLE_VALUE) {
            do {
                char name[MAX_PATH];
                if (!(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !IsMarker(file.cFileName))
                    emptied = FormatPath(name, "%s\\%s", path, file.cFileName) &&
                              DeleteFileA(name) && emptied;
            } while (FindNextFileA(found, &file));
            FindClose(found);
        }
        if (emptied && DeleteFileA(marker))
            RemoveDirectoryA(path);
    } while (FindNextFileA(folders, &folder));
    FindClose(folders);
}

// A fresh folder in %TEMP% for the attachments' copies. The copies stay behind for a day: the
// mail program may read them after this call, and the caller may rewrite or delete its file.
bool MakeMailFolder(char (&folder)[MAX_PATH]) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return false;
    RemoveOldMailFolders(temp);
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        if (!FormatPath(folder, "%s%s%lu-%lu", temp, kMailFolderPrefix, GetCurrentProcessId(),
                        GetTickCount() + attempt))
            return false;
        if (CreateDirectoryA(folder, nullptr)) {
            // Marked as ours, so that a later Send may remove it.
            char marker[MAX_PATH];
            HANDLE file = FormatPath(marker, "%s\\%s", folder, kMarkerName)
                              ? CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr)
                              : INVALID_HANDLE_VALUE;
            if (file == INVALID_HANDLE_VALUE) {
                RemoveDirectoryA(folder);
                return false;
            }
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

// A file that takes the shell's one line: xdg-email's exit status. Deleted when closed.
HANDLE MakeStatusFile() {
    char temp[MAX_PATH];
    char path[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH || !GetTempFileNameA(temp, "kms", 0, path))
        return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        DeleteFileA(path);
    return file;
}

// Wine gives a Unix program no process handle to wait on, so the shell writes xdg-email's exit
// status to its output, this file, once it ends; it may run as long as the compose window.
bool WaitForSuccess(HANDLE status) {
    for (;;) {
        char text[16] = {};
        DWORD read = 0;
        OVERLAPPED start = {};  // from the file's start: the shell moves the shared position
        if (!ReadFile(status, text, sizeof text - 1, &read, &start) &&
            GetLastError() != ERROR_HANDLE_EOF)
            return false;
        for (DWORD i = 0; i < read; ++i)
            if (text[i] == '\n')
                return text[0] == '0' && i == 1;
        Sleep(100);
    }
}

}  // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE, ULONG_PTR, lpMapiMessage message, FLAGS, ULONG) {
    if (!message)
        return MAPI_E_FAILURE;
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto unixFileName = FindExport<UnixFileNameFn>(kernel, "wine_get_unix_file_name");
    auto dosFileName = FindExport<DosFileNameFn>(kernel, "wine_get_dos_file_name");
    if (!unixFileName || !dosFileName)
        return MAPI_E_FAILURE;  // not running under Wine

    auto* line = static_cast<WCHAR*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, kMaxCommandLine * sizeof(WCHAR)));
    if (!line)
        return MAPI_E_INSUFFICIENT_MEMORY;
    ULONG result = MAPI_E_FAILURE;
    WCHAR* shell = nullptr;
    char folder[MAX_PATH];

    // sh finds xdg-email on the user's PATH and reports how it ended: 127 when it is missing.
    bool ok = AppendArgument(line, kMaxCommandLine, L"/bin/sh") &&
              AppendArgument(line, kMaxCommandLine, L"-c") &&
              AppendArgument(line, kMaxCommandLine, L"xdg-email \"$@\" >/dev/null; echo \"$?\"") &&
              AppendArgument(line, kMaxCommandLine, L"xdg-email");
    if (ok && message->lpszSubject && *message->lpszSubject)
        ok = AppendArgument(line, kMaxCommandLine, L"--subject") &&
             AppendAnsiArgument(line, kMaxCommandLine, message->lpszSubject);
    if (ok && message->lpszNoteText && *message->lpszNoteText)
        ok = AppendArgument(line, kMaxCommandLine, L"--body") &&
             AppendAnsiArgument(line, kMaxCommandLine, message->lpszNoteText);
    if (ok && message->nFileCount > 0)
        ok = message->lpFiles && MakeMailFolder(folder);
    for (ULONG i = 0; ok && i < message->nFileCount; ++i) {
        const MapiFileDesc& file = message->lpFiles[i];
        const char* name = AttachmentName(file);
        char copy[MAX_PATH];
        if (!file.lpszPathName || !name || !FormatPath(copy, "%s\\%s", folder, name) ||
            !CopyFileA(file.lpszPathName, copy, FALSE)) {
            result = MAPI_E_ATTACHMENT_NOT_FOUND;
            ok = false;
            break;
        }
        WCHAR wideCopy[MAX_PATH];
        char* unixCopy = MultiByteToWideChar(CP_ACP, 0, copy, -1, wideCopy, MAX_PATH) > 0
                             ? unixFileName(wideCopy)
                             : nullptr;
        // Unix file names are UTF-8 whatever the Windows code page.
        ok = unixCopy && AppendArgument(line, kMaxCommandLine, L"--attach") &&
             AppendArgumentIn(CP_UTF8, line, kMaxCommandLine, unixCopy);
        if (unixCopy)
            HeapFree(GetProcessHeap(), 0, unixCopy);
    }
    for (ULONG i = 0; ok && i < message->nRecipCount; ++i) {
        const MapiRecipDesc& recipient = message->lpRecips[i];
        const char* address = recipient.lpszAddress && *recipient.lpszAddress
                                  ? recipient.lpszAddress
                                  : recipient.lpszName;
        if (!address || !*address)
            continue;
        if (lstrlenA(address) >= 5 &&
            CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, address, 5, "SMTP:", 5) == CSTR_EQUAL)
            address += 5;
        ok = AppendAnsiArgument(line, kMaxCommandLine, address);
    }

    // Wine starts a Unix program when CreateProcess is given one.
    HANDLE status = ok ? MakeStatusFile() : INVALID_HANDLE_VALUE;
    if (status != INVALID_HANDLE_VALUE)
        shell = dosFileName("/bin/sh");
    if (shell) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = INVALID_HANDLE_VALUE;
        startup.hStdOutput = status;
        startup.hStdError = INVALID_HANDLE_VALUE;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(shell, line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                           &startup, &process)) {
            if (process.hThread)
                CloseHandle(process.hThread);
            if (process.hProcess)
                CloseHandle(process.hProcess);
            // Missing, or ended with an error: nobody took the message.
            if (WaitForSuccess(status))
                result = SUCCESS_SUCCESS;
        }
    }
    if (status != INVALID_HANDLE_VALUE)
        CloseHandle(status);
    if (shell)
        HeapFree(GetProcessHeap(), 0, shell);
    HeapFree(GetProcessHeap(), 0, line);
    return result;
}
