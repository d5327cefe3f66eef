// Scripted wave devices: stand-ins for WinMM's wave input and output on the wave mapper,
// installed into g_waveIn / g_waveOut for the life of the object.
//
// They behave like the real devices do for this program: notifications (MM_WIM_OPEN/DATA/CLOSE,
// MM_WOM_OPEN/DONE/CLOSE) are POSTED to the window given at open with the device handle as
// wParam and the WAVEHDR* as lParam, so a test pumps messages (tests/support/message_pump.h) to
// run the real flow. Buffers come back in queue order. A close fails with WAVERR_STILLPLAYING
// while any buffer is queued, and only a successful close posts the close notification.
//
// Misuse fails the test (ADD_FAILURE) and returns the code WinMM would:
//   - open other than CALLBACK_WINDOW to a live window on WAVE_MAPPER, or on one of the input
//     devices with WAVE_MAPPED, or while already open;
//   - a wrong, null or closed handle (MMSYSERR_INVALHANDLE), so any call after close;
//   - a header of the wrong size, with null lpData or dwBufferLength != 130 (MMSYSERR_INVALPARAM);
//   - preparing a prepared header; unpreparing one that is not prepared;
//   - queueing an unprepared (WAVERR_UNPREPARED) or already queued (WAVERR_STILLPLAYING) header;
//   - unpreparing a queued header (WAVERR_STILLPLAYING);
//   - a successful close while headers are still prepared (what prepare set up leaks);
//   - freeing a header or its data block while prepared on an open device (needs ScriptedHeap);
//   - at the end of the test: the device left open or headers left prepared.
//
// A recorder test, in short:
//   TestWindow window;                       // tests/support/test_window.h
//   window.onWimData = [&](WAVEHDR* h) { OnRecordedBlock(&state, h); };
//   window.onWimClose = [&] { OnRecorderClosed(&state); };
//   ScriptedHeap heap;                       // catches frees of buffers the device holds
//   ScriptedWaveIn device;
//   state.dialog = window.Handle();
//   ASSERT_TRUE(StartRecording(&state));
//   device.DeliverAndPump(3 * 130 + 20);     // three full buffers and a partial one
//   StopRecording(&state);
//   device.DeliverAndPump(8 * 130);          // the drain: every queued buffer fills and returns
//   // the file now holds ScriptedWaveIn::PatternBytes(0, state.dataBytes) after its header
#pragma once
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "voice/wave_api.h"

// What input and output share: buffer bookkeeping, handle checks, failure injection, the log.
class ScriptedWaveDevice {
  public:
    ScriptedWaveDevice(const ScriptedWaveDevice&) = delete;
    ScriptedWaveDevice& operator=(const ScriptedWaveDevice&) = delete;

    // --- Script ---
    // Every open fails with this result from now on; MMSYSERR_NOERROR opens again.
    void FailOpen(MMRESULT result);
    // The k-th prepare call (1-based, counted from install) fails with `result`. May be repeated.
    void FailPrepare(int k, MMRESULT result = MMSYSERR_NOMEM);
    // The k-th addBuffer (input) / write (output) call fails with `result`, nothing queued.
    void FailQueue(int k, MMRESULT result = MMSYSERR_NOMEM);
    // The k-th close call fails with `result`: the device stays open, nothing is posted.
    void FailClose(int k, MMRESULT result = MMSYSERR_ERROR);
    // The next close call fails with `result` (as FailClose with the count of the next call).
    void FailNextClose(MMRESULT result = MMSYSERR_ERROR);
    // Wine's close: succeeds while buffers are queued and drops them (never handed back). Such
    // a close also fails the test, since the queued data is lost.
    void SetWineClose(bool on);
    // Notifications are held here, in order, instead of posted, so a test decides when each
    // arrives (and a long run pays no posting). DispatchHeld() sends them to the window one
    // after another, also those their handlers cause, until none is left; returns how many.
    void HoldNotifications(bool on) { holdNotifications_ = on; }
    int DispatchHeld();
    int HeldCount() const { return static_cast<int>(held_.size()); }
    // Of them, the buffers handed back (MM_WIM_DATA, MM_WOM_DONE) so far: the moments the
    // program heard from the device.
    int DoneDispatched() const { return doneDispatched_; }

