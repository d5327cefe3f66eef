#include "app/main_dialog.h"

#include <commctrl.h>

#include "app/left_behind.h"
#include "app/microphone.h"
#include "app/recording_boxes.h"
#include "app/shortcuts.h"
#include "app/ui_state.h"
#include "app/window_scale.h"
#include "app/window_texts.h"
#include "base/text.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "res/texts.h"
#include "services/clipboard_copy.h"
#include "services/handover.h"
#include "services/mail.h"
#include "services/save_as.h"
#include "services/shell_links.h"
#include "voice/level_meter.h"
#include "voice/player.h"
#include "voice/recorder.h"
#include "voice/recording_watch.h"
#include "voice/voice_store.h"
#include "voice/wave_device.h"

namespace {

// Returns false when the window cannot work: without its bar nothing would gray the commands
// that must not run.
bool OnInitDialog(AppState* state, HWND window) {
    g_mainWindow = window;

    SetWindowIcons(window);

    HWND slider = GetDlgItem(window, IDC_SLIDER);
    SendMessageW(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kSliderSteps));
    // A click in the channel moves the slider by a twentieth.
    SendMessageW(slider, TBM_SETPAGESIZE, 0, 50);
    SendDlgItemMessageW(window, IDC_LEVEL_METER, PBM_SETRANGE32, 0, kMeterRange);
    ShowWindowTexts(window);

    state->recording = false;
    state->file = INVALID_HANDLE_VALUE;
    state->keeper = INVALID_HANDLE_VALUE;
    state->dialog = window;
    OpenHandoverMailbox(window);
    state->bar = static_cast<BtnBar*>(GetWindowObject(GetDlgItem(window, IDC_BUTTON_BAR)));
    if (!state->bar) {
        ShowCallFailed(L"malloc()");
        return false;
    }

    // Without a voice file voicePath stays empty and every Record reports it.
    MakeOwnVoiceFile(state);

    LoadMicrophoneChoice();
    SetUiState(state, Empty);
    InstallShortcuts(window);
    // Posted messages come before input: nothing can be recorded before the offer is answered.
    PostMessageW(window, kOfferLeftBehind, 0, 0);
    return true;
}

// Ends whichever recording or playback runs, as the Stop command does.
void StopActivity(AppState* state) {
    if (state->recording) {
        StopRecording(state);
    } else if (state->playing) {
        StopPlayback(state);
    }
}

// The window goes once no activity holds the voice file any more.
void LeaveWhenIdle(AppState* state, HWND window) {
    if (!state->leaving || VoiceFileBusy(state)) {
        return;
    }
    if (state->deleteOnLeave && state->voicePath[0] != L'\0') {
        ReleaseVoiceFile(state);
        DeleteFileW(state->voicePath);
    }
    EndDialog(window, 0);
}

// A recording or playback ends first, as a stop ends it, so the file it leaves is complete
// and nothing holds it when it is deleted. A close asked for while leaving still deletes.
void Leave(AppState* state, HWND window, bool deleteFile) {
    state->deleteOnLeave = state->deleteOnLeave || deleteFile;
    if (!state->leaving) {
        state->leaving = true;
        StopActivity(state);
    }
    LeaveWhenIdle(state, window);
}

// Windows ends the process soon after this returns: the recording ends at once, complete, and
// its file stays for the next start to offer back, whatever was asked before.
void OnEndSession(AppState* state, HWND window) {
    state->deleteOnLeave = false;
    Leave(state, window, false);
    if (!ResetAndWaitForClose(state, kEndSessionBoundMs) && VoiceFileBusy(state)) {
        g_flushFile(state->file);  // what the header's last refresh describes is on the disk
    }
    EndDialog(window, 0);
}

void OnCommand(AppState* state, HWND window, int command) {
    switch (command) {
        case IDC_HOME_LINK:
            OpenHomePage(state);
            break;
        case IDM_EXIT:
            Leave(state, window, false);
            break;
        case IDM_PLAY:
            SetUiState(state, Playing);
            if (!StartPlayback(state)) {
                SetUiState(state, Ready);
                // A playback still running has just lost Pause and Stop; paused, it would
                // never end and would hold the file for good. Let it play on to its end.
                if (state->playing && state->paused && state->waveOut != nullptr) {
                    SetPaused(state, false);
                }
            }
            break;
        case IDM_PAUSE:
            SetPaused(state, !state->paused);
            break;
        case IDM_STOP:
            StopActivity(state);
            break;
        case IDM_RECORD:
            if (!RecordInTheRoomThereIs(state)) {
                SetUiState(state, state->uiState);  // releases the Record button a click latched
                break;
            }
            SetUiState(state, Recording);
            if (!StartRecording(state, ChosenMicrophone())) {
                // A start that failed before emptying the voice file keeps its recording.
                SetUiState(state, state->haveRecording ? Ready : Empty);
            } else {
                // Windows names it when a log-off or restart would end the recording.
                ShutdownBlockReasonCreate(window, LoadText(IDS_SHUTDOWN_REASON).chars);
            }
            break;
        case IDM_SEND:
            StartMailWorker(state);
            break;
        case IDM_SAVE_AS:
            SaveMessageAs(state);
            break;
        case IDM_COPY:
            CopyMessageToClipboard(state);
            break;
        case IDM_ABOUT:
            ShowAbout();
            break;
        case IDM_HELP:
            OpenHelp();
            break;
        default:
            if (IsMicrophoneCommand(command)) {
                ChooseMicrophone(command);
            }
            // Includes IDOK and IDCANCEL: neither Enter nor Esc closes the window.
            break;
    }
}

