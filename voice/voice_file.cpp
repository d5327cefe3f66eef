#include "voice/voice_file.h"

#include <cstring>

namespace {

static_assert(sizeof(GSM610WAVEFORMAT) == 20, "the fmt chunk body is 20 bytes");

const GSM610WAVEFORMAT kVoiceFormat = {
    {WAVE_FORMAT_GSM610, 1, kSamplesPerSecond, kBytesPerSecond, kFrameBytes, 0, 2},
    kSamplesPerFrame};

// Bytes 0-19 and 40-59 of the header, sized for no data: 52, 0 and 0 until CompleteVoiceHeader
// writes the real sizes. A file cut off before then is still a valid, empty WAV.
const BYTE kRiffPiece[20] = {'R', 'I', 'F', 'F', 52,  0,   0,  0, 'W', 'A',
                             'V', 'E', 'f', 'm', 't', ' ', 20, 0, 0,   0};
const BYTE kFactPiece[20] = {'f', 'a', 'c', 't', 4,   0,   0, 0, 0, 0,
                             0,   0,   'd', 'a', 't', 'a', 0, 0, 0, 0};

constexpr LONG kRiffSizeOffset = 4;
constexpr LONG kSampleCountOffset = 48;
constexpr LONG kDataSizeOffset = 56;
constexpr DWORD kRiffSizeExtra = kHeaderBytes - 8;  // the file length minus "RIFF" and its size

bool WriteWhole(HANDLE file, const void* bytes, DWORD count) {
    DWORD written = 0;
    return g_writeFile(file, bytes, count, &written, nullptr) && written == count;
}

bool WriteValueAt(HANDLE file, LONG offset, DWORD value) {
    BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                     static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return SetFilePointer(file, offset, nullptr, FILE_BEGIN) == static_cast<DWORD>(offset) &&
           WriteWhole(file, bytes, sizeof bytes);
}

}  // namespace

const GSM610WAVEFORMAT* VoiceFormat() {
    return &kVoiceFormat;
}

DWORD SampleCount(DWORD dataBytes) {
    const double samples = static_cast<double>(dataBytes) * kSamplesPerFrame / kFrameBytes + 0.5;
    // The fact field has 32 bits; past about 870 MB of data it holds its largest value.
    if (samples >= 4294967295.0) {
        return 0xFFFFFFFF;
    }
    return static_cast<DWORD>(samples);
}

void BuildVoiceHeader(BYTE header[kHeaderBytes]) {
    std::memcpy(header, kRiffPiece, sizeof kRiffPiece);
    std::memcpy(header + 20, &kVoiceFormat, sizeof kVoiceFormat);
    std::memcpy(header + 40, kFactPiece, sizeof kFactPiece);
}

bool WriteVoiceHeader(HANDLE file) {
    BYTE header[kHeaderBytes];
    BuildVoiceHeader(header);
    // In its three 20-byte pieces, as the file has always been written.
    for (DWORD piece = 0; piece < kHeaderBytes; piece += 20) {
        if (!WriteWhole(file, header + piece, 20)) {
            return false;
        }
    }
    return true;
}

bool CompleteVoiceHeader(HANDLE file, DWORD dataBytes) {
    // Each field is tried even when one before it failed: the more that is true, the better.
    bool whole = WriteValueAt(file, kDataSizeOffset, dataBytes);
    whole = WriteValueAt(file, kSampleCountOffset, SampleCount(dataBytes)) && whole;
    whole = WriteValueAt(file, kRiffSizeOffset, dataBytes + kRiffSizeExtra) && whole;
    return whole;
}

bool RefreshVoiceHeader(HANDLE file, DWORD dataBytes) {
    const bool complete = CompleteVoiceHeader(file, WholeFrameBytes(dataBytes));
    return SetFilePointer(file, 0, nullptr, FILE_END) != INVALID_SET_FILE_POINTER && complete;
}

bool HasVoiceHeaderLayout(const BYTE* bytes, DWORD count) {
    BYTE header[kHeaderBytes];
    BuildVoiceHeader(header);
    for (DWORD at = 0; at < count && at < kHeaderBytes; ++at) {
        const bool sizeField = (at >= kRiffSizeOffset && at < kRiffSizeOffset + 4) ||
                               (at >= kSampleCountOffset && at < kSampleCountOffset + 4) ||
                               at >= kDataSizeOffset;
        if (!sizeField && bytes[at] != header[at]) {
            return false;
        }
    }
    return true;
}
