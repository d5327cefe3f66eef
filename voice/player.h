// Room voice/: the voice engine: the voice file, recording and playback, told by the devices.
//
// The player: streams the voice file through the wave mapper with four buffers circulating,
// follows the position slider, and stops by draining.
#pragma once
#include "app/app_state.h"

constexpr int kPlayBuffers = 4;

bool StartPlayback(AppState* state);
void OnPlayedBlock(AppState* state, AudioBuffer* buffer);
void StopPlayback(AppState* state);
// Returns playbackStarted; when true the dialog applies Ready.
bool OnPlayerClosed(AppState* state);
// Every horizontal-scroll notification of the slider; the move happens on TB_ENDTRACK.
void SeekFromTrackbar(AppState* state, int code);
