// Room controls/: the bitmap button and the button bar that holds five of them.
//
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
    int bitmaps[3];   // 100 % resource numbers: 0 normal, 1 pressed, 2 disabled
    int pictureSize;  // the pictures are shown this wide and high
    int frameWidth;   // of the hover frame, in pixels
};

constexpr WCHAR kMyButtonClass[] = L"MyButtonClass";

// The bar's colour behind the buttons; a button whose picture can't be loaded shows it.
constexpr COLORREF kBarColour = RGB(156, 177, 209);

constexpr int kFrameWidth = 1;  // of the hover frame at 96 dpi

bool RegisterMyButtonClass();
LRESULT CALLBACK MyButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The object behind a custom window (button or bar), or null.
void* GetWindowObject(HWND window);

void ConstructMyButton(MyButton* button, HWND window);
// The area painted and framed; the picture is cut to it.
void SetSize(MyButton* button, int width, int height);
// kButtonPixels and kFrameWidth at 96 dpi. Pictures are drawn for 42, 53, 63 and 84 px, and
// resized from the nearest set for other sizes.
void SetPictureSize(MyButton* button, int pixels);
void SetFrameWidth(MyButton* button, int pixels);
void SetBitmaps(MyButton* button, int normal, int pressed, int disabled);
void SetCommand(MyButton* button, int command);
void SetAutoRelease(MyButton* button, bool flag);
void SetDisabled(MyButton* button, bool flag);
void SetPressed(MyButton* button, bool flag);
void Paint(MyButton* button, HDC target);
void DrawFrame(MyButton* button, HDC target);
