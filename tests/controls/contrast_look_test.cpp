// The buttons' high-contrast look: the system's colours in their places for every slot, state
// and size, the symbols where the pictures have them, and the device context left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls/btn_bar.h"
#include "controls/contrast_look.h"
#include "controls/my_button.h"
#include "controls/picture_sets.h"
#include "tests/controls/controls_support.h"
#include "tests/support/scripted_contrast.h"
#include "tests/support/scripted_dpi.h"

namespace {

constexpr COLORREF kUntouched = RGB(255, 0, 255);  // no scripted system colour
constexpr const char* kNames[] = {"play", "pause", "stop", "record", "send"};
// The sizes the pictures are drawn for (100 to 200 %); the look is drawn for any.
constexpr int kSizes[] = {42, 53, 63, 84};

struct StateCase {
    const char* name;
    bool pressed;
    bool disabled;
    bool focused;
};
constexpr StateCase kStates[] = {
    {"normal", false, false, false},         {"pressed", true, false, false},
    {"unavailable", false, true, false},     {"focused", false, false, true},
    {"pressed, focused", true, false, true}, {"pressed, unavailable", true, true, false},
};

// The symbols' bounds in the 42-px pictures (tools/make_pictures.py), left, top, right, bottom.
struct Bounds {
    double left, top, right, bottom;
};
constexpr Bounds kSymbolBounds[] = {
    {15, 12, 30, 30},         {14, 13, 28, 29}, {14, 14, 28, 28},
    {12.5, 12.5, 29.5, 29.5}, {11, 14, 31, 28},
};
// A point well inside each symbol, in 42-px units.
struct Point {
    double x, y;
};
constexpr Point kInkPoints[] = {{19.5, 21}, {16.5, 21}, {21, 21}, {21, 21}, {21, 25.5}};
// Points of the face clear of the symbol, the frame and the focus ring.
constexpr Point kFacePoints[] = {{7, 21}, {35, 21}, {21, 7}, {21, 35}};

int At42(double units, int size) {
    return static_cast<int>(units * size / 42.0);
}
int Rounded(double units, int size) {
    return static_cast<int>(units * size / 42.0 + 0.5);
}

// The part of the face that holds the symbol: inside the focus ring.
int SymbolMargin(int size) {
    return Rounded(8, size);
}

// Pixels of the symbol area that have `colour`, as a size x size mask.
std::vector<bool> Mask(const Canvas& canvas, COLORREF colour) {
    const int size = canvas.width();
    const int margin = SymbolMargin(size);
    std::vector<bool> mask(size * size, false);
    for (int y = margin; y < size - margin; ++y) {
        for (int x = margin; x < size - margin; ++x) {
            mask[y * size + x] = canvas.At(x, y) == colour;
        }
    }
    return mask;
}

// Pixels of the mask that differ from their mirror image (left to right, or top to bottom).
int Asymmetric(const std::vector<bool>& mask, int size, bool topToBottom) {
    int count = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int mirrored = topToBottom ? (size - 1 - y) * size + x : y * size + size - 1 - x;
            count += mask[y * size + x] != mask[mirrored];
        }
    }
    return count;
}

// The mask as rows of '#' and '.', for a failure's message.
std::string Picture(const std::vector<bool>& mask, int size) {
    std::string rows;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            rows += mask[y * size + x] ? '#' : '.';
        }
        rows += '\n';
    }
    return rows;
}

void ExpectWithinBounds(const std::vector<bool>& mask, int size, const Bounds& bounds) {
    int left = size, top = size, right = -1, bottom = -1;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (mask[y * size + x]) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x);
                bottom = std::max(bottom, y);
            }
        }
    }
    ASSERT_GE(right, 0) << "no symbol drawn";
    // The pixels the 42-px bounds cover at this size, within a pixel.
    EXPECT_NEAR(left, bounds.left * size / 42.0, 1.0);
    EXPECT_NEAR(top, bounds.top * size / 42.0, 1.0);
    EXPECT_NEAR(right + 1, bounds.right * size / 42.0, 1.0);
    EXPECT_NEAR(bottom + 1, bounds.bottom * size / 42.0, 1.0);
}

}  // namespace

