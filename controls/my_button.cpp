#include "controls/my_button.h"

#include <cstring>

#include "base/heap.h"
#include "base/instance.h"
#include "controls/annotation.h"
#include "controls/contrast_look.h"
#include "controls/picture_sets.h"

namespace {

MyButton* ButtonOf(HWND window) {
    return static_cast<MyButton*>(GetWindowObject(window));
}

void Repaint(HWND window) {
    InvalidateRect(window, nullptr, TRUE);
}

// Every change of the pressed look goes through here: a screen reader is told of it.
void ShowPressed(MyButton* button, bool flag) {
    const bool changed = button->pressed != flag;
    button->pressed = flag;
    Repaint(button->window);
    if (changed) {
        AnnotatePressed(button->window, flag);
    }
}

// A pressed button's annotated state carries what the window itself says (unavailable, focused,
// invisible), so it is told again whenever that changes.
void RetellPressed(HWND window) {
    MyButton* button = ButtonOf(window);
    if (button && button->pressed) {
        AnnotatePressed(window, true);
    }
}

// Whether the focus rectangle shows: the button has the focus, and the keyboard cues are not
// hidden (Windows hides them until the keyboard is used, when the user asked for that).
bool ShowsFocus(const MyButton* button) {
    return !button->disabled && GetFocus() == button->window &&
           !(SendMessageW(button->window, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
}

// Inside the hover frame, with a gap as wide as the frame between them.
void DrawFocusRing(const MyButton* button, HDC target) {
    const int inset = 2 * button->frameWidth;
    RECT ring = {inset, inset, button->width - inset, button->height - inset};
    DrawFocusRect(target, &ring);
}

void PaintContrastLook(MyButton* button, HDC target) {
    const ContrastButton look = {button->slot, button->pressed, button->disabled,
                                 ShowsFocus(button)};
    DrawContrastButton(&look, target,
                       button->width < button->height ? button->width : button->height);
}

void FillWithBarColour(MyButton* button, HDC target) {
    HBRUSH brush = CreateSolidBrush(kBarColour);
    if (!brush) {
        return;
    }
    RECT area = {0, 0, button->width, button->height};
    FillRect(target, &area, brush);
    DeleteObject(brush);
}

// Whether the leave notification for this button is armed. Answered from the thread's own
// record, so it is cheap to ask on every move.
bool TrackingLeave(HWND window) {
    TRACKMOUSEEVENT query = {};
    query.cbSize = sizeof(query);
    query.dwFlags = TME_QUERY;
    return TrackMouseEvent(&query) && query.hwndTrack == window && (query.dwFlags & TME_LEAVE);
}

// The frame is drawn when the pointer comes in (Paint keeps it while the pointer stays), and
// the leave notification is armed only when it is not already: under Wine each arming and each
// device context costs calls to the server, and moves come many times a second.
void OnMouseMove(HWND window) {
    MyButton* button = ButtonOf(window);
    if (!button) {
        return;
    }
    if (!button->hot) {
        button->hot = true;
        HDC dc = GetDC(window);
        if (dc) {
            DrawFrame(button, dc);
            ReleaseDC(window, dc);
        }
    }
    if (!TrackingLeave(window)) {
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof(track);
        track.dwFlags = TME_LEAVE;
        track.hwndTrack = window;
        track.dwHoverTime = HOVER_DEFAULT;
        TrackMouseEvent(&track);
    }
}

// A press by the mouse holds a momentary button down until the mouse button comes up; one by
// Enter has nothing to hold it, so the momentary button does not go down at all.
void Press(HWND window, bool held) {
    MyButton* button = ButtonOf(window);
    if (!button || button->pressed || button->disabled) {
        return;
    }
    if (held || !button->autoRelease) {
        ShowPressed(button, true);
    }
    // The receiver may change or even destroy this button: nothing touches it after the send.
    SendMessageW(GetParent(window), WM_COMMAND, LOWORD(button->command), 0);
}

void OnLeftButtonUp(HWND window) {
    MyButton* button = ButtonOf(window);
    if (!button || !button->autoRelease) {
        return;
    }
    ShowPressed(button, false);
}

void OnMouseLeave(HWND window) {
    MyButton* button = ButtonOf(window);
    if (!button) {
        return;
    }
    button->hot = false;
    button->frameDrawn = false;
    if (button->autoRelease) {
        ShowPressed(button, false);
    }
    Repaint(window);
}

// Enter presses, once for each time the key goes down (its repeats press nothing).
void OnKeyDown(HWND window, WPARAM key, LPARAM flags) {
    const bool repeat = (flags & (1 << 30)) != 0;
    if (key == VK_RETURN && !repeat) {
        Press(window, false);
    }
}

// The dialog manager keeps every key but Enter: Tab and the arrows move the focus, and the
// window's own keys (Space pauses) are taken before they reach a control.
LRESULT DialogCode(const MSG* key) {
    if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) {
        return DLGC_BUTTON | DLGC_WANTMESSAGE;
    }
    return DLGC_BUTTON;
}

void OnEnable(HWND window, bool enabled) {
    MyButton* button = ButtonOf(window);
    if (!button) {
        return;
    }
    button->disabled = !enabled;
    Repaint(window);
    RetellPressed(window);
}

void OnFocusChange(HWND window) {
    Repaint(window);
    RetellPressed(window);
}

}  // namespace

bool RegisterMyButtonClass() {
    WNDCLASSW windowClass = {};
    windowClass.style = 0;  // no double clicks: a quick second press is a press
    windowClass.lpfnWndProc = MyButtonProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = sizeof(LONG_PTR);  // the object's address
    windowClass.hInstance = g_instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = nullptr;  // the picture covers the whole button
    windowClass.lpszClassName = kMyButtonClass;
    return RegisterClassW(&windowClass) != 0;
}

void* GetWindowObject(HWND window) {
    return reinterpret_cast<void*>(GetWindowLongPtrW(window, 0));
}

LRESULT CALLBACK MyButtonProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: {
            auto* button = static_cast<MyButton*>(AllocateBlock(sizeof(MyButton)));
            if (button) {
                std::memset(button, 0, sizeof(MyButton));
                ConstructMyButton(button, window);
            }
            AnnotatePushButton(window);
            return 0;
        }
        case WM_DESTROY: {
            ClearAnnotations(window);
            void* button = GetWindowObject(window);
            if (button) {
                SetWindowLongPtrW(window, 0, 0);
                FreeBlock(button);
            }
            return 0;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            MyButton* button = ButtonOf(window);
            if (dc && button) {
                Paint(button, dc);
            }
            EndPaint(window, &paint);
            return 0;
        }
        case WM_MOUSEMOVE:
            OnMouseMove(window);
            return 0;
        case WM_LBUTTONDOWN:
            Press(window, true);
            return 0;
        case WM_LBUTTONUP:
            OnLeftButtonUp(window);
            return 0;
        case WM_MOUSELEAVE:
            OnMouseLeave(window);
            return 0;
        case WM_GETDLGCODE:
            return DialogCode(reinterpret_cast<const MSG*>(lParam));
        case WM_KEYDOWN:
            OnKeyDown(window, wParam, lParam);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            OnFocusChange(window);
            return 0;
        case WM_ENABLE:
            OnEnable(window, wParam != FALSE);
            return 0;
        case WM_UPDATEUISTATE:
            // The system keeps the cues' state; the focus rectangle follows it.
            DefWindowProcW(window, message, wParam, lParam);
            Repaint(window);
            return 0;
        case WM_WINDOWPOSCHANGED: {
            const auto* place = reinterpret_cast<const WINDOWPOS*>(lParam);
            if (place->flags & (SWP_SHOWWINDOW | SWP_HIDEWINDOW)) {
                RetellPressed(window);
            }
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ConstructMyButton(MyButton* button, HWND window) {
    button->disabled = !IsWindowEnabled(window);
    button->pressed = false;
    button->frameDrawn = false;
    button->hot = false;
    button->autoRelease = false;
    button->slot = -1;  // no symbol until the bar says which button it is
    button->pictureSize = kButtonPixels;
    button->frameWidth = kFrameWidth;
    button->window = window;
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(button));
}

void SetSize(MyButton* button, int width, int height) {
    button->width = width;
    button->height = height;
}

void SetPictureSize(MyButton* button, int pixels) {
    button->pictureSize = pixels;
}

void SetFrameWidth(MyButton* button, int pixels) {
    button->frameWidth = pixels;
}

void SetBitmaps(MyButton* button, int normal, int pressed, int disabled) {
    button->bitmaps[0] = normal;
    button->bitmaps[1] = pressed;
    button->bitmaps[2] = disabled;
}

void SetCommand(MyButton* button, int command) {
    button->command = command;
}

void SetSlot(MyButton* button, int slot) {
    button->slot = slot;
}

void SetAutoRelease(MyButton* button, bool flag) {
    button->autoRelease = flag;
}

void SetDisabled(MyButton* button, bool flag) {
    // WM_ENABLE keeps the flag and repaints.
    EnableWindow(button->window, flag ? FALSE : TRUE);
}

void SetPressed(MyButton* button, bool flag) {
    ShowPressed(button, flag);
}

void Paint(MyButton* button, HDC target) {
    if (!button) {
        return;
    }
    if (HighContrastOn()) {
        PaintContrastLook(button, target);
        button->frameDrawn = false;
        return;
    }
    int index = button->disabled ? 2 : (button->pressed ? 1 : 0);
    HDC memory = CreateCompatibleDC(target);
    HBITMAP picture = LoadButtonPicture(LOWORD(button->bitmaps[index]), button->pictureSize);
    if (memory && picture) {
        HGDIOBJ previous = SelectObject(memory, picture);
        BitBlt(target, 0, 0, button->width, button->height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previous);
    } else {
        FillWithBarColour(button, target);
    }
    if (picture) {
        DeleteObject(picture);
    }
    if (memory) {
        DeleteDC(memory);
    }
    button->frameDrawn = false;  // the copy has covered any frame
    if (ShowsFocus(button)) {
        DrawFocusRing(button, target);
    }
    if (button->hot) {
        DrawFrame(button, target);
    }
}

void DrawFrame(MyButton* button, HDC target) {
    // The contrast look has a frame of its own, in the theme's colours.
    if (!button || button->frameDrawn || button->disabled || HighContrastOn()) {
        return;
    }
    HPEN pen = CreatePen(PS_DASH, 1, RGB(255, 255, 255));
    if (!pen) {
        return;
    }
    // White behind the dashes makes the frame one continuous line.
    int previousMode = SetBkMode(target, OPAQUE);
    COLORREF previousColour = SetBkColor(target, RGB(255, 255, 255));
    HGDIOBJ previousPen = SelectObject(target, pen);
    // One ring a pixel wide inside the other, as wide as the frame is.
    for (int ring = 0; ring < button->frameWidth; ++ring) {
        int right = button->width - 1 - ring;
        int bottom = button->height - 1 - ring;
        MoveToEx(target, ring, ring, nullptr);
        LineTo(target, right, ring);
        LineTo(target, right, bottom);
        LineTo(target, ring, bottom);
        LineTo(target, ring, ring);
    }
    SelectObject(target, previousPen);
    SetBkColor(target, previousColour);
    SetBkMode(target, previousMode);
    DeleteObject(pen);
    button->frameDrawn = true;
}
