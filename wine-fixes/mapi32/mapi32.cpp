// SPDX-License-Identifier: LGPL-2.1-or-later
// Simple MAPI for Kestrune under Wine. Wine's own MAPISendMail opens the mail program
// without the attachment, so this one hands the message to xdg-email with --attach, and
// answers MAPI_E_FAILURE when xdg-email is missing or ends with an error, so that Kestrune can
// tell the user. Only the Linux launcher loads it (WINEDLLOVERRIDES=mapi32=n,b); it needs Wine.
//
// Paths and texts stay UTF-16 from MAPISendMailW to Wine's Unix side, which spells them in
// UTF-8: a user folder in any script reaches xdg-email as it is. MAPISendMail widens what it
// is given from the ANSI code page once and takes the same way.
#include <windows.h>
#include <mapi.h>

#include <cstdint>
#include <cwchar>
#include <initializer_list>
#include <type_traits>

#include "base/mapi_wide.h"

namespace {

// Wine's kernel32 extras; both return a block of the process heap.
using UnixFileNameFn = char*(CDECL*)(LPCWSTR dosName);
using DosFileNameFn = WCHAR*(CDECL*)(LPCSTR unixName);

constexpr int kMaxCommandLine = 32767;
constexpr ULONGLONG kFileTimeTicksPerDay = 24ULL * 60 * 60 * 10000000;
const WCHAR kMailFolderPrefix[] = L"kestrune-mail-";
// The file that marks a folder as ours, the same name the project's scripts use: a folder
// without it is somebody else's, whatever its name, and is never emptied.
const WCHAR kMarkerName[] = L".kestrune-ours";

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

// `text` in `codePage` as UTF-16, in a block of the process heap; null when it is null or the
// block could not be made.
WCHAR* Widen(UINT codePage, const char* text) {
    if (!text)
        return nullptr;
    int count = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (count <= 0)
        return nullptr;
    auto* wide = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(WCHAR)));
    if (wide && MultiByteToWideChar(codePage, 0, text, -1, wide, count) <= 0) {
        HeapFree(GetProcessHeap(), 0, wide);
        return nullptr;
    }
    return wide;
}

void FreeText(WCHAR* text) {
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
}

// Wine's Unix file names are UTF-8 whatever the Windows code page.
bool AppendUnixArgument(WCHAR* line, size_t capacity, const char* unixPath) {
    WCHAR* wide = Widen(CP_UTF8, unixPath);
    bool ok = wide && AppendArgument(line, capacity, wide);
    FreeText(wide);
    return ok;
}

