// Copy: the finished recording on the clipboard as a file, for pasting into a mail or a folder.
#pragma once
#include "app/app_state.h"

// Puts a copy of the voice file made as Send makes it on the clipboard: CF_HDROP naming it, and
// "Preferred DropEffect" saying copy. "Failed to copy temporary file" when no copy can be made.
void CopyMessageToClipboard(AppState* state);
