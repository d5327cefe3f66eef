// The button bar in a stand-in main window: its buttons, the commands they send, the menu.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <oleacc.h>

#include <cstdint>
#include <set>
#include <string>

#include "app/app_state.h"
#include "base/dpi.h"
#include "controls/btn_bar.h"
#include "res/resource.h"
#include "tests/controls/controls_support.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_annotation.h"
#include "tests/support/scripted_heap.h"

namespace {

constexpr int kCommands[] = {IDM_PLAY, IDM_PAUSE, IDM_STOP, IDM_RECORD, IDM_SEND};

class BarTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterClassesOnce();
        g_commands.clear();
        g_onCommand = nullptr;
        parent = CreateTestParent(true);
        barWindow = CreateBar(parent, 268);
        bar = BarOf(barWindow);
        ASSERT_NE(bar, nullptr);
    }
    void TearDown() override {
        g_onCommand = nullptr;
        if (parent) {
            DestroyWindow(parent);
        }
    }

    MyButton* Button(int slot) { return ButtonInSlot(bar, slot); }

    // Grayed state of the five items, in slot order.
    std::vector<bool> MenuStates() {
        std::vector<bool> states;
        for (int command : kCommands) {
            states.push_back(MenuItemGrayed(parent, command));
        }
        return states;
    }

    HWND parent = nullptr;
    HWND barWindow = nullptr;
    BtnBar* bar = nullptr;
};

TEST_F(BarTest, ButtonsStandInARowWithSendAtTheRightEdge) {
    const int lefts[] = {6, 52, 98, 144, 268 - 48};
    HWND child = GetWindow(barWindow, GW_CHILD);
    int children = 0;
    for (; child; child = GetWindow(child, GW_HWNDNEXT)) {
        ++children;
    }
    EXPECT_EQ(children, 5);
    for (int slot = Play; slot <= Send; ++slot) {
        SCOPED_TRACE(slot);
        MyButton* button = Button(slot);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(GetParent(button->window), barWindow);
        EXPECT_EQ(GetWindowObject(button->window), button);
        RECT place;
        GetWindowRect(button->window, &place);
        MapWindowPoints(nullptr, barWindow, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, lefts[slot]);
        EXPECT_EQ(place.top, 6);
        EXPECT_EQ(place.right - place.left, 42);
        EXPECT_EQ(place.bottom - place.top, 42);
        EXPECT_EQ(button->width, 42);
        EXPECT_EQ(button->height, 42);
        EXPECT_EQ(GetDlgCtrlID(button->window), 0);
        EXPECT_TRUE(GetWindowLongPtrA(button->window, GWL_STYLE) & WS_VISIBLE);
        EXPECT_FALSE(button->pressed);
        EXPECT_FALSE(button->hot);
        EXPECT_EQ(button->disabled, slot == Send);
        EXPECT_EQ(IsWindowEnabled(button->window) == FALSE, slot == Send);
        // Tab stops in slot order, the first starting the group the arrow keys move in.
        const LONG_PTR style = GetWindowLongPtrA(button->window, GWL_STYLE);
        EXPECT_NE(style & WS_TABSTOP, 0);
        EXPECT_EQ((style & WS_GROUP) != 0, slot == Play);
        EXPECT_EQ(GetWindow(button->window, GW_HWNDPREV),
                  slot == Play ? nullptr : Button(slot - 1)->window);
    }
}

