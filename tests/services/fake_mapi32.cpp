// A MAPI32.DLL of our own for the tests: MAPISendMail writes down everything it is given.
//
// KESTRUNE_FAKE_MAPI_LOG   file that each call appends one record to ("key=value" lines, then
//                          "end")
// KESTRUNE_FAKE_MAPI_CALLS named semaphore released once per call, after its record is written
// KESTRUNE_FAKE_MAPI_HOLD  named event the call waits for (at most 5 s) before it returns, as
//                          a compose dialog that stays open
#include <windows.h>
#include <mapi.h>

#include <cstdio>
#include <string>

namespace {

SRWLOCK g_logLock = SRWLOCK_INIT;

std::string Environment(const char* name) {
    char value[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length == 0 || length >= sizeof value ? std::string() : std::string(value, length);
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

std::string Describe(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message, FLAGS flags,
                     ULONG reserved) {
    std::string record;
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
    const MapiFileDesc& file = message->lpFiles[0];
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

void Append(const std::string& path, const std::string& record) {
    AcquireSRWLockExclusive(&g_logLock);
    HANDLE log = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
        CloseHandle(log);
    }
    ReleaseSRWLockExclusive(&g_logLock);
}

void Signal(const std::string& name) {
    if (name.empty()) {
        return;
    }
    HANDLE calls = OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, name.c_str());
    if (calls != nullptr) {
        ReleaseSemaphore(calls, 1, nullptr);
        CloseHandle(calls);
    }
}

void Hold(const std::string& name) {
    if (name.empty()) {
        return;
    }
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    if (release != nullptr) {
        WaitForSingleObject(release, 5000);
        CloseHandle(release);
    }
}

}  // namespace

extern "C" ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR uiParam, lpMapiMessage message,
                                     FLAGS flags, ULONG reserved) {
    Append(Environment("KESTRUNE_FAKE_MAPI_LOG"),
           Describe(session, uiParam, message, flags, reserved) + "end\n");
    Signal(Environment("KESTRUNE_FAKE_MAPI_CALLS"));
    Hold(Environment("KESTRUNE_FAKE_MAPI_HOLD"));
    // What a mail client answers when the user cancels its compose dialog.
    return MAPI_E_USER_ABORT;
}
