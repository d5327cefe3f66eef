#include "tests/support/dialog_keys.h"

#include <gtest/gtest.h>

void DeliverKey(HWND dialog, WPARAM key, bool shift) {
    BYTE keys[256];
    ASSERT_TRUE(GetKeyboardState(keys));
    const BYTE saved = keys[VK_SHIFT];
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    for (UINT message : {WM_KEYDOWN, WM_KEYUP}) {
        const LPARAM flags = static_cast<LPARAM>(message == WM_KEYUP ? 0xC0000001u : 1u);
        HWND focus = GetFocus();
        MSG msg = {focus ? focus : dialog, message, key, flags, 0, {0, 0}};
        if (!IsDialogMessageW(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    keys[VK_SHIFT] = saved;
    SetKeyboardState(keys);
}
