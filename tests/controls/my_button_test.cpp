// What a bitmap button shows: its pictures by state, the hover frame, the painted area, and
// what it asks to repaint.
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "tests/controls/controls_support.h"
#include "tests/support/scripted_heap.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kUntouched = RGB(255, 0, 255);  // no picture uses it

struct Pictures {
    int normal;
    int pressed;
    int disabled;
};
constexpr Pictures kPictures[] = {
    {IDB_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED},
    {IDB_PAUSE, IDB_PAUSE_PRESSED, IDB_PAUSE_DISABLED},
    {IDB_STOP, IDB_STOP_PRESSED, IDB_STOP_DISABLED},
    {IDB_RECORD, IDB_RECORD_PRESSED, IDB_RECORD_DISABLED},
    {IDB_SEND, IDB_SEND_PRESSED, IDB_SEND_DISABLED},
};

class ButtonTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterClassesOnce();
        g_commands.clear();
        g_onCommand = nullptr;
        parent = CreateTestParent(true);
        ShowWindow(parent, SW_SHOWNOACTIVATE);
        bar = BarOf(CreateBar(parent, 268));
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override { DestroyWindow(parent); }

    MyButton* Button(int slot) { return ButtonInSlot(bar, slot); }

    // The picture `id` as it would cover a 42 x 42 button.
    static void ExpectShows(const Canvas& painted, int id, int width = 42, int height = 42) {
        Canvas expected(42, 42, kUntouched);
        ASSERT_TRUE(DrawPicture(id, &expected)) << "picture " << id;
        EXPECT_EQ(DifferingPixels(painted, expected, width, height), 0) << "picture " << id;
    }

    // True when every outermost pixel of the width x height area is white.
    static bool FrameOn(const Canvas& canvas, int width, int height) {
        for (int x = 0; x < width; ++x) {
            if (canvas.At(x, 0) != kWhite || canvas.At(x, height - 1) != kWhite) {
                return false;
            }
        }
        for (int y = 0; y < height; ++y) {
            if (canvas.At(0, y) != kWhite || canvas.At(width - 1, y) != kWhite) {
                return false;
            }
        }
        return true;
    }

    static bool AnyWhiteOnTheEdge(const Canvas& canvas) {
        for (int i = 0; i < 42; ++i) {
            if (canvas.At(i, 0) == kWhite || canvas.At(i, 41) == kWhite ||
                canvas.At(0, i) == kWhite || canvas.At(41, i) == kWhite) {
                return true;
            }
        }
        return false;
    }

    static bool RepaintAsked(MyButton* button) {
        return GetUpdateRect(button->window, nullptr, FALSE) != FALSE;
    }

    HWND parent = nullptr;
    BtnBar* bar = nullptr;
};

TEST_F(ButtonTest, EachFlagCombinationShowsItsPicture) {
    SetCommandDisabled(bar, Send, false);
    for (int slot = Play; slot <= Send; ++slot) {
        for (int flags = 0; flags < 4; ++flags) {
            const bool disabled = flags & 1;
            const bool pressed = flags & 2;
            SCOPED_TRACE(testing::Message()
                         << "slot " << slot << " disabled " << disabled << " pressed " << pressed);
            SetButtonPressed(bar, slot, pressed);
            SetCommandDisabled(bar, slot, disabled);
            Canvas painted(42, 42, kUntouched);
            Paint(Button(slot), painted.dc());
            const Pictures& pictures = kPictures[slot];
            ExpectShows(painted, disabled  ? pictures.disabled
                                 : pressed ? pictures.pressed
                                           : pictures.normal);
        }
    }
}

TEST_F(ButtonTest, ThreePicturesOfAButtonDiffer) {
    for (const Pictures& pictures : kPictures) {
        Canvas normal(42, 42, kUntouched), pressed(42, 42, kUntouched),
            disabled(42, 42, kUntouched);
        ASSERT_TRUE(DrawPicture(pictures.normal, &normal));
        ASSERT_TRUE(DrawPicture(pictures.pressed, &pressed));
        ASSERT_TRUE(DrawPicture(pictures.disabled, &disabled));
        EXPECT_GT(DifferingPixels(normal, pressed, 42, 42), 100);
        EXPECT_GT(DifferingPixels(normal, disabled, 42, 42), 100);
        EXPECT_GT(DifferingPixels(pressed, disabled, 42, 42), 100);
    }
}

