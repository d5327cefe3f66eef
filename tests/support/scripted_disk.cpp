#include "tests/support/scripted_disk.h"

#include <gtest/gtest.h>

#include "tests/support/file_bytes.h"
#include "tests/support/utf8.h"

namespace {

ScriptedDisk* g_scriptedDisk = nullptr;

// A path as the disk's key: full, in its long form where it exists, in lower case (Windows
// compares paths without case).
std::wstring Key(const WCHAR* path) {
    WCHAR full[MAX_PATH];
    WCHAR longForm[MAX_PATH];
    DWORD length = GetFullPathNameW(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        return L"";
    }
    length = GetLongPathNameW(full, longForm, MAX_PATH);
    std::wstring key = length != 0 && length < MAX_PATH ? longForm : full;
    CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    return key;
}

std::uint64_t SizeOf(const WIN32_FIND_DATAW& entry) {
    return (std::uint64_t{entry.nFileSizeHigh} << 32) | entry.nFileSizeLow;
}

}  // namespace

ScriptedDisk::ScriptedDisk(const std::string& folder, std::uint64_t freeBytes, DWORD clusterBytes)
    : previousWrite_(g_writeFile),
      previousFlush_(g_flushFile),
      previousFreeSpace_(g_diskFreeSpace),
      cluster_(clusterBytes == 0 ? 1 : clusterBytes) {
    if (g_scriptedDisk != nullptr) {
        ADD_FAILURE() << "a scripted disk is already installed";
    }
    folder_ = Key(Wide(folder).c_str());
    if (!folder_.empty() && folder_.back() != L'\\') {
        folder_ += L'\\';
    }
    const DWORD attributes = GetFileAttributesW(folder_.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        ADD_FAILURE() << "the scripted disk's folder " << folder << " is not a folder";
    }
    SetFreeBytes(freeBytes);
    g_scriptedDisk = this;
    g_writeFile = Write;
    g_flushFile = Flush;
    g_diskFreeSpace = FreeSpace;
}

ScriptedDisk::~ScriptedDisk() {
    g_writeFile = previousWrite_;
    g_flushFile = previousFlush_;
    g_diskFreeSpace = previousFreeSpace_;
    g_scriptedDisk = nullptr;
}

void ScriptedDisk::SetFreeBytes(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    sizeBytes_ = UsedBytes() + bytes / cluster_ * cluster_;
}

void ScriptedDisk::FailNextWrite(DWORD error, DWORD leastBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    failNext_ = true;
    failError_ = error;
    failLeast_ = leastBytes;
}

void ScriptedDisk::SetWineFullWrites(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    wineFullWrites_ = on;
}

std::uint64_t ScriptedDisk::FreeBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FreeBytesLocked();
}

int ScriptedDisk::Writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

int ScriptedDisk::FailedWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failedWrites_;
}

bool ScriptedDisk::WriteFailureArmed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failNext_;
}

int ScriptedDisk::FreeSpaceCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return freeSpaceCalls_;
}

int ScriptedDisk::Flushes(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = flushes_.find(Key(Wide(path).c_str()));
    return found == flushes_.end() ? 0 : found->second;
}

std::vector<BYTE> ScriptedDisk::FlushedBytes(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = flushed_.find(Key(Wide(path).c_str()));
    if (found == flushed_.end()) {
        ADD_FAILURE() << path << " was never flushed";
        return {};
    }
    return found->second;
}

std::uint64_t ScriptedDisk::Clusters(std::uint64_t bytes) const {
    return (bytes + cluster_ - 1) / cluster_;
}

bool ScriptedDisk::OnDisk(const std::wstring& path) const {
    return !path.empty() && path.size() > folder_.size() &&
           path.compare(0, folder_.size(), folder_) == 0;
}

std::wstring ScriptedDisk::PathOf(HANDLE file) const {
    WCHAR path[MAX_PATH];
    const DWORD length =
        GetFinalPathNameByHandleW(file, path, MAX_PATH, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= MAX_PATH) {
        return L"";
    }
    // "\\?\C:\..." names a drive's file in its full, long form: the key but for its case.
    std::wstring key = wcsncmp(path, L"\\\\?\\", 4) == 0 ? path + 4 : path;
    CharLowerBuffW(&key[0], static_cast<DWORD>(key.size()));
    return OnDisk(key) ? key : L"";
}

