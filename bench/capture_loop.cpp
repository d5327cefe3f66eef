// The least a recorder can do: a hidden window notified by the wave mapper (CALLBACK_WINDOW),
// eight 130-byte GSM 6.10 buffers handed straight back, and a GetMessage loop; nothing is
// stored or shown. bench/capture_cost.py sets Kestrune's cost against this one's. A windows
// program like Kestrune (no console); under Wine its printf reaches the Unix stdout.
//
//   capture_loop            prints "recording" once the first buffer is back, then runs until
//                           its window is closed or the process ends
//   capture_loop dialog     the same, but the window is a modal dialog box (as Kestrune's is,
//                           without idle messages): what the dialog manager itself costs
//   capture_loop file       the plain loop, also appending each block to a voice file in the
//                           temporary folder behind its header, as Kestrune writes it
//   capture_loop keep       the same, and after each block Kestrune's own KeepHeaderTrue: the
//                           header refreshed every 12 blocks, the file flushed every 60
// The file goes when the process ends, however it ends (FILE_FLAG_DELETE_ON_CLOSE). Both print
// "stored <blocks> <us writing> <us keeping the header true>" every 60 blocks: the wall time
// spent in those calls, waits for the disk included, to set against the ticks.
#include <windows.h>
#include <mmsystem.h>

#include <cstdio>

#include "voice/recorder.h"
#include "voice/voice_file.h"

namespace {

constexpr int kBuffers = 8;
WAVEHDR g_headers[kBuffers];
char g_data[kBuffers][kBlockBytes];
HWAVEIN g_device;
bool g_announced;
AppState g_file;  // file is INVALID_HANDLE_VALUE when blocks are not stored
bool g_keepHeader;

// A voice file of the loop's own, as Kestrune makes one; false when none could be made.
bool OpenVoiceFile() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || GetTempFileNameA(folder, "cap", 0, path) == 0) {
        return false;
    }
    g_file.file =
        CreateFileA(path, FILE_READ_DATA | FILE_WRITE_DATA | DELETE, FILE_SHARE_READ, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (g_file.file == INVALID_HANDLE_VALUE) {
        DeleteFileA(path);
        return false;
    }
    WriteVoiceHeader(g_file.file);
    return true;
}

LONGLONG Microseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000000 / frequency.QuadPart;
}

void StoreBlock(const WAVEHDR* header) {
    static LONGLONG s_writing, s_keeping;
    static unsigned s_blocks;
    if (g_file.file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER start, wrote, kept;
    QueryPerformanceCounter(&start);
    DWORD written = 0;
    if (g_writeFile(g_file.file, header->lpData, header->dwBytesRecorded, &written, nullptr)) {
        g_file.dataBytes += written;
    }
    QueryPerformanceCounter(&wrote);
    if (g_keepHeader) {
        KeepHeaderTrue(&g_file);
    }
    QueryPerformanceCounter(&kept);
    s_writing += Microseconds(start, wrote);
    s_keeping += Microseconds(wrote, kept);
    if (++s_blocks % 60 == 0) {
        std::printf("stored %u %lld %lld\n", s_blocks, s_writing, s_keeping);
        std::fflush(stdout);
    }
}

LRESULT CALLBACK LoopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case MM_WIM_DATA: {
            if (!g_announced) {
                g_announced = true;
                std::printf("recording\n");
                std::fflush(stdout);
            }
            auto* header = reinterpret_cast<WAVEHDR*>(lParam);
            StoreBlock(header);
            if (waveInAddBuffer(g_device, header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
                std::printf("waveInAddBuffer failed\n");
                PostQuitMessage(1);
            }
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool StartCapture(HWND window) {
    MMRESULT result =
        waveInOpen(&g_device, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(VoiceFormat()),
                   reinterpret_cast<DWORD_PTR>(window), 0, CALLBACK_WINDOW);
    if (result != MMSYSERR_NOERROR) {
        std::printf("waveInOpen failed: %u\n", result);
        return false;
    }
    for (int i = 0; i < kBuffers; ++i) {
        g_headers[i].lpData = g_data[i];
        g_headers[i].dwBufferLength = kBlockBytes;
        if (waveInPrepareHeader(g_device, &g_headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR ||
            waveInAddBuffer(g_device, &g_headers[i], sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
            std::printf("buffer %d refused\n", i);
            return false;
        }
    }
    if (waveInStart(g_device) != MMSYSERR_NOERROR) {
        std::printf("waveInStart failed\n");
        return false;
    }
    return true;
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            if (!StartCapture(window)) {
                EndDialog(window, 1);
            }
            return TRUE;
        case MM_WIM_DATA:
            LoopProc(window, message, wParam, lParam);
            return TRUE;
        case WM_CLOSE:
            EndDialog(window, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

// An empty dialog box template: no controls, no menu, default font.
struct EmptyDialog {
    DLGTEMPLATE header;
    WORD menu, windowClass, title;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_file.file = INVALID_HANDLE_VALUE;
    g_keepHeader = lstrcmpA(commandLine, "keep") == 0;
    if ((g_keepHeader || lstrcmpA(commandLine, "file") == 0) && !OpenVoiceFile()) {
        std::printf("no voice file\n");
        return 1;
    }
    if (lstrcmpA(commandLine, "dialog") == 0) {
        EmptyDialog dialog = {};
        dialog.header.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_NOIDLEMSG;
        dialog.header.cx = 100;
        dialog.header.cy = 40;
        return static_cast<int>(
            DialogBoxIndirectParamA(instance, &dialog.header, nullptr, DialogProc, 0));
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = LoopProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "CaptureLoop";
    if (!RegisterClassA(&windowClass)) {
        std::printf("RegisterClass failed\n");
        return 1;
    }
    HWND window = CreateWindowExA(0, "CaptureLoop", "capture loop", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                  100, nullptr, nullptr, instance, nullptr);
    if (!window || !StartCapture(window)) {
        std::printf("no window or no capture\n");
        return 1;
    }
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got < 0 ? 1 : static_cast<int>(message.wParam);
}
