// The shell, which opens pages, folders and settings for the program. A seam: tests write each
// call down and open nothing.
#pragma once
#include <windows.h>

using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);
extern ShellExecuteFn g_shellExecute;  // ShellExecuteW in the program
