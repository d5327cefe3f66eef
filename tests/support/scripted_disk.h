// A disk stand-in on the disk's seam (base/disk.h: g_writeFile, g_flushFile, g_diskFreeSpace)
// for the life of the object: a real folder becomes a small disk of its own.
//
// It behaves as a real disk does for this program. Writes of the folder's files reach the real
// files. Room is allocated in clusters (4096 bytes unless told), and a write that needs more
// clusters than are free fails with ERROR_DISK_FULL and writes nothing (Windows), or writes
// what fits and succeeds with the shorter count, the next one failing (Wine). The free space is the
// disk's size less the clusters that the files in the folder and its subfolders take now, so it
// follows every write, cut, deletion and copy, also those made without the seam. A flush takes
// down what the file holds then: what the disk would keep after a power cut. Writes may come
// from any thread.
//
// Misuse fails the test (ADD_FAILURE) and answers as Windows would:
//   - a write or flush of a handle that is no file in the folder (closed, or on another disk);
//   - a write with an OVERLAPPED, or without a place for the count written (the program writes
//     synchronously);
//   - the free space of anything but a folder on this disk, or with nowhere to answer.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "base/disk.h"

class ScriptedDisk {
  public:
    // The folder (an existing one, with or without its last backslash) with `freeBytes` free.
    explicit ScriptedDisk(const std::string& folder,
                          std::uint64_t freeBytes = std::uint64_t{1} << 32,
                          DWORD clusterBytes = 4096);  // UTF-8
    ~ScriptedDisk();
    ScriptedDisk(const ScriptedDisk&) = delete;
    ScriptedDisk& operator=(const ScriptedDisk&) = delete;

    // --- Script ---
    // The disk's size is set so that this much is free now, in whole clusters (rounded down),
    // as if another program had filled or emptied it.
    void SetFreeBytes(std::uint64_t bytes);
    // The next write of at least `leastBytes` bytes fails with `error`, writing nothing.
    void FailNextWrite(DWORD error, DWORD leastBytes = 1);
    // Wine's write on a full disk: what fits in the free clusters is written, and the call
    // succeeds with the shorter count. By default (Windows) it fails and writes nothing.
    void SetWineFullWrites(bool on);

    // --- Introspection ---
    std::uint64_t FreeBytes() const;  // as GetDiskFreeSpaceExW answers now
    DWORD ClusterBytes() const { return cluster_; }
    int Writes() const;        // write calls, failed ones included
    int FailedWrites() const;  // of them, those that failed
    int FreeSpaceCalls() const;
    bool WriteFailureArmed() const;              // FailNextWrite's failure has not happened yet
    int Flushes(const std::string& path) const;  // of that file (UTF-8)
    // What the file held at its last flush; empty, with a test failure, when never flushed.
    std::vector<BYTE> FlushedBytes(const std::string& path) const;

  private:
    static BOOL WINAPI Write(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written,
                             LPOVERLAPPED overlapped);
    static BOOL WINAPI Flush(HANDLE file);
    static BOOL WINAPI FreeSpace(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                 PULARGE_INTEGER totalFree);

    // The file's path, as a key, when `file` is one of the disk's files; "" otherwise.
    std::wstring PathOf(HANDLE file) const;
    bool OnDisk(const std::wstring& path) const;
    std::uint64_t Clusters(std::uint64_t bytes) const;
    std::uint64_t UsedBytes() const;  // every cluster the folder's files take
    std::uint64_t FreeBytesLocked() const;

    WriteFileFn previousWrite_;
    FlushFileFn previousFlush_;
    DiskFreeSpaceFn previousFreeSpace_;
    std::wstring folder_;  // its full, long form, with a backslash at the end
    DWORD cluster_;
    std::uint64_t sizeBytes_ = 0;
    mutable std::mutex mutex_;
    int writes_ = 0;
    int failedWrites_ = 0;
    int freeSpaceCalls_ = 0;
    bool wineFullWrites_ = false;
    bool failNext_ = false;
    DWORD failError_ = 0;
    DWORD failLeast_ = 0;
    std::map<std::wstring, int> flushes_;
    std::map<std::wstring, std::vector<BYTE>> flushed_;
};
