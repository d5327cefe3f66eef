// Message boxes of the program. A seam: tests record each box and answer it at once.
#pragma once
#include <windows.h>

using MessageBoxFn = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

extern MessageBoxFn g_messageBox;  // MessageBoxW in the program

// The caption of the boxes that speak for the program, rather than name a failed call.
constexpr WCHAR kBoxCaption[] = L"Kestrune";

inline int ShowMessageBox(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type) {
    return g_messageBox(owner, text, caption, type);
}

// A box that speaks for the program and warns of something the user can act on.
inline int ShowWarningBox(HWND owner, const WCHAR* text, UINT buttons) {
    return g_messageBox(owner, text, kBoxCaption, MB_ICONWARNING | buttons);
}
