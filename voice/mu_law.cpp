#include "voice/mu_law.h"

#include <mmsystem.h>
#include <mmreg.h>

#include <cstring>

namespace {

constexpr int kBias = 0x84;
constexpr int kClip = 32635;  // the largest magnitude that stays below 32768 once biased

// The segment (exponent) of a biased magnitude, looked up by its bits 7 to 14: the position
// of its highest set bit, without a loop or a log per sample.
struct SegmentTable {
    BYTE segment[256];
    constexpr SegmentTable() : segment() {
        for (int high = 1; high < 256; ++high) {
            int position = 0;
            while ((high >> (position + 1)) != 0) {
                ++position;
            }
            segment[high] = static_cast<BYTE>(position);
        }
    }
};
constexpr SegmentTable kSegments;

// Little-endian fields, each returning the position after it.
BYTE* PutTag(BYTE* at, const char (&tag)[5]) {
    std::memcpy(at, tag, 4);
    return at + 4;
}
BYTE* PutWord(BYTE* at, WORD value) {
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
    return at + 2;
}
BYTE* PutValue(BYTE* at, DWORD value) {
    return PutWord(PutWord(at, static_cast<WORD>(value)), static_cast<WORD>(value >> 16));
}

constexpr DWORD kRate = 8000;

}  // namespace

BYTE MuLawFromLinear(short sample) {
    int magnitude = sample;
    int sign = 0;
    if (magnitude < 0) {
        magnitude = -magnitude;
        sign = 0x80;
    }
    if (magnitude > kClip) {
        magnitude = kClip;
    }
    magnitude += kBias;
    const int segment = kSegments.segment[magnitude >> 7];
    const int step = (magnitude >> (segment + 3)) & 0x0F;
    return static_cast<BYTE>(~(sign | (segment << 4) | step));
}

void EncodeMuLaw(const short* samples, DWORD count, BYTE* mulaw) {
    for (DWORD i = 0; i < count; ++i) {
        mulaw[i] = MuLawFromLinear(samples[i]);
    }
}

void BuildMuLawHeader(BYTE header[kMuLawHeaderBytes], DWORD samples) {
    BYTE* at = header;
    at = PutTag(at, "RIFF");
    at = PutValue(at, kMuLawHeaderBytes - 8 + samples + (samples & 1));
    at = PutTag(at, "WAVE");
    at = PutTag(at, "fmt ");
    at = PutValue(at, 18);
    at = PutWord(at, WAVE_FORMAT_MULAW);
    at = PutWord(at, 1);       // mono
    at = PutValue(at, kRate);  // samples a second,
    at = PutValue(at, kRate);  // bytes a second
    at = PutWord(at, 1);       // bytes a block
    at = PutWord(at, 8);       // bits a sample
    at = PutWord(at, 0);       // no extra format bytes
    at = PutTag(at, "fact");
    at = PutValue(at, 4);
    at = PutValue(at, samples);
    at = PutTag(at, "data");
    PutValue(at, samples);
}
