#include "voice/recording_watch.h"

#include "base/disk.h"
#include "voice/recorder.h"
#include "voice/wave_device.h"

namespace {

constexpr DWORD kStallTicks = kStallMs / kWatchTickMs;
constexpr DWORD kWakeTicks = kWakeBoundMs / kWatchTickMs;
constexpr DWORD kRoomCheckTicks = kRoomCheckMs / kWatchTickMs;

DWORD SecondsOfRoom(ULONGLONG bytes) {
    const ULONGLONG seconds = bytes / kBytesPerSecond;
    return seconds < MAXDWORD ? static_cast<DWORD>(seconds) : MAXDWORD;
}

void LookAtRoom(AppState* state) {
    ULONGLONG bytes = 0;
    state->roomKnown = FreeBytesBeside(state->voicePath, &bytes);
    state->roomSeconds = state->roomKnown ? SecondsOfRoom(bytes) : 0;
}

}  // namespace

bool RoomForNewRecording(const AppState* state, DWORD* seconds) {
    ULONGLONG bytes = 0;
    if (!FreeBytesBeside(state->voicePath, &bytes)) {
        return false;
    }
    // The new recording replaces the voice file, whose bytes become room.
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (GetFileAttributesExW(state->voicePath, GetFileExInfoStandard, &file)) {
        bytes += (static_cast<ULONGLONG>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
    }
    *seconds = SecondsOfRoom(bytes > kHeaderBytes ? bytes - kHeaderBytes : 0);
    return true;
}

void StartWatching(AppState* state) {
    state->microphoneStalled = false;
    state->endedBySleep = false;
    state->awaitingWake = false;
    state->watchTicks = 0;
    state->quietTicks = 0;
    state->wakeTicks = 0;
    LookAtRoom(state);
    // Should the timer not be set, the recording runs unwatched: only the notices are lost.
    g_setTimer(state->dialog, kWatchTimer, kWatchTickMs, nullptr);
}

void OnBlockBack(AppState* state) {
    state->quietTicks = 0;
    state->microphoneStalled = false;
    state->awaitingWake = false;
}

void OnWatchTick(AppState* state) {
    if (!state->recording) {
        g_killTimer(state->dialog, kWatchTimer);  // a tick that was due as the recording stopped
        return;
    }
    ++state->watchTicks;
    if (state->devicePaused) {
        // A paused device hands nothing back; a wait for it after a wake ends with the pause.
        state->awaitingWake = false;
    } else if (++state->quietTicks > kStallTicks && !state->microphoneStalled) {
        state->microphoneStalled = true;
        // Whatever silenced it may take the computer next: what was said is on the disk.
        BringVoiceFileUpToDate(state);
    }
    if (state->awaitingWake && ++state->wakeTicks > kWakeTicks) {
        state->awaitingWake = false;
        state->endedBySleep = true;
        StopRecording(state);
        return;
    }
    if (state->watchTicks % kRoomCheckTicks == 0) {
        LookAtRoom(state);
    }
}

void OnSuspend(AppState* state) {
    // A recording, or its drain: the recorder holds the voice file.
    if (state->waveIn != nullptr && VoiceFileBusy(state)) {
        BringVoiceFileUpToDate(state);
    }
}

void OnResume(AppState* state) {
    if (!state->recording || state->devicePaused) {
        return;
    }
    // The watch starts over: whatever the microphone did before the sleep, it must send now.
    state->awaitingWake = true;
    state->wakeTicks = 0;
    state->quietTicks = 0;
    state->microphoneStalled = false;
}
