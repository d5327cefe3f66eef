// The voice file: a RIFF/WAVE file of GSM 6.10 audio, 8000 Hz mono, behind a 60-byte header.
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

constexpr DWORD kBlockBytes = 130;  // two 65-byte GSM frames: every device buffer and seek step
constexpr DWORD kBytesPerSecond = 1625;
constexpr DWORD kHeaderBytes = 60;  // where the audio data starts

// Every write to the voice file goes through here. A seam: tests make writes fail or fall short.
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
extern WriteFileFn g_writeFile;  // WriteFile in the program

// The format of the "fmt " chunk, also the format the wave devices are opened with.
const GSM610WAVEFORMAT* VoiceFormat();

// Samples in that many bytes of GSM data, rounded to the nearest whole sample.
DWORD SampleCount(DWORD dataBytes);

// The 60 header bytes as written at creation, with placeholder sizes.
void BuildVoiceHeader(BYTE header[kHeaderBytes]);

// Writes the placeholder header at the current position of a new, empty file.
void WriteVoiceHeader(HANDLE file);

// Fills in the three size fields once the data is complete; the file stays open.
void CompleteVoiceHeader(HANDLE file, DWORD dataBytes);
