// The real main dialog at the system's scale - tests/app/dpi_dialog_test.sh runs this under
// Wine at 96, 144 and 192 dpi, set as Wine's LogPixels - and moved to a new scale. Wine gives
// no per-monitor scale and never sends WM_DPICHANGED or WM_DPICHANGED_AFTERPARENT, so that
// path runs with the window's scale scripted and the messages sent as Windows sends them.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "base/dpi.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "tests/controls/controls_support.h"
#include "tests/support/environment.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_dpi.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/utf8.h"

namespace {

// The set of pictures each scale shows: drawn for it, or (175 %) the next larger one.
int DrawnSizeAt(UINT dpi) {
    switch (dpi) {
        case 96:
            return 42;
        case 120:
            return 53;
        case 144:
            return 63;
        case 168:
        case 192:
            return 84;
        default:
            return 0;
    }
}

UINT ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return static_cast<UINT>(dpi);
}

// A window's rectangle in `within`'s client coordinates.
RECT PlaceIn(HWND window, HWND within) {
    RECT place;
    GetWindowRect(window, &place);
    MapWindowPoints(nullptr, within, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Each child of `parent` lies within its client area, and no two of them overlap.
void ExpectChildrenApartAndInside(HWND parent) {
    RECT client;
    GetClientRect(parent, &client);
    std::vector<RECT> places;
    for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        places.push_back(PlaceIn(child, parent));
        EXPECT_TRUE(Inside(places.back(), client))
            << "control " << GetDlgCtrlID(child) << " clipped";
    }
    EXPECT_GE(places.size(), 5u);
    for (size_t a = 0; a < places.size(); ++a) {
        for (size_t b = a + 1; b < places.size(); ++b) {
            RECT both;
            EXPECT_FALSE(IntersectRect(&both, &places[a], &places[b]))
                << "children " << a << " and " << b << " overlap";
        }
    }
}

// The icon's width, or 0.
int IconWidth(HWND window, WPARAM which) {
    HICON icon = reinterpret_cast<HICON>(SendMessageA(window, WM_GETICON, which, 0));
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) {
        return 0;
    }
    BITMAP colour = {};
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return colour.bmWidth;
}

class RealDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterClassesOnce();
        const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        std::memset(&state_, 0, sizeof state_);
        g_appState = &state_;
    }
    void Open() {
        dialog_ =
            CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
        ASSERT_NE(dialog_, nullptr);
        ASSERT_NE(state_.bar, nullptr);
        PumpMessages();
    }
    void TearDown() override {
        if (dialog_) {
            DestroyWindow(dialog_);
        }
        PumpMessages();
        DeleteFileW(state_.voicePath);
        EXPECT_EQ(boxes_.Count(), 0);
    }

    ScriptedMessageBox boxes_;
    AppState state_;
    HWND dialog_ = nullptr;
};

TEST_F(RealDialog, BarAndPicturesInProportionAtTheSystemScale) {
    const UINT dpi = ScreenDpi();
    const std::string wanted = EnvironmentText("KESTRUNE_TEST_DPI");
    if (!wanted.empty()) {
        ASSERT_EQ(dpi, static_cast<UINT>(std::atoi(wanted.c_str()))) << "the prefix's LogPixels";
    }
    if (DrawnSizeAt(dpi) == 0) {
        GTEST_SKIP() << "no expectations for " << dpi << " dpi";
    }
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(WindowDpi(dialog_), dpi);
    EXPECT_EQ(WindowDpi(state_.bar->window), dpi);
    ExpectBarAtScale(state_.bar, dpi, DrawnSizeAt(dpi));
    ExpectChildrenApartAndInside(state_.bar->window);
    ExpectChildrenApartAndInside(dialog_);
    EXPECT_EQ(IconWidth(dialog_, ICON_SMALL), SystemMetricForDpi(SM_CXSMICON, dpi));
    EXPECT_EQ(IconWidth(dialog_, ICON_BIG), SystemMetricForDpi(SM_CXICON, dpi));
}

// Moved from a 100 % monitor to a 200 % one: the window takes the suggested place and size and
// icons drawn for 200 %; once Windows has sized the bar and told it, the bar is laid out anew.
TEST_F(RealDialog, FollowsANewScale) {
    ScriptedDpi scale(96);
    ASSERT_NO_FATAL_FAILURE(Open());
    EXPECT_EQ(IconWidth(dialog_, ICON_SMALL), SystemMetricForDpi(SM_CXSMICON, 96));
    EXPECT_EQ(IconWidth(dialog_, ICON_BIG), SystemMetricForDpi(SM_CXICON, 96));
    ExpectBarAtScale(state_.bar, 96, 42);

    scale.Set(192);
    RECT before;
    GetWindowRect(dialog_, &before);
    RECT suggested = {before.left + 10, before.top + 20,
                      before.left + 10 + 2 * (before.right - before.left),
                      before.top + 20 + 2 * (before.bottom - before.top)};
    SendMessageA(dialog_, WM_DPICHANGED, MAKEWPARAM(192, 192),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT after;
    GetWindowRect(dialog_, &after);
    EXPECT_TRUE(EqualRect(&after, &suggested));
    EXPECT_EQ(IconWidth(dialog_, ICON_SMALL), SystemMetricForDpi(SM_CXSMICON, 192));
    EXPECT_EQ(IconWidth(dialog_, ICON_BIG), SystemMetricForDpi(SM_CXICON, 192));

    HWND bar = state_.bar->window;
    RECT barPlace = PlaceIn(bar, dialog_);
    SetWindowPos(bar, nullptr, 2 * barPlace.left, 2 * barPlace.top,
                 2 * (barPlace.right - barPlace.left), 2 * (barPlace.bottom - barPlace.top),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageA(bar, kDpiChangedAfterParent, 0, 0);
    ExpectBarAtScale(state_.bar, 192, 84);
    ExpectChildrenApartAndInside(bar);
}

}  // namespace
