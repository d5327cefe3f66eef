// Room voice/: the voice engine: the voice file, recording and playback, told by the devices.
//
// The recorder: captures GSM 6.10 from a microphone into the voice file, with eight buffers
// circulating, and stops by draining.
#pragma once
#include "app/app_state.h"

constexpr int kRecordBuffers = 8;
constexpr DWORD kMaxDataBytes = 1073641824;  // past this the recording stops itself
// The header follows the data every 12 blocks (0.96 s of sound), and the file goes to the disk
// every 60 (4.8 s): a recording cut off at any moment loses at most the last second.
constexpr DWORD kHeaderRefreshBytes = 12 * kBlockBytes;
constexpr DWORD kFlushBytes = 60 * kBlockBytes;

// Records from input device `device` (WAVE_MAPPER: the mapper's own choice). False after a box
// that says why it could not start.
bool StartRecording(AppState* state, UINT device = WAVE_MAPPER);
// Writes the block, measures its level (state->meter) and queues the buffer again.
void OnRecordedBlock(AppState* state, AudioBuffer* buffer);
void StopRecording(AppState* state);
// After each block written: the header's refresh and the flush, each at its cadence
// (bench/capture_loop runs it too, to measure what it costs).
void KeepHeaderTrue(AppState* state);
// The header for every block written, and the file flushed, at once: when the microphone stalls
// or the computer goes to sleep.
void BringVoiceFileUpToDate(AppState* state);
// True when a recording was completed; the dialog then applies Ready.
bool OnRecorderClosed(AppState* state);
