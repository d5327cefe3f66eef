#include "voice/level_meter.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kQuietestPeak = 32;  // 32 / 32768 is -60.2 dBFS: anything up to it is silence

bool OpenStream(LevelMeter* meter) {
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = 1;
    pcm.nSamplesPerSec = kSamplesPerSecond;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = 2;
    pcm.nAvgBytesPerSec = 2 * kSamplesPerSecond;
    // The codec only reads the format.
    auto* gsm = reinterpret_cast<LPWAVEFORMATEX>(const_cast<GSM610WAVEFORMAT*>(VoiceFormat()));
    if (acmStreamOpen(&meter->stream, nullptr, gsm, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        meter->stream = nullptr;
        return false;
    }
    std::memset(&meter->header, 0, sizeof meter->header);
    meter->header.cbStruct = sizeof meter->header;
    meter->header.pbSrc = meter->gsm;
    meter->header.cbSrcLength = sizeof meter->gsm;
    meter->header.pbDst = reinterpret_cast<LPBYTE>(meter->pcm);
    meter->header.cbDstLength = sizeof meter->pcm;
    if (acmStreamPrepareHeader(meter->stream, &meter->header, 0) != MMSYSERR_NOERROR) {
        acmStreamClose(meter->stream, 0);
        meter->stream = nullptr;
        return false;
    }
    return true;
}

}  // namespace

double PeakLevel(const short* samples, DWORD count) {
    int peak = 0;
    for (DWORD i = 0; i < count; ++i) {
        const int magnitude = samples[i] < 0 ? -samples[i] : samples[i];
        if (magnitude > peak) {
            peak = magnitude;
        }
    }
    if (peak <= kQuietestPeak) {
        return 0.0;
    }
    const double level = 20.0 * std::log10(peak / 32768.0) + kMeterRange;
    return level < 0.0 ? 0.0 : (level > kMeterRange ? kMeterRange : level);
}

void ResetLevelMeter(LevelMeter* meter) {
    meter->level = 0.0;
    meter->quietSamples = 0;
}

bool MeasureBlock(LevelMeter* meter, const BYTE* data, DWORD bytes) {
    if (bytes > kBlockBytes) {
        bytes = kBlockBytes;
    }
    bytes = WholeFrameBytes(bytes);
    if (bytes == 0 || meter->codecFailed) {
        return false;
    }
    if (meter->stream == nullptr && !OpenStream(meter)) {
        meter->codecFailed = true;
        return false;
    }
    std::memcpy(meter->gsm, data, bytes);
    meter->header.cbSrcLength = bytes;
    meter->header.cbDstLengthUsed = 0;
    if (acmStreamConvert(meter->stream, &meter->header, ACM_STREAMCONVERTF_BLOCKALIGN) !=
        MMSYSERR_NOERROR) {
        return false;
    }
    const DWORD samples = meter->header.cbDstLengthUsed / sizeof(short);
    if (samples == 0) {
        return false;
    }
    const double peak = PeakLevel(meter->pcm, samples);
    const double fallen =
        meter->level - kMeterFallPerSecond * static_cast<double>(samples) / kSamplesPerSecond;
    meter->level = peak > fallen ? peak : (fallen > 0.0 ? fallen : 0.0);
    meter->quietSamples = peak > 0.0 ? 0 : meter->quietSamples + samples;
    return true;
}

int MeterPosition(const LevelMeter* meter) {
    return static_cast<int>(meter->level + 0.5);
}

bool MicrophoneSilent(const LevelMeter* meter) {
    return meter->quietSamples >= kSilentSamples;
}

void CloseLevelMeter(LevelMeter* meter) {
    if (meter->stream != nullptr) {
        acmStreamUnprepareHeader(meter->stream, &meter->header, 0);
        acmStreamClose(meter->stream, 0);
        meter->stream = nullptr;
    }
}
