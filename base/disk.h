// The disk under the voice file: every write and flush of it, and the room left there. A seam:
// tests put a scripted disk here that fills up and fails writes as a real one does.
#pragma once
#include <windows.h>

using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using FlushFileFn = BOOL(WINAPI*)(HANDLE);
using DiskFreeSpaceFn = BOOL(WINAPI*)(LPCWSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
extern WriteFileFn g_writeFile;          // WriteFile in the program
extern FlushFileFn g_flushFile;          // FlushFileBuffers in the program
extern DiskFreeSpaceFn g_diskFreeSpace;  // GetDiskFreeSpaceExW in the program

// True when a write failed with `error` because the disk has no room left.
bool IsDiskFullError(DWORD error);

// The bytes this user may still write on the disk that holds the file at `path` (quotas
// included). False when the disk does not say.
bool FreeBytesBeside(const WCHAR* path, ULONGLONG* bytes);
