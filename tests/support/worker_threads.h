// Watching the worker threads that Send, Copy and Save As start without keeping their handles.
#pragma once
#include <windows.h>

#include <set>

// Identifiers of this process's threads now.
std::set<DWORD> ThreadIdsNow();

// Waits, at most timeoutMs in all, for every thread of this process that is not in `before` to
// end. Returns how many such threads there were; -1 if one is still running at the end.
int WaitForThreadsStartedSince(const std::set<DWORD>& before, DWORD timeoutMs);
