#include "controls/btn_bar.h"

#include <cstring>

#include "app/app_state.h"
#include "app/heap.h"
#include "res/resource.h"

namespace {

constexpr char kClassName[] = "BtnBarClass";
constexpr int kButtonSize = 42;
constexpr int kButtonTop = 6;
constexpr int kSendFromRight = 48;  // Send stands 6 px from the bar's right edge
constexpr int kFirstCommand = IDM_PLAY;

struct ButtonLook {
    int left;
    int normal;
    int pressed;
    int disabled;
    bool momentary;
};

// Play, Pause, Stop and Record, in slot order; Send's place depends on the bar's width.
constexpr ButtonLook kLeftButtons[] = {
    {6, IDB_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED, false},
    {52, IDB_PAUSE, IDB_PAUSE_PRESSED, IDB_PAUSE_DISABLED, true},
    {98, IDB_STOP, IDB_STOP_PRESSED, IDB_STOP_DISABLED, true},
    {144, IDB_RECORD, IDB_RECORD_PRESSED, IDB_RECORD_DISABLED, false},
};

// A hidden button at its place, with its object; null when either is missing.
MyButton* CreateButton(HWND bar, int left) {
    HWND window = CreateWindowExA(0, "MyButtonClass", "", WS_CHILD, left, kButtonTop, kButtonSize,
                                  kButtonSize, bar, nullptr, g_instance, nullptr);
    if (!window) {
        return nullptr;
    }
    auto* button = static_cast<MyButton*>(GetWindowObject(window));
    if (!button) {
        DestroyWindow(window);
    }
    return button;
}

bool IsSlot(int slot) {
    return slot >= Play && slot <= Send;
}

}  // namespace

MyButton* ButtonInSlot(BtnBar* bar, int slot) {
    switch (slot) {
        case Play:
            return bar->play;
        case Pause:
            return bar->pause;
        case Stop:
            return bar->stop;
        case Record:
            return bar->record;
        case Send:
            return bar->send;
        default:
            return nullptr;
    }
}

bool RegisterBtnBarClass() {
    // Lives as long as the process once the class holds it.
    HBRUSH background = CreateSolidBrush(kBarColour);
    WNDCLASSA windowClass = {};
    windowClass.style = 0;
    windowClass.lpfnWndProc = BtnBarProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = sizeof(LONG_PTR);  // the object's address
    windowClass.hInstance = g_instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassA(&windowClass)) {
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
            void* bar = GetWindowObject(window);
            if (bar) {
                SetWindowLongPtrA(window, 0, 0);
                FreeBlock(bar);
            }
            return 0;
        }
        case WM_PAINT: {
            // The class brush has filled the background already.
            PAINTSTRUCT paint;
            BeginPaint(window, &paint);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_COMMAND:
            SendMessageA(GetParent(window), WM_COMMAND, wParam, lParam);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void ConstructBtnBar(BtnBar* bar, HWND window) {
    bar->window = window;
    MyButton** fields[] = {&bar->play, &bar->pause, &bar->stop, &bar->record};
    for (int slot = Play; slot <= Record; ++slot) {
        const ButtonLook& look = kLeftButtons[slot];
        MyButton* button = CreateButton(window, look.left);
        if (!button) {
            continue;
        }
        SetSize(button, kButtonSize, kButtonSize);
        SetBitmaps(button, look.normal, look.pressed, look.disabled);
        if (look.momentary) {
            SetAutoRelease(button, true);
        }
        SetCommand(button, kFirstCommand + slot);
        *fields[slot] = button;
        ShowWindow(button->window, SW_SHOW);
    }

    RECT client = {};
    GetClientRect(window, &client);
    MyButton* send = CreateButton(window, client.right - kSendFromRight);
    if (send) {
        SetSize(send, kButtonSize, kButtonSize);
        SetAutoRelease(send, true);
        SetBitmaps(send, IDB_SEND, IDB_SEND_PRESSED, IDB_SEND_DISABLED);
        SetDisabled(send, true);
        SetCommand(send, IDM_SEND);
        bar->send = send;
        ShowWindow(send->window, SW_SHOW);
    }

    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(bar));
}

void SetButtonDisabled(BtnBar* bar, int slot, bool flag) {
    if (!bar || !IsSlot(slot)) {
        return;
    }
    // GetMenu of a child window would return its control id, not a menu.
    HWND parent = GetParent(bar->window);
    HMENU menu = nullptr;
    if (parent && !(GetWindowLongPtrA(parent, GWL_STYLE) & WS_CHILD)) {
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
    if (!bar || !IsSlot(slot)) {
        return;
    }
    MyButton* button = ButtonInSlot(bar, slot);
    if (button) {
        SetPressed(button, flag);
    }
}