    // --- Introspection ---
    bool IsOpen() const { return open_; }
    int OpenCount() const { return openCount_; }  // open calls, failed ones included
    // Calls since install, failed ones included: the k of FailPrepare, FailQueue, FailClose.
    int PrepareCalls() const { return prepareCalls_; }
    int QueueCalls() const { return queueCalls_; }
    int CloseCalls() const { return closeCalls_; }
    HWND Window() const { return window_; }  // the window given at the last open
    // The format given at the last open (tests check it is the GSM 6.10 voice format).
    const GSM610WAVEFORMAT& Format() const { return format_; }
    // Names of the calls made, in order: the WaveInApi / WaveOutApi field names ("open",
    // "prepareHeader", "addBuffer", "write", "unprepareHeader", "close" ...).
    const std::vector<std::string>& Calls() const { return calls_; }
    std::string CallsText() const;  // the calls joined by single spaces
    int CallCount(const std::string& name) const;
    void ClearCalls() { calls_.clear(); }
    std::vector<WAVEHDR*> Queued() const;  // on the device now, in queue order
    int QueuedCount() const { return static_cast<int>(queue_.size()); }
    int PreparedCount() const { return static_cast<int>(prepared_.size()); }
    bool IsPrepared(const WAVEHDR* header) const;
    int TimesQueued(const WAVEHDR* header) const;  // since install
    // True if `block` is a header prepared on this open device or its data block.
    bool Holds(const void* block) const;

  protected:
    ScriptedWaveDevice(const char* prefix, UINT openMessage, UINT doneMessage, UINT closeMessage,
                       std::uintptr_t handleBase);
    ~ScriptedWaveDevice();

    void Log(const char* call);
    bool CheckHandle(const char* call, const void* handle);
    bool CheckHeader(const char* call, const WAVEHDR* header, UINT size);
    MMRESULT Open(const char* call, void** handle, UINT device, LPCWAVEFORMATEX format,
                  DWORD_PTR callback, DWORD flags, UINT deviceCount = 0);
    MMRESULT Prepare(const char* call, const void* handle, WAVEHDR* header, UINT size);
    MMRESULT Queue(const char* call, const void* handle, WAVEHDR* header, UINT size);
    MMRESULT Unprepare(const char* call, const void* handle, WAVEHDR* header, UINT size);
    MMRESULT Close(const char* call, const void* handle);
    // Takes the head buffer off the queue, flags it done and posts the done notification.
    void CompleteHead();
    void Post(UINT message, LPARAM lParam);
    void PumpAll();                            // posted and held notifications
    std::string Name(const char* call) const;  // "addBuffer" -> "waveInAddBuffer"

    struct Prepared {
        LPSTR data;
        DWORD length;
    };

    std::string prefix_;
    UINT openMessage_, doneMessage_, closeMessage_;
    std::uintptr_t handleBase_;
    bool open_ = false;
    void* handle_ = nullptr;
    std::set<const void*> closedHandles_;
    HWND window_ = nullptr;
    UINT openedDevice_ = WAVE_MAPPER;
    GSM610WAVEFORMAT format_ = {};
    int openCount_ = 0;
    int prepareCalls_ = 0;
    int queueCalls_ = 0;
    MMRESULT failOpen_ = MMSYSERR_NOERROR;
    std::map<int, MMRESULT> failPrepare_;
    std::map<int, MMRESULT> failQueue_;
    int closeCalls_ = 0;
    std::map<int, MMRESULT> failClose_;
    bool wineClose_ = false;
    bool holdNotifications_ = false;
    struct Held {
        HWND window;
        UINT message;
        WPARAM handle;
        LPARAM lParam;
    };
    std::deque<Held> held_;
    int doneDispatched_ = 0;
    std::vector<std::string> calls_;
    std::map<const WAVEHDR*, Prepared> prepared_;
    std::deque<WAVEHDR*> queue_;
    std::map<const WAVEHDR*, int> timesQueued_;
};

// The wave input device on g_waveIn. Audio is "delivered" by the test: each byte of the
// captured stream is PatternByte(its index in the stream), so a test knows the exact bytes a
// recording must hold: PatternBytes(0, dataBytes).
class ScriptedWaveIn : public ScriptedWaveDevice {
  public:
    ScriptedWaveIn();
    ~ScriptedWaveIn();

