// The button pictures drawn for each scale: the 42-px set for 100 % (each picture its own
// bitmap) and sets for 125, 150 and 200 % written by tools/make_pictures.py, in which a
// button's three looks share one bitmap of colour indexes with a colour table for each look.
#pragma once
#include <windows.h>

constexpr int kButtonPixels = 42;  // a button's side at 100 %, and the first set's
constexpr int kPictureSetCount = 4;
constexpr int kPictureSetSizes[kPictureSetCount] = {kButtonPixels, 53, 63, 84};
// The first resource number of each set but the first; a button's bitmap is that plus 3 x its
// slot, the pressed and disabled looks' colour tables (data) follow at + 1 and + 2.
constexpr int kPictureSetFirst[kPictureSetCount] = {0, 2000, 2100, 2200};

// A button's looks, in the order of each set's resources.
enum PictureLook { kLookNormal = 0, kLookPressed = 1, kLookDisabled = 2, kLookCount = 3 };

// The 100 % resource number of a button's picture, by slot (controls/btn_bar.h) and look.
int PictureId(int slot, int look);

// The set drawn for `size`, else the nearest larger one; above the largest, the largest.
int ChoosePictureSet(int size);

// The picture with the 100 % resource number `id` at size x size pixels, as a bitmap for the
// screen, or null. A set drawn for that size is used as it is; otherwise the chosen set is
// shrunk (or grown, above the largest) with StretchBlt in HALFTONE mode.
HBITMAP LoadButtonPicture(int id, int size);
