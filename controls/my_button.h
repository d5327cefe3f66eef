// The bitmap push button: three pictures, a hover frame, latching or momentary behaviour,
// and a press reported to the parent as WM_COMMAND on the mouse-down.
#pragma once
#include <windows.h>

struct MyButton {
    int width;
    int height;
    bool disabled;
    bool pressed;
    bool frameDrawn;
    bool hot;
    bool autoRelease;
    HWND window;
    int command;
    int bitmaps[3];  // resource numbers: 0 normal, 1 pressed, 2 disabled
};

// The bar's colour behind the buttons; a button whose picture can't be loaded shows it.
constexpr COLORREF kBarColour = RGB(156, 177, 209);

bool RegisterMyButtonClass();
LRESULT CALLBACK MyButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The object behind a custom window (button or bar), or null.
void* GetWindowObject(HWND window);

void ConstructMyButton(MyButton* button, HWND window);
void SetSize(MyButton* button, int width, int height);
void SetBitmaps(MyButton* button, int normal, int pressed, int disabled);
void SetCommand(MyButton* button, int command);
void SetAutoRelease(MyButton* button, bool flag);
void SetDisabled(MyButton* button, bool flag);
void SetPressed(MyButton* button, bool flag);
void Paint(MyButton* button, HDC target);
void DrawFrame(MyButton* button, HDC target);
