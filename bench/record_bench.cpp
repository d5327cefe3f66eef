// Recording throughput: blocks pushed through OnRecordedBlock into a real file, with a device
// that hands every queued buffer straight back, against a plain loop of 130-byte WriteFile
// calls. Prints both rates, their ratio and the working set before and after.
//
//   record_bench [blocks]      (default 1000000)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_state.h"
#include "base/message_box.h"
#include "bench/bench_clock.h"
#include "voice/recorder.h"
#include "voice/voice_file.h"
#include "voice/wave_api.h"

namespace {

// An input device that does nothing but keep the queue: the bench itself fills the head
// buffer and hands it to the recorder, so only the recorder's own work is timed.
constexpr int kQueueSize = 16;
AudioBuffer* g_queue[kQueueSize];
int g_head = 0;
int g_queued = 0;
HWAVEIN const kDevice = reinterpret_cast<HWAVEIN>(static_cast<UINT_PTR>(0x5EC0));

MMRESULT WINAPI BenchOpen(LPHWAVEIN handle, UINT, LPCWAVEFORMATEX, DWORD_PTR, DWORD_PTR, DWORD) {
    *handle = kDevice;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI BenchNoOp(HWAVEIN) {
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI BenchPrepare(HWAVEIN, LPWAVEHDR header, UINT) {
    header->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI BenchUnprepare(HWAVEIN, LPWAVEHDR header, UINT) {
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI BenchAddBuffer(HWAVEIN, LPWAVEHDR header, UINT) {
    if (g_queued == kQueueSize) {
        return MMSYSERR_NOMEM;
    }
    header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    g_queue[(g_head + g_queued) % kQueueSize] = header;
    ++g_queued;
    return MMSYSERR_NOERROR;
}
MMRESULT WINAPI BenchClose(HWAVEIN) {
    return g_queued == 0 ? MMSYSERR_NOERROR : static_cast<MMRESULT>(WAVERR_STILLPLAYING);
}
UINT WINAPI BenchDeviceCount() {
    return 1;
}
MMRESULT WINAPI BenchDeviceCaps(UINT_PTR, LPWAVEINCAPSW caps, UINT) {
    lstrcpynW(caps->szPname, L"Bench microphone", MAXPNAMELEN);
    return MMSYSERR_NOERROR;
}
const WaveInApi kBenchWaveIn = {BenchOpen,        BenchNoOp,      BenchPrepare,   BenchAddBuffer,
                                BenchNoOp,        BenchNoOp,      BenchUnprepare, BenchClose,
                                BenchDeviceCount, BenchDeviceCaps};

// Hands the head buffer back filled with `bytes` bytes, as the device's notification would.
AudioBuffer* TakeHead(DWORD bytes) {
    AudioBuffer* buffer = g_queue[g_head];
    g_head = (g_head + 1) % kQueueSize;
    --g_queued;
    buffer->dwFlags = (buffer->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    buffer->dwBytesRecorded = bytes;
    std::memset(buffer->lpData, 0x5A, bytes);
    return buffer;
}

int WINAPI PrintMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
    std::printf("message box: %ls (%ls)\n", text, caption ? caption : L"");
    return IDOK;
}

SIZE_T WorkingSet(SIZE_T* peak) {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) {
        return 0;
    }
    if (peak != nullptr) {
        *peak = counters.PeakWorkingSetSize;
    }
    return counters.WorkingSetSize;
}

// A window holding the readouts the recorder writes to, like the main dialog's.
HWND CreateReadoutWindow() {
    HWND window = CreateWindowExA(0, "STATIC", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (window == nullptr) {
        return nullptr;
    }
    const int ids[] = {1006, 1007, 1008};
    for (int id : ids) {
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        GetModuleHandleA(nullptr), nullptr);
    }
    CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(1002)), GetModuleHandleA(nullptr),
                    nullptr);
    return window;
}

bool TempPath(const WCHAR* prefix, WCHAR path[MAX_PATH]) {
    WCHAR folder[MAX_PATH];
    return GetTempPathW(MAX_PATH, folder) > 0 && GetTempFileNameW(folder, prefix, 0, path) != 0;
}

// Returns seconds for `blocks` blocks through the recorder, or a negative value on failure.
double TimeRecorder(AppState* state, unsigned long blocks) {
    if (!StartRecording(state)) {
        return -1;
    }
    const double start = Now();
    for (unsigned long i = 0; i < blocks; ++i) {
        OnRecordedBlock(state, TakeHead(kBlockBytes));
    }
    const double seconds = Now() - start;

    StopRecording(state);
    while (g_queued > 0) {
        OnRecordedBlock(state, TakeHead(0));
    }
    OnRecorderClosed(state);
    return seconds;
}

double TimePlainWrites(const WCHAR* path, unsigned long blocks) {
    HANDLE file = CreateFileW(path, FILE_READ_DATA | FILE_WRITE_DATA, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    BYTE block[kBlockBytes];
    std::memset(block, 0x5A, sizeof block);
    const double start = Now();
    for (unsigned long i = 0; i < blocks; ++i) {
        std::memset(block, 0x5A, sizeof block);  // the same touch of the data as the recorder's
        DWORD written = 0;
        if (!WriteFile(file, block, kBlockBytes, &written, nullptr) || written != kBlockBytes) {
            CloseHandle(file);
            return -1;
        }
    }
    const double seconds = Now() - start;
    CloseHandle(file);
    return seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long blocks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    InitCommonControls();
    g_waveIn = &kBenchWaveIn;
    g_messageBox = PrintMessageBox;

    static AppState state = {};
    WCHAR plainPath[MAX_PATH];
    if (!TempPath(L"kbr", state.voicePath) || !TempPath(L"kbw", plainPath)) {
        std::printf("no temporary file names\n");
        return 1;
    }
    HWND window = CreateReadoutWindow();
    if (window == nullptr) {
        std::printf("no readout window (error %lu)\n", GetLastError());
        return 1;
    }

    SIZE_T peak = 0;
    const SIZE_T before = WorkingSet(nullptr);
    // Plain writes before and after the recorder runs, so both see the disk alike.
    const double plainFirst = TimePlainWrites(plainPath, blocks);
    // Without a window the readouts cost nothing: the recorder's own path to the file.
    state.dialog = nullptr;
    const double bareSeconds = TimeRecorder(&state, blocks);
    const SIZE_T afterBare = WorkingSet(nullptr);
    state.dialog = window;
    const double recorderSeconds = TimeRecorder(&state, blocks);
    const SIZE_T after = WorkingSet(&peak);
    const double plainSeconds = (plainFirst + TimePlainWrites(plainPath, blocks)) / 2;

    char size[32] = "";
    GetDlgItemTextA(window, 1007, size, sizeof size);
    DeleteFileW(state.voicePath);
    DeleteFileW(plainPath);
    DestroyWindow(window);
    if (plainFirst <= 0 || bareSeconds <= 0 || recorderSeconds <= 0 || plainSeconds <= 0) {
        std::printf("a run failed\n");
        return 1;
    }

    const double bareRate = blocks / bareSeconds;
    const double recorderRate = blocks / recorderSeconds;
    const double plainRate = blocks / plainSeconds;
    std::printf("blocks per run:              %lu of %lu bytes (size readout at the end: %s)\n",
                blocks, static_cast<unsigned long>(kBlockBytes), size);
    std::printf("plain WriteFile loop:        %.0f blocks/s (%.2f s, mean of two runs)\n",
                plainRate, plainSeconds);
    std::printf("recorder, no readouts:       %.0f blocks/s (%.2f s), ratio to plain %.3f\n",
                bareRate, bareSeconds, bareRate / plainRate);
    std::printf("recorder, readouts shown:    %.0f blocks/s (%.2f s), ratio to plain %.3f\n",
                recorderRate, recorderSeconds, recorderRate / plainRate);
    std::printf("working set before:          %lu K\n", static_cast<unsigned long>(before / 1024));
    std::printf("after the run without:       %lu K\n",
                static_cast<unsigned long>(afterBare / 1024));
    std::printf("after the run with readouts: %lu K (peak %lu K)\n",
                static_cast<unsigned long>(after / 1024), static_cast<unsigned long>(peak / 1024));
    return 0;
}
