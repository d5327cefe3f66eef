#include "tests/support/gsm_sound.h"

#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <gtest/gtest.h>

#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

#include "voice/voice_file.h"

std::vector<short> SinePcm(double peak, double seconds) {
    const size_t frames = static_cast<size_t>(seconds * 8000 / 320 + 0.5);
    std::vector<short> pcm(frames * 320);
    for (size_t i = 0; i < pcm.size(); ++i) {
        pcm[i] = static_cast<short>(std::lround(peak * std::sin(2 * kPi * kSineHz * i / 8000)));
    }
    return pcm;
}

std::vector<BYTE> EncodeGsm(const std::vector<short>& pcm) {
    WAVEFORMATEX source = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    auto* gsm = reinterpret_cast<LPWAVEFORMATEX>(const_cast<GSM610WAVEFORMAT*>(VoiceFormat()));
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, &source, gsm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        ADD_FAILURE() << "the system's codec encodes no GSM 6.10";
        return {};
    }
    std::vector<short> input = pcm;
    std::vector<BYTE> output(pcm.size() / 320 * 65 + 65);
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof header;
    header.pbSrc = reinterpret_cast<LPBYTE>(input.data());
    header.cbSrcLength = static_cast<DWORD>(input.size() * sizeof(short));
    header.pbDst = output.data();
    header.cbDstLength = static_cast<DWORD>(output.size());
    bool done = acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR;
    if (done) {
        done = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN) == MMSYSERR_NOERROR;
        acmStreamUnprepareHeader(stream, &header, 0);
    }
    acmStreamClose(stream, 0);
    if (!done || header.cbDstLengthUsed == 0) {
        ADD_FAILURE() << "the codec did not encode the sine";
        return {};
    }
    output.resize(header.cbDstLengthUsed);
    return output;
}
