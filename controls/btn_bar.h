// The button bar: holds Play, Pause, Stop, Record and Send and passes their commands on.
#pragma once
#include <windows.h>

#include "controls/my_button.h"

enum ButtonSlot { Play = 0, Pause = 1, Stop = 2, Record = 3, Send = 4 };

struct BtnBar {
    HWND window;
    MyButton* play;
    MyButton* pause;
    MyButton* record;
    MyButton* stop;
    MyButton* send;
    HWND tips;  // the buttons' tooltips, destroyed with the bar
};

bool RegisterBtnBarClass();
LRESULT CALLBACK BtnBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void ConstructBtnBar(BtnBar* bar, HWND window);
// Also grays or enables the slot's item in the parent window's menu.
void SetButtonDisabled(BtnBar* bar, int slot, bool flag);
void SetButtonPressed(BtnBar* bar, int slot, bool flag);
// The button in a slot, or null (no such slot, or its button could not be made).
MyButton* ButtonInSlot(BtnBar* bar, int slot);