TEST_F(BarTest, SendFollowsTheWidthOfTheBar) {
    for (int width : {268, 300, 180}) {
        HWND other = CreateBar(parent, width);
        MyButton* send = BarOf(other)->buttons[Send];
        ASSERT_NE(send, nullptr);
        RECT place;
        GetWindowRect(send->window, &place);
        MapWindowPoints(nullptr, other, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(place.left, width - 48) << "bar " << width << " px wide";
        DestroyWindow(other);
    }
}

TEST_F(BarTest, CreationLeavesTheMenuAlone) {
    EnableMenuItem(GetMenu(parent), IDM_STOP, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
    HWND other = CreateBar(parent, 268);
    EXPECT_EQ(MenuStates(), (std::vector<bool>{false, false, true, false, false}));
    DestroyWindow(other);
}

TEST_F(BarTest, EachPressReachesTheParentAsItsCommandWithZero) {
    SetCommandDisabled(bar, Send, false);
    for (int slot = Play; slot <= Send; ++slot) {
        SCOPED_TRACE(slot);
        g_commands.clear();
        MoveOver(Button(slot));
        Press(Button(slot));
        ASSERT_EQ(g_commands.size(), 1u);
        EXPECT_EQ(g_commands[0].wParam, static_cast<WPARAM>(kCommands[slot]));
        EXPECT_EQ(g_commands[0].lParam, 0);
        Release(Button(slot));
        Leave(Button(slot));
        EXPECT_EQ(g_commands.size(), 1u) << "release or leave sent something";
    }
}

TEST_F(BarTest, CommandArrivesWhileTheButtonIsDownAndMayChangeIt) {
    // The parent runs inside the press: the button is already down, and what the parent
    // changes stays changed.
    bool pressedDuringCommand = false;
    g_onCommand = [&](WPARAM) {
        pressedDuringCommand = Button(Play)->pressed;
        SetButtonPressed(bar, Play, false);
        SetCommandDisabled(bar, Play, true);
    };
    Press(Button(Play));
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_TRUE(pressedDuringCommand);
    EXPECT_FALSE(Button(Play)->pressed);
    EXPECT_TRUE(Button(Play)->disabled);
}

TEST_F(BarTest, BarPassesAnyCommandOnUnchanged) {
    const WPARAM wParam = MAKEWPARAM(1234, BN_CLICKED);
    const LPARAM lParam = static_cast<LPARAM>(0x1234568);
    EXPECT_EQ(SendMessageA(barWindow, WM_COMMAND, wParam, lParam), 0);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].wParam, wParam);
    EXPECT_EQ(g_commands[0].lParam, lParam);
}

TEST_F(BarTest, DisabledButtonsSendNothing) {
    Press(Button(Send));  // disabled from the start
    SetCommandDisabled(bar, Pause, true);
    Press(Button(Pause));
    EXPECT_TRUE(g_commands.empty());
    EXPECT_FALSE(Button(Send)->pressed);
    EXPECT_FALSE(Button(Pause)->pressed);

    SetCommandDisabled(bar, Pause, false);
    Press(Button(Pause));
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].wParam, static_cast<WPARAM>(IDM_PAUSE));
}

TEST_F(BarTest, LatchingButtonsStayDownUntilReleasedByTheOwner) {
    for (int slot : {Play, Record}) {
        SCOPED_TRACE(slot);
        g_commands.clear();
        MoveOver(Button(slot));
        Press(Button(slot));
        Release(Button(slot));
        Leave(Button(slot));
        EXPECT_TRUE(Button(slot)->pressed);
        EXPECT_FALSE(Button(slot)->hot);
        EXPECT_FALSE(Button(slot)->frameDrawn);
        MoveOver(Button(slot));
        Press(Button(slot));
        Press(Button(slot));
        EXPECT_EQ(g_commands.size(), 1u) << "a latched button sent again";

        SetButtonPressed(bar, slot, false);
        EXPECT_FALSE(Button(slot)->pressed);
        Press(Button(slot));
        EXPECT_EQ(g_commands.size(), 2u);
    }
}

TEST_F(BarTest, MomentaryButtonsAreReleasedByMouseUpOrLeave) {
    SetCommandDisabled(bar, Send, false);
    for (int slot : {Pause, Stop, Send}) {
        SCOPED_TRACE(slot);
        g_commands.clear();
        MoveOver(Button(slot));
        Press(Button(slot));
        EXPECT_TRUE(Button(slot)->pressed);
        EXPECT_EQ(g_commands.size(), 1u) << "sent at the press";
        Release(Button(slot));
        EXPECT_FALSE(Button(slot)->pressed);

        // Held down while the pointer leaves: the leave releases it, the mouse-up never comes.
        MoveOver(Button(slot));
        Press(Button(slot));
        EXPECT_TRUE(Button(slot)->pressed);
        Leave(Button(slot));
        EXPECT_FALSE(Button(slot)->pressed);
        EXPECT_EQ(g_commands.size(), 2u);
    }
}

TEST_F(BarTest, QuickSecondPressOnAMomentaryButtonSendsAgain) {
    EXPECT_EQ(GetClassLongPtrA(Button(Stop)->window, GCL_STYLE) & CS_DBLCLKS, 0u);
    Press(Button(Stop));
    Release(Button(Stop));
    Press(Button(Stop));
    Release(Button(Stop));
    ASSERT_EQ(g_commands.size(), 2u);
    EXPECT_EQ(g_commands[1].wParam, static_cast<WPARAM>(IDM_STOP));
}

