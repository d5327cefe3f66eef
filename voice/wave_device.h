// What the recorder and the player share: their buffers, the error box, pause and resume, and
// the end of every stop. A stop drains the device; should the device not hand back every buffer
// within kDrainBoundMs it is reset, and the device is closed once its buffers are back. One timer
// per device on the dialog bounds the stop and retries a close that failed.
#pragma once
#include "app/app_state.h"

constexpr UINT kDrainBoundMs = 2000;  // a drain takes at most 0.64 s
constexpr UINT kCloseRetryMs = 100;   // between two tries of a close that failed
constexpr UINT_PTR kRecorderTimer = 1;
constexpr UINT_PTR kPlayerTimer = 2;
constexpr UINT_PTR kWatchTimer = 3;  // ticks while a recording runs (voice/recording_watch.h)

// The dialog's timers. A seam: tests count them in device time.
using SetTimerFn = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC);
using KillTimerFn = BOOL(WINAPI*)(HWND, UINT_PTR);
extern SetTimerFn g_setTimer;    // SetTimer in the program
extern KillTimerFn g_killTimer;  // KillTimer in the program

// One of the two devices, through the calls both make on it.
struct WaveDevice {
    UINT_PTR timer;
    const WCHAR* prepareCall;  // named in the box shown when a buffer cannot be prepared
    bool (*isOpen)(const AppState* state);
    MMRESULT (*prepare)(AppState* state, AudioBuffer* buffer);
    MMRESULT (*unprepare)(AppState* state, AudioBuffer* buffer);
    MMRESULT (*reset)(AppState* state);
    MMRESULT (*close)(AppState* state);  // forgets the handle when it succeeds
};

extern const WaveDevice kRecorderDevice;
extern const WaveDevice kPlayerDevice;

// The "Error" box of a device or allocation failure: "<call> failed", naming the call.
void ShowCallFailed(const WCHAR* call);

// Allocates and prepares the buffer of a slot and stores it there; null after reporting.
AudioBuffer* SetUpBuffer(AppState* state, const WaveDevice& device, int slot);
// Frees every buffer in the slots and empties them.
void FreeBuffers(AppState* state);

// Ends the device's activity: arms the bound and closes at once if nothing is out.
void StopDevice(AppState* state, const WaveDevice& device);
// Closes the device if it holds no buffer; a close that fails is tried again on the timer.
void CloseWhenDrained(AppState* state, const WaveDevice& device);
// The dialog's WM_TIMER: a device still holding buffers is reset, an idle one closed.
void OnDeviceTimer(AppState* state, UINT_PTR timer);

// For a session that is ending: after a stop, resets whichever device holds buffers, so that
// every one comes back at once, and handles the dialog's device notifications here until the
// voice file is let go, for at most `boundMs`. False when the bound ran out first.
bool ResetAndWaitForClose(AppState* state, DWORD boundMs);

// The Pause command's work: pauses or resumes whichever device runs (a stop resumes first too,
// since a paused device hands nothing back). While a stopped activity drains only the flag
// changes. False, with nothing changed, when the device refused.
bool SetPaused(AppState* state, bool flag);

// True from the start of a recording or playback until its device has closed.
bool VoiceFileBusy(const AppState* state);