TEST(ContrastLook, EachSlotStateAndSizeHasItsColoursInTheirPlaces) {
    ScriptedContrast contrast(true);
    const COLORREF text = contrast.Colour(COLOR_BTNTEXT);
    for (int slot = Play; slot <= Send; ++slot) {
        for (const StateCase& state : kStates) {
            for (int size : kSizes) {
                SCOPED_TRACE(testing::Message()
                             << kNames[slot] << ", " << state.name << ", " << size << " px");
                const bool pressed = state.pressed && !state.disabled;
                const COLORREF face = contrast.Colour(pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
                const COLORREF ink = contrast.Colour(state.disabled ? COLOR_GRAYTEXT
                                                     : pressed      ? COLOR_HIGHLIGHTTEXT
                                                                    : COLOR_BTNTEXT);
                Canvas canvas(size, size, kUntouched);
                const HGDIOBJ pen = GetCurrentObject(canvas.dc(), OBJ_PEN);
                const HGDIOBJ brush = GetCurrentObject(canvas.dc(), OBJ_BRUSH);
                const COLORREF dcBrush = GetDCBrushColor(canvas.dc());
                const ContrastButton button = {slot, state.pressed, state.disabled, state.focused};
                DrawContrastButton(&button, canvas.dc(), size);

                // The device context is as it was: pen, brushes, no clipping left behind.
                EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PEN), pen);
                EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), brush);
                EXPECT_EQ(GetDCBrushColor(canvas.dc()), dcBrush);
                HRGN clip = CreateRectRgn(0, 0, 0, 0);
                EXPECT_EQ(GetClipRgn(canvas.dc(), clip), 0);
                DeleteObject(clip);

                // Every pixel is frame, face or symbol.
                int others = 0;
                for (int y = 0; y < size; ++y) {
                    for (int x = 0; x < size; ++x) {
                        const COLORREF pixel = canvas.At(x, y);
                        others += pixel != text && pixel != face && pixel != ink;
                    }
                }
                EXPECT_EQ(others, 0);

                // The frame: the outermost pixels, one picture pixel wide, then the face.
                const int frame = std::max(1, Rounded(1, size));
                for (int i = 0; i < size; ++i) {
                    ASSERT_EQ(canvas.At(i, 0), text) << "top edge at " << i;
                    ASSERT_EQ(canvas.At(i, size - 1), text) << "bottom edge at " << i;
                    ASSERT_EQ(canvas.At(0, i), text) << "left edge at " << i;
                    ASSERT_EQ(canvas.At(size - 1, i), text) << "right edge at " << i;
                }
                const int middle = size / 2;
                EXPECT_EQ(canvas.At(frame - 1, middle), text);
                EXPECT_EQ(canvas.At(frame, middle), face);
                EXPECT_EQ(canvas.At(middle, size - 1 - frame), face);

                // The focus ring four picture pixels in, on a focused button that is available.
                const int ring = Rounded(4, size);
                const COLORREF ringColour = state.focused && !state.disabled ? text : face;
                EXPECT_EQ(canvas.At(ring, middle), ringColour);
                EXPECT_EQ(canvas.At(size - 1 - ring, middle), ringColour);
                EXPECT_EQ(canvas.At(middle, ring), ringColour);
                EXPECT_EQ(canvas.At(middle, size - 1 - ring), ringColour);

                for (const Point& point : kFacePoints) {
                    EXPECT_EQ(canvas.At(At42(point.x, size), At42(point.y, size)), face)
                        << "face at " << point.x << ", " << point.y;
                }
                const Point& inkPoint = kInkPoints[slot];
                EXPECT_EQ(canvas.At(At42(inkPoint.x, size), At42(inkPoint.y, size)), ink);
                if (slot == Pause) {  // and in the other bar
                    EXPECT_EQ(canvas.At(size - 1 - At42(inkPoint.x, size), At42(inkPoint.y, size)),
                              ink);
                }

                const std::vector<bool> symbol = Mask(canvas, ink);
                ExpectWithinBounds(symbol, size, kSymbolBounds[slot]);
                // Play mirrors top to bottom, the others left to right.
                EXPECT_EQ(Asymmetric(symbol, size, slot == Play), 0) << Picture(symbol, size);
            }
        }
    }
}

// The symbols cover what the pictures' symbols cover: every pixel the picture has mostly in its
// symbol is the symbol's, every one it has mostly in the face is the face's; only the pictures'
// soft edges may go either way.
TEST(ContrastLook, SymbolsHaveThePicturesShapes) {
    ScriptedContrast contrast(true);
    const COLORREF ink = contrast.Colour(COLOR_BTNTEXT);
    for (int slot = Play; slot <= Send; ++slot) {
        for (int size : kSizes) {
            SCOPED_TRACE(testing::Message() << kNames[slot] << ", " << size << " px");
            Canvas drawn(size, size, kUntouched);
            const ContrastButton button = {slot, false, false, false};
            DrawContrastButton(&button, drawn.dc(), size);
            const std::vector<bool> symbol = Mask(drawn, ink);

            Canvas picture(size, size, kUntouched);
            ASSERT_TRUE(DrawPictureFile(kNames[slot], 0, size, size, COLORONCOLOR, &picture));
            // The normal pictures' face is near white (green 240), their symbols black or red
            // (green 36): green tells how much of a pixel the symbol covers.
            const int margin = SymbolMargin(size);
            int wrong = 0;
            std::string where;
            for (int y = margin; y < size - margin; ++y) {
                for (int x = margin; x < size - margin; ++x) {
                    const int green = GetGValue(picture.At(x, y));
                    const bool mostlySymbol = green < 60;
                    const bool mostlyFace = green > 180;
                    const bool drawnSymbol = symbol[y * size + x];
                    if ((mostlySymbol && !drawnSymbol) || (mostlyFace && drawnSymbol)) {
                        ++wrong;
                        where += " (" + std::to_string(x) + "," + std::to_string(y) + ")";
                    }
                }
            }
            EXPECT_EQ(wrong, 0) << "at" << where << "\n" << Picture(symbol, size);
        }
    }
}

