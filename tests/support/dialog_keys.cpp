#include "tests/support/dialog_keys.h"

#include <gtest/gtest.h>

void DeliverKey(HWND dialog, WPARAM key, KeyHeld held, HWND to) {
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    const BYTE savedShift = keys[VK_SHIFT];
    const BYTE savedControl = keys[VK_CONTROL];
    keys[VK_SHIFT] = held == KeyHeld::kShift ? 0x80 : 0;
    keys[VK_CONTROL] = held == KeyHeld::kControl ? 0x80 : 0;
    SetKeyboardState(keys);
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        const LPARAM flags = static_cast<LPARAM>(message == WM_KEYUP ? 0xC0000001u : 1u);
        HWND target = to ? to : GetFocus();
        MSG msg = {target ? target : dialog, message, key, flags, 0, {0, 0}};
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    keys[VK_SHIFT] = savedShift;
    keys[VK_CONTROL] = savedControl;
    SetKeyboardState(keys);
}
