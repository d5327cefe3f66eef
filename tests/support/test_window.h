// A hidden top-level window standing in for the main dialog: it owns a real trackbar
// IDC_SLIDER (range 0-1000), statics IDC_TIME_READOUT, IDC_SIZE_READOUT and IDC_STATUS and a
// progress bar IDC_LEVEL_METER (range 0-60), so the readouts and the engine can write to it, and
// it routes the wave-device notifications to the test.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include <functional>
#include <map>
#include <string>

class TestWindow {
  public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return window_; }
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    std::string Text(int id) const;  // text of control `id`
    int SliderPosition() const;      // position of trackbar IDC_SLIDER

    // Handlers for what the devices post here (lParam is the WAVEHDR*). A data, done or
    // close notification that arrives with no handler set fails the test; the open
    // notifications are only counted.
    std::function<void(WAVEHDR*)> onWimData;
    std::function<void()> onWimClose;
    std::function<void(WAVEHDR*)> onWomDone;
    std::function<void()> onWomClose;
    // WM_HSCROLL from the trackbar, with its notification code (TB_THUMBTRACK, TB_ENDTRACK ...).
    std::function<void(int code)> onHScroll;

    // How many of that message (MM_WIM_OPEN, MM_WOM_DONE, WM_HSCROLL, WM_TIMER ...) arrived so far.
    int MessageCount(UINT message) const;

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Route(LPARAM lParam, const std::function<void(WAVEHDR*)>& handler, const char* name);
    void Route(const std::function<void()>& handler, const char* name);

    HWND window_ = nullptr;
    std::map<UINT, int> counts_;
};
