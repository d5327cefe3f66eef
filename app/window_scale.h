// What the main window does for its scale itself: its small and large icons loaded for the
// window's dpi, and the move to a new scale (WM_DPICHANGED). The dialog manager scales the
// template's controls; the button bar lays itself out again.
#pragma once
#include <windows.h>

// Sets the envelope as the small icon and the postcard as the large one, each at the size
// Windows shows for the window's scale; keeps the old icons when new ones cannot be loaded.
void SetWindowIcons(HWND window);

// On WM_DPICHANGED: the suggested place and size, and icons for the new scale.
void FollowNewScale(HWND window, const RECT* suggested);

// Destroys the icons SetWindowIcons set, as the window goes.
void DestroyWindowIcons(HWND window);