// The buttons and the bar under a high-contrast theme, at 100 % and 200 %: each button in each
// state exactly as the contrast look draws that state, with the pointer on it (the look has no
// hover frame) and focused as the window's focus is; the bar's face in the theme's colour, and
// its own colour again when the theme goes.
TEST(ContrastLook, ButtonsAndBarTakeItInEachStateAt100And200Percent) {
    RegisterClassesOnce();
    ScriptedContrast contrast(true);
    for (UINT dpi : {96u, 192u}) {
        ScriptedDpi scale(dpi);
        HWND parent = CreateTestParent(true);
        ShowWindow(parent, SW_SHOW);
        HWND barWindow = CreateScaledBar(parent, dpi);
        BtnBar* bar = BarOf(barWindow);
        ASSERT_NE(bar, nullptr);
        const int size = MulDiv(kButtonPixels, dpi, 96);
        for (int slot = Play; slot <= Send; ++slot) {
            MyButton* button = bar->buttons[slot];
            ASSERT_EQ(button->width, size);
            for (const StateCase& state : kStates) {
                SCOPED_TRACE(testing::Message()
                             << kNames[slot] << ", " << state.name << ", " << dpi << " dpi");
                SetButtonPressed(bar, slot, state.pressed);
                SetCommandDisabled(bar, slot, state.disabled);
                SetFocus(state.focused ? button->window : parent);
                ASSERT_EQ(GetFocus() == button->window, state.focused);
                MoveOver(button);
                EXPECT_FALSE(button->frameDrawn) << "a hover frame over the contrast look";
                Canvas painted(size, size, kUntouched);
                Paint(button, painted.dc());
                Canvas expected(size, size, kUntouched);
                const ContrastButton look = {slot, state.pressed, state.disabled, state.focused};
                DrawContrastButton(&look, expected.dc(), size);
                EXPECT_EQ(DifferingPixels(painted, expected, size, size), 0);
                Leave(button);
                SetCommandDisabled(bar, slot, false);
                SetButtonPressed(bar, slot, false);
            }
        }

        RECT client = {};
        GetClientRect(barWindow, &client);
        const RECT play = ButtonPlace(Play, client.right, dpi);
        Canvas face(client.right, client.bottom, kUntouched);
        SendMessageA(barWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(face.dc()), 0);
        EXPECT_EQ(face.At(play.right + 1, client.bottom / 2), contrast.Colour(COLOR_BTNFACE));
        EXPECT_EQ(face.At(0, 0), contrast.Colour(COLOR_BTNFACE));
        contrast.Set(false);
        SendMessageA(barWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(face.dc()), 0);
        EXPECT_EQ(face.At(play.right + 1, client.bottom / 2), kBarColour);
        contrast.Set(true);
        DestroyWindow(parent);
    }
}

// A theme turned on or off, or its colours changed, while the bar shows: the bar and every
// button are drawn again. Other settings leave them be.
TEST(ContrastLook, AThemeChangedWhileShownDrawsTheBarAgain) {
    RegisterClassesOnce();
    HWND parent = CreateTestParent(true);
    ShowWindow(parent, SW_SHOWNOACTIVATE);
    HWND barWindow = CreateBar(parent, 268);
    BtnBar* bar = BarOf(barWindow);
    ASSERT_NE(bar, nullptr);
    struct Change {
        UINT message;
        WPARAM wParam;
        bool drawn;
    };
    const Change changes[] = {{WM_SETTINGCHANGE, SPI_SETWORKAREA, false},
                              {WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, true},
                              {WM_SYSCOLORCHANGE, 0, true},
                              {WM_THEMECHANGED, 0, true}};
    for (const Change& change : changes) {
        SCOPED_TRACE(testing::Message() << change.message << " " << change.wParam);
        UpdateWindow(parent);
        ASSERT_FALSE(GetUpdateRect(barWindow, nullptr, FALSE));
        SendMessageA(barWindow, change.message, change.wParam, 0);
        EXPECT_EQ(GetUpdateRect(barWindow, nullptr, FALSE) != FALSE, change.drawn);
        for (MyButton* button : bar->buttons) {
            EXPECT_EQ(GetUpdateRect(button->window, nullptr, FALSE) != FALSE, change.drawn);
        }
    }
    DestroyWindow(parent);
}

// Without the stand-in the program asks the system, which under Wine always says off.
TEST(ContrastLook, TheSeamAnswersAsScriptedAndThenAsTheSystem) {
    HIGHCONTRASTW system = {};
    system.cbSize = sizeof(system);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(system), &system, 0));
    const bool systemOn = (system.dwFlags & HCF_HIGHCONTRASTON) != 0;
    {
        ScriptedContrast contrast(!systemOn);
        EXPECT_EQ(HighContrastOn(), !systemOn);
        contrast.Set(systemOn);
        EXPECT_EQ(HighContrastOn(), systemOn);
        EXPECT_EQ(contrast.Questions(), 2);
    }
    EXPECT_EQ(HighContrastOn(), systemOn);
    EXPECT_EQ(g_systemColour(COLOR_HIGHLIGHT), GetSysColor(COLOR_HIGHLIGHT));
}
