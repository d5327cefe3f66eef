// Writes pictures for the documentation.
#pragma once

#include <windows.h>

// A 24-bit bottom-up drawing surface for `dc`, in the layout WriteBmp writes; null on failure.
HBITMAP CreateRgbSurface(HDC dc, int width, int height, void** bits);

// A bottom-up 24-bit BMP of `width` x `height` pixels whose rows are padded to 4 bytes.
bool WriteBmp(const char* path, const void* bits, int width, int height);
