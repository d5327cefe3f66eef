// Room app/: the application shell: start-up, the state record, the control states, the window.
//
// The boxes around a recording that the world may cut short: before Record, when little fits on
// the disk; after a recording ended by itself, why it ended.
#pragma once
#include "app/app_state.h"

// With room for less than kLittleRoomSeconds of recording on the voice file's disk, asks
// whether to record anyway. True: record.
constexpr DWORD kLittleRoomSeconds = 60;
bool RecordInTheRoomThereIs(AppState* state);

// After a completed recording: a box when the disk, or sleep, ended it before its Stop.
void TellWhyTheRecordingEnded(const AppState* state);
