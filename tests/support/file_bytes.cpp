#include "tests/support/file_bytes.h"

#include <gtest/gtest.h>

#include "tests/support/utf8.h"

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
    return ReadFileBytes(Wide(path));
}

std::vector<BYTE> ReadFileBytes(const std::wstring& path) {
    return ReadOpened(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr),
                      Utf8(path.c_str()));
}

std::string FilesIn(const std::string& folder) {
    std::string names;
    WIN32_FIND_DATAW found;
    std::wstring pattern = Wide(folder);
    if (pattern.empty() || pattern.back() != L'\\') {
        pattern += L'\\';
    }
    HANDLE search = FindFirstFileW((pattern + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names += " " + Utf8(found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}
