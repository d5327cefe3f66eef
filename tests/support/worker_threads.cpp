#include "tests/support/worker_threads.h"

#include <tlhelp32.h>

#include <vector>

std::set<DWORD> ThreadIdsNow() {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return ids;
    }
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) {
            ids.insert(entry.th32ThreadID);
        }
    }
    CloseHandle(snapshot);
    return ids;
}

int WaitForThreadsStartedSince(const std::set<DWORD>& before, DWORD timeoutMs) {
    std::vector<HANDLE> threads;
    for (DWORD id : ThreadIdsNow()) {
        if (before.count(id) == 0 && id != GetCurrentThreadId()) {
            // A thread that is already gone can't be opened: it has ended, as wanted.
            HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
            if (thread != nullptr) {
                threads.push_back(thread);
            }
        }
    }
    const int count = static_cast<int>(threads.size());
    const DWORD deadline = GetTickCount() + timeoutMs;
    bool allEnded = true;
    for (HANDLE thread : threads) {
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        if (WaitForSingleObject(thread, left) != WAIT_OBJECT_0) {
            allEnded = false;
        }
        CloseHandle(thread);
    }
    return allEnded ? count : -1;
}
