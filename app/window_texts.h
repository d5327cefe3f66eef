// The main window's own texts in the user's language, with the room each needs: the template
// holds no words, so every language lays the window out for its own.
#pragma once
#include <windows.h>

// Sets the input level's label (its width grown to its text, the meter after it) and the
// meter's name.
void ShowWindowTexts(HWND window);
