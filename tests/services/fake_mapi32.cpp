// A MAPI32.DLL of our own for the tests: MAPISendMail and MAPISendMailW write down everything
// they are given. Built with KESTRUNE_FAKE_MAPI_ANSI_ONLY it has MAPISendMail alone, as
// MAPI32.DLL before Windows 8.
//
// KESTRUNE_FAKE_MAPI_LOG   file that each call appends one record to ("key=value" lines, then
//                          "end"); "entry" names the entry called. The ANSI entry's texts are
//                          written as the bytes it was given, the wide entry's in UTF-8.
// KESTRUNE_FAKE_MAPI_CALLS named semaphore released once per call, after its record is written
// KESTRUNE_FAKE_MAPI_HOLD  named event the call waits for (at most 5 s) before it returns, as
//                          a compose dialog that stays open
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <string>

#include "base/mapi_wide.h"

namespace {

SRWLOCK g_logLock = SRWLOCK_INIT;

// Wide, so that the log may lie in a folder outside the ANSI code page.
std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(value, length);
}

void Put(std::string& record, const char* key, unsigned long long value) {
    char line[96];
    snprintf(line, sizeof line, "%s=%llu\n", key, value);
    record += line;
}

void PutPointer(std::string& record, const char* key, const void* value) {
    Put(record, key, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(value)));
}

void PutText(std::string& record, const char* key, const char* value) {
    if (value != nullptr) {
        record += key;
        record += '=';
        record += value;
        record += '\n';
    }
}

// Unused where the stand-in has the ANSI entry alone.
[[maybe_unused]] void PutText(std::string& record, const char* key, const wchar_t* value) {
    if (value == nullptr) {
        return;
    }
    const int bytes =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, value, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 1, '\0');
    if (bytes <= 0 || WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, value, -1, &utf8[0], bytes,
                                          nullptr, nullptr) != bytes) {
        utf8 = "(not UTF-16)";
    } else {
        utf8.resize(bytes - 1);
    }
    PutText(record, key, utf8.c_str());
}

// One record for either entry: the wide message has the ANSI one's fields.
template <typename Message>
std::string Describe(const char* entry, LHANDLE session, ULONG_PTR uiParam, Message* message,
                     FLAGS flags, ULONG reserved) {
    std::string record;
    PutText(record, "entry", entry);
    Put(record, "thread", GetCurrentThreadId());
    Put(record, "session", session);
    Put(record, "uiParam", uiParam);
    Put(record, "flags", flags);
    Put(record, "reserved", reserved);
    PutPointer(record, "message", message);
    if (message == nullptr) {
        return record;
    }
    Put(record, "message.ulReserved", message->ulReserved);
    PutPointer(record, "message.lpszSubject", message->lpszSubject);
    PutPointer(record, "message.lpszNoteText", message->lpszNoteText);
    PutPointer(record, "message.lpszMessageType", message->lpszMessageType);
    PutPointer(record, "message.lpszDateReceived", message->lpszDateReceived);
    PutPointer(record, "message.lpszConversationID", message->lpszConversationID);
    Put(record, "message.flFlags", message->flFlags);
    PutPointer(record, "message.lpOriginator", message->lpOriginator);
    Put(record, "message.nRecipCount", message->nRecipCount);
    PutPointer(record, "message.lpRecips", message->lpRecips);
    Put(record, "message.nFileCount", message->nFileCount);
    PutPointer(record, "message.lpFiles", message->lpFiles);
    if (message->lpFiles == nullptr) {
        return record;
    }
    // Only the first descriptor: more would be a fault the count above already shows.
    const auto& file = message->lpFiles[0];
    Put(record, "file.ulReserved", file.ulReserved);
    Put(record, "file.flFlags", file.flFlags);
    Put(record, "file.nPosition", file.nPosition);
    PutPointer(record, "file.lpszPathName", file.lpszPathName);
    PutText(record, "file.pathName", file.lpszPathName);
    PutPointer(record, "file.lpszFileName", file.lpszFileName);
    PutText(record, "file.fileName", file.lpszFileName);
    PutPointer(record, "file.lpFileType", file.lpFileType);
    return record;
}

void Append(const std::wstring& path, const std::string& record) {
    AcquireSRWLockExclusive(&g_logLock);
    HANDLE log = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(log);
    }
    ReleaseSRWLockExclusive(&g_logLock);
}

void Signal(const std::wstring& name) {
    if (name.empty()) {
        return;
    }
    HANDLE calls = OpenSemaphoreW(SEMAPHORE_MODIFY_STATE, FALSE, name.c_str());
    if (calls != nullptr) {
        ReleaseSemaphore(calls, 1, nullptr);
        CloseHandle(calls);
    }
}

void Hold(const std::wstring& name) {
    if (name.empty()) {
        return;
    }
    HANDLE release = OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (release != nullptr) {
        WaitForSingleObject(release, 5000);
        CloseHandle(release);
    }
}

// Writes the call down, tells the test, holds it if asked, and answers as a mail client whose
// compose dialog the user cancelled.
ULONG Answer(const std::string& record) {
    Append(Environment(L"KESTRUNE_FAKE_MAPI_LOG"), record + "end\n");
    Signal(Environment(L"KESTRUNE_FAKE_MAPI_CALLS"));
    Hold(Environment(L"KESTRUNE_FAKE_MAPI_HOLD"));
    return MAPI_E_USER_ABORT;
}

}  // namespace

extern "C" ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message,
                                     FLAGS flags, ULONG reserved) {
    return Answer(Describe("MAPISendMail", session, uiParam, message, flags, reserved));
}

#ifndef KESTRUNE_FAKE_MAPI_ANSI_ONLY
extern "C" ULONG WINAPI MAPISendMailW(LHANDLE session, ULONG_PTR uiParam, lpMapiMessageW message,
                                      FLAGS flags, ULONG reserved) {
    return Answer(Describe("MAPISendMailW", session, uiParam, message, flags, reserved));
}
#endif
