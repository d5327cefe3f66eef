// Room controls/: the bitmap button and the button bar that holds five of them.
//
// The picture buttons as drawn while a high-contrast theme is on: the system's colours instead
// of the pictures' fixed ones, and the symbols drawn with GDI for the button's size, so they
// stay sharp at every scale.
#pragma once
#include <windows.h>

// Whether a high-contrast theme is on. A seam: Wine always answers off and cannot be told
// otherwise, so tests answer for it.
using HighContrastFn = bool (*)();
extern HighContrastFn g_highContrastOn;  // SPI_GETHIGHCONTRAST in the program

inline bool HighContrastOn() {
    return g_highContrastOn();
}

// The system's colour for a COLOR_ index. A seam: Wine's defaults make some of them equal, and
// a test must tell them apart.
using SystemColourFn = DWORD(WINAPI*)(int index);
extern SystemColourFn g_systemColour;  // GetSysColor in the program

struct ContrastButton {
    int slot;       // which symbol: a ButtonSlot, Play to Send
    bool pressed;   // face in COLOR_HIGHLIGHT, symbol in COLOR_HIGHLIGHTTEXT
    bool disabled;  // symbol in COLOR_GRAYTEXT; shown instead of pressed, as the pictures are
    bool focused;   // a ring inside the frame; never on a disabled button
};

// The button at size x size pixels from (0,0) of `target`: the face in COLOR_BTNFACE, a frame
// on the outermost pixels and the focus ring in COLOR_BTNTEXT, the symbol in the colour for its
// state. The symbols have the 42-px pictures' geometry scaled; a pixel is the symbol's when its
// centre lies in it, so edges are crisp at every size. The device context is left as it was.
void DrawContrastButton(const ContrastButton* button, HDC target, int size);
