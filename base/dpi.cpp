#include "base/dpi.h"

#include "base/newer_windows.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);

UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT DpiOfWindow(HWND window) {
    // Looked up on each call: cheap, and no guarded static (which brings in much of the C++
    // runtime).
    const auto getDpiForWindow =
        reinterpret_cast<GetDpiForWindowFn>(NewerSystemFunction(L"user32.dll", "GetDpiForWindow"));
    UINT dpi = getDpiForWindow ? getDpiForWindow(window) : 0;
    return dpi ? dpi : ScreenDpi();
}

}  // namespace

WindowDpiFn g_windowDpi = DpiOfWindow;

int ScaleToDpi(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), static_cast<int>(kBaseDpi));
}

int SystemMetricForDpi(int index, UINT dpi) {
    const auto getSystemMetricsForDpi = reinterpret_cast<GetSystemMetricsForDpiFn>(
        NewerSystemFunction(L"user32.dll", "GetSystemMetricsForDpi"));
    return getSystemMetricsForDpi ? getSystemMetricsForDpi(index, dpi) : GetSystemMetrics(index);
}
