// G.711 µ-law: the 8-bit telephone coding that browsers play from a WAV (format tag 7), and
// the header of such a WAV at 8000 Hz, mono, one byte a sample. What Kestrune hands over is
// this, since no browser plays the GSM 6.10 of the voice file.
#pragma once
#include <windows.h>

constexpr DWORD kMuLawHeaderBytes = 58;  // where the audio data starts
// The most samples a µ-law WAV can hold: its RIFF size (the file minus 8 bytes) has 32 bits.
constexpr DWORD kMaxMuLawSamples = 0xFFFFFFFF - (kMuLawHeaderBytes - 8) - 1;

// One 16-bit linear sample as µ-law (bias 0x84, clipped at 32635, bits inverted).
BYTE MuLawFromLinear(short sample);
// `count` samples into as many bytes.
void EncodeMuLaw(const short* samples, DWORD count, BYTE* mulaw);

// The header of a µ-law WAV of `samples` samples. An odd count is followed in the file by one
// pad byte, which the RIFF size counts, as RIFF chunks are padded to even sizes.
void BuildMuLawHeader(BYTE header[kMuLawHeaderBytes], DWORD samples);
