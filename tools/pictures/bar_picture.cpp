// Draws the button bar as the main window shows it - Play pressed, the pointer over Stop, Send
// disabled - and writes it as a 24-bit BMP (argument: file name). tools/make_bar_picture.sh
// turns it into docs/button-bar.png.
#include <windows.h>

#include <cstdio>
#include <initializer_list>

#include "app/app_state.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "tools/pictures/bitmap_file.h"

namespace {

constexpr int kBarWidth = 268;  // 179 x 33 dialog units at 96 dpi
constexpr int kBarHeight = 54;

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bar_picture <out.bmp>\n");
        return 2;
    }
    g_instance = GetModuleHandleA(nullptr);
    if (!RegisterBtnBarClass() || !RegisterMyButtonClass()) {
        std::fprintf(stderr, "cannot register the classes\n");
        return 1;
    }
    HWND barWindow = CreateWindowExA(0, "BtnBarClass", "", WS_POPUP, 0, 0, kBarWidth, kBarHeight,
                                     nullptr, nullptr, g_instance, nullptr);
    auto* bar = static_cast<BtnBar*>(GetWindowObject(barWindow));
    if (!bar || !bar->buttons[Play] || !bar->buttons[Stop]) {
        std::fprintf(stderr, "cannot create the bar\n");
        return 1;
    }
    // A click on Play latches it; the pointer then rests on Stop.
    SendMessageA(bar->buttons[Play]->window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    SendMessageA(bar->buttons[Play]->window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    SendMessageA(bar->buttons[Play]->window, WM_MOUSELEAVE, 0, 0);
    SendMessageA(bar->buttons[Stop]->window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));

    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP surface = dc ? CreateRgbSurface(dc, kBarWidth, kBarHeight, &bits) : nullptr;
    if (!dc || !surface) {
        std::fprintf(stderr, "cannot create the surface\n");
        return 1;
    }
    HGDIOBJ previous = SelectObject(dc, surface);

    // What the bar's erase and its buttons' paints put on the screen.
    RECT all = {0, 0, kBarWidth, kBarHeight};
    FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetClassLongPtrA(barWindow, GCLP_HBRBACKGROUND)));
    for (MyButton* button : bar->buttons) {
        RECT place;
        GetWindowRect(button->window, &place);
        MapWindowPoints(nullptr, barWindow, reinterpret_cast<POINT*>(&place), 2);
        SetViewportOrgEx(dc, place.left, place.top, nullptr);
        Paint(button, dc);
    }
    SetViewportOrgEx(dc, 0, 0, nullptr);
    GdiFlush();

    bool written = WriteBmp(argv[1], bits, kBarWidth, kBarHeight);
    SelectObject(dc, previous);
    DeleteObject(surface);
    DeleteDC(dc);
    DestroyWindow(barWindow);
    if (!written) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
