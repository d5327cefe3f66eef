// Copy: the finished recording on the clipboard as a file, for pasting into a mail or a folder.
#pragma once
#include "app/app_state.h"

// Hands the recording over as Send does (services/handover.h); once converted, the window
// puts the copy on the clipboard.
void CopyMessageToClipboard(AppState* state);

// On the window's thread: CF_HDROP naming the file, and "Preferred DropEffect" saying copy.
// False when the clipboard did not take it.
bool PlaceFileOnClipboard(HWND owner, const WCHAR* path);
