// The bar at other scales than 96 dpi, with the window's scale scripted: Wine gives every
// window the system's and never sends WM_DPICHANGED_AFTERPARENT, which Windows sends the bar
// when the dialog moves to a monitor of another scale.
#include <gtest/gtest.h>

#include "base/dpi.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "tests/controls/controls_support.h"
#include "tests/support/scripted_dpi.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kUntouched = RGB(255, 0, 255);

// Rings of white on the outermost pixels of a size x size area.
int WhiteRings(const Canvas& canvas, int size) {
    int rings = 0;
    for (; rings < size / 2; ++rings) {
        for (int i = rings; i < size - rings; ++i) {
            const int last = size - 1 - rings;
            if (canvas.At(i, rings) != kWhite || canvas.At(i, last) != kWhite ||
                canvas.At(rings, i) != kWhite || canvas.At(last, i) != kWhite) {
                return rings;
            }
        }
    }
    return rings;
}

// 175 %: 42 px make 73.5, so 74; the 200 % set (84 px) is the nearest at or above, shrunk with
// HALFTONE, which averages: neither point sampling nor the 150 % set grown gives the same.
TEST(ScaledBar, At175PercentShowsThe200PercentSetShrunkWithHalftone) {
    RegisterClassesOnce();
    ScriptedDpi dpi(168);
    HWND parent = CreateTestParent(true);
    BtnBar* bar = BarOf(CreateScaledBar(parent, 168));
    EXPECT_GT(dpi.Questions(), 0);
    ExpectBarAtScale(bar, 168, 84);
    ASSERT_NE(bar, nullptr);

    MyButton* play = bar->buttons[Play];
    ASSERT_NE(play, nullptr);
    Canvas painted(74, 74, kUntouched);
    Paint(play, painted.dc());
    Canvas sampled(74, 74, kUntouched), grown(74, 74, kUntouched);
    ASSERT_TRUE(DrawPictureFile("play", 0, 84, 74, COLORONCOLOR, &sampled));
    ASSERT_TRUE(DrawPictureFile("play", 0, 63, 74, HALFTONE, &grown));
    EXPECT_GT(DifferingPixels(painted, sampled, 74, 74), 50) << "not filtered";
    EXPECT_GT(DifferingPixels(painted, grown, 74, 74), 50) << "not the 200 % set";

    // The hover frame is 2 px wide (1.75 rounded) and covers the picture's margin only.
    SendMessageA(play->window, WM_MOUSEMOVE, 0, MAKELPARAM(30, 30));
    Canvas hot(74, 74, kUntouched);
    Paint(play, hot.dc());
    EXPECT_EQ(WhiteRings(hot, 74), 2);
    EXPECT_EQ(DifferingPixels(hot, painted, 74, 74), 74 * 4 * 2 - 4 * 4);
    DestroyWindow(parent);
}

// Windows scales the dialog, sizes the bar for the new scale, then tells the bar: its buttons,
// frames and pictures follow, each time, down as well as up, and beyond the largest set.
TEST(ScaledBar, FollowsEachNewScaleItIsTold) {
    RegisterClassesOnce();
    ScriptedDpi dpi(96);
    HWND parent = CreateTestParent(true);
    HWND barWindow = CreateScaledBar(parent, 96);
    BtnBar* bar = BarOf(barWindow);
    SetButtonPressed(bar, Record, true);
    ExpectBarAtScale(bar, 96, 42);
    struct Step {
        UINT dpi;
        int drawn;  // the set shown
    };
    for (Step step :
         {Step{120, 53}, Step{192, 84}, Step{144, 63}, Step{72, 42}, Step{240, 84}, Step{96, 42}}) {
        dpi.Set(step.dpi);
        SetWindowPos(barWindow, nullptr, 0, 0, MulDiv(268, step.dpi, 96), MulDiv(54, step.dpi, 96),
                     SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        SendMessageA(barWindow, kDpiChangedAfterParent, 0, 0);
        ExpectBarAtScale(bar, step.dpi, step.drawn);
        EXPECT_TRUE(bar->buttons[Record]->pressed) << "a new scale changes no state";
        EXPECT_TRUE(bar->buttons[Send]->disabled);
    }
    DestroyWindow(parent);
}

}  // namespace