std::uint64_t ScriptedDisk::UsedBytes() const {
    std::uint64_t clusters = 0;
    std::vector<std::wstring> folders = {folder_};
    while (!folders.empty()) {
        const std::wstring folder = folders.back();
        folders.pop_back();
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) {
            continue;
        }
        do {
            const std::wstring name = entry.cFileName;
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                clusters += Clusters(SizeOf(entry));
            } else if (name != L"." && name != L"..") {
                folders.push_back(folder + name + L"\\");
            }
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return clusters * cluster_;
}

std::uint64_t ScriptedDisk::FreeBytesLocked() const {
    const std::uint64_t used = UsedBytes();
    return sizeBytes_ > used ? sizeBytes_ - used : 0;
}

BOOL WINAPI ScriptedDisk::Write(HANDLE file, LPCVOID bytes, DWORD count, LPDWORD written,
                                LPOVERLAPPED overlapped) {
    ScriptedDisk* disk = g_scriptedDisk;
    std::lock_guard<std::mutex> lock(disk->mutex_);
    ++disk->writes_;
    if (written == nullptr || overlapped != nullptr) {
        ADD_FAILURE() << "WriteFile: expected a synchronous write with a count written";
        ++disk->failedWrites_;
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *written = 0;
    const std::wstring path = disk->PathOf(file);
    if (path.empty()) {
        ADD_FAILURE() << "WriteFile: handle " << file << " is no open file on the scripted disk "
                      << Utf8(disk->folder_.c_str());
        ++disk->failedWrites_;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (disk->failNext_ && count >= disk->failLeast_) {
        disk->failNext_ = false;
        ++disk->failedWrites_;
        SetLastError(disk->failError_);
        return FALSE;
    }
    // The clusters the write adds past the file's end.
    LARGE_INTEGER position = {};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT) ||
        !GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        ADD_FAILURE() << "WriteFile: cannot tell where " << Utf8(path.c_str()) << " is written";
        ++disk->failedWrites_;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    const std::uint64_t at = static_cast<std::uint64_t>(position.QuadPart);
    const std::uint64_t end = at + count;
    const std::uint64_t added = end > size ? disk->Clusters(end) - disk->Clusters(size) : 0;
    const std::uint64_t free = added == 0 ? 0 : disk->FreeBytesLocked();
    if (added * disk->cluster_ > free) {
        // The file may grow to the end of its last cluster and into every free one.
        const std::uint64_t room = disk->Clusters(size) * disk->cluster_ + free;
        if (!disk->wineFullWrites_ || room <= at) {
            ++disk->failedWrites_;
            SetLastError(ERROR_DISK_FULL);
            return FALSE;
        }
        count = static_cast<DWORD>(room - at);
    }
    const BOOL wrote = WriteFile(file, bytes, count, written, nullptr);
    if (!wrote) {
        ++disk->failedWrites_;
    }
    return wrote;
}

BOOL WINAPI ScriptedDisk::Flush(HANDLE file) {
    ScriptedDisk* disk = g_scriptedDisk;
    std::lock_guard<std::mutex> lock(disk->mutex_);
    const std::wstring path = disk->PathOf(file);
    if (path.empty()) {
        ADD_FAILURE() << "FlushFileBuffers: handle " << file
                      << " is no open file on the scripted disk " << Utf8(disk->folder_.c_str());
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!FlushFileBuffers(file)) {
        return FALSE;
    }
    ++disk->flushes_[path];
    disk->flushed_[path] = ReadFileBytes(path);
    return TRUE;
}

BOOL WINAPI ScriptedDisk::FreeSpace(LPCWSTR folder, PULARGE_INTEGER available,
                                    PULARGE_INTEGER total, PULARGE_INTEGER totalFree) {
    ScriptedDisk* disk = g_scriptedDisk;
    std::lock_guard<std::mutex> lock(disk->mutex_);
    ++disk->freeSpaceCalls_;
    if (folder == nullptr || (available == nullptr && total == nullptr && totalFree == nullptr)) {
        ADD_FAILURE() << "GetDiskFreeSpaceExW: expected a folder and a place for the answer";
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring key = Key(folder);
    if (!key.empty() && key.back() != L'\\') {
        key += L'\\';
    }
    const DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        key.compare(0, disk->folder_.size(), disk->folder_) != 0) {
        ADD_FAILURE() << "GetDiskFreeSpaceExW(" << Utf8(folder)
                      << "): expected a folder on the scripted disk "
                      << Utf8(disk->folder_.c_str());
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    const std::uint64_t free = disk->FreeBytesLocked();
    if (available != nullptr) {
        available->QuadPart = free;
    }
    if (totalFree != nullptr) {
        totalFree->QuadPart = free;
    }
    if (total != nullptr) {
        total->QuadPart = disk->sizeBytes_;
    }
    return TRUE;
}