TEST_F(BarTest, ReleaseOfAButtonDisabledMeanwhileKeepsItDisabled) {
    g_onCommand = [&](WPARAM) { SetCommandDisabled(bar, Stop, true); };
    Press(Button(Stop));
    Release(Button(Stop));
    EXPECT_FALSE(Button(Stop)->pressed);
    EXPECT_TRUE(Button(Stop)->disabled);
    EXPECT_TRUE(MenuItemGrayed(parent, IDM_STOP));
}

TEST_F(BarTest, SetButtonDisabledGraysAndEnablesTheMenuItemByCommand) {
    for (int slot = Play; slot <= Send; ++slot) {
        SCOPED_TRACE(slot);
        SetCommandDisabled(bar, slot, true);
        EXPECT_TRUE(Button(slot)->disabled);
        EXPECT_FALSE(IsWindowEnabled(Button(slot)->window));
        EXPECT_TRUE(MenuItemGrayed(parent, kCommands[slot]));
        // Only this slot's item changed.
        std::vector<bool> expected(5, false);
        for (int other = Play; other <= slot; ++other) {
            expected[other] = true;
        }
        EXPECT_EQ(MenuStates(), expected);
    }
    for (int slot = Play; slot <= Send; ++slot) {
        SetCommandDisabled(bar, slot, false);
        EXPECT_FALSE(Button(slot)->disabled);
        EXPECT_TRUE(IsWindowEnabled(Button(slot)->window));
        EXPECT_FALSE(MenuItemGrayed(parent, kCommands[slot]));
    }
    EXPECT_EQ(MenuStates(), std::vector<bool>(5, false));
    // Exit and the Help items are never touched.
    EXPECT_FALSE(MenuItemGrayed(parent, IDM_EXIT));
    EXPECT_FALSE(MenuItemGrayed(parent, IDM_HELP));
    EXPECT_FALSE(MenuItemGrayed(parent, IDM_ABOUT));
}

TEST_F(BarTest, EnablingAButtonEnablesAnItemGrayedDirectly) {
    EnableMenuItem(GetMenu(parent), IDM_RECORD, MF_BYCOMMAND | MF_GRAYED | MF_DISABLED);
    EnableMenuItem(GetMenu(parent), IDM_PLAY, MF_BYCOMMAND | MF_GRAYED);
    SetCommandDisabled(bar, Record, false);
    SetCommandDisabled(bar, Play, false);
    EXPECT_EQ(GetMenuState(GetMenu(parent), IDM_RECORD, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED),
              0u);
    EXPECT_EQ(GetMenuState(GetMenu(parent), IDM_PLAY, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED),
              0u);
}

TEST_F(BarTest, PressingAndSetButtonPressedNeverTouchTheMenu) {
    SetCommandDisabled(bar, Stop, true);
    const std::vector<bool> before = MenuStates();
    for (int slot = Play; slot <= Send; ++slot) {
        SetButtonPressed(bar, slot, true);
        EXPECT_TRUE(Button(slot)->pressed);
        SetButtonPressed(bar, slot, false);
    }
    Press(Button(Record));
    Press(Button(Pause));
    Release(Button(Pause));
    EXPECT_EQ(MenuStates(), before);
}

TEST_F(BarTest, DisabledOverridesPressedAndNeitherClearsTheOther) {
    SetButtonPressed(bar, Record, true);
    SetCommandDisabled(bar, Record, true);
    EXPECT_TRUE(Button(Record)->pressed);
    SetCommandDisabled(bar, Record, false);
    EXPECT_TRUE(Button(Record)->pressed);
    SetButtonPressed(bar, Record, false);
    EXPECT_FALSE(Button(Record)->disabled);
}

