#include "controls/btn_bar.h"

#include <commctrl.h>

#include <cstring>

#include "base/dpi.h"
#include "base/heap.h"
#include "base/instance.h"
#include "base/text.h"
#include "controls/contrast_look.h"
#include "controls/picture_sets.h"
#include "res/resource.h"
#include "res/texts.h"

namespace {

constexpr WCHAR kClassName[] = L"BtnBarClass";
// The layout at 96 dpi; at other scales each measure is scaled.
constexpr int kButtonTop = 6;
constexpr int kEdgeGap = 6;    // from the bar's left edge to Play, and from Send to the right
constexpr int kButtonGap = 4;  // between Play, Pause, Stop and Record
constexpr int kFirstCommand = IDM_PLAY;
// Posted to the bar as it is made: the tooltips are made once the window has shown.
constexpr UINT kMakeTips = WM_USER + 1;

struct ButtonKind {
    UINT name;  // the window text: what screen readers say and the tooltip shows
    bool momentary;
};

// The five buttons in slot order; their pictures are controls/picture_sets.h's.
constexpr ButtonKind kButtons[kButtonCount] = {
    {IDS_BUTTON_PLAY, false},   {IDS_BUTTON_PAUSE, true}, {IDS_BUTTON_STOP, true},
    {IDS_BUTTON_RECORD, false}, {IDS_BUTTON_SEND, true},
};

// A hidden button at its place, with its object; null when either is missing. Each is a tab
// stop, in slot order; the first starts a group, so the arrow keys move among them.
MyButton* CreateButton(HWND bar, int slot, const WCHAR* name, const RECT& place) {
    const DWORD style = WS_CHILD | WS_TABSTOP | (slot == 0 ? WS_GROUP : 0);
    HWND window = CreateWindowExW(0, kMyButtonClass, name, style, place.left, place.top,
                                  place.right - place.left, place.bottom - place.top, bar, nullptr,
                                  g_instance, nullptr);
    if (!window) {
        return nullptr;
    }
    auto* button = static_cast<MyButton*>(GetWindowObject(window));
    if (!button) {
        DestroyWindow(window);
    }
    return button;
}

// The tooltip control shows each button's name while the pointer rests on it. It watches the
// buttons' mouse messages itself (TTF_SUBCLASS), so the buttons and the bar pass nothing on.
HWND CreateTips(HWND bar) {
    return CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                           WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, bar, nullptr, g_instance, nullptr);
}

// A disabled button takes no mouse input: the pointer over it is the bar's. So each button has a
// second tool, its place on the bar, that shows the same name then. Its id is the slot's number
// past one, which no window handle is.
TOOLINFOW PlaceTool(HWND bar, int slot, HWND button) {
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;  // version 5 of the common controls refuses a larger one
    tool.uFlags = TTF_SUBCLASS;
    tool.hwnd = bar;
    tool.uId = static_cast<UINT_PTR>(slot) + 1;
    if (GetWindowRect(button, &tool.rect)) {
        MapWindowPoints(nullptr, bar, reinterpret_cast<POINT*>(&tool.rect), 2);
    }
    return tool;
}

void AddTips(HWND tips, HWND bar, int slot, MyButton* button, const WCHAR* name) {
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = bar;
    tool.uId = reinterpret_cast<UINT_PTR>(button->window);
    tool.lpszText = const_cast<WCHAR*>(name);  // copied by the control
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    TOOLINFOW place = PlaceTool(bar, slot, button->window);
    place.lpszText = const_cast<WCHAR*>(name);
    SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&place));
}

// The tooltip control and the tools for each button there is.
void MakeTips(BtnBar* bar) {
    if (bar->tips) {
        return;
    }
    bar->tips = CreateTips(bar->window);
    if (!bar->tips) {
        return;
    }
    for (int slot = 0; slot < kButtonCount; ++slot) {
        MyButton* button = bar->buttons[slot];
        if (button) {
            AddTips(bar->tips, bar->window, slot, button, LoadText(kButtons[slot].name).chars);
        }
    }
}

