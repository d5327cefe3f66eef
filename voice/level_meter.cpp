#include "voice/level_meter.h"

#include <cmath>
#include <cstring>

namespace {

constexpr int kQuietestPeak = 32;  // 32 / 32768 is -60.2 dBFS: anything up to it is silence

bool OpenStream(LevelMeter* meter) {
    if (OpenGsmDecoder(&meter->decoder) &&
        PrepareGsmDecoder(&meter->decoder, meter->gsm, sizeof meter->gsm, meter->pcm,
                          sizeof meter->pcm)) {
        return true;
    }
    CloseGsmDecoder(&meter->decoder);
    return false;
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
    if (meter->decoder.stream == nullptr && !OpenStream(meter)) {
        meter->codecFailed = true;
        return false;
    }
    std::memcpy(meter->gsm, data, bytes);
    DWORD samples = 0;
    if (!DecodeGsm(&meter->decoder, bytes, &samples) || samples == 0) {
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
    if (meter->decoder.stream != nullptr) {
        CloseGsmDecoder(&meter->decoder);
    }
}