    // Every start fails with this result from now on; MMSYSERR_NOERROR starts again.
    void FailStart(MMRESULT result);
    // The input devices the system lists (waveInGetNumDevs, waveInGetDevCaps), in id order; by
    // default one, "Scripted microphone". Each may be opened by its id, through the mapper.
    void SetDevices(const std::vector<std::string>& names) { devices_ = names; }  // UTF-8
    // From now on the microphone captures these bytes, from their start and over and over,
    // instead of the pattern (empty: the pattern again). For real sound: tests/support/gsm_sound.h.
    void SetSound(const std::vector<BYTE>& bytes) {
        sound_ = bytes;
        soundPosition_ = 0;
    }
    // The id given at the last open: WAVE_MAPPER or a device's.
    UINT OpenedDevice() const { return openedDevice_; }
    // Wine's stop: the buffer being filled comes back only if it holds data. By default
    // (Windows) the head buffer comes back on a stop even when it holds 0 bytes.
    void SetWineStop(bool on);

    // The microphone captures `bytes` bytes: while started they fill the head buffer(s) in
    // queue order, and each buffer that fills up (130 bytes) is handed back (WHDR_DONE,
    // MM_WIM_DATA posted). Bytes with no started device or no queued buffer are lost. Returns
    // the bytes captured. Posts only: nothing is handled until messages are pumped.
    std::size_t Deliver(std::size_t bytes);
    // As Deliver, but pumps messages whenever a buffer was handed back, so the program queues
    // it again as it would in real time. Returns the bytes captured.
    std::size_t DeliverAndPump(std::size_t bytes);

    bool IsStarted() const { return started_; }
    std::uint64_t CapturedBytes() const { return streamPosition_; }  // stream bytes so far

    static BYTE PatternByte(std::uint64_t index) { return static_cast<BYTE>(index % 251); }
    static std::vector<BYTE> PatternBytes(std::uint64_t first, std::size_t count);

  private:
    friend struct ScriptedWaveInCalls;
    MMRESULT Reset(HWAVEIN handle);
    MMRESULT Start(HWAVEIN handle);
    MMRESULT Stop(HWAVEIN handle);
    void FillHead(DWORD bytes);

    const WaveInApi* previous_;
    std::vector<std::string> devices_ = {"Scripted microphone"};
    std::vector<BYTE> sound_;
    std::size_t soundPosition_ = 0;
    bool started_ = false;
    bool wineStop_ = false;
    MMRESULT failStart_ = MMSYSERR_NOERROR;
    std::uint64_t streamPosition_ = 0;
};

// The wave output device on g_waveOut. Buffers written are played by the test in write
// order: PlayNext / PlayAll hand them back (WHDR_DONE, MM_WOM_DONE posted); pause holds them.
class ScriptedWaveOut : public ScriptedWaveDevice {
  public:
    ScriptedWaveOut();
    ~ScriptedWaveOut();

    // Plays the head buffer (its dwBufferLength bytes, read now) and hands it back. Does
    // nothing and returns false while paused, closed or with nothing queued.
    bool PlayNext();
    int PlayAll();  // plays what is queued now; returns how many
    // Plays one buffer at a time, pumping messages after each (so the program refills and
    // writes again), until nothing can play; returns how many were played.
    int PlayAndPump();

    bool IsPaused() const { return paused_; }
    int PlayedCount() const { return playedCount_; }
    // Every byte played so far, in order.
    const std::vector<BYTE>& Played() const { return played_; }
    void ClearPlayed() { played_.clear(); }  // long runs keep their memory flat

  private:
    friend struct ScriptedWaveOutCalls;
    MMRESULT Write(HWAVEOUT handle, WAVEHDR* header, UINT size);
    MMRESULT Pause(HWAVEOUT handle);
    MMRESULT Restart(HWAVEOUT handle);
    MMRESULT Reset(HWAVEOUT handle);

    const WaveOutApi* previous_;
    bool paused_ = false;
    int playedCount_ = 0;
    std::vector<BYTE> played_;
};

// "input" or "output" when a scripted device that is installed now holds `block` (a prepared
// header or its data block), else nullptr. Used by ScriptedHeap to catch early frees.
const char* ScriptedDeviceHolding(const void* block);