// Enter on the focused button, as the dialog manager hands it on: the slot's command once, a
// latching button left down as a click leaves it, a momentary one not down at all; the key's
// repeats while it is held press nothing more, and a disabled button takes no key.
TEST_F(BarTest, EnterPressesTheFocusedButtonOnceAsAClickDoes) {
    ShowWindow(parent, SW_SHOW);
    SetCommandDisabled(bar, Send, false);
    for (int slot = Play; slot <= Send; ++slot) {
        SCOPED_TRACE(slot);
        HWND button = Button(slot)->window;
        g_commands.clear();
        SetFocus(button);
        ASSERT_EQ(GetFocus(), button);
        for (LPARAM flags : {LPARAM{1}, LPARAM{0x40000001}}) {  // down, then held down
            MSG key = {button, WM_KEYDOWN, VK_RETURN, flags, 0, {0, 0}};
            // The dialog manager asks the control whether it wants the key.
            EXPECT_EQ(
                SendMessageA(button, WM_GETDLGCODE, VK_RETURN, reinterpret_cast<LPARAM>(&key)),
                DLGC_BUTTON | DLGC_WANTMESSAGE);
            EXPECT_TRUE(IsDialogMessageA(parent, &key));
        }
        ASSERT_EQ(g_commands.size(), 1u);
        EXPECT_EQ(g_commands[0].wParam, static_cast<WPARAM>(kCommands[slot]));
        EXPECT_EQ(Button(slot)->pressed, slot == Play || slot == Record);
        SetButtonPressed(bar, slot, false);

        // Tab, Space and the rest stay the dialog's and the window's.
        MSG tab = {button, WM_KEYDOWN, VK_TAB, 1, 0, {0, 0}};
        EXPECT_EQ(SendMessageA(button, WM_GETDLGCODE, VK_TAB, reinterpret_cast<LPARAM>(&tab)),
                  DLGC_BUTTON);

        g_commands.clear();
        SetCommandDisabled(bar, slot, true);
        SendMessageA(button, WM_KEYDOWN, VK_RETURN, 1);
        EXPECT_TRUE(g_commands.empty());
        EXPECT_FALSE(Button(slot)->pressed);
    }
}

// Focus given to the bar itself goes on to its first available button: the bar is never where
// the focus rests.
TEST_F(BarTest, FocusGivenToTheBarGoesToItsFirstAvailableButton) {
    ShowWindow(parent, SW_SHOW);
    for (int first = Play; first <= Send; ++first) {
        SetFocus(parent);
        SetCommandDisabled(bar, first, false);
        SetFocus(barWindow);
        EXPECT_EQ(GetFocus(), Button(first)->window) << first;
        SetCommandDisabled(bar, first, true);
    }
    // With none left the focus stays where it was given, and nothing breaks.
    SetFocus(barWindow);
    EXPECT_EQ(GetFocus(), barWindow);
}

// The tooltip shows each button's name; it watches the buttons itself, so the tests above run
// with it in place. A disabled button takes no mouse input, so its place on the bar shows the
// name too, wherever the buttons were laid out last.
TEST_F(BarTest, EachButtonHasATooltipWithItsName) {
    const char* const names[] = {"Play", "Pause", "Stop", "Record", "Send"};
    EXPECT_EQ(bar->tips, nullptr) << "made before the window could show";
    PumpMessages();  // the tooltips come once the window's messages run
    ASSERT_NE(bar->tips, nullptr);
    EXPECT_EQ(SendMessageA(bar->tips, TTM_GETTOOLCOUNT, 0, 0), 10);
    auto nameAtPlaceOf = [&](int slot) {
        RECT place = {};
        GetWindowRect(Button(slot)->window, &place);
        MapWindowPoints(nullptr, barWindow, reinterpret_cast<POINT*>(&place), 2);
        char text[64] = "";
        TTHITTESTINFOA hit = {};
        hit.hwnd = barWindow;
        hit.pt = {(place.left + place.right) / 2, (place.top + place.bottom) / 2};
        hit.ti.cbSize = TTTOOLINFOA_V2_SIZE;
        if (!SendMessageA(bar->tips, TTM_HITTESTA, 0, reinterpret_cast<LPARAM>(&hit))) {
            return std::string("(none)");
        }
        hit.ti.lpszText = text;
        SendMessageA(bar->tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&hit.ti));
        return std::string(text);
    };
    for (int layout = 0; layout < 2; ++layout) {
        for (int slot = Play; slot <= Send; ++slot) {
            SetCommandDisabled(bar, slot, true);
            EXPECT_EQ(nameAtPlaceOf(slot), names[slot]) << "layout " << layout;
            SetCommandDisabled(bar, slot, false);
        }
        // Laid out again in a narrower bar: the places move.
        RECT client = {};
        GetClientRect(barWindow, &client);
        SetWindowPos(barWindow, nullptr, 0, 0, client.right - 40, client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageA(barWindow, kDpiChangedAfterParent, 0, 0);
    }
    for (int slot = Play; slot <= Send; ++slot) {
        SCOPED_TRACE(names[slot]);
        char title[64] = "";
        GetWindowTextA(Button(slot)->window, title, sizeof title);
        EXPECT_STREQ(title, names[slot]);
        char text[64] = "";
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = barWindow;
        tool.uId = reinterpret_cast<UINT_PTR>(Button(slot)->window);
        ASSERT_TRUE(SendMessageA(bar->tips, TTM_GETTOOLINFOA, 0, reinterpret_cast<LPARAM>(&tool)));
        EXPECT_EQ(tool.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), UINT{TTF_IDISHWND | TTF_SUBCLASS});
        tool.lpszText = text;
        SendMessageA(bar->tips, TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(text, names[slot]);
    }
}

