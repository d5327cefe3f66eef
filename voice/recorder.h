// The recorder: captures GSM 6.10 through the wave mapper into the voice file, with eight
// buffers circulating, and stops by draining.
#pragma once
#include "app/app_state.h"

constexpr int kRecordBuffers = 8;
constexpr DWORD kMaxDataBytes = 1073641824;  // past this the recording stops itself

bool StartRecording(AppState* state);
void OnRecordedBlock(AppState* state, AudioBuffer* buffer);
bool StopRecording(AppState* state);
// True when a recording was completed; the dialog then applies Ready.
bool OnRecorderClosed(AppState* state);
