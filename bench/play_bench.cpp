// Cost of the player's refill path: a million blocks through OnPlayedBlock with an output device
// that hands every buffer back at once, against a plain loop of 130-byte reads of the same file.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "voice/player.h"
#include "voice/voice_file.h"
#include "voice/wave_api.h"

namespace {

constexpr long long kBlocks = 1000000;
constexpr DWORD kFileBlocks = 8000;  // the file is read round and round
constexpr int kRounds = 3;

// An output device that plays instantly: written buffers wait in write order for the loop to
// hand them back.
struct InstantDevice {
    AudioBuffer* queue[kPlayBuffers];
    int head;
    int count;
    bool open;
};
InstantDevice g_device;

MMRESULT WINAPI InstantOpen(LPHWAVEOUT handle, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
    *handle = reinterpret_cast<HWAVEOUT>(&g_device);
    g_device = InstantDevice{};
    g_device.open = true;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI InstantPrepare(HWAVEOUT, LPWAVEHDR header, UINT) {
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI InstantWrite(HWAVEOUT, LPWAVEHDR header, UINT) {
    if (g_device.count == kPlayBuffers) {
        return MMSYSERR_ERROR;
    }
    g_device.queue[(g_device.head + g_device.count) % kPlayBuffers] = header;
    ++g_device.count;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI InstantNothing(HWAVEOUT) {
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI InstantUnprepare(HWAVEOUT, LPWAVEHDR header, UINT) {
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI InstantClose(HWAVEOUT) {
    if (g_device.count != 0) {
        return WAVERR_STILLPLAYING;
    }
    g_device.open = false;
    return MMSYSERR_NOERROR;
}
const WaveOutApi kInstantWaveOut = {InstantOpen,    InstantPrepare,   InstantWrite, InstantNothing,
                                    InstantNothing, InstantUnprepare, InstantClose, InstantNothing};

AudioBuffer* NextPlayed() {
    AudioBuffer* buffer = g_device.queue[g_device.head];
    g_device.head = (g_device.head + 1) % kPlayBuffers;
    --g_device.count;
    return buffer;
}

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

SIZE_T WorkingSet() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        return 0;
    }
    return counters.WorkingSetSize;
}

bool WriteVoiceFile(const WCHAR* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    WriteVoiceHeader(file);
    BYTE block[kBlockBytes];
    bool ok = true;
    for (DWORD i = 0; i < kFileBlocks && ok; ++i) {
        for (DWORD j = 0; j < kBlockBytes; ++j) {
            block[j] = static_cast<BYTE>(i * 7 + j);
        }
        DWORD written = 0;
        ok = WriteFile(file, block, kBlockBytes, &written, nullptr) && written == kBlockBytes;
    }
    CloseHandle(file);
    return ok;
}

// Blocks per second of plain 130-byte reads, rewinding at the same points as the player run.
double PlainReadRate(const WCHAR* path) {
    HANDLE file =
        CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    SetFilePointer(file, kHeaderBytes, nullptr, FILE_BEGIN);
    char block[kBlockBytes];
    volatile DWORD total = 0;
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    for (long long i = 0; i < kBlocks; ++i) {
        if (i % kFileBlocks == 0) {
            SetFilePointer(file, kHeaderBytes, nullptr, FILE_BEGIN);
        }
        DWORD count = 0;
        if (!ReadFile(file, block, kBlockBytes, &count, nullptr)) {
            count = 0;
        }
        total = total + count;
    }
    QueryPerformanceCounter(&to);
    CloseHandle(file);
    return kBlocks / Seconds(from, to);
}

// Blocks per second through the player's refill path, readouts included.
double PlayerRate(AppState* state) {
    if (!StartPlayback(state)) {
        return 0;
    }
    LARGE_INTEGER from, to;
    QueryPerformanceCounter(&from);
    // The primed blocks are the first kPlayBuffers of the file; the refills go on from there.
    for (long long i = 0; i < kBlocks; ++i) {
        if ((i + kPlayBuffers) % kFileBlocks == 0) {
            SetFilePointer(state->file, kHeaderBytes, nullptr, FILE_BEGIN);
        }
        OnPlayedBlock(state, NextPlayed());
    }
    QueryPerformanceCounter(&to);
    StopPlayback(state);
    while (g_device.count != 0) {
        OnPlayedBlock(state, NextPlayed());
    }
    if (g_device.open) {
        std::fprintf(stderr, "the device was not closed after draining\n");
    }
    OnPlayerClosed(state);
    return kBlocks / Seconds(from, to);
}

}  // namespace

int main() {
    InitCommonControls();
    HWND window = CreateWindowExA(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 100,
                                  nullptr, nullptr, nullptr, nullptr);
    HWND slider = CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 200, 20,
                                  window, reinterpret_cast<HMENU>(1002), nullptr, nullptr);
    HWND time = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 200, 0, 40, 20, window,
                                reinterpret_cast<HMENU>(1006), nullptr, nullptr);
    if (!window || !slider || !time) {
        std::fprintf(stderr, "cannot create the readout window\n");
        return 1;
    }
    SendMessageA(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, 1000));

    static AppState state;  // zero-filled, as the program allocates it
    WCHAR folder[MAX_PATH];
    if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"kes", 0, state.voicePath) ||
        !WriteVoiceFile(state.voicePath)) {
        std::fprintf(stderr, "cannot write the voice file\n");
        return 1;
    }
    g_mainWindow = window;
    state.dataBytes = kFileBlocks * kBlockBytes;
    g_waveOut = &kInstantWaveOut;

    SIZE_T before = WorkingSet();
    // The player's own work: the readouts go to no window and cost only their formatting.
    double plain = 0;
    double bare = 0;
    for (int round = 0; round < kRounds; ++round) {
        double p = PlainReadRate(state.voicePath);
        state.dialog = nullptr;
        double q = PlayerRate(&state);
        plain = p > plain ? p : plain;
        bare = q > bare ? q : bare;
    }
    // As the program runs: every refill sets the time readout, every fifth moves the slider.
    state.dialog = window;
    double shown = PlayerRate(&state);
    SIZE_T after = WorkingSet();
    DeleteFileW(state.voicePath);

    std::printf("blocks per run:                 %lld\n", kBlocks);
    std::printf("plain ReadFile loop:            %.0f blocks/s (best of %d)\n", plain, kRounds);
    std::printf("OnPlayedBlock, no readouts:     %.0f blocks/s (best of %d)\n", bare, kRounds);
    std::printf("OnPlayedBlock, window readouts: %.0f blocks/s (1 run)\n", shown);
    std::printf("ratio, no readouts / plain:     %.3f (goal >= 0.9)\n",
                plain > 0 ? bare / plain : 0.0);
    std::printf("ratio, window readouts / plain: %.3f\n", plain > 0 ? shown / plain : 0.0);
    std::printf("working set before:             %lu KiB\n",
                static_cast<unsigned long>(before / 1024));
    std::printf("working set after:              %lu KiB\n",
                static_cast<unsigned long>(after / 1024));
    return 0;
}
