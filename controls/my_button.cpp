#include "controls/my_button.h"

#include <cstring>

#include "base/heap.h"
#include "base/instance.h"
#include "controls/picture_sets.h"

namespace {

MyButton* ButtonOf(HWND window) {
    return static_cast<MyButton*>(GetWindowObject(window));
}

void Repaint(HWND window) {
    InvalidateRect(window, nullptr, TRUE);
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

void OnLeftButtonDown(HWND window) {
    MyButton* button = ButtonOf(window);
    if (!button || button->pressed || button->disabled) {
        return;
    }
    button->pressed = true;
    Repaint(window);
    // The receiver may change or even destroy this button: nothing touches it after the send.
    SendMessageW(GetParent(window), WM_COMMAND, LOWORD(button->command), 0);
}

void OnLeftButtonUp(HWND window) {
    MyButton* button = ButtonOf(window);
    if (!button || !button->autoRelease) {
        return;
    }
    button->pressed = false;
    Repaint(window);
}

void OnMouseLeave(HWND window) {
    MyButton* button = ButtonOf(window);
    if (!button) {
        return;
    }
    button->hot = false;
    button->frameDrawn = false;
    if (button->autoRelease) {
        button->pressed = false;
    }
    Repaint(window);
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
            return 0;
        }
        case WM_DESTROY: {
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
            OnLeftButtonDown(window);
            return 0;
        case WM_LBUTTONUP:
            OnLeftButtonUp(window);
            return 0;
        case WM_MOUSELEAVE:
            OnMouseLeave(window);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void ConstructMyButton(MyButton* button, HWND window) {
    button->disabled = false;
    button->pressed = false;
    button->frameDrawn = false;
    button->hot = false;
    button->autoRelease = false;
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

void SetAutoRelease(MyButton* button, bool flag) {
    button->autoRelease = flag;
}

void SetDisabled(MyButton* button, bool flag) {
    button->disabled = flag;
    Repaint(button->window);
}

void SetPressed(MyButton* button, bool flag) {
    button->pressed = flag;
    Repaint(button->window);
}

void Paint(MyButton* button, HDC target) {
    if (!button) {
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
    if (button->hot) {
        DrawFrame(button, target);
    }
}

void DrawFrame(MyButton* button, HDC target) {
    if (!button || button->frameDrawn || button->disabled) {
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
