// Room app/: the application shell: start-up, the state record, the control states, the window.
//
// The one record of everything the program knows about the current voice message, and the
// readouts (time, size, position) that the recorder and player update as they run.
#pragma once
#include <windows.h>
#include <mmsystem.h>

#include "base/instance.h"
#include "voice/level_meter.h"
#include "voice/voice_file.h"

struct BtnBar;

constexpr int kSlotCount = 8;       // the recorder uses all eight slots, the player the first four
constexpr int kSliderSteps = 1000;  // the position slider runs from 0 to this

// A wave header on the heap whose data pointer refers to its own kBlockBytes block; the slot
// holding it owns both.
using AudioBuffer = WAVEHDR;

// The four arrangements of the main window's controls (app/ui_state.h applies them).
enum UiState { Ready = 0, Empty = 1, Recording = 2, Playing = 3 };

struct AppState {
    // The window's voice file; empty when none could be made, and then every Record says so.
    WCHAR voicePath[MAX_PATH];
    BtnBar* bar;
    HANDLE file;
    HWND dialog;
    AudioBuffer* slots[kSlotCount];
    HWAVEIN waveIn;
    HWAVEOUT waveOut;
    DWORD dataBytes;
    DWORD playedBytes;
    DWORD playedBlocks;
    DWORD shownSeconds;  // what the time readout shows during a playback
    bool seeking;
    bool recording;
    bool playing;
    // The Pause command's flag. It carries over a drain into the next recording or playback,
    // whose first Pause then resumes.
    bool paused;
    // The running device is paused now: what the status line tells.
    bool devicePaused;
    // The current recording really started: its header is completed when the device closes.
    bool recordingStarted;
    bool haveRecording;  // a finished recording is in the voice file: Record may fail back to it
    // The current playback really started: the controls go to Ready when the device closes.
    bool playbackStarted;
    // Buffers the open device holds now. Closing only when this is 0 keeps the drained tail
    // where a close would succeed with buffers still queued (Wine). One count serves both
    // devices: a recording and a playback never overlap, as the voice file's sharing refuses
    // the second open.
    int buffersOut;
    // The voice file refused a recorded block: the recording drains, and nothing more is
    // appended, so the file ends with the last block that was written whole. diskFull: it was
    // refused for lack of room.
    bool writeFailed;
    bool diskFull;
    // What the recorder's watch (voice/recording_watch.h) finds while a recording runs: the
    // microphone has handed back nothing for a while; the seconds of recording that still fit
    // on the voice file's disk, when the disk told (roomKnown); the recording was ended because
    // the microphone did not come back after the computer slept.
    bool microphoneStalled;
    bool roomKnown;
    DWORD roomSeconds;
    bool endedBySleep;
    // The watch's own count: its ticks in this recording, since a block last came back with
    // the device running, and since the computer woke while blocks are awaited.
    DWORD watchTicks;
    DWORD quietTicks;
    bool awaitingWake;
    DWORD wakeTicks;
    LevelMeter meter;  // the input level of the running recording
    // The window is going (close or Exit): it waits for the activity to end, then goes,
    // deleting the voice file first when it was closed.
    bool leaving;
    bool deleteOnLeave;
    // The data the header's sizes describe, and the data last flushed to the disk, while a
    // recording runs: a file cut off by a crash or a power cut still plays.
    DWORD headerBytes;
    DWORD flushedBytes;
    // Held on the voice file for the window's whole life (voice/voice_store.h).
    // INVALID_HANDLE_VALUE when none.
    HANDLE keeper;
    // What the window shows now, kept by app/ui_state.cpp, which alone decides the controls'
    // look and sets a control only when that changes.
    UiState uiState;
    int shownStatus;
    DWORD shownRoomSeconds;
    int shownMeter;
    bool noSoundShown;
};

extern HWND g_mainWindow;
extern AppState* g_appState;

// Whole seconds of GSM audio in that many bytes.
DWORD SecondsFromBytes(DWORD bytes);
// Whole kilobytes of 1024 bytes, as the size readout shows them.
DWORD KilobytesFromBytes(DWORD bytes);

// "M:SS", as the time readout shows it: 0:00, 1:15, 10:00.
constexpr int kTimeReadoutChars = 32;
void FormatTimeReadout(DWORD seconds, WCHAR (&text)[kTimeReadoutChars]);

void ShowTime(AppState* state, DWORD seconds);
void ShowSize(AppState* state, DWORD kilobytes);
void ShowProgress(AppState* state, double fraction);
// Where the user left the position slider, 0 to kSliderSteps.
int SliderPosition(AppState* state);
