#include "voice/gsm_decoder.h"

#include <cstring>

#include "voice/voice_file.h"

bool OpenGsmDecoder(GsmDecoder* decoder) {
    std::memset(decoder, 0, sizeof *decoder);
    WAVEFORMATEX pcm = {};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = 1;
    pcm.nSamplesPerSec = kSamplesPerSecond;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = sizeof(short);
    pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
    // The codec only reads the format.
    auto* gsm = reinterpret_cast<LPWAVEFORMATEX>(const_cast<GSM610WAVEFORMAT*>(VoiceFormat()));
    if (acmStreamOpen(&decoder->stream, nullptr, gsm, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        decoder->stream = nullptr;
        return false;
    }
    return true;
}

DWORD DecodedBytes(GsmDecoder* decoder, DWORD gsmBytes) {
    DWORD pcmBytes = 0;
    if (decoder->stream == nullptr || acmStreamSize(decoder->stream, gsmBytes, &pcmBytes,
                                                    ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR) {
        return 0;
    }
    return pcmBytes;
}

bool PrepareGsmDecoder(GsmDecoder* decoder, BYTE* gsm, DWORD gsmBytes, short* pcm, DWORD pcmBytes) {
    std::memset(&decoder->header, 0, sizeof decoder->header);
    decoder->header.cbStruct = sizeof decoder->header;
    decoder->header.pbSrc = gsm;
    decoder->header.cbSrcLength = gsmBytes;
    decoder->header.pbDst = reinterpret_cast<LPBYTE>(pcm);
    decoder->header.cbDstLength = pcmBytes;
    decoder->gsmBytes = gsmBytes;
    decoder->pcmBytes = pcmBytes;
    decoder->prepared =
        decoder->stream != nullptr &&
        acmStreamPrepareHeader(decoder->stream, &decoder->header, 0) == MMSYSERR_NOERROR;
    return decoder->prepared;
}

bool DecodeGsm(GsmDecoder* decoder, DWORD bytes, DWORD* samples) {
    *samples = 0;
    if (!decoder->prepared || bytes > decoder->gsmBytes) {
        return false;
    }
    decoder->header.cbSrcLength = bytes;
    decoder->header.cbSrcLengthUsed = 0;
    decoder->header.cbDstLengthUsed = 0;
    if (acmStreamConvert(decoder->stream, &decoder->header, ACM_STREAMCONVERTF_BLOCKALIGN) !=
            MMSYSERR_NOERROR ||
        decoder->header.cbSrcLengthUsed != bytes) {
        return false;
    }
    *samples = decoder->header.cbDstLengthUsed / sizeof(short);
    return true;
}

bool CloseGsmDecoder(GsmDecoder* decoder) {
    if (decoder->prepared) {
        // A conversion changed the source length; Windows unprepares a header only with the
        // lengths it was prepared with, and while one stays prepared the stream does not close.
        decoder->header.cbSrcLength = decoder->gsmBytes;
        decoder->header.cbDstLength = decoder->pcmBytes;
        decoder->prepared =
            acmStreamUnprepareHeader(decoder->stream, &decoder->header, 0) != MMSYSERR_NOERROR;
    }
    if (decoder->stream != nullptr && acmStreamClose(decoder->stream, 0) == MMSYSERR_NOERROR) {
        decoder->stream = nullptr;
    }
    return decoder->stream == nullptr;
}
