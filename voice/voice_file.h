// Room voice/: the voice engine: the voice file, recording and playback, told by the devices.
//
// The voice file's format: a RIFF/WAVE file of GSM 6.10 audio, 8000 Hz mono, behind a 60-byte
// header. Where the file lives and who opens it is voice/voice_store.h.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

// Every write and flush of the voice file goes through the disk's seam.
#include "base/disk.h"

constexpr DWORD kSamplesPerSecond = 8000;
constexpr DWORD kSamplesPerFrame = 320;  // in one GSM 6.10 frame
constexpr DWORD kFrameBytes = 65;        // one GSM 6.10 frame
constexpr DWORD kBlockBytes = 130;       // two frames: every device buffer and seek step
constexpr DWORD kBytesPerSecond = 1625;
constexpr DWORD kHeaderBytes = 60;  // where the audio data starts

// The format of the "fmt " chunk, also the format the wave devices are opened with.
const GSM610WAVEFORMAT* VoiceFormat();

// Samples in that many bytes of GSM data, rounded to the nearest whole sample.
DWORD SampleCount(DWORD dataBytes);

// The bytes of whole frames among `bytes`.
inline DWORD WholeFrameBytes(DWORD bytes) {
    return bytes / kFrameBytes * kFrameBytes;
}

// The 60 header bytes as written at creation: a completed header for no data.
void BuildVoiceHeader(BYTE header[kHeaderBytes]);

// Writes the header of no data at the current position of a new, empty file. False when any of
// it was not written.
bool WriteVoiceHeader(HANDLE file);

// Fills in the three size fields for `dataBytes` of data; the file stays open. False when a
// field was not written.
bool CompleteVoiceHeader(HANDLE file, DWORD dataBytes);

// While a recording runs: the sizes for the whole frames of `dataBytes`, then the position back
// at the end, where the next block goes. A file cut off later is still a valid WAV of them.
// False when the sizes or the position could not be written or set.
bool RefreshVoiceHeader(HANDLE file, DWORD dataBytes);

// True when the first `count` bytes of a file (at most kHeaderBytes) are laid out as a voice
// file's header, whatever its three sizes say.
bool HasVoiceHeaderLayout(const BYTE* bytes, DWORD count);
