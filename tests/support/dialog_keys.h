// Keys as the keyboard delivers them to a dialog: to the control with the focus, through the
// dialog's own key handling (IsDialogMessage, and the message filters hooked into it).
#pragma once
#include <windows.h>

// The key down and up, with Shift or Ctrl held or neither, to `to` or else the control with the
// focus (to the dialog when none has it). Nothing else runs in between: the focus read
// afterwards is the one the key left, whatever other programs' windows do.
enum class KeyHeld { kNone, kShift, kControl };
void DeliverKey(HWND dialog, WPARAM key, KeyHeld held = KeyHeld::kNone, HWND to = nullptr);