// A recording is brought up to date on the disk before the computer sleeps, and watched for
// its microphone after it wakes. A playback simply ends: its device may not survive the sleep.
void OnPowerEvent(AppState* state, WPARAM event) {
    switch (event) {
        case PBT_APMSUSPEND:
            OnSuspend(state);
            if (state->playing) {
                StopPlayback(state);
            }
            break;
        case PBT_APMRESUMEAUTOMATIC:
        case PBT_APMRESUMESUSPEND:
            OnResume(state);
            break;
        default:
            break;
    }
}

}  // namespace

bool RecorderBusy(const AppState* state) {
    return state->recording || state->waveIn != nullptr;
}

INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    AppState* state = g_appState;
    switch (message) {
        case WM_INITDIALOG:
            if (!OnInitDialog(state, window)) {
                EndDialog(window, 1);
            }
            return TRUE;
        case WM_CLOSE:
            Leave(state, window, true);
            ShowActivity(state);
            return TRUE;
        case WM_COMMAND:
            // The window is going: nothing new starts.
            if (!state->leaving) {
                OnCommand(state, window, LOWORD(wParam));
                ShowActivity(state);
            }
            return TRUE;
        case WM_INITMENUPOPUP:
            // The Microphone submenu is known by its first item.
            if (GetMenuItemID(reinterpret_cast<HMENU>(wParam), 0) == IDM_MICROPHONE_DEFAULT) {
                FillMicrophoneMenu(reinterpret_cast<HMENU>(wParam));
            }
            return TRUE;
        case WM_HSCROLL:
            if (!state->leaving) {
                SeekFromTrackbar(state, LOWORD(wParam));
            }
            return TRUE;
        case WM_TIMER:
            if (wParam == kWatchTimer) {
                OnWatchTick(state);
                ShowActivity(state);
            } else {
                OnDeviceTimer(state, wParam);
            }
            return TRUE;
        case MM_WIM_DATA:
            OnRecordedBlock(state, reinterpret_cast<AudioBuffer*>(lParam));
            ShowActivity(state);
            return TRUE;
        case MM_WIM_CLOSE:
            ShutdownBlockReasonDestroy(window);
            if (OnRecorderClosed(state)) {
                SetUiState(state, Ready);
                // Nothing holds up a window that is going.
                if (!state->leaving) {
                    TellWhyTheRecordingEnded(state);
                }
            }
            LeaveWhenIdle(state, window);
            return TRUE;
        case MM_WOM_DONE:
            OnPlayedBlock(state, reinterpret_cast<AudioBuffer*>(lParam));
            return TRUE;
        case MM_WOM_CLOSE:
            if (OnPlayerClosed(state)) {
                SetUiState(state, Ready);
            }
            LeaveWhenIdle(state, window);
            return TRUE;
        case WM_QUERYENDSESSION:
            // While recording, Windows lists Kestrune with its reason and the user may go back.
            SetWindowLongPtrW(window, DWLP_MSGRESULT, RecorderBusy(state) ? FALSE : TRUE);
            return TRUE;
        case WM_POWERBROADCAST:
            OnPowerEvent(state, wParam);
            ShowActivity(state);
            SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) {
                OnEndSession(state, window);
            }
            return TRUE;
        case kOfferLeftBehind:
            if (!state->leaving && !VoiceFileBusy(state) && OfferLeftBehind(state)) {
                SetUiState(state, Ready);
                ShowTime(state, SecondsFromBytes(state->dataBytes));
                ShowSize(state, KilobytesFromBytes(state->dataBytes));
            }
            return TRUE;
        case kMailNotTaken:
            ShowMailNotTaken(reinterpret_cast<HandoverJob*>(lParam));
            return TRUE;
        case kHandoverDone:
            FinishHandover(state, reinterpret_cast<HandoverJob*>(lParam));
            return TRUE;
        case WM_DPICHANGED:
            // The default handling goes on to scale the dialog's own controls.
            FollowNewScale(window, reinterpret_cast<const RECT*>(lParam));
            return FALSE;
        case WM_DESTROY:
            CloseHandoverMailbox(window);
            RemoveShortcuts();
            ReleaseVoiceFile(state);
            DestroyWindowIcons(window);
            CloseLevelMeter(&state->meter);
            return FALSE;
        default:
            return FALSE;
    }
}
