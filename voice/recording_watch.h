// Room voice/: the voice engine: the voice file, recording and playback, told by the devices.
//
// The watch over what the world does to a running recording: a microphone that stops sending,
// a disk that fills up, and sleep. A timer of its own ticks while the recording runs; what the
// watch finds goes into the record (microphoneStalled, roomSeconds, endedBySleep) for the
// window to tell.
#pragma once
#include "app/app_state.h"

constexpr UINT kWatchTickMs = 250;
// No block back for this long while the device runs: the microphone stopped sending.
constexpr DWORD kStallMs = 2000;
// After the computer wakes, blocks must come back within this, or the recording ends.
constexpr DWORD kWakeBoundMs = 3000;
constexpr DWORD kRoomCheckMs = 1000;  // how often the disk's room is looked at

// The seconds of recording that fit on the voice file's disk for a new recording, which takes
// the place of the file there now. False when the disk does not say.
bool RoomForNewRecording(const AppState* state, DWORD* seconds);

// From the recorder: a recording has started (the room is looked at, the timer set); a block
// came back while it records.
void StartWatching(AppState* state);
void OnBlockBack(AppState* state);
// Each tick of the watch's timer.
void OnWatchTick(AppState* state);

// The computer is going to sleep: a recording's file is brought up to date on the disk before
// this returns, whole should the computer never wake.
void OnSuspend(AppState* state);
// It woke: a running recording whose blocks do not come back within kWakeBoundMs ends, as a
// stalled stop ends, with endedBySleep set.
void OnResume(AppState* state);
