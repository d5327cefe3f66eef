// Room app/: the application shell: start-up, the state record, the control states, the window.
//
// The main window: a modal dialog whose procedure turns every user action and device
// notification into a call on the recorder, the player, the control states or the services.
#pragma once
#include <windows.h>

#include "app/app_state.h"

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Windows may end the session at most this long after telling the window.
constexpr DWORD kEndSessionBoundMs = 4000;

// True from the start of a recording until its input device has closed.
bool RecorderBusy(const AppState* state);
