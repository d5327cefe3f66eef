// Save As: the finished recording saved to a WAV file the user picks, of one of two types.
#pragma once
#include <windows.h>
#include <commdlg.h>

#include "app/app_state.h"

using GetSaveFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEW dialog);
extern GetSaveFileNameFn g_getSaveFileName;  // GetSaveFileNameW in the program; a seam for tests

// The dialog's types, by their 1-based place in its list.
constexpr DWORD kSavePlayable = 1;  // what Send hands over, converted on a worker (the default)
constexpr DWORD kSaveOriginal = 2;  // the voice file itself, GSM 6.10, byte for byte

// Asks where to save and as which type, suggesting the name a Send would give, in Documents or
// the folder last saved to. The playable type is handed over as Send does (services/handover.h);
// the original is copied at once, and "Failed to save the message" when that fails.
void SaveMessageAs(AppState* state);

// A save to `path` succeeded: the next Save As starts in its folder, which ends where the file's
// name starts, at `fileOffset`.
void RememberSaveFolder(const WCHAR* path, WORD fileOffset);
