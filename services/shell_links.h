// Room services/: handing the recording over (Send, Copy, Save As); Help, About, home page.
//
// Help page, About box, the maker's home page and a file shown in its folder.
#pragma once
#include <windows.h>

#include "app/app_state.h"
#include "base/shell.h"

// The help page in the user's language, else the English one.
void OpenHelp();
void ShowAbout();
void OpenHomePage(AppState* state);
// The file's folder in the file manager, with the file selected.
void ShowFileInFolder(const WCHAR* path);