// The name an attachment travels under: its given name without any folder, or else the
// file's own name; null when the entry names nothing.
const WCHAR* AttachmentName(const MapiFileDescW& file) {
    const WCHAR* name =
        file.lpszFileName && *file.lpszFileName ? file.lpszFileName : file.lpszPathName;
    if (!name)
        return nullptr;
    for (const WCHAR* p = name; *p; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    return *name ? name : nullptr;
}

// Joins the parts into a MAX_PATH buffer; false when the path would not fit whole.
bool JoinPath(WCHAR (&path)[MAX_PATH], std::initializer_list<const WCHAR*> parts) {
    size_t length = 0;
    for (const WCHAR* part : parts)
        for (const WCHAR* p = part; *p; ++p) {
            if (length + 1 >= MAX_PATH)
                return false;
            path[length++] = *p;
        }
    path[length] = 0;
    return true;
}

struct DecimalText {
    WCHAR digits[11];  // the most a DWORD needs, and the end
};

DecimalText Decimal(DWORD value) {
    DecimalText text;
    WCHAR* p = text.digits + 10;
    *p = 0;
    do {
        *--p = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    } while (value);
    MoveMemory(text.digits, p, (text.digits + 11 - p) * sizeof(WCHAR));
    return text;
}

ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

bool IsMarker(const WCHAR* name) {
    return lstrcmpiW(name, kMarkerName) == 0;
}

// Our copies in folders more than a day old: no mail program still reads them.
void RemoveOldMailFolders(const WCHAR* temp) {
    WCHAR pattern[MAX_PATH];
    if (!JoinPath(pattern, {temp, kMailFolderPrefix, L"*"}))
        return;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    WIN32_FIND_DATAW folder;
    HANDLE folders = FindFirstFileW(pattern, &folder);
    if (folders == INVALID_HANDLE_VALUE)
        return;
    do {
        WCHAR path[MAX_PATH];
        WCHAR files[MAX_PATH];
        WCHAR marker[MAX_PATH];
        if (!(folder.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            Ticks(now) <= Ticks(folder.ftLastWriteTime) + kFileTimeTicksPerDay ||
            !JoinPath(path, {temp, folder.cFileName}) || !JoinPath(files, {path, L"\\*"}) ||
            !JoinPath(marker, {path, L"\\", kMarkerName}) ||
            GetFileAttributesW(marker) == INVALID_FILE_ATTRIBUTES)
            continue;
        // The marker goes last, once all else is gone: a folder we could not empty stays ours.
        bool emptied = true;
        WIN32_FIND_DATAW file;
        HANDLE found = FindFirstFileW(files, &file);
        if (found != INVALID_HANDLE_VALUE) {
            do {
                WCHAR name[MAX_PATH];
                if (!(file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !IsMarker(file.cFileName))
                    emptied = JoinPath(name, {path, L"\\", file.cFileName}) && DeleteFileW(name) &&
                              emptied;
            } while (FindNextFileW(found, &file));
            FindClose(found);
        }
        if (emptied && DeleteFileW(marker))
            RemoveDirectoryW(path);
    } while (FindNextFileW(folders, &folder));
    FindClose(folders);
}

// The temporary folder, ending in a backslash; false when it does not fit.
bool TempFolder(WCHAR (&temp)[MAX_PATH]) {
    DWORD length = GetTempPathW(MAX_PATH, temp);
    return length > 0 && length < MAX_PATH;
}

// A fresh folder in %TEMP% for the attachments' copies. The copies stay behind for a day: the
// mail program may read them after this call, and the caller may rewrite or delete its file.
bool MakeMailFolder(WCHAR (&folder)[MAX_PATH]) {
    WCHAR temp[MAX_PATH];
    if (!TempFolder(temp))
        return false;
    RemoveOldMailFolders(temp);
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        if (!JoinPath(folder, {temp, kMailFolderPrefix, Decimal(GetCurrentProcessId()).digits, L"-",
                               Decimal(GetTickCount() + attempt).digits}))
            return false;
        if (CreateDirectoryW(folder, nullptr)) {
            // Marked as ours, so that a later Send may remove it.
            WCHAR marker[MAX_PATH];
            HANDLE file = JoinPath(marker, {folder, L"\\", kMarkerName})
                              ? CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr)
                              : INVALID_HANDLE_VALUE;
            if (file == INVALID_HANDLE_VALUE) {
                RemoveDirectoryW(folder);
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
    WCHAR temp[MAX_PATH];
    WCHAR path[MAX_PATH];
    if (!TempFolder(temp) || !GetTempFileNameW(temp, L"kms", 0, path))
        return INVALID_HANDLE_VALUE;
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        DeleteFileW(path);
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

// Both entries end here, with the message in UTF-16.
ULONG SendMailWide(const MapiMessageW* message) {
    // Counted records that are not there: nothing to send, and nothing copied for it.
    if (!message || (message->nFileCount > 0 && !message->lpFiles) ||
        (message->nRecipCount > 0 && !message->lpRecips))
        return MAPI_E_FAILURE;
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
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
    WCHAR folder[MAX_PATH];

    // sh finds xdg-email on the user's PATH and reports how it ended: 127 when it is missing.
    bool ok = AppendArgument(line, kMaxCommandLine, L"/bin/sh") &&
              AppendArgument(line, kMaxCommandLine, L"-c") &&
              AppendArgument(line, kMaxCommandLine, L"xdg-email \"$@\" >/dev/null; echo \"$?\"") &&
              AppendArgument(line, kMaxCommandLine, L"xdg-email");
    if (ok && message->lpszSubject && *message->lpszSubject)
        ok = AppendArgument(line, kMaxCommandLine, L"--subject") &&
             AppendArgument(line, kMaxCommandLine, message->lpszSubject);
    if (ok && message->lpszNoteText && *message->lpszNoteText)
        ok = AppendArgument(line, kMaxCommandLine, L"--body") &&
             AppendArgument(line, kMaxCommandLine, message->lpszNoteText);
    if (ok && message->nFileCount > 0)
        ok = MakeMailFolder(folder);
    for (ULONG i = 0; ok && i < message->nFileCount; ++i) {
        const MapiFileDescW& file = message->lpFiles[i];
        const WCHAR* name = AttachmentName(file);
        WCHAR copy[MAX_PATH];
        if (!file.lpszPathName || !name || !JoinPath(copy, {folder, L"\\", name}) ||
            !CopyFileW(file.lpszPathName, copy, FALSE)) {
            result = MAPI_E_ATTACHMENT_NOT_FOUND;
            ok = false;
            break;
        }
        char* unixCopy = unixFileName(copy);
        ok = unixCopy && AppendArgument(line, kMaxCommandLine, L"--attach") &&
             AppendUnixArgument(line, kMaxCommandLine, unixCopy);
        if (unixCopy)
            HeapFree(GetProcessHeap(), 0, unixCopy);
    }
    for (ULONG i = 0; ok && i < message->nRecipCount; ++i) {
        const MapiRecipDescW& recipient = message->lpRecips[i];
        const WCHAR* address = recipient.lpszAddress && *recipient.lpszAddress
                                   ? recipient.lpszAddress
                                   : recipient.lpszName;
        if (!address || !*address)
            continue;
        if (lstrlenW(address) >= 5 && CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, address, 5,
                                                     L"SMTP:", 5) == CSTR_EQUAL)
            address += 5;
        ok = AppendArgument(line, kMaxCommandLine, address);
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

// An ANSI caller's string widened, or false when it had one that could not be.
bool WidenInto(PWSTR* wide, const char* text) {
    *wide = Widen(CP_ACP, text);
    return !text || *wide;
}

// A zeroed array of `count` records for the wide message; null when it could not be made.
template <typename Record>
Record* AllocateRecords(ULONG count) {
    if (count > SIZE_MAX / sizeof(Record))
        return nullptr;
    return static_cast<Record*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, count * sizeof(Record)));
}

bool WidenRecipient(MapiRecipDescW* wide, const MapiRecipDesc& ansi) {
    wide->ulReserved = ansi.ulReserved;
    wide->ulRecipClass = ansi.ulRecipClass;
    wide->ulEIDSize = ansi.ulEIDSize;
    wide->lpEntryID = ansi.lpEntryID;
    bool named = WidenInto(&wide->lpszName, ansi.lpszName);
    return WidenInto(&wide->lpszAddress, ansi.lpszAddress) && named;
}

bool WidenFile(MapiFileDescW* wide, const MapiFileDesc& ansi) {
    wide->ulReserved = ansi.ulReserved;
    wide->flFlags = ansi.flFlags;
    wide->nPosition = ansi.nPosition;
    wide->lpFileType = ansi.lpFileType;
    bool named = WidenInto(&wide->lpszPathName, ansi.lpszPathName);
    return WidenInto(&wide->lpszFileName, ansi.lpszFileName) && named;
}

// `count` ANSI records widened into a new array; false when memory ran out (what was made
// is in `*wide` to be freed). Nothing is made when there are none.
template <typename Wide, typename Ansi>
bool WidenRecords(Wide** wide, const Ansi* ansi, ULONG count,
                  bool (*widenOne)(Wide*, const Ansi&)) {
    if (!ansi || count == 0)
        return true;
    *wide = AllocateRecords<Wide>(count);
    if (!*wide)
        return false;
    for (ULONG i = 0; i < count; ++i)
        if (!widenOne(&(*wide)[i], ansi[i]))
            return false;
    return true;
}

void FreeRecipients(MapiRecipDescW* recipients, ULONG count) {
    if (!recipients)
        return;
    for (ULONG i = 0; i < count; ++i) {
        FreeText(recipients[i].lpszName);
        FreeText(recipients[i].lpszAddress);
    }
    HeapFree(GetProcessHeap(), 0, recipients);
}

// The ANSI message in UTF-16, every string widened from the ANSI code page; false when memory
// ran out. FreeWideMessage frees what was made either way.
bool WidenMessage(MapiMessageW* wide, const MapiMessage& ansi) {
    wide->ulReserved = ansi.ulReserved;
    wide->flFlags = ansi.flFlags;
    wide->nRecipCount = ansi.nRecipCount;
    wide->nFileCount = ansi.nFileCount;
    bool ok = WidenInto(&wide->lpszSubject, ansi.lpszSubject);
    ok = WidenInto(&wide->lpszNoteText, ansi.lpszNoteText) && ok;
    ok = WidenInto(&wide->lpszMessageType, ansi.lpszMessageType) && ok;
    ok = WidenInto(&wide->lpszDateReceived, ansi.lpszDateReceived) && ok;
    ok = WidenInto(&wide->lpszConversationID, ansi.lpszConversationID) && ok;
    // Missing arrays stay missing, for SendMailWide to refuse as it would from a wide caller.
    return ok && WidenRecords(&wide->lpOriginator, ansi.lpOriginator, 1, WidenRecipient) &&
           WidenRecords(&wide->lpRecips, ansi.lpRecips, ansi.nRecipCount, WidenRecipient) &&
           WidenRecords(&wide->lpFiles, ansi.lpFiles, ansi.nFileCount, WidenFile);
}

void FreeWideMessage(MapiMessageW* wide) {
    FreeText(wide->lpszSubject);
    FreeText(wide->lpszNoteText);
    FreeText(wide->lpszMessageType);
    FreeText(wide->lpszDateReceived);
    FreeText(wide->lpszConversationID);
    FreeRecipients(wide->lpOriginator, 1);
    FreeRecipients(wide->lpRecips, wide->nRecipCount);
    if (wide->lpFiles) {
        for (ULONG i = 0; i < wide->nFileCount; ++i) {
            FreeText(wide->lpFiles[i].lpszPathName);
            FreeText(wide->lpFiles[i].lpszFileName);
        }
        HeapFree(GetProcessHeap(), 0, wide->lpFiles);
    }
}

}  // namespace

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMailW(LHANDLE, ULONG_PTR, lpMapiMessageW message, FLAGS, ULONG) {
    return SendMailWide(message);
}
static_assert(std::is_same<decltype(&MAPISendMailW), LPMAPISENDMAILW>::value,
              "MAPISendMailW as the program calls it");

extern "C" __declspec(dllexport) ULONG WINAPI
    MAPISendMail(LHANDLE, ULONG_PTR, lpMapiMessage message, FLAGS, ULONG) {
    if (!message)
        return MAPI_E_FAILURE;
    MapiMessageW wide = {};
    ULONG result = WidenMessage(&wide, *message) ? SendMailWide(&wide)
                                                 : static_cast<ULONG>(MAPI_E_INSUFFICIENT_MEMORY);
    FreeWideMessage(&wide);
    return result;
}
