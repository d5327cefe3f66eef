#include "app/ui_state.h"

#include "app/microphone.h"
#include "controls/btn_bar.h"
#include "res/resource.h"

namespace {

void GrayMenuItem(AppState* state, UINT command) {
    EnableMenuItem(GetMenu(state->dialog), command, MF_BYCOMMAND | MF_DISABLED | MF_GRAYED);
}

void SetStatus(AppState* state, const char* text) {
    SetDlgItemTextA(state->dialog, IDC_STATUS, text);
}

void EnableControl(AppState* state, int id, bool enable) {
    EnableWindow(GetDlgItem(state->dialog, id), enable ? TRUE : FALSE);
}

// Save As and Copy hand over the finished recording, so they go with Send.
void EnableSharing(AppState* state, bool enable) {
    const UINT flags = MF_BYCOMMAND | (enable ? MF_ENABLED : MF_DISABLED | MF_GRAYED);
    EnableMenuItem(GetMenu(state->dialog), IDM_SAVE_AS, flags);
    EnableMenuItem(GetMenu(state->dialog), IDM_COPY, flags);
}

// The choice of microphone stays put while a recording uses it.
void EnableMicrophoneChoice(AppState* state, bool enable) {
    HMENU action = GetSubMenu(GetMenu(state->dialog), kActionMenu);
    EnableMenuItem(action, kMicrophoneItem,
                   MF_BYPOSITION | (enable ? MF_ENABLED : MF_DISABLED | MF_GRAYED));
}

void ReleaseButtons(BtnBar* bar, bool includingPlay) {
    if (includingPlay) {
        SetButtonPressed(bar, Play, false);
    }
    SetButtonPressed(bar, Pause, false);
    SetButtonPressed(bar, Record, false);
    SetButtonPressed(bar, Stop, false);
    SetButtonPressed(bar, Send, false);
}

}  // namespace

void SetUiState(AppState* state, UiState uiState) {
    BtnBar* bar = state->bar;
    switch (uiState) {
        case Ready:
            SetButtonDisabled(bar, Play, false);
            SetButtonDisabled(bar, Pause, true);
            SetButtonDisabled(bar, Record, false);
            SetButtonDisabled(bar, Stop, true);
            SetButtonDisabled(bar, Send, false);
            EnableSharing(state, true);
            ReleaseButtons(bar, true);
            SetStatus(state, "");
            EnableControl(state, IDC_SLIDER, false);
            EnableControl(state, IDC_HOME_LINK, true);
            EnableMicrophoneChoice(state, true);
            SetMeterControl(state->dialog, 0);
            state->haveRecording = true;
            break;
        case Empty:
            SetButtonDisabled(bar, Play, true);
            SetButtonDisabled(bar, Pause, true);
            SetButtonDisabled(bar, Record, false);
            SetButtonDisabled(bar, Stop, true);
            SetButtonDisabled(bar, Send, true);
            EnableSharing(state, false);
            ReleaseButtons(bar, true);
            ShowTime(state, 0);
            ShowSize(state, 0);
            SetStatus(state, "");
            EnableControl(state, IDC_SLIDER, false);
            EnableControl(state, IDC_HOME_LINK, true);
            EnableMicrophoneChoice(state, true);
            SetMeterControl(state->dialog, 0);
            state->haveRecording = false;
            break;
        case Recording:
            SetButtonDisabled(bar, Play, true);
            SetButtonDisabled(bar, Pause, false);
            SetButtonDisabled(bar, Stop, false);
            SetButtonDisabled(bar, Send, true);
            EnableSharing(state, false);
            SetButtonPressed(bar, Record, true);
            GrayMenuItem(state, IDM_RECORD);
            SetStatus(state, "Recording");
            EnableControl(state, IDC_SLIDER, false);
            EnableControl(state, IDC_HOME_LINK, false);
            EnableMicrophoneChoice(state, false);
            SetMeterControl(state->dialog, 0);
            break;
        case Playing:
            SetButtonDisabled(bar, Play, false);
            SetButtonDisabled(bar, Pause, false);
            SetButtonDisabled(bar, Record, true);
            SetButtonDisabled(bar, Stop, false);
            SetButtonDisabled(bar, Send, true);
            EnableSharing(state, false);
            ReleaseButtons(bar, false);
            GrayMenuItem(state, IDM_PLAY);
            SetStatus(state, "Playing");
            EnableControl(state, IDC_SLIDER, true);
            EnableControl(state, IDC_HOME_LINK, true);
            EnableMicrophoneChoice(state, true);
            SetMeterControl(state->dialog, 0);
            break;
    }
}
