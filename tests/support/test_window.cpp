#include "tests/support/test_window.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include "res/resource.h"

namespace {

const char kClassName[] = "KestruneTestWindow";

void RegisterTestWindowClass(WNDPROC windowProc) {
    static bool registered = false;
    if (registered) {
        return;
    }
    InitCommonControls();
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClassName;
    registered = RegisterClassA(&windowClass) != 0;
    EXPECT_TRUE(registered) << "RegisterClassA failed: " << GetLastError();
}

HWND CreateChild(HWND parent, const char* className, DWORD style, int id, int y) {
    HWND child = CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, 10, y, 200, 20,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(child, nullptr) << "cannot create control " << id << ": " << GetLastError();
    return child;
}

}  // namespace

TestWindow::TestWindow() {
    RegisterTestWindowClass(WindowProc);
    window_ = CreateWindowExA(0, kClassName, "Kestrune test", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                              nullptr, nullptr, GetModuleHandleA(nullptr), this);
    EXPECT_NE(window_, nullptr) << "cannot create the test window: " << GetLastError();
    if (window_ == nullptr) {
        return;
    }
    HWND slider = CreateChild(window_, TRACKBAR_CLASSA, TBS_HORZ, IDC_SLIDER, 10);
    SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, 1000));
    CreateChild(window_, "STATIC", SS_LEFT, IDC_TIME_READOUT, 40);
    CreateChild(window_, "STATIC", SS_LEFT, IDC_SIZE_READOUT, 70);
    CreateChild(window_, "STATIC", SS_LEFT, IDC_STATUS, 100);
    HWND meter = CreateChild(window_, PROGRESS_CLASSA, 0, IDC_LEVEL_METER, 130);
    SendMessageA(meter, PBM_SETRANGE32, 0, 60);
}

TestWindow::~TestWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

std::string TestWindow::Text(int id) const {
    char text[256] = "";
    GetDlgItemTextA(window_, id, text, sizeof(text));
    return text;
}

int TestWindow::SliderPosition() const {
    return static_cast<int>(SendDlgItemMessageA(window_, IDC_SLIDER, TBM_GETPOS, 0, 0));
}

int TestWindow::MessageCount(UINT message) const {
    auto it = counts_.find(message);
    return it == counts_.end() ? 0 : it->second;
}

void TestWindow::Route(LPARAM lParam, const std::function<void(WAVEHDR*)>& handler,
                       const char* name) {
    if (!handler) {
        ADD_FAILURE() << name << " arrived, but the test set no handler for it";
        return;
    }
    handler(reinterpret_cast<WAVEHDR*>(lParam));
}

void TestWindow::Route(const std::function<void()>& handler, const char* name) {
    if (!handler) {
        ADD_FAILURE() << name << " arrived, but the test set no handler for it";
        return;
    }
    handler();
}

LRESULT CALLBACK TestWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const CREATESTRUCTA* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    TestWindow* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (message) {
        case MM_WIM_OPEN:
        case MM_WOM_OPEN:
            ++self->counts_[message];
            return 0;
        case MM_WIM_DATA:
            ++self->counts_[message];
            self->Route(lParam, self->onWimData, "MM_WIM_DATA");
            return 0;
        case MM_WOM_DONE:
            ++self->counts_[message];
            self->Route(lParam, self->onWomDone, "MM_WOM_DONE");
            return 0;
        case MM_WIM_CLOSE:
            ++self->counts_[message];
            self->Route(self->onWimClose, "MM_WIM_CLOSE");
            return 0;
        case MM_WOM_CLOSE:
            ++self->counts_[message];
            self->Route(self->onWomClose, "MM_WOM_CLOSE");
            return 0;
        case WM_TIMER:
            ++self->counts_[message];
            return 0;
        case WM_HSCROLL:
            ++self->counts_[message];
            if (self->onHScroll) {
                self->onHScroll(LOWORD(wParam));
            }
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
