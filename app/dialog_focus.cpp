#include "app/dialog_focus.h"

void PassFocusOn(HWND dialog, HWND hadFocus) {
    // A focus the window did not have, or one that is still somewhere, stays as it is.
    if (!hadFocus || GetFocus() != nullptr || !IsChild(dialog, hadFocus)) {
        return;
    }
    // Tab's order from the control that had it, which is disabled now and so is skipped.
    HWND next = GetNextDlgTabItem(dialog, hadFocus, FALSE);
    if (next && next != hadFocus && IsWindowEnabled(next)) {
        // As Tab moves it, so that the dialog keeps its default button right.
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(next), TRUE);
    } else {
        SetFocus(dialog);
    }
}
