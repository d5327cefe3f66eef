// Reads a file back whole, and lists a folder, for checks on what the program wrote.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The whole content of a file, read through a handle of its own that lets the program keep
// writing; empty, with a test failure, when it cannot be opened or read.
std::vector<BYTE> ReadFileBytes(const std::string& path);  // UTF-8
// The same for a path in UTF-16, which may be in any script.
std::vector<BYTE> ReadFileBytes(const std::wstring& path);

// The names of the files in a folder (UTF-8, with or without a backslash at its end), each
// after a space; "" for none.
std::string FilesIn(const std::string& folder);
