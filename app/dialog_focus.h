// Room app/: the application shell: start-up, the state record, the control states, the window.
//
// The keyboard focus across a change of the controls' states. Windows leaves a control that is
// disabled while it has the focus with no focus at all, and then neither Tab nor the window's
// keys (Space, Esc) reach the window: the focus goes on to the next control Tab reaches instead.
#pragma once
#include <windows.h>

// After a change: when `hadFocus` (GetFocus() before the change) was one of the dialog's
// controls and the change left the focus nowhere, the focus goes to the next available control
// after it in Tab's order, or to the dialog itself when none is left.
void PassFocusOn(HWND dialog, HWND hadFocus);