TEST_F(ButtonTest, PressedAndDisabledShowsDisabledThenPressedWhenEnabled) {
    Press(Button(Record));
    SetCommandDisabled(bar, Record, true);
    Canvas first(42, 42, kUntouched);
    Paint(Button(Record), first.dc());
    ExpectShows(first, IDB_RECORD_DISABLED);
    SetCommandDisabled(bar, Record, false);
    Canvas second(42, 42, kUntouched);
    Paint(Button(Record), second.dc());
    ExpectShows(second, IDB_RECORD_PRESSED);
}

TEST_F(ButtonTest, MomentaryReleaseShowsTheNormalPictureAgain) {
    Press(Button(Pause));
    Canvas down(42, 42, kUntouched);
    Paint(Button(Pause), down.dc());
    ExpectShows(down, IDB_PAUSE_PRESSED);
    Release(Button(Pause));
    Canvas up(42, 42, kUntouched);
    Paint(Button(Pause), up.dc());
    ExpectShows(up, IDB_PAUSE);
}

TEST_F(ButtonTest, HotButtonShowsAWhiteLineOnItsOutermostPixels) {
    MyButton* button = Button(Stop);
    MoveOver(button);
    EXPECT_TRUE(button->hot);
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    EXPECT_TRUE(FrameOn(painted, 42, 42));
    EXPECT_TRUE(button->frameDrawn);
    // Inside the line the picture is untouched.
    Canvas picture(42, 42, kUntouched);
    ASSERT_TRUE(DrawPicture(IDB_STOP, &picture));
    for (int y = 1; y < 41; ++y) {
        for (int x = 1; x < 41; ++x) {
            ASSERT_EQ(painted.At(x, y), picture.At(x, y)) << x << "," << y;
        }
    }
}

TEST_F(ButtonTest, FrameGoesWhenThePointerLeaves) {
    MyButton* button = Button(Play);
    MoveOver(button);
    Press(button);
    Leave(button);
    EXPECT_FALSE(button->hot);
    EXPECT_FALSE(button->frameDrawn);
    EXPECT_TRUE(button->pressed) << "a latched button stays down";
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    ExpectShows(painted, IDB_PLAY_PRESSED);
}

TEST_F(ButtonTest, DisabledButtonNeverShowsTheFrame) {
    MyButton* button = Button(Send);
    MoveOver(button);
    EXPECT_FALSE(button->frameDrawn);
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    ExpectShows(painted, IDB_SEND_DISABLED);

    // Enabled under the resting pointer, the frame comes back at the next paint...
    SetCommandDisabled(bar, Send, false);
    Canvas enabled(42, 42, kUntouched);
    Paint(button, enabled.dc());
    EXPECT_TRUE(FrameOn(enabled, 42, 42));
    // ...and disabled again, it is gone at the next paint.
    SetCommandDisabled(bar, Send, true);
    Canvas disabled(42, 42, kUntouched);
    Paint(button, disabled.dc());
    EXPECT_FALSE(AnyWhiteOnTheEdge(disabled));
}

TEST_F(ButtonTest, MovingOnOverTheButtonDrawsTheFrameOnlyOnce) {
    MyButton* button = Button(Pause);
    MoveOver(button);
    EXPECT_TRUE(button->frameDrawn);
    Canvas again(42, 42, kUntouched);
    DrawFrame(button, again.dc());
    EXPECT_EQ(again.At(0, 0), kUntouched) << "drawn a second time";
    EXPECT_EQ(again.At(20, 0), kUntouched);

    // A paint covers the frame, so it is drawn anew.
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    EXPECT_TRUE(FrameOn(painted, 42, 42));
}

