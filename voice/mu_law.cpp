#include "voice/mu_law.h"

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

void PutValue(BYTE* at, DWORD value) {
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
    at[2] = static_cast<BYTE>(value >> 16);
    at[3] = static_cast<BYTE>(value >> 24);
}

// The header for no data; the three sizes are filled in by BuildMuLawHeader.
const BYTE kEmptyHeader[kMuLawHeaderBytes] = {
    'R',  'I',  'F', 'F', 0,    0,    0, 0, 'W', 'A', 'V', 'E',  // RIFF, its size, WAVE
    'f',  'm',  't', ' ', 18,   0,    0, 0,                      // an 18-byte format chunk:
    7,    0,    1,   0,                                          // µ-law, one channel
    0x40, 0x1F, 0,   0,   0x40, 0x1F, 0, 0,                      // 8000 Hz, 8000 bytes a second
    1,    0,    8,   0,   0,    0,                             // one byte a block, 8 bits, no extra
    'f',  'a',  'c', 't', 4,    0,    0, 0, 0,   0,   0,   0,  // the sample count
    'd',  'a',  't', 'a', 0,    0,    0, 0};                   // the data's size

constexpr DWORD kRiffSizeOffset = 4;
constexpr DWORD kSampleCountOffset = 46;
constexpr DWORD kDataSizeOffset = 54;

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
    std::memcpy(header, kEmptyHeader, kMuLawHeaderBytes);
    PutValue(header + kRiffSizeOffset, kMuLawHeaderBytes - 8 + samples + (samples & 1));
    PutValue(header + kSampleCountOffset, samples);
    PutValue(header + kDataSizeOffset, samples);
}