TEST_F(BarTest, SlotsOutsideTheFiveChangeNothing) {
    for (int slot : {-1, 5, 6, 40004, INT32_MIN}) {
        SetCommandDisabled(bar, slot, true);
        SetButtonPressed(bar, slot, true);
    }
    EXPECT_EQ(MenuStates(), std::vector<bool>(5, false));
    for (int slot = Play; slot <= Send; ++slot) {
        EXPECT_FALSE(Button(slot)->pressed);
        EXPECT_EQ(Button(slot)->disabled, slot == Send);
    }
}

TEST(BarWithoutMenu, SetButtonDisabledStillWorks) {
    RegisterClassesOnce();
    HWND parent = CreateTestParent(false);
    BtnBar* bar = BarOf(CreateBar(parent, 268));
    ASSERT_NE(bar, nullptr);
    SetCommandDisabled(bar, Stop, true);
    EXPECT_TRUE(bar->buttons[Stop]->disabled);
    SetCommandDisabled(bar, Send, false);
    EXPECT_FALSE(bar->buttons[Send]->disabled);
    DestroyWindow(parent);
}

TEST(BarClass, ArrowCursorBarColourAndRoomForAPointer) {
    RegisterClassesOnce();
    WNDCLASSA barClass = {};
    ASSERT_TRUE(GetClassInfoA(g_instance, "BtnBarClass", &barClass));
    EXPECT_EQ(barClass.style, 0u);
    EXPECT_EQ(barClass.cbWndExtra, static_cast<int>(sizeof(LONG_PTR)));
    EXPECT_EQ(barClass.hCursor, LoadCursor(nullptr, IDC_ARROW));
    LOGBRUSH brush = {};
    ASSERT_EQ(GetObjectA(barClass.hbrBackground, sizeof(brush), &brush),
              static_cast<int>(sizeof(brush)));
    EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID));
    EXPECT_EQ(brush.lbColor, RGB(156, 177, 209));
    // A second registration fails and leaves the first brush working.
    EXPECT_FALSE(RegisterBtnBarClass());
    EXPECT_EQ(GetObjectA(barClass.hbrBackground, sizeof(brush), &brush),
              static_cast<int>(sizeof(brush)));

    WNDCLASSA buttonClass = {};
    ASSERT_TRUE(GetClassInfoA(g_instance, "MyButtonClass", &buttonClass));
    EXPECT_EQ(buttonClass.style, 0u);
    EXPECT_EQ(buttonClass.cbWndExtra, static_cast<int>(sizeof(LONG_PTR)));
    EXPECT_EQ(buttonClass.hCursor, LoadCursor(nullptr, IDC_ARROW));
    EXPECT_EQ(buttonClass.hbrBackground, nullptr);
}

// Objects at addresses above 4 GB (on x64) survive the trip through the window data.
TEST(BarOnTheHeap, ObjectsAtHighAddressesAreFoundAgainAndFreedWithTheirWindows) {
    RegisterClassesOnce();
    g_commands.clear();
    HighAddressHeap heap;
    HWND parent = CreateTestParent(true);
    HWND barWindow = CreateBar(parent, 268);
    EXPECT_EQ(heap.LiveBlocks(), 6);
    BtnBar* bar = BarOf(barWindow);
    ASSERT_NE(bar, nullptr);
    if (sizeof(void*) == 8) {
        EXPECT_GT(reinterpret_cast<uintptr_t>(bar), uintptr_t{0xFFFFFFFF});
    }
    EXPECT_EQ(bar->window, barWindow);
    Press(bar->buttons[Record]);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].wParam, static_cast<WPARAM>(IDM_RECORD));
    DestroyWindow(parent);
    EXPECT_EQ(heap.LiveBlocks(), 0);
}

