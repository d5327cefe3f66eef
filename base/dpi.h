// The scale a window is shown at, in dots per inch (96 at 100 %), and pixel measures at that
// scale. A seam: tests script a window's scale, since Wine gives every window the system's and
// never changes it.
#pragma once
#include <windows.h>

constexpr UINT kBaseDpi = 96;

// Sent to a window's children once the window has taken a new scale (WINVER 0x0605 headers).
constexpr UINT kDpiChangedAfterParent = 0x02E3;  // WM_DPICHANGED_AFTERPARENT

using WindowDpiFn = UINT (*)(HWND window);

// GetDpiForWindow where it exists (Windows 10 1607 and later), else the screen's LOGPIXELSX.
extern WindowDpiFn g_windowDpi;

inline UINT WindowDpi(HWND window) {
    return g_windowDpi(window);
}

// A 96-dpi measure at `dpi`, rounded to the nearest pixel.
int ScaleToDpi(int pixels, UINT dpi);

// GetSystemMetricsForDpi where it exists, else GetSystemMetrics (the system's own scale).
int SystemMetricForDpi(int index, UINT dpi);
