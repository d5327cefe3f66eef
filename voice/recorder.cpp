#include "voice/recorder.h"

#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "voice/input_device.h"
#include "voice/recording_watch.h"
#include "voice/voice_store.h"
#include "voice/wave_api.h"
#include "voice/wave_device.h"

namespace {

void ReportFileNotCreated() {
    ShowMessageBox(g_mainWindow, LoadText(IDS_ERROR_CREATE_FILE).chars, nullptr, MB_OK);
}

// Allocates, prepares and queues the buffer of one slot; false after reporting a failure.
bool QueueNewBuffer(AppState* state, int slot) {
    AudioBuffer* buffer = SetUpBuffer(state, kRecorderDevice, slot);
    if (buffer == nullptr) {
        return false;
    }
    if (g_waveIn->addBuffer(state->waveIn, buffer, sizeof(AudioBuffer)) == MMSYSERR_NOERROR) {
        ++state->buffersOut;
    } else {
        // Never on the device: the recording goes on with fewer buffers.
        g_waveIn->unprepareHeader(state->waveIn, buffer, sizeof(AudioBuffer));
    }
    return true;
}

// After a failed start, with recording already false: the device was never started, so only
// a reset hands the queued buffers back; each is unprepared as it returns, and the last one
// closes the device.
void AbandonStart(AppState* state) {
    if (state->buffersOut != 0) {
        g_waveIn->reset(state->waveIn);
    }
    StopDevice(state, kRecorderDevice);
}

// Appends a recorded block whole or not at all: a partial block would shift every later
// frame, so the file is cut back to where it ended and the recording drains.
void AppendBlock(AppState* state, const AudioBuffer* buffer) {
    const DWORD bytes = buffer->dwBytesRecorded;
    if (bytes == 0 || state->writeFailed) {
        return;
    }
    DWORD written = 0;
    const BOOL wrote = g_writeFile(state->file, buffer->lpData, bytes, &written, nullptr);
    if (wrote && written == bytes) {
        state->dataBytes += bytes;
        return;
    }
    // Wine writes what fits on a full disk and answers with the shorter count, which says
    // nothing of why; the room left on the disk then does.
    const DWORD error = wrote ? ERROR_SUCCESS : GetLastError();
    ULONGLONG room = 0;
    state->diskFull =
        IsDiskFullError(error) || (FreeBytesBeside(state->voicePath, &room) && room < bytes);
    state->writeFailed = true;
    // Should the cut fail, the header still describes only what was written whole.
    LARGE_INTEGER end;
    end.QuadPart = LONGLONG{kHeaderBytes} + state->dataBytes;
    if (SetFilePointerEx(state->file, end, nullptr, FILE_BEGIN)) {
        SetEndOfFile(state->file);
    }
    if (state->recording) {
        StopRecording(state);
    }
}

}  // namespace

// Keeps the file a valid WAV of what it holds. Both writes are cheap next to a block's 80 ms,
// and run between two blocks, while seven more wait on the device.
void KeepHeaderTrue(AppState* state) {
    // A refresh that failed is tried again with the next block.
    if (state->dataBytes - state->headerBytes >= kHeaderRefreshBytes &&
        RefreshVoiceHeader(state->file, state->dataBytes)) {
        state->headerBytes = state->dataBytes;
    }
    if (state->dataBytes - state->flushedBytes >= kFlushBytes) {
        g_flushFile(state->file);
        state->flushedBytes = state->dataBytes;
    }
}

void BringVoiceFileUpToDate(AppState* state) {
    if (RefreshVoiceHeader(state->file, state->dataBytes)) {
        state->headerBytes = state->dataBytes;
    }
    g_flushFile(state->file);
    state->flushedBytes = state->dataBytes;
}

