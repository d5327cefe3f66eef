// Stands in for ShellExecuteW (base/shell.h): writes each call down (as UTF-8) and opens nothing.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// What the shell was asked to open; a null verb reads "(null)", null texts read "".
struct ShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    bool nullParameters, nullDirectory;
    INT show;
};

// The calls in order; a test clears it before it starts.
extern std::vector<ShellCall> g_shellCalls;

// Answers as ShellExecuteA does on success (a value above 32); a null file fails the test.
HINSTANCE WINAPI RecordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                 LPCWSTR directory, INT show);
