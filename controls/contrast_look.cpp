#include "controls/contrast_look.h"

#include "controls/btn_bar.h"
#include "controls/picture_sets.h"

namespace {

bool SystemHighContrastOn() {
    HIGHCONTRASTW contrast = {};
    contrast.cbSize = sizeof(contrast);
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0)) {
        return false;
    }
    return (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

// Measures are in pixels of the 42-px pictures, whose centre is (21, 21), with the pictures'
// geometry (tools/make_pictures.py); they are scaled to the button's size.
constexpr double kPicture = kPictureSetSizes[0];

struct Grid {
    int size;
};

// The pixel edge nearest to a measure.
int Edge(const Grid& grid, double measure) {
    return static_cast<int>(measure * grid.size / kPicture + 0.5);
}

// The edge as far from the right (or bottom) as `measure` is from the left: mirrored exactly,
// so the symmetric symbols stay symmetric whatever the rounding.
int FromFar(const Grid& grid, double measure) {
    return grid.size - Edge(grid, measure);
}

// A line's width at this size, never less than a pixel.
int LineWidth(const Grid& grid, double measure) {
    const int width = Edge(grid, measure);
    return width > 0 ? width : 1;
}

// Where the centre of pixel `index` lies, in picture pixels.
double Centre(const Grid& grid, int index) {
    return (index + 0.5) * kPicture / grid.size;
}

void Fill(HDC target, const RECT& area, COLORREF colour) {
    SetDCBrushColor(target, colour);
    FillRect(target, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

// A ring `width` pixels wide on the inside of `outer`.
void FillRing(HDC target, const RECT& outer, int width, COLORREF colour) {
    Fill(target, {outer.left, outer.top, outer.right, outer.top + width}, colour);
    Fill(target, {outer.left, outer.bottom - width, outer.right, outer.bottom}, colour);
    Fill(target, {outer.left, outer.top + width, outer.left + width, outer.bottom - width}, colour);
    Fill(target, {outer.right - width, outer.top + width, outer.right, outer.bottom - width},
         colour);
}

// Whether a point (in picture pixels) belongs to a figure.
using InsideFn = bool (*)(double x, double y);

struct Mirror {
    bool rows;     // top to bottom
    bool columns;  // left to right
};

// The pixels whose centres lie inside the figure, in runs along each row. Only the first half
// is measured in a mirrored direction and copied to the other, so a symmetric figure comes out
// exactly symmetric, with no rounding deciding a pixel differently on the two sides.
void FillFigure(const Grid& grid, HDC target, COLORREF colour, InsideFn inside, Mirror mirror) {
    const int size = grid.size;
    const int rows = mirror.rows ? (size + 1) / 2 : size;
    const int columns = mirror.columns ? (size + 1) / 2 : size;
    for (int y = 0; y < rows; ++y) {
        const double centreY = Centre(grid, y);
        const int other = size - 1 - y;
        int x = 0;
        while (x < columns) {
            if (!inside(Centre(grid, x), centreY)) {
                ++x;
                continue;
            }
            int end = x + 1;
            while (end < columns && inside(Centre(grid, end), centreY)) {
                ++end;
            }
            Fill(target, {x, y, end, y + 1}, colour);
            if (mirror.rows && other != y) {
                Fill(target, {x, other, end, other + 1}, colour);
            }
            if (mirror.columns) {
                Fill(target, {size - end, y, size - x, y + 1}, colour);
                if (mirror.rows && other != y) {
                    Fill(target, {size - end, other, size - x, other + 1}, colour);
                }
            }
            x = end;
        }
    }
}

// A triangle pointing right, its tip a little right of centre so that it looks centred.
bool InPlay(double x, double y) {
    if (y < 12 || y >= 30) {
        return false;
    }
    const double dy = y > 21 ? y - 21 : 21 - y;
    return x >= 15 && x < 15 + 15 * (1 - dy / 9);
}

bool InRecord(double x, double y) {
    return (x - 21) * (x - 21) + (y - 21) * (y - 21) <= 8.5 * 8.5;
}

// Within `halfWidth` of the segment from (x1, y1) to (x2, y2).
bool NearSegment(double x, double y, double x1, double y1, double x2, double y2, double halfWidth) {
    const double dx = x2 - x1;
    const double dy = y2 - y1;
    double along = ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy);
    along = along < 0 ? 0 : along > 1 ? 1 : along;
    const double offX = x1 + along * dx - x;
    const double offY = y1 + along * dy - y;
    return offX * offX + offY * offY <= halfWidth * halfWidth;
}

// The envelope's flap: two lines 1.6 px wide from its top corners to just below the centre,
// cut across its body but not its sides, so that those stay whole.
bool InSendFlap(double x, double y) {
    if (y < 14 || y >= 28 || x < 12 || x >= 30) {
        return false;
    }
    return NearSegment(x, y, 11, 14, 21, 22.5, 0.8) || NearSegment(x, y, 31, 14, 21, 22.5, 0.8);
}

void DrawSymbol(const Grid& grid, HDC target, int slot, COLORREF ink, COLORREF face) {
    switch (slot) {
        case Play:
            FillFigure(grid, target, ink, InPlay, {true, false});
            break;
        case Pause: {
            const int top = Edge(grid, 13);
            const int bottom = FromFar(grid, 13);
            Fill(target, {Edge(grid, 14), top, Edge(grid, 19), bottom}, ink);
            Fill(target, {FromFar(grid, 19), top, FromFar(grid, 14), bottom}, ink);
            break;
        }
        case Stop: {
            const int low = Edge(grid, 14);
            const int high = FromFar(grid, 14);
            Fill(target, {low, low, high, high}, ink);
            break;
        }
        case Record:
            FillFigure(grid, target, ink, InRecord, {true, true});
            break;
        case Send:
            // A closed envelope: the body, then the flap's edges in the face colour.
            Fill(target, {Edge(grid, 11), Edge(grid, 14), FromFar(grid, 11), FromFar(grid, 14)},
                 ink);
            FillFigure(grid, target, face, InSendFlap, {false, true});
            break;
        default:
            break;  // no symbol: a framed face
    }
}

}  // namespace

HighContrastFn g_highContrastOn = SystemHighContrastOn;
SystemColourFn g_systemColour = GetSysColor;

void DrawContrastButton(const ContrastButton* button, HDC target, int size) {
    if (!button || !target || size <= 0) {
        return;
    }
    const bool pressed = button->pressed && !button->disabled;
    const COLORREF text = g_systemColour(COLOR_BTNTEXT);
    const COLORREF face = g_systemColour(pressed ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    const COLORREF ink = g_systemColour(button->disabled ? COLOR_GRAYTEXT
                                        : pressed        ? COLOR_HIGHLIGHTTEXT
                                                         : COLOR_BTNTEXT);
    const int save = SaveDC(target);
    if (!save) {
        return;
    }

    const Grid grid = {size};
    const RECT whole = {0, 0, size, size};
    const int line = LineWidth(grid, 1);  // one picture pixel
    Fill(target, whole, face);
    FillRing(target, whole, line, text);
    if (button->focused && !button->disabled) {
        const int inset = Edge(grid, 4);
        FillRing(target, {inset, inset, size - inset, size - inset}, line, text);
    }
    DrawSymbol(grid, target, button->slot, ink, face);
    RestoreDC(target, save);
}
