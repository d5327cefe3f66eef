// Windows, pixels and heap stand-ins shared by the tests of the button and the bar.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "controls/btn_bar.h"

// Registers the bar, button and test parent classes once; sets g_instance to this exe, which
// carries the program's resources.
void RegisterClassesOnce();

struct Command {
    WPARAM wParam;
    LPARAM lParam;
};

// Every WM_COMMAND that reached a test parent, and what a parent does while it receives one.
extern std::vector<Command> g_commands;
extern std::function<void(WPARAM)> g_onCommand;

// A top-level window standing in for the main dialog, with the program's menu if asked.
HWND CreateTestParent(bool withMenu);
// A bar as the dialog template makes it: control 1001, visible, `width` x 54, no border.
HWND CreateBar(HWND parent, int width);
BtnBar* BarOf(HWND barWindow);
// A bar as the dialog makes it at `dpi` (a scripted one, tests/support/scripted_dpi.h): 179 x 33
// dialog units, about 268 x 54 px at 96.
HWND CreateScaledBar(HWND parent, UINT dpi);

// What a mouse does to a button.
void MoveOver(MyButton* button);
void Press(MyButton* button);
void Release(MyButton* button);
void Leave(MyButton* button);

// Menu item of a command: true while grayed and disabled.
bool MenuItemGrayed(HWND parent, int command);

// A 32-bit memory surface to paint into and read back.
class Canvas {
  public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    int width() const { return width_; }
    int height() const { return height_; }
    COLORREF At(int x, int y) const;

  private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    uint32_t* bits_ = nullptr;
    int width_;
    int height_;
};

// Copies bitmap resource `id` (42 x 42) into `canvas` at (0,0); false if it can't be loaded.
bool DrawPicture(int id, Canvas* canvas);
// Pixels of the top-left width x height area that differ between the two canvases.
int DifferingPixels(const Canvas& a, const Canvas& b, int width, int height);

// The repository's picture of a button ("play" ... "send") in a look (0 normal, 1 pressed,
// 2 disabled) from the set drawn `drawn` px wide (res/bitmaps, res/bitmaps/<drawn>), copied into
// `canvas` at (0,0) at `size` px: as it is when size is drawn, else by StretchBlt in `mode`.
// False when it cannot be read.
bool DrawPictureFile(const char* name, int look, int drawn, int size, int mode, Canvas* canvas);

// The button bar as laid out at `dpi` (a test failure for each difference): every button in
// its row within a pixel of the 96-dpi layout scaled, 42 px scaled and rounded, its frame as
// wide as 1 px scaled, and each of its looks showing the pictures of the set drawn `drawn` px
// wide, resized to the button with HALFTONE when that is not its size. Takes the keyboard focus
// away, so that no focus rectangle covers a picture.
void ExpectBarAtScale(BtnBar* bar, UINT dpi, int drawn);

// Hands out heap blocks from the top of the address space (above 4 GB in a 64-bit process),
// so a pointer cut to 32 bits shows. Fails the test when a block it did not hand out is freed
// or when blocks are still out as it goes; restores the previous heap then.
class HighAddressHeap {
  public:
    HighAddressHeap();
    ~HighAddressHeap();
    HighAddressHeap(const HighAddressHeap&) = delete;
    HighAddressHeap& operator=(const HighAddressHeap&) = delete;

    int LiveBlocks() const;
};
