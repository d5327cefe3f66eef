#include "tests/controls/controls_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/app_state.h"
#include "base/heap.h"
#include "res/resource.h"
#include "tests/support/file_bytes.h"

std::vector<Command> g_commands;
std::function<void(WPARAM)> g_onCommand;

namespace {

constexpr char kParentClass[] = "KestruneTestParent";

LRESULT CALLBACK TestParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            g_commands.push_back({wParam, lParam});
            if (g_onCommand) {
                g_onCommand(wParam);
            }
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

void RegisterClassesOnce() {
    static bool registered = false;
    if (registered) {
        return;
    }
    g_instance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(RegisterBtnBarClass());
    ASSERT_TRUE(RegisterMyButtonClass());
    WNDCLASSA parentClass = {};
    parentClass.lpfnWndProc = TestParentProc;
    parentClass.hInstance = g_instance;
    parentClass.lpszClassName = kParentClass;
    ASSERT_TRUE(RegisterClassA(&parentClass));
    registered = true;
}

HWND CreateTestParent(bool withMenu) {
    HMENU menu = withMenu ? LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_MAIN_MENU)) : nullptr;
    if (withMenu) {
        EXPECT_NE(menu, nullptr);
    }
    HWND parent = CreateWindowExA(0, kParentClass, "Kestrune test", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                  200, nullptr, menu, g_instance, nullptr);
    EXPECT_NE(parent, nullptr);
    return parent;
}

HWND CreateBar(HWND parent, int width) {
    HWND bar = CreateWindowExA(0, "BtnBarClass", "Custom1", WS_CHILD | WS_VISIBLE, 4, 6, width, 54,
                               parent, reinterpret_cast<HMENU>(1001), g_instance, nullptr);
    EXPECT_NE(bar, nullptr);
    return bar;
}

BtnBar* BarOf(HWND barWindow) {
    return static_cast<BtnBar*>(GetWindowObject(barWindow));
}

