#include "voice/player.h"

#include <windows.h>
#include <commctrl.h>

#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "voice/voice_file.h"
#include "voice/voice_store.h"
#include "voice/wave_api.h"
#include "voice/wave_device.h"

namespace {

constexpr DWORD kSliderEvery = 5;  // blocks between two slider moves

// Bytes read into the buffer's block; a failed read counts as the end of the data. The block
// always goes out whole, so what the read did not fill is made silent rather than left holding
// an earlier block's sound.
DWORD ReadBlock(AppState* state, AudioBuffer* buffer) {
    DWORD count = 0;
    if (!ReadFile(state->file, buffer->lpData, buffer->dwBufferLength, &count, nullptr)) {
        count = 0;
    }
    ZeroMemory(buffer->lpData + count, buffer->dwBufferLength - count);
    return count;
}

// Queues the buffer; a buffer the device refused is not on the device and stays with us.
bool WriteBlock(AppState* state, AudioBuffer* buffer) {
    if (g_waveOut->write(state->waveOut, buffer, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        return false;
    }
    ++state->buffersOut;
    return true;
}

// The device can no longer unprepare anything once it is closed, so this happens as soon as a
// buffer will not be written again.
void RetireBlock(AppState* state, AudioBuffer* buffer) {
    g_waveOut->unprepareHeader(state->waveOut, buffer, sizeof(WAVEHDR));
}

// The readout costs far more than the refill: it is set when its text changes.
void ShowPlayedTime(AppState* state) {
    const DWORD seconds = SecondsFromBytes(state->playedBytes);
    if (seconds != state->shownSeconds) {
        state->shownSeconds = seconds;
        ShowTime(state, seconds);
    }
}

}  // namespace

bool StartPlayback(AppState* state) {
    state->playbackStarted = false;
    state->seeking = false;

    HANDLE file = OpenVoiceFile(state->voicePath, VoiceFileUse::Play);
    if (file == INVALID_HANDLE_VALUE) {
        ShowMessageBox(g_mainWindow, LoadText(IDS_ERROR_OPEN_FILE).chars, nullptr, MB_OK);
        return false;
    }
    state->file = file;

    state->playedBytes = 0;
    state->playedBlocks = 0;
    state->shownSeconds = 0;
    ShowTime(state, 0);
    for (AudioBuffer*& slot : state->slots) {
        slot = nullptr;
    }
    state->buffersOut = 0;

    const auto* format = reinterpret_cast<const WAVEFORMATEX*>(VoiceFormat());
    if (g_waveOut->open(&state->waveOut, WAVE_MAPPER, format,
                        reinterpret_cast<DWORD_PTR>(state->dialog), 0,
                        CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
        state->waveOut = nullptr;
        ShowCallFailed(L"waveOutOpen()");
        CloseHandle(state->file);
        state->file = INVALID_HANDLE_VALUE;
        return false;
    }

    // A file that cannot be positioned at its data plays as one without data.
    bool atData = SetFilePointer(state->file, kHeaderBytes, nullptr, FILE_BEGIN) == kHeaderBytes;
    for (int i = 0; atData && i < kPlayBuffers; ++i) {
        AudioBuffer* buffer = SetUpBuffer(state, kPlayerDevice, i);
        if (buffer == nullptr) {
            // What is already written comes back by itself; the last one back closes the device.
            StopDevice(state, kPlayerDevice);
            return false;
        }
        if (ReadBlock(state, buffer) == 0) {
            RetireBlock(state, buffer);
            break;
        }
        if (!WriteBlock(state, buffer)) {
            RetireBlock(state, buffer);
        }
    }

    state->playing = true;
    state->devicePaused = false;
    state->playbackStarted = true;
    // Nothing went out (no data): nothing would ever come back to end the playback.
    CloseWhenDrained(state, kPlayerDevice);
    return true;
}

void OnPlayedBlock(AppState* state, AudioBuffer* buffer) {
    --state->buffersOut;

    DWORD count = ReadBlock(state, buffer);
    state->playedBytes += count;
    if (count != 0) {
        ++state->playedBlocks;
        if (state->playedBlocks % kSliderEvery == 0) {
            double fraction = state->dataBytes == 0
                                  ? 0.0
                                  : static_cast<double>(state->playedBytes) / state->dataBytes;
            ShowProgress(state, fraction);
        }
    }

    // The block always goes out whole, even after a short read.
    if (count != 0 && state->playing) {
        bool queued = WriteBlock(state, buffer);
        ShowPlayedTime(state);
        if (queued) {
            return;
        }
    }
    RetireBlock(state, buffer);
    CloseWhenDrained(state, kPlayerDevice);
}

void StopPlayback(AppState* state) {
    // A paused device would keep its buffers and never drain; should it refuse to resume, the
    // stop's bound resets it.
    if (state->paused) {
        SetPaused(state, false);
    }
    if (state->playing) {
        state->playing = false;
        StopDevice(state, kPlayerDevice);
    }
}

bool OnPlayerClosed(AppState* state) {
    state->playing = false;
    state->devicePaused = false;
    state->waveOut = nullptr;
    state->buffersOut = 0;
    FreeBuffers(state);
    CloseHandle(state->file);
    state->file = INVALID_HANDLE_VALUE;
    ShowTime(state, SecondsFromBytes(state->dataBytes));
    ShowProgress(state, 0.0);
    return state->playbackStarted;
}

void SeekFromTrackbar(AppState* state, int code) {
    state->seeking = true;
    if (code == TB_THUMBTRACK) {
        return;  // the move happens once, when the user lets go
    }
    if (code != TB_ENDTRACK || !state->playing) {
        return;
    }
    const int position = SliderPosition(state);
    // Resume on a whole GSM frame pair.
    auto offset =
        static_cast<DWORD>(static_cast<double>(position) * (1.0 / kSliderSteps) * state->dataBytes);
    offset -= offset % kBlockBytes;
    if (SetFilePointer(state->file, static_cast<LONG>(kHeaderBytes + offset), nullptr,
                       FILE_BEGIN) != INVALID_SET_FILE_POINTER) {
        state->playedBytes = offset;
    }
    state->seeking = false;
}
