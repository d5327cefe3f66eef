// Message boxes of the program. A seam: tests record each box and answer it at once.
#pragma once
#include <windows.h>

using MessageBoxFn = int(WINAPI*)(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

extern MessageBoxFn g_messageBox;  // MessageBoxA in the program

inline int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return g_messageBox(owner, text, caption, type);
}
