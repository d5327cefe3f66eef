// Help page, About box, the maker's home page and a file shown in its folder.
#pragma once
#include <windows.h>

#include "app/app_state.h"

using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ShellExecuteFn g_shellExecute;  // ShellExecuteA in the program; a seam for tests

void OpenHelp();
void ShowAbout();
void OpenHomePage(AppState* state);
// The file's folder in the file manager, with the file selected.
void ShowFileInFolder(const char* path);
