// The input level while recording, which the window shows as its meter and its no-sound notice.
// Each recorded block is decoded to 8 kHz 16-bit PCM by the system's GSM 6.10 codec through a
// second ACM stream (the file keeps the device's bytes), and its peak drives a meter of dB above
// -60 dBFS that falls back slowly, as meters do. A stretch of recorded time with no block above
// -60 dBFS means the microphone delivers no sound.
#pragma once
#include <windows.h>

#include "voice/gsm_decoder.h"
#include "voice/voice_file.h"

constexpr int kMeterRange = 60;                          // 0 is -60 dBFS or quieter, 60 full scale
constexpr double kMeterFallPerSecond = 20.0;             // dB
constexpr DWORD kSilentSamples = 3 * kSamplesPerSecond;  // recorded time before the notice
constexpr DWORD kBlockSamples = kBlockBytes / kFrameBytes * kSamplesPerFrame;  // in one block

struct LevelMeter {
    GsmDecoder decoder;  // opened with the first block; its stream null while closed
    bool codecFailed;    // the codec refused once: no meter, and no notice either
    BYTE gsm[kBlockBytes];
    short pcm[kBlockSamples];
    double level;        // dB above -60 dBFS, as the meter shows it
    DWORD quietSamples;  // recorded since the last block above -60 dBFS
};

// dB above -60 dBFS of the loudest sample, 0 to kMeterRange.
double PeakLevel(const short* samples, DWORD count);

// A new recording: the meter at 0 and no quiet time yet. The stream stays open.
void ResetLevelMeter(LevelMeter* meter);
// Decodes one recorded block (whole GSM frames only) and moves the level: up at once to its
// peak, or down by at most the fall for the block's length. False when nothing was decoded.
bool MeasureBlock(LevelMeter* meter, const BYTE* data, DWORD bytes);
// Where the meter stands now, 0 to kMeterRange.
int MeterPosition(const LevelMeter* meter);
// No block of the last kSilentSamples recorded peaked above -60 dBFS.
bool MicrophoneSilent(const LevelMeter* meter);
void CloseLevelMeter(LevelMeter* meter);
