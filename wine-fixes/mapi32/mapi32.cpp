// Simple MAPI for Kestrune under Wine. Wine's own MAPISendMail opens the mail program
// without the attachment, so this one hands the message to xdg-email with --attach.
// Only the Linux launcher loads it (WINEDLLOVERRIDES=mapi32=n,b); it needs Wine.
#include <windows.h>
#include <mapi.h>

#include <cwchar>

namespace {

// Wine's kernel32 extras; both return a block of the process heap.
using UnixFileNameFn = char*(CDECL*)(LPCWSTR dosName);
using DosFileNameFn = WCHAR*(CDECL*)(LPCSTR unixName);

constexpr int kMaxCommandLine = 32767;

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

bool AppendAnsiArgument(WCHAR* line, size_t capacity, const char* argument) {
    int count = MultiByteToWideChar(CP_ACP, 0, argument, -1, nullptr, 0);
    if (count <= 0)
        return false;
    auto* wide = static_cast<WCHAR*>(HeapAlloc(GetProcessHeap(), 0, count * sizeof(WCHAR)));
    if (!wide)
        return false;
    bool ok = MultiByteToWideChar(CP_ACP, 0, argument, -1, wide, count) > 0 &&
              AppendArgument(line, capacity, wide);
    HeapFree(GetProcessHeap(), 0, wide);
    return ok;
}

// The name an attachment travels under: its given name without any folder, or else
// the file's own name.
const char* AttachmentName(const MapiFileDesc& file) {
    const char* name =
        file.lpszFileName && *file.lpszFileName ? file.lpszFileName : file.lpszPathName;
    for (const char* p = name; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return name;
}

// A fresh folder in %TEMP% for the attachments' copies. The copies stay behind: the mail
// program may read them after this call, and the caller may rewrite or delete its file.
bool MakeMailFolder(char* folder, DWORD capacity) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temp);
    if (length == 0 || length >= MAX_PATH)
        return false;
    for (DWORD attempt = 0; attempt < 100; ++attempt) {
        int written = wsprintfA(folder, "%skestrune-mail-%lu-%lu", temp, GetCurrentProcessId(),
                                GetTickCount() + attempt);
        if (written <= 0 || static_cast<DWORD>(written) >= capacity)
            return false;
        if (CreateDirectoryA(folder, nullptr))
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
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

    // sh finds xdg-email on the user's PATH.
    bool ok = AppendArgument(line, kMaxCommandLine, L"/bin/sh") &&
              AppendArgument(line, kMaxCommandLine, L"-c") &&
              AppendArgument(line, kMaxCommandLine, L"exec xdg-email \"$@\"") &&
              AppendArgument(line, kMaxCommandLine, L"xdg-email");
    if (ok && message->lpszSubject && *message->lpszSubject)
        ok = AppendArgument(line, kMaxCommandLine, L"--subject") &&
             AppendAnsiArgument(line, kMaxCommandLine, message->lpszSubject);
    if (ok && message->lpszNoteText && *message->lpszNoteText)
        ok = AppendArgument(line, kMaxCommandLine, L"--body") &&
             AppendAnsiArgument(line, kMaxCommandLine, message->lpszNoteText);
    if (ok && message->nFileCount > 0)
        ok = MakeMailFolder(folder, sizeof(folder));
    for (ULONG i = 0; ok && i < message->nFileCount; ++i) {
        const MapiFileDesc& file = message->lpFiles[i];
        char copy[MAX_PATH];
        int written = wsprintfA(copy, "%s\\%s", folder, AttachmentName(file));
        if (!file.lpszPathName || written <= 0 || written >= MAX_PATH ||
            !CopyFileA(file.lpszPathName, copy, FALSE)) {
            result = MAPI_E_ATTACHMENT_NOT_FOUND;
            ok = false;
            break;
        }
        WCHAR wideCopy[MAX_PATH];
        char* unixCopy = MultiByteToWideChar(CP_ACP, 0, copy, -1, wideCopy, MAX_PATH) > 0
                             ? unixFileName(wideCopy)
                             : nullptr;
        ok = unixCopy && AppendArgument(line, kMaxCommandLine, L"--attach") &&
             AppendAnsiArgument(line, kMaxCommandLine, unixCopy);
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
    if (ok)
        shell = dosFileName("/bin/sh");
    if (ok && shell) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(shell, line, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                           &startup, &process)) {
            if (process.hThread)
                CloseHandle(process.hThread);
            if (process.hProcess)
                CloseHandle(process.hProcess);
            result = SUCCESS_SUCCESS;
        }
    }
    if (shell)
        HeapFree(GetProcessHeap(), 0, shell);
    HeapFree(GetProcessHeap(), 0, line);
    return result;
}
