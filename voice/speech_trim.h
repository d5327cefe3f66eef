// Dead air at the ends of a recording: what is handed over leaves out the silence before the
// first sound and after the last, but for a quarter second at each end. Pure logic over 20 ms
// steps of 8 kHz 16-bit PCM, fed as the samples are decoded, so one pass over the recording
// answers which part to keep.
#pragma once
#include <windows.h>

constexpr DWORD kStepSamples = 160;     // 20 ms
constexpr DWORD kMarginSamples = 2000;  // 0.25 s of the silence kept at each end
constexpr DWORD kClickSteps = 5;        // a last sound shorter than 0.1 s ...
constexpr DWORD kClickQuietSteps = 25;  // ... after at least 0.5 s of silence is Stop's click
constexpr double kSilentMeanSquare = 33954.69782823648;  // (32768 * 10^(-45/20))^2: -45 dBFS

// A step is silence when its RMS, against full scale 32768, is below -45 dBFS.
bool IsSilentStep(ULONGLONG sumOfSquares, DWORD samples);

struct SpeechTrim {
    DWORD samples;          // in the steps tracked so far
    ULONGLONG stepSquares;  // of the step being filled
    DWORD stepFill;         // its samples so far
    bool anySound;
    DWORD firstSound;      // where the first sound step starts
    DWORD runEnd;          // the last run of sound steps: one past its end,
    DWORD runSteps;        // its steps,
    DWORD quietBeforeRun;  // and the silent steps just before it
    bool earlierRun;       // a run of sound came before the last
    DWORD earlierRunEnd;   // one past the end of the run before the last
    DWORD quietSteps;      // silent steps since the last sound (or the start)
};

// The part of the recording to hand over: samples first to end, one past the last.
struct KeptPart {
    DWORD first;
    DWORD end;
};

void StartSpeechTrim(SpeechTrim* trim);
// One step of `samples` samples, sound or silence, after those fed before.
void TrackStep(SpeechTrim* trim, DWORD samples, bool sound);
// Decoded samples, in pieces of any size: each 160 of them make a step.
void FeedSpeechTrim(SpeechTrim* trim, const short* samples, DWORD count);
// Where the first sound starts, once there is one. The answer may still become "none" at the
// end, when the only sound was the final click.
bool FirstSoundSoFar(const SpeechTrim* trim, DWORD* first);
// At the end of the recording (a step still being filled counts as a step): from a quarter
// second before the first sound to a quarter second after the last, each within the
// recording; the whole recording when it is silence throughout.
KeptPart FinishSpeechTrim(SpeechTrim* trim);
