#include "app/ui_state.h"

#include <commctrl.h>

#include "app/dialog_focus.h"
#include "app/microphone.h"
#include "app/spoken_readouts.h"
#include "base/text.h"
#include "controls/annotation.h"
#include "controls/btn_bar.h"
#include "res/resource.h"
#include "res/texts.h"

namespace {

// How a command is offered. kButtonOnly: the latched button that started the activity stays
// as it is (pressed, it ignores clicks) while its menu item is grayed, so the menu cannot run
// the command again.
enum Availability : char { kUnavailable, kAvailable, kButtonOnly };

constexpr int kNoSlot = -1;

struct Arrangement {
    Availability commands[kButtonCount];  // by slot
    int pressed;                          // the slot shown pressed, or kNoSlot
    int kept;               // the slot left as it is, or kNoSlot; the rest are released
    bool sharing;           // Save As and Copy hand over the finished recording, as Send does
    bool slider;            // usable only while playing
    bool homeLink;          // unusable only while recording
    bool microphoneChoice;  // stays put while a recording uses it
    bool resetReadouts;
};

// By UiState. Pause and Stop stay available while a stopped activity drains, until the device
// has closed and the dialog applies Ready. In Playing, Play shows pressed when a click started
// the playback, not when the menu did.
// clang-format off
constexpr Arrangement kArrangements[] = {
    //  Play          Pause         Stop          Record        Send            pressed  kept
    //  sharing slider link   microphone reset readouts
    {{kAvailable,   kUnavailable, kUnavailable, kAvailable,   kAvailable},    kNoSlot, kNoSlot,
        true,   false, true,  true,      false},  // Ready
    {{kUnavailable, kUnavailable, kUnavailable, kAvailable,   kUnavailable},  kNoSlot, kNoSlot,
        false,  false, true,  true,      true},   // Empty
    {{kUnavailable, kAvailable,   kAvailable,   kButtonOnly,  kUnavailable},  Record,  kNoSlot,
        false,  false, false, false,     false},  // Recording
    {{kButtonOnly,  kAvailable,   kAvailable,   kUnavailable, kUnavailable},  kNoSlot, Play,
        false,  true,  true,  true,      false},  // Playing
};
// clang-format on

// What the status line can say, by StatusText.
enum StatusText {
    kStatusNone,
    kStatusRecording,
    kStatusRecordingPaused,
    kStatusNoSound,
    kStatusPlaying,
    kStatusPlayingPaused,
    kStatusMicrophoneStopped,
    kStatusDiskAlmostFull,  // with the time that still fits
};
constexpr UINT kStatusTexts[] = {
    0,
    IDS_STATUS_RECORDING,
    IDS_STATUS_RECORDING_PAUSED,
    IDS_STATUS_NO_SOUND,
    IDS_STATUS_PLAYING,
    IDS_STATUS_PLAYING_PAUSED,
    IDS_STATUS_MIC_STOPPED,
    IDS_STATUS_DISK_ALMOST_FULL,
};

// With less room than this on the disk the status line counts down what still fits.
constexpr DWORD kDiskAlmostFullSeconds = 30;

void EnableControl(AppState* state, int id, bool enable) {
    EnableWindow(GetDlgItem(state->dialog, id), enable ? TRUE : FALSE);
}

void EnableMenuCommand(AppState* state, UINT command, bool enable) {
    EnableMenuItem(GetMenu(state->dialog), command,
                   MF_BYCOMMAND | (enable ? MF_ENABLED : MF_DISABLED | MF_GRAYED));
}

void EnableMicrophoneChoice(AppState* state, bool enable) {
    HMENU action = GetSubMenu(GetMenu(state->dialog), kActionMenu);
    EnableMenuItem(action, kMicrophoneItem,
                   MF_BYPOSITION | (enable ? MF_ENABLED : MF_DISABLED | MF_GRAYED));
}

// A stopped activity that drains reads as running: it is ending, whatever its device does.
// While recording, what asks most of the user comes first: a microphone that sends nothing,
// then a disk about to fill, then silence.
StatusText StatusNow(const AppState* state) {
    switch (state->uiState) {
        case Recording:
            if (state->recording && state->devicePaused) {
                return kStatusRecordingPaused;
            }
            if (state->microphoneStalled) {
                return kStatusMicrophoneStopped;
            }
            if (state->roomKnown && state->roomSeconds < kDiskAlmostFullSeconds) {
                return kStatusDiskAlmostFull;
            }
            return state->noSoundShown ? kStatusNoSound : kStatusRecording;
        case Playing:
            return state->playing && state->devicePaused ? kStatusPlayingPaused : kStatusPlaying;
        default:
            return kStatusNone;
    }
}

// The meter control without the visual styles' slow animation, which draws a bar that grows
// late but one that shrinks at once: going one past and back shows the level now. At the top
// the range makes room for the step past.
void SetMeterControl(HWND dialog, int position) {
    HWND control = GetDlgItem(dialog, IDC_LEVEL_METER);
    if (position >= kMeterRange) {
        SendMessageW(control, PBM_SETRANGE32, 0, kMeterRange + 1);
        SendMessageW(control, PBM_SETPOS, kMeterRange + 1, 0);
        SendMessageW(control, PBM_SETPOS, kMeterRange, 0);
        SendMessageW(control, PBM_SETRANGE32, 0, kMeterRange);
    } else {
        SendMessageW(control, PBM_SETPOS, position + 1, 0);
        SendMessageW(control, PBM_SETPOS, position, 0);
    }
}

}  // namespace