TEST(BarOnTheHeap, WithoutItsObjectTheBarHasNoButtonsAndDoesNothing) {
    RegisterClassesOnce();
    g_commands.clear();
    ScriptedHeap heap;
    heap.FailAllocation(1);
    HWND parent = CreateTestParent(true);
    HWND barWindow = CreateBar(parent, 268);
    ASSERT_NE(barWindow, nullptr);
    EXPECT_EQ(heap.Allocations(), 1);
    EXPECT_EQ(BarOf(barWindow), nullptr);
    EXPECT_EQ(GetWindow(barWindow, GW_CHILD), nullptr);
    SetCommandDisabled(nullptr, Play, true);
    SetButtonPressed(nullptr, Play, true);
    EXPECT_FALSE(MenuItemGrayed(parent, IDM_PLAY));
    InvalidateRect(barWindow, nullptr, TRUE);
    UpdateWindow(barWindow);
    SendMessageA(barWindow, WM_COMMAND, IDM_STOP, 0);
    EXPECT_EQ(g_commands.size(), 1u);  // passing commands on needs no object
    DestroyWindow(parent);
}

TEST(BarOnTheHeap, ButtonsWithoutObjectsAreLeftOut) {
    RegisterClassesOnce();
    g_commands.clear();
    ScriptedHeap heap;
    for (int button = 2; button <= 6; ++button) {
        heap.FailAllocation(button);  // the bar's object only
    }
    HWND parent = CreateTestParent(true);
    HWND barWindow = CreateBar(parent, 268);
    BtnBar* bar = BarOf(barWindow);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(heap.Allocations(), 6);
    EXPECT_EQ(bar->buttons[Play], nullptr);
    EXPECT_EQ(bar->buttons[Send], nullptr);
    EXPECT_EQ(GetWindow(barWindow, GW_CHILD), nullptr) << "a button window without object stayed";
    for (int slot = Play; slot <= Send; ++slot) {
        SetCommandDisabled(bar, slot, true);
        SetButtonPressed(bar, slot, true);
    }
    EXPECT_TRUE(MenuItemGrayed(parent, IDM_SEND));  // the menu still follows
    DestroyWindow(parent);
    EXPECT_EQ(heap.LiveBlocks(), 0);
}

TEST(BarOnTheHeap, OneMissingButtonLeavesTheOthersWorking) {
    RegisterClassesOnce();
    g_commands.clear();
    ScriptedHeap heap;
    heap.FailAllocation(4);  // bar, Play, Pause, then Stop
    HWND parent = CreateTestParent(true);
    BtnBar* bar = BarOf(CreateBar(parent, 268));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->buttons[Stop], nullptr);
    ASSERT_NE(bar->buttons[Record], nullptr);
    ASSERT_NE(bar->buttons[Send], nullptr);
    RECT place;
    GetWindowRect(bar->buttons[Record]->window, &place);
    MapWindowPoints(nullptr, bar->window, reinterpret_cast<POINT*>(&place), 2);
    EXPECT_EQ(place.left, 144);
    SetCommandDisabled(bar, Stop, true);
    SetButtonPressed(bar, Stop, true);
    EXPECT_TRUE(MenuItemGrayed(parent, IDM_STOP));
    Press(bar->buttons[Record]);
    ASSERT_EQ(g_commands.size(), 1u);
    EXPECT_EQ(g_commands[0].wParam, static_cast<WPARAM>(IDM_RECORD));
    DestroyWindow(parent);
    EXPECT_EQ(heap.LiveBlocks(), 0);
}

// The state last told of `button`: the annotated number, 0 when the annotation was cleared, -1
// when nothing was told. Each one must be followed by the news of it.
LONG LastToldState(const ScriptedAnnotation& scripted, HWND button) {
    LONG told = -1;
    bool news = true;
    for (const AnnotationRecord& call : scripted.Calls()) {
        if (call.window != button) {
            continue;
        }
        const bool aboutState =
            !call.properties.empty() && IsEqualGUID(call.properties[0], PROPID_ACC_STATE);
        if (call.kind == AnnotationRecord::kSetProp && aboutState) {
            told = call.number;
            news = false;
        } else if (call.kind == AnnotationRecord::kClearProps && aboutState) {
            told = 0;
            news = false;
        } else if (call.kind == AnnotationRecord::kEvent &&
                   call.event == static_cast<DWORD>(EVENT_OBJECT_STATECHANGE)) {
            news = true;
        }
    }
    EXPECT_TRUE(news) << "a state told without EVENT_OBJECT_STATECHANGE";
    return told;
}

