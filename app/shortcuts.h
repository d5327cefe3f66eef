// The main window's keys: Ctrl+S, Ctrl+C and the transport keys (Ctrl+R, Ctrl+P, Space, Esc).
// The dialog's own message loop translates no accelerators, so a message-filter hook hands its
// keys to the accelerator table first; a key it takes never reaches the focused control, so
// Space pauses rather than clicking a button.
#pragma once
#include <windows.h>

// Loads the table and hooks this thread's dialog loop for the window.
void InstallShortcuts(HWND window);
void RemoveShortcuts();
