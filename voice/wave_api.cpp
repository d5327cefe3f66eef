#include "voice/wave_api.h"

const WaveInApi kWinMmWaveIn = {
    waveInOpen, waveInReset,           waveInPrepareHeader, waveInAddBuffer,  waveInStart,
    waveInStop, waveInUnprepareHeader, waveInClose,         waveInGetNumDevs, waveInGetDevCapsW};

const WaveOutApi kWinMmWaveOut = {waveOutOpen,  waveOutPrepareHeader, waveOutWrite,
                                  waveOutPause, waveOutRestart,       waveOutUnprepareHeader,
                                  waveOutClose, waveOutReset};

const WaveInApi* g_waveIn = &kWinMmWaveIn;
const WaveOutApi* g_waveOut = &kWinMmWaveOut;
