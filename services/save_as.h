// Save As: the finished recording copied to a WAV file the user picks.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include "app/app_state.h"

using GetSaveFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW dialog);
extern GetSaveFileNameFn g_getSaveFileName;  // GetSaveFileNameW in the program; a seam for tests

// Asks where to save, suggesting the name a Send would give, in Documents or the folder last
// saved to, and copies the voice file there. "Failed to save the message" when the copy fails.
void SaveMessageAs(AppState* state);