bool StartRecording(AppState* state, UINT device) {
    state->recordingStarted = false;
    // What a failed start or a playback left may still hold the file and the device; as
    // before, the file cannot be made then.
    if (VoiceFileBusy(state) || kRecorderDevice.isOpen(state)) {
        ReportFileNotCreated();
        return false;
    }
    // The device opens first: a microphone that cannot be used leaves the last recording as
    // it was.
    const MMRESULT opened =
        g_waveIn->open(&state->waveIn, device, reinterpret_cast<LPCWAVEFORMATEX>(VoiceFormat()),
                       reinterpret_cast<DWORD_PTR>(state->dialog), 0,
                       CALLBACK_WINDOW | (device == WAVE_MAPPER ? 0 : WAVE_MAPPED));
    if (opened != MMSYSERR_NOERROR) {
        state->waveIn = nullptr;
        ShowMicrophoneProblem(opened);
        return false;
    }
    state->buffersOut = 0;
    HANDLE file = OpenVoiceFile(state->voicePath, VoiceFileUse::Record);
    if (file == INVALID_HANDLE_VALUE) {
        ReportFileNotCreated();
        AbandonStart(state);
        return false;
    }
    state->haveRecording = false;
    // A header that fell short would put every block at the wrong offset, and completing it
    // later would write its sizes into the audio.
    if (!WriteVoiceHeader(file)) {
        CloseHandle(file);
        ReportFileNotCreated();
        AbandonStart(state);
        return false;
    }
    state->file = file;
    state->dataBytes = 0;
    state->headerBytes = 0;
    state->flushedBytes = 0;
    state->writeFailed = false;
    state->diskFull = false;
    ResetLevelMeter(&state->meter);

    g_waveIn->reset(state->waveIn);

    for (int slot = 0; slot < kRecordBuffers; ++slot) {
        if (!QueueNewBuffer(state, slot)) {
            AbandonStart(state);
            return false;
        }
    }

    state->recording = true;
    if (g_waveIn->start(state->waveIn) != MMSYSERR_NOERROR) {
        // Cleared before the box: its message loop may deliver commands meanwhile.
        state->recording = false;
        ShowCallFailed(L"waveInStart()");
        AbandonStart(state);
        return false;
    }
    state->devicePaused = false;
    state->recordingStarted = true;
    StartWatching(state);
    return true;
}

void OnRecordedBlock(AppState* state, AudioBuffer* buffer) {
    const DWORD bytesBefore = state->dataBytes;
    if (state->recording) {
        OnBlockBack(state);
    }
    AppendBlock(state, buffer);
    KeepHeaderTrue(state);
    MeasureBlock(&state->meter, reinterpret_cast<const BYTE*>(buffer->lpData),
                 buffer->dwBytesRecorded);
    if (state->dataBytes > kMaxDataBytes && state->recording) {
        StopRecording(state);
    }
    // A readout costs far more than the write; it is set when its text changes (and on the
    // first block, which replaces whatever the last activity left there).
    const DWORD seconds = SecondsFromBytes(state->dataBytes);
    if (bytesBefore == 0 || seconds != SecondsFromBytes(bytesBefore)) {
        ShowTime(state, seconds);
    }
    const DWORD kilobytes = KilobytesFromBytes(state->dataBytes);
    if (bytesBefore == 0 || kilobytes != KilobytesFromBytes(bytesBefore)) {
        ShowSize(state, kilobytes);
    }

    if (state->recording &&
        g_waveIn->addBuffer(state->waveIn, buffer, sizeof(AudioBuffer)) == MMSYSERR_NOERROR) {
        return;
    }
    // Back for good, whether drained or refused by the device.
    g_waveIn->unprepareHeader(state->waveIn, buffer, sizeof(AudioBuffer));
    --state->buffersOut;
    if (!state->recording) {
        CloseWhenDrained(state, kRecorderDevice);
    } else if (state->buffersOut == 0) {
        StopRecording(state);  // nothing left to record into
    }
}

void StopRecording(AppState* state) {
    // A paused device hands nothing back; should it refuse to resume, the stop's bound resets it.
    if (state->paused) {
        SetPaused(state, false);
    }
    if (state->recording) {
        state->recording = false;
        g_killTimer(state->dialog, kWatchTimer);
        StopDevice(state, kRecorderDevice);
    }
}

bool OnRecorderClosed(AppState* state) {
    FreeBuffers(state);
    state->devicePaused = false;
    // The watch's findings were for the window while the recording ran.
    state->microphoneStalled = false;
    state->roomKnown = false;
    // Should completing fail, the last refresh still describes what is on the disk.
    if (state->recordingStarted) {
        CompleteVoiceHeader(state->file, state->dataBytes);
        g_flushFile(state->file);
    }
    CloseHandle(state->file);
    state->file = INVALID_HANDLE_VALUE;
    ShowTime(state, SecondsFromBytes(state->dataBytes));
    return state->recordingStarted;
}
