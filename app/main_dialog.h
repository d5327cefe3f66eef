// The main window: a modal dialog whose procedure turns every user action and device
// notification into a call on the recorder, the player, the control states or the services.
#pragma once
#include <windows.h>

#include "app/app_state.h"

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Pauses or resumes whichever device is active.
void SetPaused(AppState* state, bool flag);
