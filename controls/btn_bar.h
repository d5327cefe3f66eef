// Room controls/: the bitmap button and the button bar that holds five of them.
//
// The button bar: holds Play, Pause, Stop, Record and Send and passes their commands on. Tab
// reaches its buttons but never the bar itself; screen readers read it by IDS_BUTTON_BAR; under a
// high-contrast theme it takes the theme's colours, and follows a theme changed while it shows.
#pragma once
#include <windows.h>

#include "controls/my_button.h"

enum ButtonSlot { Play = 0, Pause = 1, Stop = 2, Record = 3, Send = 4 };
constexpr int kButtonCount = 5;

struct BtnBar {
    HWND window;
    MyButton* buttons[kButtonCount];  // by slot; null where a button could not be made
    HWND tips;  // the buttons' tooltips, destroyed with the bar; made once the window shows
};

bool RegisterBtnBarClass();
LRESULT CALLBACK BtnBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A button's place in a bar that wide at that scale: at 96 dpi 42 x 42 px, 6 px below the
// top, Play 6 px from the left with 4 px between the first four, Send 6 px from the right;
// each measure scaled and rounded at other scales.
RECT ButtonPlace(int slot, int barWidth, UINT dpi);

// Lays the buttons out for the window's scale (and again on WM_DPICHANGED_AFTERPARENT).
void ConstructBtnBar(BtnBar* bar, HWND window);
// A command disabled or enabled where it is offered: the slot's button (its window disabled),
// and the item with the slot's command in the parent window's menu (grayed when disabled).
void SetCommandDisabled(BtnBar* bar, int slot, bool flag);
void SetButtonPressed(BtnBar* bar, int slot, bool flag);
// The button in a slot, or null (no such slot, or its button could not be made).
MyButton* ButtonInSlot(BtnBar* bar, int slot);
