#include "voice/speech_trim.h"

bool IsSilentStep(ULONGLONG sumOfSquares, DWORD samples) {
    return static_cast<double>(sumOfSquares) < kSilentMeanSquare * samples;
}

void StartSpeechTrim(SpeechTrim* trim) {
    *trim = SpeechTrim{};
}

void TrackStep(SpeechTrim* trim, DWORD samples, bool sound) {
    const DWORD start = trim->samples;
    if (sound) {
        if (trim->quietSteps > 0 || !trim->anySound) {
            // A new run of sound: the one before, if any, is no longer the last.
            trim->earlierRun = trim->anySound;
            trim->earlierRunEnd = trim->runEnd;
            trim->quietBeforeRun = trim->quietSteps;
            trim->runSteps = 0;
        }
        if (!trim->anySound) {
            trim->anySound = true;
            trim->firstSound = start;
        }
        ++trim->runSteps;
        trim->runEnd = start + samples;
        trim->quietSteps = 0;
    } else {
        ++trim->quietSteps;
    }
    trim->samples = start + samples;
}

void FeedSpeechTrim(SpeechTrim* trim, const short* samples, DWORD count) {
    ULONGLONG squares = trim->stepSquares;
    DWORD fill = trim->stepFill;
    for (DWORD i = 0; i < count; ++i) {
        const int sample = samples[i];
        squares += static_cast<ULONGLONG>(sample * sample);
        if (++fill == kStepSamples) {
            TrackStep(trim, kStepSamples, !IsSilentStep(squares, kStepSamples));
            squares = 0;
            fill = 0;
        }
    }
    trim->stepSquares = squares;
    trim->stepFill = fill;
}

bool FirstSoundSoFar(const SpeechTrim* trim, DWORD* first) {
    if (trim->anySound) {
        *first = trim->firstSound;
    }
    return trim->anySound;
}

KeptPart FinishSpeechTrim(SpeechTrim* trim) {
    if (trim->stepFill > 0) {
        const DWORD fill = trim->stepFill;
        trim->stepFill = 0;
        TrackStep(trim, fill, !IsSilentStep(trim->stepSquares, fill));
    }
    const KeptPart whole = {0, trim->samples};
    if (!trim->anySound) {
        return whole;
    }
    // The Stop button's click: the last sound, short, after a stretch of silence.
    const bool click = trim->runSteps < kClickSteps && trim->quietBeforeRun >= kClickQuietSteps;
    if (click && !trim->earlierRun) {
        return whole;
    }
    const DWORD soundEnd = click ? trim->earlierRunEnd : trim->runEnd;
    KeptPart kept;
    kept.first = trim->firstSound > kMarginSamples ? trim->firstSound - kMarginSamples : 0;
    kept.end =
        trim->samples - soundEnd > kMarginSamples ? soundEnd + kMarginSamples : trim->samples;
    return kept;
}