void SetUiState(AppState* state, UiState uiState) {
    if (uiState < Ready || uiState > Playing) {
        return;
    }
    const Arrangement& arrangement = kArrangements[uiState];
    const HWND focused = GetFocus();
    BtnBar* bar = state->bar;
    for (int slot = 0; slot < kButtonCount; ++slot) {
        const Availability availability = arrangement.commands[slot];
        SetCommandDisabled(bar, slot, availability == kUnavailable);
        if (availability == kButtonOnly) {
            EnableMenuCommand(state, IDM_PLAY + slot, false);
        }
        if (slot == arrangement.pressed) {
            SetButtonPressed(bar, slot, true);
        } else if (slot != arrangement.kept) {
            SetButtonPressed(bar, slot, false);
        }
    }
    EnableMenuCommand(state, IDM_SAVE_AS, arrangement.sharing);
    EnableMenuCommand(state, IDM_COPY, arrangement.sharing);
    EnableControl(state, IDC_SLIDER, arrangement.slider);
    EnableControl(state, IDC_HOME_LINK, arrangement.homeLink);
    EnableMicrophoneChoice(state, arrangement.microphoneChoice);
    PassFocusOn(state->dialog, focused);
    if (arrangement.resetReadouts) {
        ShowTime(state, 0);
        ShowSize(state, 0);
    }
    // What a Record that fails before touching the voice file falls back to.
    if (uiState == Ready) {
        state->haveRecording = true;
    } else if (uiState == Empty) {
        state->haveRecording = false;
    }
    state->uiState = uiState;
    // Set afresh: the arrangement says what shows, not what showed before.
    state->noSoundShown = false;
    state->shownStatus = -1;
    state->shownMeter = -1;
    ShowActivity(state);
}

void ShowActivity(AppState* state) {
    // The notice follows the microphone only while a recording runs; a drain keeps it as it is.
    if (state->recording) {
        state->noSoundShown = MicrophoneSilent(&state->meter);
    }
    const int status = StatusNow(state);
    const DWORD room = status == kStatusDiskAlmostFull ? state->roomSeconds : 0;
    if (status != state->shownStatus || room != state->shownRoomSeconds) {
        // Only a new status is announced; a countdown read out every second would drown it.
        const bool announce = status != state->shownStatus;
        state->shownStatus = status;
        state->shownRoomSeconds = room;
        WCHAR time[kTimeReadoutChars];
        FormatTimeReadout(room, time);
        // Empty for none; only the countdown has a part to fill in.
        const Text text = FormatText(kStatusTexts[status], time);
        if (announce) {
            // An emptied line says nothing: a screen reader hears "Ready" when an activity ends.
            HWND line = GetDlgItem(state->dialog, IDC_STATUS);
            const bool ready = text.chars[0] == L'\0' && state->uiState == Ready;
            AnnotateName(line, ready ? LoadText(IDS_STATUS_READY).chars : text.chars);
            SetLiveRegionText(line, text.chars);
        } else {
            SetDlgItemTextW(state->dialog, IDC_STATUS, text.chars);
        }
    }
    // The level of the open input device, drained blocks included; 0 otherwise, and while the
    // microphone sends nothing.
    const int meter =
        state->waveIn != nullptr && !state->microphoneStalled ? MeterPosition(&state->meter) : 0;
    if (meter != state->shownMeter) {
        state->shownMeter = meter;
        SetMeterControl(state->dialog, meter);
        AnnotateInputLevel(state->dialog, meter);
    }
}
