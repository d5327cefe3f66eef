#include "tests/voice/voice_test_files.h"

#include <gtest/gtest.h>

TempFolder::TempFolder() {
    char base[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, base);
    EXPECT_GT(length, 0u);
    char name[MAX_PATH];
    EXPECT_NE(GetTempFileNameA(base, "kvt", 0, name), 0u);
    // The unique file becomes a folder of the same name.
    DeleteFileA(name);
    EXPECT_TRUE(CreateDirectoryA(name, nullptr));
    path_ = name;
}

TempFolder::~TempFolder() {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA(File(found.cFileName).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

HANDLE CreateEmptyFile(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    return file;
}

DWORD ValueAt(const std::vector<BYTE>& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) {
        ADD_FAILURE() << "no 4 bytes at " << offset << " in " << bytes.size();
        return 0;
    }
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<DWORD>(bytes[offset + 3]) << 24;
}
