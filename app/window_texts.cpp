#include "app/window_texts.h"

#include "base/text.h"
#include "res/resource.h"
#include "res/texts.h"

namespace {

// The width the control's text takes in the control's own font, in pixels.
int TextWidth(HWND control, const WCHAR* text) {
    HDC dc = GetDC(control);
    if (dc == nullptr) {
        return 0;
    }
    HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT bounds = {0, 0, 0, 0};
    DrawTextW(dc, text, -1, &bounds, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(control, dc);
    return bounds.right - bounds.left;
}

// The control's place in its parent's client area.
RECT PlaceOf(HWND control) {
    RECT place = {};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
    return place;
}

}  // namespace

void ShowWindowTexts(HWND window) {
    const Text level = LoadText(IDS_INPUT_LEVEL);
    HWND label = GetDlgItem(window, IDC_LEVEL_LABEL);
    HWND meter = GetDlgItem(window, IDC_LEVEL_METER);
    SetWindowTextW(label, level.chars);
    SetWindowTextW(meter, level.chars);
    if (label == nullptr || meter == nullptr) {
        return;
    }
    // The label takes what its text needs; the meter keeps the gap and the rest of the row.
    const RECT labelPlace = PlaceOf(label);
    const RECT meterPlace = PlaceOf(meter);
    const int gap = meterPlace.left - labelPlace.right;
    const int width = TextWidth(label, level.chars);
    if (width <= labelPlace.right - labelPlace.left) {
        return;
    }
    const int meterLeft = labelPlace.left + width + gap;
    SetWindowPos(label, nullptr, 0, 0, width, labelPlace.bottom - labelPlace.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(meter, nullptr, meterLeft, meterPlace.top, meterPlace.right - meterLeft,
                 meterPlace.bottom - meterPlace.top, SWP_NOZORDER | SWP_NOACTIVATE);
}
