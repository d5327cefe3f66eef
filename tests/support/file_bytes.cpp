#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

namespace {

// `shown` names the file in failures.
std::vector<BYTE> ReadOpened(HANDLE file, const std::string& shown) {
    std::vector<BYTE> bytes;
    if (file == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "cannot open " << shown;
        return bytes;
    }
    // In chunks up to the end, so a file that grows meanwhile is read as far as it has come.
    BYTE chunk[4096];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof chunk, &read, nullptr)) {
            ADD_FAILURE() << "cannot read " << shown;
            bytes.clear();
            break;
        }
        if (read == 0) {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    CloseHandle(file);
    return bytes;
}

}  // namespace

std::vector<BYTE> ReadFileBytes(const std::string& path) {
    return ReadOpened(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      path);
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path) {
    std::string shown(
        WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr), '\0');
    if (!shown.empty()) {
        WideCharToMultiByte(CP_UTF8, 0, path.c_str(), -1, &shown[0], static_cast<int>(shown.size()),
                            nullptr, nullptr);
        shown.pop_back();
    }
    return ReadOpened(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      shown);
}
