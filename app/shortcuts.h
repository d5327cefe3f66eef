// Ctrl+S and Ctrl+C in the main window. The dialog's own message loop translates no
// accelerators, so a message-filter hook hands its keys to the accelerator table first.
#pragma once
#include <windows.h>

// Loads the table and hooks this thread's dialog loop for the window.
void InstallShortcuts(HWND window);
void RemoveShortcuts();
