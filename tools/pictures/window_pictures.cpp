// Takes pictures of the real main window for the documentation: just started, recording and
// ready after a recording. The window is made as WinMain makes it, from its template with its
// own procedure, driven by clicks on the bar's buttons with scripted wave devices behind it, and
// copied from the screen with its caption and menu bar as 24-bit BMPs:
//   window_pictures <folder>  ->  window-empty.bmp, window-recording.bmp, window-ready.bmp
// tools/make_window_pictures.sh runs it under Xvfb and turns the BMPs into docs/*.png.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "tests/support/gsm_sound.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_wave.h"
#include "tests/support/utf8.h"
#include "tools/pictures/bitmap_file.h"

namespace {

constexpr UINT kSettleMs = 700;  // time for the window and the X server to finish drawing

// Runs the message loop for a while, so every paint has happened and reached the screen.
void Settle(UINT milliseconds) {
    PumpMessages();
    const UINT_PTR timer = SetTimer(nullptr, 0, milliseconds, nullptr);
    if (!timer) {
        return;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == timer) {
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    KillTimer(nullptr, timer);
    PumpMessages();
}

// Copies the whole window - frame, caption and menu bar included - from the screen.
bool Capture(HWND window, const char* folder, const char* name) {
    // The window is active, but with no window manager under Xvfb Wine leaves its caption in
    // the inactive colours; draw it as a focused window's.
    SendMessageA(window, WM_NCACTIVATE, TRUE, 0);
    Settle(kSettleMs);
    RECT place;
    if (!GetWindowRect(window, &place)) {
        return false;
    }
    const int width = place.right - place.left;
    const int height = place.bottom - place.top;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP surface = dc ? CreateRgbSurface(dc, width, height, &bits) : nullptr;
    bool ok = false;
    if (screen && dc && surface) {
        HGDIOBJ previous = SelectObject(dc, surface);
        ok = BitBlt(dc, 0, 0, width, height, screen, place.left, place.top, SRCCOPY) != FALSE;
        GdiFlush();
        char path[MAX_PATH];
        wsprintfA(path, "%s\\%s", folder, name);
        ok = ok && WriteBmp(path, bits, width, height);
        std::printf("%s: %dx%d%s\n", name, width, height, ok ? "" : " FAILED");
        SelectObject(dc, previous);
    }
    if (surface) {
        DeleteObject(surface);
    }
    if (dc) {
        DeleteDC(dc);
    }
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return ok;
}

// A click on a bar button, as the mouse delivers it; the pointer then leaves the button.
void Click(MyButton* button) {
    SendMessageA(button->window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
    SendMessageA(button->window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    SendMessageA(button->window, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
    SendMessageA(button->window, WM_MOUSELEAVE, 0, 0);
    PumpMessages();
}

void PrintReadouts(HWND dialog, const char* when) {
    char time[32] = {}, size[32] = {}, status[64] = {};
    GetDlgItemTextA(dialog, IDC_TIME_READOUT, time, sizeof time);
    GetDlgItemTextA(dialog, IDC_SIZE_READOUT, size, sizeof size);
    GetDlgItemTextA(dialog, IDC_STATUS, status, sizeof status);
    std::printf("%s: %s, %s, status \"%s\"\n", when, time, size, status);
}

// The scripted devices live only here, so their checks at the end have run when it returns.
bool TakePictures(AppState& state, const char* folder) {
    ScriptedMessageBox boxes;
    ScriptedWaveIn input;
    ScriptedWaveOut output;

    // The pointer away from the window, so no control shows a hover look.
    SetCursorPos(0, 0);
    HWND dialog =
        CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
    if (!dialog || !state.bar || !state.bar->buttons[Record] || !state.bar->buttons[Stop]) {
        std::fprintf(stderr, "cannot create the main window\n");
        return false;
    }
    SetForegroundWindow(dialog);
    // Xvfb keeps its pointer in the middle of the screen, over Stop, whatever SetCursorPos
    // says; the pictures show the window without a tooltip. The bar makes its tooltips on a
    // posted message: deliver only those, so no pointer move reaches them before they are
    // switched off.
    MSG posted;
    while (PeekMessageA(&posted, nullptr, 0, 0, PM_REMOVE | PM_QS_POSTMESSAGE)) {
        DispatchMessageA(&posted);
    }
    SendMessageA(state.bar->tips, TTM_ACTIVATE, FALSE, 0);

    bool ok = Capture(dialog, folder, "window-empty.bmp");
    PrintReadouts(dialog, "empty");

    // About four seconds recorded, still running, of a voice at about -14 dBFS on the meter.
    input.SetSound(EncodeGsm(SinePcm(6500, 1.0)));
    Click(state.bar->buttons[Record]);
    input.DeliverAndPump(50 * kBlockBytes);
    PrintReadouts(dialog, "recording");
    ok = Capture(dialog, folder, "window-recording.bmp") && ok;

    // Seven seconds in all, stopped and drained.
    input.DeliverAndPump(30 * kBlockBytes);
    Click(state.bar->buttons[Stop]);
    input.DeliverAndPump(8 * kBlockBytes);
    if (input.IsOpen()) {
        std::fprintf(stderr, "the recording did not drain\n");
        ok = false;
    }
    PrintReadouts(dialog, "ready");
    ok = Capture(dialog, folder, "window-ready.bmp") && ok;

    if (boxes.Count() != 0) {
        std::fprintf(stderr, "unexpected message box: %s\n", boxes.Boxes()[0].text.c_str());
        ok = false;
    }
    DestroyWindow(dialog);
    PumpMessages();
    DeleteFileW(state.voicePath);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_pictures <folder>\n");
        return 2;
    }

    // As WinMain prepares the process.
    InitCommonControls();
    g_instance = GetModuleHandleA(nullptr);
    RegisterBtnBarClass();
    RegisterMyButtonClass();
    static AppState state;
    std::memset(&state, 0, sizeof state);
    g_appState = &state;

    bool ok = TakePictures(state, argv[1]);
    if (::testing::UnitTest::GetInstance()->Failed()) {
        std::fprintf(stderr, "a scripted device was misused\n");
        ok = false;
    }
    return ok ? 0 : 1;
}
