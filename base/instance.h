// Room base/: the seams and helpers every floor uses: heap, boxes, DPI, shell, folders, instance.
//
// The module the program runs from: its resources and window classes belong to this instance.
#pragma once
#include <windows.h>

extern HINSTANCE g_instance;  // set once at start, before any window exists
