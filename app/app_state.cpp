#include "app/app_state.h"

#include <commctrl.h>
#include <strsafe.h>

#include "res/resource.h"

HWND g_mainWindow;
AppState* g_appState;

DWORD SecondsFromBytes(DWORD bytes) {
    return bytes / kBytesPerSecond;
}

DWORD KilobytesFromBytes(DWORD bytes) {
    return bytes / 1024;
}

void FormatTimeReadout(DWORD seconds, WCHAR (&text)[kTimeReadoutChars]) {
    // Minutes are neither padded nor limited: 100 minutes read 100:00.
    StringCchPrintfW(text, kTimeReadoutChars, L"%lu:%lu%lu", seconds / 60, (seconds % 60) / 10,
                     seconds % 10);
}

void ShowTime(AppState* state, DWORD seconds) {
    WCHAR text[kTimeReadoutChars];
    FormatTimeReadout(seconds, text);
    SetDlgItemTextW(state->dialog, IDC_TIME_READOUT, text);
}

void ShowSize(AppState* state, DWORD kilobytes) {
    WCHAR text[32];
    StringCchPrintfW(text, ARRAYSIZE(text), L"%lu K", kilobytes);
    SetDlgItemTextW(state->dialog, IDC_SIZE_READOUT, text);
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
    SendDlgItemMessageW(state->dialog, IDC_SLIDER, TBM_SETPOS, TRUE, position);
}

int SliderPosition(AppState* state) {
    const LRESULT position = SendDlgItemMessageW(state->dialog, IDC_SLIDER, TBM_GETPOS, 0, 0);
    if (position < 0) {
        return 0;
    }
    return position > kSliderSteps ? kSliderSteps : static_cast<int>(position);
}
