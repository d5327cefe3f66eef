// Known sound for the level meter's tests: a sine as 8 kHz 16-bit PCM, and the same encoded to
// GSM 6.10 by the system's codec, as a microphone behind the wave mapper delivers it.
#pragma once
#include <windows.h>

#include <vector>

constexpr double kSineHz = 400.0;

// `seconds` of a sine whose peak is `peak` (0 to 32767); a whole number of GSM frames.
std::vector<short> SinePcm(double peak, double seconds);
// The PCM through the codec; empty (and a test failure) when the codec refuses.
std::vector<BYTE> EncodeGsm(const std::vector<short>& pcm);