// What the buttons tell a screen reader: each is a push button from its creation on; a latched
// one is pressed, together with what its window says (unavailable, focused, hidden), told again
// whenever that changes; released, the annotation goes. A momentary one is pressed while the
// mouse holds it. As the buttons go, all of it is taken off.
TEST(BarAnnotations, ButtonsReadAsPushButtonsAndPressedWhileLatched) {
    RegisterClassesOnce();
    ScriptedAnnotation scripted;
    HWND parent = CreateTestParent(true);
    ShowWindow(parent, SW_SHOW);
    BtnBar* bar = BarOf(CreateBar(parent, 268));
    ASSERT_NE(bar, nullptr);
    std::set<HWND> pushButtons;
    for (const AnnotationRecord& call : scripted.Calls()) {
        if (call.kind == AnnotationRecord::kSetProp &&
            IsEqualGUID(call.properties[0], PROPID_ACC_ROLE) &&
            call.number == ROLE_SYSTEM_PUSHBUTTON) {
            pushButtons.insert(call.window);
        }
    }
    std::set<HWND> buttons;
    for (MyButton* button : bar->buttons) {
        buttons.insert(button->window);
    }
    EXPECT_EQ(pushButtons, buttons);

    HWND record = bar->buttons[Record]->window;
    const LONG pressed = STATE_SYSTEM_PRESSED;
    struct Step {
        const char* what;
        void (*act)(BtnBar* bar, HWND record);
        LONG state;  // told afterwards; 0 cleared, -1 nothing told
    };
    const Step steps[] = {
        {"latched", [](BtnBar* b, HWND) { SetButtonPressed(b, Record, true); },
         pressed | STATE_SYSTEM_FOCUSABLE},
        {"latched again", [](BtnBar* b, HWND) { SetButtonPressed(b, Record, true); }, -1},
        {"focused", [](BtnBar*, HWND r) { SetFocus(r); },
         pressed | STATE_SYSTEM_FOCUSABLE | STATE_SYSTEM_FOCUSED},
        {"disabled", [](BtnBar* b, HWND) { SetCommandDisabled(b, Record, true); },
         pressed | STATE_SYSTEM_UNAVAILABLE},
        {"hidden", [](BtnBar*, HWND r) { ShowWindow(r, SW_HIDE); },
         pressed | STATE_SYSTEM_UNAVAILABLE | STATE_SYSTEM_INVISIBLE},
        {"shown", [](BtnBar*, HWND r) { ShowWindow(r, SW_SHOWNA); },
         pressed | STATE_SYSTEM_UNAVAILABLE},
        {"enabled", [](BtnBar* b, HWND) { SetCommandDisabled(b, Record, false); },
         pressed | STATE_SYSTEM_FOCUSABLE},
        {"released", [](BtnBar* b, HWND) { SetButtonPressed(b, Record, false); }, 0},
        {"released again", [](BtnBar* b, HWND) { SetButtonPressed(b, Record, false); }, -1},
        {"focused while released", [](BtnBar*, HWND r) { SetFocus(r); }, -1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        scripted.Forget();
        step.act(bar, record);
        EXPECT_EQ(LastToldState(scripted, record), step.state);
    }

    // A momentary button is pressed while the mouse holds it, and not at all by Enter.
    HWND pause = bar->buttons[Pause]->window;
    scripted.Forget();
    Press(bar->buttons[Pause]);
    EXPECT_EQ(LastToldState(scripted, pause), pressed | STATE_SYSTEM_FOCUSABLE);
    Release(bar->buttons[Pause]);
    EXPECT_EQ(LastToldState(scripted, pause), 0);
    scripted.Forget();
    SendMessageA(pause, WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_EQ(LastToldState(scripted, pause), -1);

    scripted.Forget();
    DestroyWindow(parent);
    for (HWND button : buttons) {
        int clears = 0;
        for (const AnnotationRecord& call : scripted.Calls()) {
            clears += call.kind == AnnotationRecord::kClearProps && call.window == button;
        }
        EXPECT_EQ(clears, 5) << "each property the program annotates, taken off";
    }
}

}  // namespace
