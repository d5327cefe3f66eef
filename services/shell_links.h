// Help page, About box and the maker's home page.
#pragma once
#include <windows.h>

#include "app/app_state.h"

using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ShellExecuteFn g_shellExecute;  // ShellExecuteA in the program; a seam for tests

void OpenHelp();
void ShowAbout();
void OpenHomePage(AppState* state);