int BarWidth(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    return client.right;
}

// A button's painted area, picture and frame for its place at that scale.
void ScaleButton(MyButton* button, const RECT& place, UINT dpi) {
    const int size = place.right - place.left;
    SetSize(button, size, size);
    SetPictureSize(button, size);
    SetFrameWidth(button, ScaleToDpi(kFrameWidth, dpi));
}

// The buttons' places, sizes and frames for the bar's scale now; their pictures follow when
// they are painted next.
void LayOutButtons(BtnBar* bar) {
    const UINT dpi = WindowDpi(bar->window);
    const int width = BarWidth(bar->window);
    for (int slot = 0; slot < kButtonCount; ++slot) {
        MyButton* button = bar->buttons[slot];
        if (!button) {
            continue;
        }
        const RECT place = ButtonPlace(slot, width, dpi);
        ScaleButton(button, place, dpi);
        SetWindowPos(button->window, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(button->window, nullptr, TRUE);
        if (bar->tips) {
            TOOLINFOW tool = PlaceTool(bar->window, slot, button->window);
            SendMessageW(bar->tips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
        }
    }
}

// Under a high-contrast theme the bar takes the theme's button face instead of its colour.
bool FillWithFace(HWND window, HDC target) {
    RECT client = {};
    if (!GetClientRect(window, &client)) {
        return false;
    }
    const int save = SaveDC(target);
    SetDCBrushColor(target, g_systemColour(COLOR_BTNFACE));
    FillRect(target, &client, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    RestoreDC(target, save);
    return true;
}

// The bar and its buttons, with their looks for the theme now.
void DrawAgain(HWND window) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The bar is no stop of its own: a focus given to it goes on to its first available button.
void PassFocusToButton(HWND window) {
    HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
    if (first && IsChild(window, first)) {
        SetFocus(first);
    }
}

}  // namespace

RECT ButtonPlace(int slot, int barWidth, UINT dpi) {
    // Each edge is its 96-dpi distance scaled, so none is more than half a pixel off.
    const int size = ScaleToDpi(kButtonPixels, dpi);
    const int top = ScaleToDpi(kButtonTop, dpi);
    const int left = slot == Send ? barWidth - ScaleToDpi(kEdgeGap + kButtonPixels, dpi)
                                  : ScaleToDpi(kEdgeGap + slot * (kButtonPixels + kButtonGap), dpi);
    return {left, top, left + size, top + size};
}

MyButton* ButtonInSlot(BtnBar* bar, int slot) {
    if (!bar || slot < 0 || slot >= kButtonCount) {
        return nullptr;
    }
    return bar->buttons[slot];
}

bool RegisterBtnBarClass() {
    // The tooltip class; without it the buttons simply show no tips.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    // Lives as long as the process once the class holds it.
    HBRUSH background = CreateSolidBrush(kBarColour);
    WNDCLASSW windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = BtnBarProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = sizeof(LONG_PTR);  // the object's address
    windowClass.hInstance = g_instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) {
        if (background) {
            DeleteObject(background);
        }
        return false;
    }
    return true;
}

LRESULT CALLBACK BtnBarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            auto* bar = static_cast<BtnBar*>(AllocateBlock(sizeof(BtnBar)));
            if (bar) {
                std::memset(bar, 0, sizeof(BtnBar));
                ConstructBtnBar(bar, window);
            }
            return 0;
        }
        case WM_DESTROY: {
            // The buttons free their own objects when their windows go.
            auto* bar = static_cast<BtnBar*>(GetWindowObject(window));
            if (bar) {
                // Gone already when the main window went, since it owns the tooltip too.
                if (bar->tips && IsWindow(bar->tips)) {
                    DestroyWindow(bar->tips);
                }
                SetWindowLongPtrW(window, 0, 0);
                FreeBlock(bar);
            }
            return 0;
        }
        case WM_ERASEBKGND:
            if (HighContrastOn() && FillWithFace(window, reinterpret_cast<HDC>(wParam))) {
                return 1;
            }
            return DefWindowProcW(window, message, wParam, lParam);
        case WM_PAINT: {
            // The background is filled already.
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_SETFOCUS:
            PassFocusToButton(window);
            return 0;
        // A contrast theme turned on or off, or its colours changed. Only top-level windows hear
        // of the first two from the system: the main window passes them on.
        case WM_SETTINGCHANGE:
            if (wParam == SPI_SETHIGHCONTRAST) {
                DrawAgain(window);
            }
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_THEMECHANGED:
            DrawAgain(window);
            return 0;
        case WM_COMMAND:
            SendMessageW(GetParent(window), WM_COMMAND, wParam, lParam);
            return 0;
        case kMakeTips: {
            auto* bar = static_cast<BtnBar*>(GetWindowObject(window));
            if (bar) {
                MakeTips(bar);
            }
            return 0;
        }
        case kDpiChangedAfterParent: {
            // The dialog has taken its new scale and moved and sized the bar for it.
            auto* bar = static_cast<BtnBar*>(GetWindowObject(window));
            if (bar) {
                LayOutButtons(bar);
            }
            return 0;
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ConstructBtnBar(BtnBar* bar, HWND window) {
    bar->window = window;
    // Tab and the arrow keys reach into the bar, to its buttons.
    SetWindowLongPtrW(window, GWL_EXSTYLE,
                      GetWindowLongPtrW(window, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);
    // What a screen reader calls the bar, whatever text the dialog template gave it.
    SetWindowTextW(window, LoadText(IDS_BUTTON_BAR).chars);
    const UINT dpi = WindowDpi(window);
    const int width = BarWidth(window);
    for (int slot = 0; slot < kButtonCount; ++slot) {
        const ButtonKind& kind = kButtons[slot];
        const RECT place = ButtonPlace(slot, width, dpi);
        MyButton* button = CreateButton(window, slot, LoadText(kind.name).chars, place);
        if (!button) {
            continue;
        }
        SetSlot(button, slot);
        ScaleButton(button, place, dpi);
        SetBitmaps(button, PictureId(slot, kLookNormal), PictureId(slot, kLookPressed),
                   PictureId(slot, kLookDisabled));
        if (kind.momentary) {
            SetAutoRelease(button, true);
        }
        if (slot == Send) {
            SetDisabled(button, true);
        }
        SetCommand(button, kFirstCommand + slot);
        bar->buttons[slot] = button;
        ShowWindow(button->window, SW_SHOW);
    }

    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(bar));
    // Nobody points at a button before the window shows: the tooltips, a window of their own,
    // need not delay it.
    if (!PostMessageW(window, kMakeTips, 0, 0)) {
        MakeTips(bar);
    }
}

void SetCommandDisabled(BtnBar* bar, int slot, bool flag) {
    if (!bar || slot < 0 || slot >= kButtonCount) {
        return;
    }
    // GetMenu of a child window would return its control id, not a menu.
    HWND parent = GetParent(bar->window);
    HMENU menu = nullptr;
    if (parent && !(GetWindowLongPtrW(parent, GWL_STYLE) & WS_CHILD)) {
        menu = GetMenu(parent);
    }
    if (menu) {
        UINT state = flag ? (MF_GRAYED | MF_DISABLED) : MF_ENABLED;
        EnableMenuItem(menu, kFirstCommand + slot, MF_BYCOMMAND | state);
    }
    MyButton* button = ButtonInSlot(bar, slot);
    if (button) {
        SetDisabled(button, flag);
    }
}

void SetButtonPressed(BtnBar* bar, int slot, bool flag) {
    MyButton* button = ButtonInSlot(bar, slot);
    if (button) {
        SetPressed(button, flag);
    }
}
