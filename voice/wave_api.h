// The WinMM wave calls the recorder, player and pause command make. A seam: tests install a
// scripted device here; the program uses WinMM itself.
#pragma once
#include <windows.h>
#include <mmsystem.h>

struct WaveInApi {
    MMRESULT(WINAPI* open)(LPHWAVEIN, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD);
    MMRESULT(WINAPI* reset)(HWAVEIN);
    MMRESULT(WINAPI* prepareHeader)(HWAVEIN, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* addBuffer)(HWAVEIN, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* start)(HWAVEIN);
    MMRESULT(WINAPI* stop)(HWAVEIN);
    MMRESULT(WINAPI* unprepareHeader)(HWAVEIN, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* close)(HWAVEIN);
    // The input devices, for the choice of microphone.
    UINT(WINAPI* getNumDevs)();
    MMRESULT(WINAPI* getDevCaps)(UINT_PTR, LPWAVEINCAPSW, UINT);
};

struct WaveOutApi {
    MMRESULT(WINAPI* open)(LPHWAVEOUT, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD);
    MMRESULT(WINAPI* prepareHeader)(HWAVEOUT, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* write)(HWAVEOUT, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* pause)(HWAVEOUT);
    MMRESULT(WINAPI* restart)(HWAVEOUT);
    MMRESULT(WINAPI* unprepareHeader)(HWAVEOUT, LPWAVEHDR, UINT);
    MMRESULT(WINAPI* close)(HWAVEOUT);
    MMRESULT(WINAPI* reset)(HWAVEOUT);
};

extern const WaveInApi kWinMmWaveIn;
extern const WaveOutApi kWinMmWaveOut;

extern const WaveInApi* g_waveIn;    // &kWinMmWaveIn in the program
extern const WaveOutApi* g_waveOut;  // &kWinMmWaveOut in the program
