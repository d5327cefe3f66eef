// The voice file's GSM 6.10 decoded to 8 kHz 16-bit PCM by the system's codec: one ACM stream
// and one header prepared over the caller's two buffers. The level meter and the hand-over's
// conversion both decode through it.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>

struct GsmDecoder {
    HACMSTREAM stream;  // null while closed
    ACMSTREAMHEADER header;
    bool prepared;
    // The buffers' sizes as prepared: the codec unprepares a header only with these.
    DWORD gsmBytes;
    DWORD pcmBytes;
};

// Opens the stream; false when no codec decodes GSM 6.10 here.
bool OpenGsmDecoder(GsmDecoder* decoder);
// The most PCM bytes that `gsmBytes` of GSM decode to, as the codec says; 0 when it cannot.
DWORD DecodedBytes(GsmDecoder* decoder, DWORD gsmBytes);
// Prepares the header over the two buffers; false when the codec refused.
bool PrepareGsmDecoder(GsmDecoder* decoder, BYTE* gsm, DWORD gsmBytes, short* pcm, DWORD pcmBytes);
// Decodes the first `bytes` of the GSM buffer (whole frames, at most its size) into the PCM
// buffer; the samples in *samples. False when the codec failed or left some of them.
bool DecodeGsm(GsmDecoder* decoder, DWORD bytes, DWORD* samples);
// Unprepares the header and closes the stream. True when the stream was closed.
bool CloseGsmDecoder(GsmDecoder* decoder);
