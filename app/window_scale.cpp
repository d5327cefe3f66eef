#include "app/window_scale.h"

#include <commctrl.h>

#include "app/app_state.h"
#include "base/dpi.h"
#include "base/newer_windows.h"
#include "res/resource.h"

namespace {

using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);

// The icon drawn for that size, else one scaled down from a larger image; null on failure.
HICON LoadIconAtSize(int id, int size) {
    // Common Controls 6 (Vista and later); the manifest asks for it.
    const auto loadIconWithScaleDown = reinterpret_cast<LoadIconWithScaleDownFn>(
        NewerSystemFunction(L"comctl32.dll", "LoadIconWithScaleDown"));
    if (loadIconWithScaleDown) {
        HICON icon = nullptr;
        if (SUCCEEDED(loadIconWithScaleDown(g_instance, MAKEINTRESOURCEW(id), size, size, &icon))) {
            return icon;
        }
    }
    return static_cast<HICON>(
        LoadImageW(g_instance, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
}

void SetIcon(HWND window, WPARAM which, HICON icon) {
    HICON previous = reinterpret_cast<HICON>(
        SendMessageW(window, WM_SETICON, which, reinterpret_cast<LPARAM>(icon)));
    if (previous && previous != icon) {
        DestroyIcon(previous);  // only SetWindowIcons sets them, each loaded for the window
    }
}

void SetIconAtSize(HWND window, WPARAM which, int id, int size) {
    HICON icon = LoadIconAtSize(id, size);
    if (icon) {
        SetIcon(window, which, icon);
    }
}

}  // namespace

void SetWindowIcons(HWND window) {
    const UINT dpi = WindowDpi(window);
    SetIconAtSize(window, ICON_SMALL, IDI_ENVELOPE, SystemMetricForDpi(SM_CXSMICON, dpi));
    SetIconAtSize(window, ICON_BIG, IDI_POSTCARD, SystemMetricForDpi(SM_CXICON, dpi));
}

void FollowNewScale(HWND window, const RECT* suggested) {
    if (suggested) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetWindowIcons(window);
}

void DestroyWindowIcons(HWND window) {
    SetIcon(window, ICON_SMALL, nullptr);
    SetIcon(window, ICON_BIG, nullptr);
}
