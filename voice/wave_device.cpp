#include "voice/wave_device.h"

#include "base/heap.h"
#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "voice/wave_api.h"

SetTimerFn g_setTimer = SetTimer;
KillTimerFn g_killTimer = KillTimer;

namespace {

bool InputOpen(const AppState* state) {
    return state->waveIn != nullptr;
}
MMRESULT PrepareInput(AppState* state, AudioBuffer* buffer) {
    return g_waveIn->prepareHeader(state->waveIn, buffer, sizeof(AudioBuffer));
}
MMRESULT UnprepareInput(AppState* state, AudioBuffer* buffer) {
    return g_waveIn->unprepareHeader(state->waveIn, buffer, sizeof(AudioBuffer));
}
MMRESULT ResetInput(AppState* state) {
    return g_waveIn->reset(state->waveIn);
}
MMRESULT CloseInput(AppState* state) {
    MMRESULT result = g_waveIn->close(state->waveIn);
    if (result == MMSYSERR_NOERROR) {
        state->waveIn = nullptr;
    }
    return result;
}

bool OutputOpen(const AppState* state) {
    return state->waveOut != nullptr;
}
MMRESULT PrepareOutput(AppState* state, AudioBuffer* buffer) {
    return g_waveOut->prepareHeader(state->waveOut, buffer, sizeof(AudioBuffer));
}
MMRESULT UnprepareOutput(AppState* state, AudioBuffer* buffer) {
    return g_waveOut->unprepareHeader(state->waveOut, buffer, sizeof(AudioBuffer));
}
MMRESULT ResetOutput(AppState* state) {
    return g_waveOut->reset(state->waveOut);
}
MMRESULT CloseOutput(AppState* state) {
    MMRESULT result = g_waveOut->close(state->waveOut);
    if (result == MMSYSERR_NOERROR) {
        state->waveOut = nullptr;
    }
    return result;
}

void FreeBuffer(AudioBuffer* buffer) {
    FreeBlock(buffer->lpData);
    FreeBlock(buffer);
}

}  // namespace

const WaveDevice kRecorderDevice = {kRecorderTimer, L"waveInPrepareHeader()", InputOpen,
                                    PrepareInput,   UnprepareInput,           ResetInput,
                                    CloseInput};
const WaveDevice kPlayerDevice = {kPlayerTimer,  L"waveOutPrepareHeader()", OutputOpen,
                                  PrepareOutput, UnprepareOutput,           ResetOutput,
                                  CloseOutput};

void ShowCallFailed(const WCHAR* call) {
    const Text text = FormatText(IDS_CALL_FAILED, call);
    const Text caption = LoadText(IDS_CAPTION_ERROR);
    ShowMessageBox(nullptr, text.chars, caption.chars, MB_OK);
}

AudioBuffer* SetUpBuffer(AppState* state, const WaveDevice& device, int slot) {
    auto* data = static_cast<LPSTR>(AllocateBlock(kBlockBytes));
    auto* buffer = data ? static_cast<AudioBuffer*>(AllocateBlock(sizeof(AudioBuffer))) : nullptr;
    // What the failing step had allocated goes before the box, whose message loop may run
    // the device's notifications.
    if (buffer == nullptr) {
        FreeBlock(data);
        ShowCallFailed(L"malloc()");
        return nullptr;
    }
    ZeroMemory(buffer, sizeof(AudioBuffer));
    buffer->lpData = data;
    buffer->dwBufferLength = kBlockBytes;
    if (device.prepare(state, buffer) != MMSYSERR_NOERROR) {
        FreeBuffer(buffer);
        ShowCallFailed(device.prepareCall);
        return nullptr;
    }
    state->slots[slot] = buffer;
    return buffer;
}

void FreeBuffers(AppState* state) {
    for (AudioBuffer*& buffer : state->slots) {
        if (buffer != nullptr) {
            FreeBuffer(buffer);
            buffer = nullptr;
        }
    }
}

void StopDevice(AppState* state, const WaveDevice& device) {
    if (!device.isOpen(state)) {
        return;
    }
    g_setTimer(state->dialog, device.timer, kDrainBoundMs, nullptr);
    CloseWhenDrained(state, device);
}

// Wine's close succeeds with buffers still queued and drops them, so the close waits until
// the device has handed back the last one.
void CloseWhenDrained(AppState* state, const WaveDevice& device) {
    if (state->buffersOut != 0 || !device.isOpen(state)) {
        return;
    }
    if (device.close(state) == MMSYSERR_NOERROR) {
        g_killTimer(state->dialog, device.timer);
    } else {
        g_setTimer(state->dialog, device.timer, kCloseRetryMs, nullptr);
    }
}

void OnDeviceTimer(AppState* state, UINT_PTR timer) {
    if (timer != kRecorderTimer && timer != kPlayerTimer) {
        return;
    }
    const WaveDevice& device = timer == kRecorderTimer ? kRecorderDevice : kPlayerDevice;
    if (!device.isOpen(state)) {
        g_killTimer(state->dialog, timer);
        return;
    }
    if (state->buffersOut == 0) {
        CloseWhenDrained(state, device);
        return;
    }
    // The reset hands every buffer back; the last one back closes the device. Should the
    // device refuse, the timer tries again.
    g_setTimer(state->dialog, timer, kCloseRetryMs, nullptr);
    device.reset(state);
}

bool ResetAndWaitForClose(AppState* state, DWORD boundMs) {
    const WaveDevice* const devices[] = {&kRecorderDevice, &kPlayerDevice};
    for (const WaveDevice* device : devices) {
        if (device->isOpen(state) && state->buffersOut != 0) {
            device->reset(state);
        }
    }
    const DWORD start = GetTickCount();
    while (VoiceFileBusy(state) && GetTickCount() - start < boundMs) {
        // Only what ends the activity: the device notifications and the close retries.
        MSG message;
        if (PeekMessageW(&message, state->dialog, MM_WOM_OPEN, MM_WIM_DATA, PM_REMOVE) ||
            PeekMessageW(&message, state->dialog, WM_TIMER, WM_TIMER, PM_REMOVE)) {
            DispatchMessageW(&message);
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, kCloseRetryMs, QS_POSTMESSAGE | QS_TIMER);
        }
    }
    return !VoiceFileBusy(state);
}

// A playback whose device has closed only waits for its close notification: no device to
// pause.
bool SetPaused(AppState* state, bool flag) {
    MMRESULT result = MMSYSERR_NOERROR;
    if (state->recording) {
        result = flag ? g_waveIn->stop(state->waveIn) : g_waveIn->start(state->waveIn);
    } else if (state->playing && state->waveOut != nullptr) {
        result = flag ? g_waveOut->pause(state->waveOut) : g_waveOut->restart(state->waveOut);
    } else {
        state->paused = flag;  // a stopped activity drains: the flag alone, for the next one
        return true;
    }
    // A device that refuses keeps running as it was: nothing may claim otherwise.
    if (result != MMSYSERR_NOERROR) {
        return false;
    }
    if (state->recording && state->devicePaused != flag) {
        // Nothing comes back while paused, and blocks come back again once resumed: the watch
        // for a microphone that stopped sending starts over.
        state->quietTicks = 0;
        state->microphoneStalled = false;
    }
    state->paused = flag;
    state->devicePaused = flag;
    return true;
}

bool VoiceFileBusy(const AppState* state) {
    return state->file != INVALID_HANDLE_VALUE && state->file != nullptr;
}