TEST_F(ButtonTest, WidthAndHeightBoundThePictureAndTheFrame) {
    MyButton* button = Button(Record);
    SetSize(button, 20, 30);
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    ExpectShows(painted, IDB_RECORD, 20, 30);
    for (int y = 0; y < 42; ++y) {
        for (int x = 0; x < 42; ++x) {
            if (x >= 20 || y >= 30) {
                ASSERT_EQ(painted.At(x, y), kUntouched) << x << "," << y;
            }
        }
    }

    MoveOver(button);
    Canvas hot(42, 42, kUntouched);
    Paint(button, hot.dc());
    EXPECT_TRUE(FrameOn(hot, 20, 30));
    EXPECT_EQ(hot.At(20, 0), kUntouched);
    EXPECT_EQ(hot.At(0, 30), kUntouched);
    EXPECT_EQ(hot.At(41, 41), kUntouched);
    RECT window;
    GetClientRect(button->window, &window);
    EXPECT_EQ(window.right, 42) << "the window keeps its size";
}

TEST_F(ButtonTest, PictureNumbersUseTheirLow16Bits) {
    MyButton* button = Button(Play);
    SetBitmaps(button, 0x10000 | IDB_STOP, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED);
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    ExpectShows(painted, IDB_STOP);
}

TEST_F(ButtonTest, MissingPictureShowsTheBarColourAndStillTheFrame) {
    MyButton* button = Button(Stop);
    SetBitmaps(button, 9991, 9992, 9993);
    Canvas painted(42, 42, kUntouched);
    Paint(button, painted.dc());
    for (int y = 0; y < 42; ++y) {
        for (int x = 0; x < 42; ++x) {
            ASSERT_EQ(painted.At(x, y), RGB(156, 177, 209)) << x << "," << y;
        }
    }
    MoveOver(button);
    SetSize(button, 30, 30);
    Canvas hot(42, 42, kUntouched);
    Paint(button, hot.dc());
    EXPECT_TRUE(FrameOn(hot, 30, 30));
    EXPECT_EQ(hot.At(15, 15), RGB(156, 177, 209));
    EXPECT_EQ(hot.At(35, 15), kUntouched);
}

TEST_F(ButtonTest, ChangesAskForARepaintAndRefusedPressesDoNot) {
    MyButton* pause = Button(Pause);
    MyButton* send = Button(Send);
    UpdateWindow(parent);
    ASSERT_FALSE(RepaintAsked(pause));
    ASSERT_FALSE(RepaintAsked(send));

    Press(send);  // disabled
    EXPECT_FALSE(RepaintAsked(send));
    Press(pause);
    EXPECT_TRUE(RepaintAsked(pause));
    UpdateWindow(pause->window);
    EXPECT_FALSE(RepaintAsked(pause));
    Press(pause);  // already down
    EXPECT_FALSE(RepaintAsked(pause));
    Release(pause);
    EXPECT_TRUE(RepaintAsked(pause));
    UpdateWindow(pause->window);

    Release(Button(Play));  // latching: a mouse-up does nothing
    EXPECT_FALSE(RepaintAsked(Button(Play)));
    Leave(Button(Play));
    EXPECT_TRUE(RepaintAsked(Button(Play)));

    SetButtonPressed(bar, Record, true);
    EXPECT_TRUE(RepaintAsked(Button(Record)));
    UpdateWindow(Button(Record)->window);
    SetCommandDisabled(bar, Record, true);
    EXPECT_TRUE(RepaintAsked(Button(Record)));
}

// What the button answers when the system is asked whether keyboard cues are hidden: Windows
// keeps that state, Wine keeps none and always says shown, so the test answers for it.
WNDPROC g_buttonProc = nullptr;
LRESULT CALLBACK CuesHidden(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYUISTATE) {
        return UISF_HIDEFOCUS;
    }
    return CallWindowProcW(g_buttonProc, window, message, wParam, lParam);
}

