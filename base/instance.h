// The floor every room stands on: the module the program runs from. Its resources and window
// classes belong to this instance.
#pragma once
#include <windows.h>

extern HINSTANCE g_instance;  // set once at start, before any window exists
