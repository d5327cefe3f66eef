#include "app/app_state.h"

#include <commctrl.h>

#include "res/resource.h"

HWND g_mainWindow;
AppState* g_appState;

DWORD SecondsFromBytes(DWORD bytes) {
    return bytes / kBytesPerSecond;
}

DWORD KilobytesFromBytes(DWORD bytes) {
    return bytes / 1024;
}

void FormatTimeReadout(DWORD seconds, char (&text)[kTimeReadoutBytes]) {
    wsprintfA(text, "%d:%d%d", static_cast<int>(seconds / 60),
              static_cast<int>((seconds % 60) / 10), static_cast<int>(seconds % 10));
}

void ShowTime(AppState* state, DWORD seconds) {
    char text[kTimeReadoutBytes];
    FormatTimeReadout(seconds, text);
    SetDlgItemTextA(state->dialog, IDC_TIME_READOUT, text);
}

void ShowSize(AppState* state, DWORD kilobytes) {
    char text[32];
    wsprintfA(text, "%d K", static_cast<int>(kilobytes));
    SetDlgItemTextA(state->dialog, IDC_SIZE_READOUT, text);
}

void ShowProgress(AppState* state, double fraction) {
    if (state->seeking) {
        return;  // the user holds the slider
    }
    // Written so that NaN lands at 0 as well.
    if (!(fraction > 0.0)) {
        fraction = 0.0;
    } else if (fraction > 1.0) {
        fraction = 1.0;
    }
    const LPARAM position = static_cast<int>(fraction * kSliderSteps);
    SendDlgItemMessageA(state->dialog, IDC_SLIDER, TBM_SETPOS, TRUE, position);
}

int SliderPosition(AppState* state) {
    const LRESULT position = SendDlgItemMessageA(state->dialog, IDC_SLIDER, TBM_GETPOS, 0, 0);
    if (position < 0) {
        return 0;
    }
    return position > kSliderSteps ? kSliderSteps : static_cast<int>(position);
}
