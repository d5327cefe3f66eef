// Real files in a fresh folder under the user's temporary folder, removed afterwards.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/file_bytes.h"  // ReadFileBytes

class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // A path inside the folder; the file is not created.
    std::string File(const char* name) const { return path_ + "\\" + name; }

  private:
    std::string path_;
};

// Opens a file for reading and writing, created empty.
HANDLE CreateEmptyFile(const std::string& path);

// The 32-bit little-endian value at that offset.
DWORD ValueAt(const std::vector<BYTE>& bytes, size_t offset);
