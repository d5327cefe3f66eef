#include "app/recording_boxes.h"

#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "voice/recording_watch.h"
#include "voice/wave_device.h"

bool RecordInTheRoomThereIs(AppState* state) {
    DWORD seconds = 0;
    // A voice file in use fails the start anyway; a disk that does not say is not asked about.
    if (VoiceFileBusy(state) || !RoomForNewRecording(state, &seconds) ||
        seconds >= kLittleRoomSeconds) {
        return true;
    }
    WCHAR time[kTimeReadoutChars];
    FormatTimeReadout(seconds, time);
    const bool anyway = ShowWarningBox(g_mainWindow, FormatText(IDS_DISK_LOW_AT_RECORD, time).chars,
                                       MB_YESNO) == IDYES;
    // The session may have ended while the box was up.
    return anyway && !state->leaving;
}

void TellWhyTheRecordingEnded(const AppState* state) {
    UINT text = 0;
    if (state->writeFailed) {
        text = state->diskFull ? IDS_DISK_FULL_RECORDING : IDS_WRITE_FAILED_RECORDING;
    } else if (state->endedBySleep) {
        text = IDS_SLEEP_STOPPED;
    } else {
        return;
    }
    WCHAR time[kTimeReadoutChars];
    FormatTimeReadout(SecondsFromBytes(state->dataBytes), time);
    ShowWarningBox(g_mainWindow, FormatText(text, time).chars, MB_OK);
}