// The focus rectangle: inside the frame while the button has the focus, and only there; none
// while the system hides keyboard cues; a change of the cues asks for a repaint.
TEST_F(ButtonTest, FocusRectangleInsideTheFrameWhileFocusedAndCuesShown) {
    ShowWindow(parent, SW_SHOW);
    MyButton* play = Button(Play);
    Canvas unfocused(42, 42, kUntouched);
    Paint(play, unfocused.dc());
    ExpectShows(unfocused, IDB_PLAY);

    SetFocus(play->window);
    ASSERT_EQ(GetFocus(), play->window);
    Canvas focused(42, 42, kUntouched);
    Paint(play, focused.dc());
    // The ring lies 2 px in (the frame and a gap as wide), dotted as DrawFocusRect draws it.
    int onRing = 0;
    int elsewhere = 0;
    for (int y = 0; y < 42; ++y) {
        for (int x = 0; x < 42; ++x) {
            if (focused.At(x, y) == unfocused.At(x, y)) {
                continue;
            }
            const bool inside = x >= 2 && x <= 39 && y >= 2 && y <= 39;
            const bool edge = x == 2 || x == 39 || y == 2 || y == 39;
            ++(inside && edge ? onRing : elsewhere);
        }
    }
    EXPECT_EQ(elsewhere, 0);
    EXPECT_GT(onRing, 60);  // about every other one of its 148 pixels
    // The hover frame still goes round it.
    MoveOver(play);
    Canvas hot(42, 42, kUntouched);
    Paint(play, hot.dc());
    EXPECT_TRUE(FrameOn(hot, 42, 42));
    EXPECT_EQ(hot.At(2, 10), focused.At(2, 10));

    g_buttonProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(play->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CuesHidden)));
    Leave(play);
    Canvas hidden(42, 42, kUntouched);
    Paint(play, hidden.dc());
    EXPECT_EQ(DifferingPixels(hidden, unfocused, 42, 42), 0);
    UpdateWindow(play->window);
    ASSERT_FALSE(RepaintAsked(play));
    SendMessageW(play->window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    EXPECT_TRUE(RepaintAsked(play));
    SetWindowLongPtrW(play->window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_buttonProc));
}

TEST(ButtonOnTheHeap, WithoutItsObjectAButtonDoesNothing) {
    RegisterClassesOnce();
    g_commands.clear();
    ScriptedHeap heap;
    heap.FailAllocation(1);
    HWND parent = CreateTestParent(false);
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    HWND button = CreateWindowExA(0, "MyButtonClass", "", WS_CHILD | WS_VISIBLE, 6, 6, 42, 42,
                                  parent, nullptr, g_instance, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(heap.Allocations(), 1);
    EXPECT_EQ(GetWindowObject(button), nullptr);
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSELEAVE}) {
        EXPECT_EQ(SendMessageA(button, message, 0, 0), 0);
    }
    EXPECT_TRUE(g_commands.empty());
    InvalidateRect(button, nullptr, TRUE);
    UpdateWindow(button);
    EXPECT_FALSE(GetUpdateRect(button, nullptr, FALSE)) << "the paint was not completed";
    Canvas canvas(42, 42, kUntouched);
    Paint(nullptr, canvas.dc());
    DrawFrame(nullptr, canvas.dc());
    EXPECT_EQ(canvas.At(0, 0), kUntouched);
    DestroyWindow(parent);
}

TEST(ButtonOnTheHeap, EachButtonFreesItsObjectWithItsWindow) {
    RegisterClassesOnce();
    ScriptedHeap heap;
    HWND parent = CreateTestParent(false);
    HWND window = CreateWindowExA(0, "MyButtonClass", "", WS_CHILD, 0, 0, 42, 42, parent, nullptr,
                                  g_instance, nullptr);
    auto* button = static_cast<MyButton*>(GetWindowObject(window));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(heap.LiveBlocks(), 1);
    EXPECT_TRUE(heap.IsLive(button));
    EXPECT_EQ(button->window, window);
    EXPECT_FALSE(button->pressed || button->disabled || button->hot || button->frameDrawn ||
                 button->autoRelease);
    DestroyWindow(window);
    EXPECT_EQ(heap.LiveBlocks(), 0);
    DestroyWindow(parent);
}

}  // namespace