HWND CreateScaledBar(HWND parent, UINT dpi) {
    HWND bar = CreateBar(parent, MulDiv(268, dpi, 96));
    SetWindowPos(bar, nullptr, 0, 0, MulDiv(268, dpi, 96), MulDiv(54, dpi, 96),
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    return bar;
}

void MoveOver(MyButton* button) {
    SendMessageA(button->window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
}
void Press(MyButton* button) {
    SendMessageA(button->window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
}
void Release(MyButton* button) {
    SendMessageA(button->window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
}
void Leave(MyButton* button) {
    SendMessageA(button->window, WM_MOUSELEAVE, 0, 0);
}

bool MenuItemGrayed(HWND parent, int command) {
    UINT state = GetMenuState(GetMenu(parent), command, MF_BYCOMMAND);
    EXPECT_NE(state, static_cast<UINT>(-1)) << "no menu item " << command;
    return (state & (MF_GRAYED | MF_DISABLED)) == (MF_GRAYED | MF_DISABLED);
}

Canvas::Canvas(int width, int height, COLORREF fill) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(dc_, nullptr);
    EXPECT_NE(bitmap_, nullptr);
    bits_ = static_cast<uint32_t*>(bits);
    previous_ = SelectObject(dc_, bitmap_);
    HBRUSH brush = CreateSolidBrush(fill);
    RECT all = {0, 0, width, height};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
    GdiFlush();
}

Canvas::~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

COLORREF Canvas::At(int x, int y) const {
    GdiFlush();
    uint32_t pixel = bits_[y * width_ + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

bool DrawPicture(int id, Canvas* canvas) {
    HBITMAP picture = LoadBitmapA(g_instance, MAKEINTRESOURCEA(id));
    if (!picture) {
        return false;
    }
    HDC memory = CreateCompatibleDC(canvas->dc());
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(canvas->dc(), 0, 0, 42, 42, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
    return true;
}

int DifferingPixels(const Canvas& a, const Canvas& b, int width, int height) {
    int count = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            count += a.At(x, y) != b.At(x, y);
        }
    }
    return count;
}

namespace {

struct HighHeapState {
    std::vector<void*> live;
    AllocateFn previousAllocate = nullptr;
    FreeFn previousFree = nullptr;
};
HighHeapState* g_highHeap = nullptr;

void* HighAllocate(size_t bytes) {
    void* block = VirtualAlloc(nullptr, bytes ? bytes : 1, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN,
                               PAGE_READWRITE);
    if (block) {
        g_highHeap->live.push_back(block);
    }
    return block;
}

void HighFree(void* block) {
    if (!block) {
        return;
    }
    auto found = std::find(g_highHeap->live.begin(), g_highHeap->live.end(), block);
    if (found == g_highHeap->live.end()) {
        ADD_FAILURE() << "free of block " << block << " that this heap did not hand out";
        return;
    }
    g_highHeap->live.erase(found);
    VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace

HighAddressHeap::HighAddressHeap() {
    g_highHeap = new HighHeapState;
    g_highHeap->previousAllocate = g_allocate;
    g_highHeap->previousFree = g_free;
    g_allocate = HighAllocate;
    g_free = HighFree;
}

HighAddressHeap::~HighAddressHeap() {
    // A block left out would later reach free(), which did not allocate it.
    EXPECT_TRUE(g_highHeap->live.empty()) << g_highHeap->live.size() << " blocks never freed";
    g_allocate = g_highHeap->previousAllocate;
    g_free = g_highHeap->previousFree;
    delete g_highHeap;
    g_highHeap = nullptr;
}

int HighAddressHeap::LiveBlocks() const {
    return static_cast<int>(g_highHeap->live.size());
}

namespace {

constexpr const char* kButtonNames[] = {"play", "pause", "stop", "record", "send"};
constexpr const char* kLookSuffixes[] = {"", "_pressed", "_disabled"};

std::string PictureFolder() {
    return std::string(KESTRUNE_SOURCE_DIR) + "/res/bitmaps/";
}

// A set's picture as the program's resources hold it: the look's colours on the set's bitmap.
HBITMAP LoadSetPictureFile(const char* name, int look, int drawn) {
    const std::string folder = PictureFolder() + std::to_string(drawn) + "/";
    std::vector<BYTE> file = ReadFileBytes(folder + name + ".bmp");
    constexpr size_t kTableAt = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    if (file.size() < kTableAt) {
        return nullptr;
    }
    auto* info = reinterpret_cast<BITMAPINFO*>(file.data() + sizeof(BITMAPFILEHEADER));
    const size_t tableBytes = info->bmiHeader.biClrUsed * sizeof(RGBQUAD);
    if (look != 0) {
        const std::vector<BYTE> table = ReadFileBytes(folder + name + kLookSuffixes[look] + ".pal");
        EXPECT_EQ(table.size(), tableBytes) << name << kLookSuffixes[look];
        if (table.size() != tableBytes || file.size() < kTableAt + tableBytes) {
            return nullptr;
        }
        std::copy(table.begin(), table.end(), file.begin() + kTableAt);
    }
    HDC screen = GetDC(nullptr);
    HBITMAP picture = CreateDIBitmap(screen, &info->bmiHeader, CBM_INIT,
                                     file.data() + kTableAt + tableBytes, info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return picture;
}

}  // namespace

bool DrawPictureFile(const char* name, int look, int drawn, int size, int mode, Canvas* canvas) {
    HBITMAP picture = nullptr;
    if (drawn == 42) {
        const std::string path = PictureFolder() + name + kLookSuffixes[look] + ".bmp";
        picture = static_cast<HBITMAP>(
            LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
    } else {
        picture = LoadSetPictureFile(name, look, drawn);
    }
    if (!picture) {
        return false;
    }
    HDC memory = CreateCompatibleDC(canvas->dc());
    HGDIOBJ previous = SelectObject(memory, picture);
    if (size == drawn) {
        BitBlt(canvas->dc(), 0, 0, size, size, memory, 0, 0, SRCCOPY);
    } else {
        SetStretchBltMode(canvas->dc(), mode);
        SetBrushOrgEx(canvas->dc(), 0, 0, nullptr);
        StretchBlt(canvas->dc(), 0, 0, size, size, memory, 0, 0, drawn, drawn, SRCCOPY);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(picture);
    return true;
}

void ExpectBarAtScale(BtnBar* bar, UINT dpi, int drawn) {
    SCOPED_TRACE(testing::Message() << dpi << " dpi");
    ASSERT_NE(bar, nullptr);
    RECT client;
    GetClientRect(bar->window, &client);
    const double scale = dpi / 96.0;
    // The 96-dpi layout: left edges, Send's measured from the bar's right edge.
    const double lefts[] = {6, 52, 98, 144, client.right / scale - 48};
    const int size = static_cast<int>(42 * scale + 0.5);
    const int frame = static_cast<int>(scale + 0.5);
    // The pictures alone, without the focus rectangle of a button that has the focus.
    SetFocus(nullptr);
    for (int slot = Play; slot <= Send; ++slot) {
        SCOPED_TRACE(kButtonNames[slot]);
        MyButton* button = ButtonInSlot(bar, slot);
        ASSERT_NE(button, nullptr);
        RECT place;
        GetWindowRect(button->window, &place);
        MapWindowPoints(nullptr, bar->window, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_NEAR(place.left, lefts[slot] * scale, 1.0);
        EXPECT_NEAR(place.top, 6 * scale, 1.0);
        EXPECT_EQ(place.right - place.left, size);
        EXPECT_EQ(place.bottom - place.top, size);
        EXPECT_EQ(button->width, size);
        EXPECT_EQ(button->height, size);
        EXPECT_EQ(button->pictureSize, size);
        EXPECT_EQ(button->frameWidth, frame);

        const bool disabled = button->disabled;
        const bool pressed = button->pressed;
        for (int look = 0; look < 3; ++look) {
            SCOPED_TRACE(kLookSuffixes[look]);
            SetPressed(button, look == 1);
            SetDisabled(button, look == 2);
            Canvas painted(size, size, RGB(255, 0, 255));
            Paint(button, painted.dc());
            Canvas expected(size, size, RGB(255, 0, 255));
            ASSERT_TRUE(
                DrawPictureFile(kButtonNames[slot], look, drawn, size, HALFTONE, &expected));
            EXPECT_EQ(DifferingPixels(painted, expected, size, size), 0);
        }
        SetPressed(button, pressed);
        SetDisabled(button, disabled);
    }
}
