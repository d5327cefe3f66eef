#include "voice/recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "res/resource.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_wave.h"
#include "tests/support/test_window.h"
#include "tests/support/utf8.h"
#include "tests/voice/voice_test_files.h"
#include "voice/voice_file.h"
#include "voice/wave_device.h"

namespace {

constexpr int kTimeReadout = IDC_TIME_READOUT;
constexpr int kSizeReadout = IDC_SIZE_READOUT;
constexpr int kStatusLine = IDC_STATUS;

std::vector<BYTE> NewHeader() {
    std::vector<BYTE> header(kHeaderBytes);
    BuildVoiceHeader(header.data());
    return header;
}

// Flushes of the voice file, counted through its seam.
int g_flushes = 0;
BOOL WINAPI CountingFlush(HANDLE file) {
    ++g_flushes;
    return FlushFileBuffers(file);
}

// The header a completed recording of `dataBytes` carries, followed by the captured stream.
std::vector<BYTE> CompletedFile(DWORD dataBytes, DWORD samples) {
    std::vector<BYTE> file = NewHeader();
    const struct {
        size_t offset;
        DWORD value;
    } fields[] = {{4, dataBytes + 52}, {48, samples}, {56, dataBytes}};
    for (const auto& field : fields) {
        for (int i = 0; i < 4; ++i) {
            file[field.offset + i] = static_cast<BYTE>(field.value >> (8 * i));
        }
    }
    const std::vector<BYTE> data = ScriptedWaveIn::PatternBytes(0, dataBytes);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

// "m:ss" and "n K" for that many bytes, worked out independently of the readout code.
std::string TimeText(DWORD bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%lu:%02lu", static_cast<unsigned long>(bytes / 1625 / 60),
                  static_cast<unsigned long>(bytes / 1625 % 60));
    return text;
}
std::string SizeText(DWORD bytes) {
    return std::to_string(bytes / 1024) + " K";
}

// True when no handle to the file is open any more: an exclusive open succeeds only then.
bool FileIsClosed(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

// Writes to the voice file, of which the n-th block write (counted from the first call after
// Arm) fails or falls short; both really write the first half of the block.
enum class WriteFault { kFails, kShort };
struct FaultyWrites {
    int failAt = 0;
    int count = 0;
    WriteFault fault = WriteFault::kFails;
};
FaultyWrites g_faultyWrites;

BOOL WINAPI FaultyWriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                            LPOVERLAPPED overlapped) {
    if (++g_faultyWrites.count != g_faultyWrites.failAt) {
        return WriteFile(file, data, bytes, written, overlapped);
    }
    WriteFile(file, data, bytes / 2, written, overlapped);
    if (g_faultyWrites.fault == WriteFault::kFails) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return TRUE;
}

// Everything a recording touches, on real files and a real window: the scripted input device,
// heap and message box in place, and the window routing the device's notifications to the
// recorder as the main dialog does.
class Rig {
  public:
    explicit Rig(const TempFolder& folder, const char* name = "kes1.tmp") {
        path = folder.File(name);
        CopyWide(state.voicePath, path);
        state.dialog = window.Handle();
        state.file = INVALID_HANDLE_VALUE;
        g_mainWindow = window.Handle();
        window.onWimData = [this](WAVEHDR* header) {
            ++blocksHandled;
            OnRecordedBlock(&state, header);
        };
        window.onWimClose = [this] {
            ++closes;
            completed = OnRecorderClosed(&state);
        };
    }
    // A box nobody expected is a failure even where the test does not look at the boxes.
    ~Rig() {
        g_writeFile = WriteFile;
        g_flushFile = FlushFileBuffers;
        EXPECT_EQ(boxes.Count(), expectedBoxes) << "message boxes shown";
    }

    std::vector<BYTE> FileBytes() const { return ReadFileBytes(path); }
    std::vector<BYTE> FileHead() const {
        std::vector<BYTE> bytes = FileBytes();
        bytes.resize(kHeaderBytes);
        return bytes;
    }
    int SlotsHeld() const {
        int held = 0;
        for (AudioBuffer* buffer : state.slots) {
            held += buffer != nullptr;
        }
        return held;
    }
    // The Pause command while recording: stop input, which hands back the partly filled buffer.
    void Pause() {
        EXPECT_TRUE(SetPaused(&state, true));
        EXPECT_TRUE(state.devicePaused);
        PumpMessages();
    }
    // After the close: nothing left on the heap, on the device or in the slots; file closed.
    void ExpectAllReleased() const {
        EXPECT_EQ(closes, 1);
        EXPECT_FALSE(waveIn.IsOpen());
        EXPECT_EQ(waveIn.PreparedCount(), 0);
        EXPECT_EQ(heap.LiveBlocks(), 0);
        EXPECT_EQ(SlotsHeld(), 0);
        EXPECT_TRUE(FileIsClosed(path));
        EXPECT_EQ(waveIn.CallCount("close"), 1) << waveIn.CallsText();
    }

    TestWindow window;
    ScriptedHeap heap;
    ScriptedWaveIn waveIn;
    ScriptedMessageBox boxes;
    int expectedBoxes = 0;
    AppState state = {};
    std::string path;
    int blocksHandled = 0;
    int closes = 0;
    bool completed = false;
};

class RecorderTest : public ::testing::Test {
  protected:
    TempFolder folder_;
};

TEST_F(RecorderTest, StartOpensGsmInputAndQueuesEightBuffersBehindHeaderOfNoData) {
    Rig rig(folder_);
    ASSERT_TRUE(StartRecording(&rig.state));

    EXPECT_TRUE(rig.state.recordingStarted);
    EXPECT_TRUE(rig.state.recording);
    EXPECT_EQ(rig.state.dataBytes, 0u);
    EXPECT_EQ(rig.boxes.Count(), 0);
    EXPECT_EQ(rig.waveIn.CallsText(),
              "open reset prepareHeader addBuffer prepareHeader addBuffer prepareHeader addBuffer "
              "prepareHeader addBuffer prepareHeader addBuffer prepareHeader addBuffer "
              "prepareHeader addBuffer prepareHeader addBuffer start");
    EXPECT_EQ(rig.waveIn.Window(), rig.window.Handle());
    EXPECT_EQ(std::memcmp(&rig.waveIn.Format(), VoiceFormat(), sizeof(GSM610WAVEFORMAT)), 0);
    EXPECT_TRUE(rig.waveIn.IsStarted());
    EXPECT_EQ(rig.heap.Allocations(), 16);
    // The slots hold the queued buffers, in queue order, each with a 130-byte block.
    std::vector<WAVEHDR*> queued = rig.waveIn.Queued();
    ASSERT_EQ(queued.size(), 8u);
    for (int slot = 0; slot < kRecordBuffers; ++slot) {
        EXPECT_EQ(rig.state.slots[slot], queued[slot]);
        EXPECT_EQ(queued[slot]->dwBufferLength, kBlockBytes);
        EXPECT_TRUE(rig.heap.IsLive(queued[slot]->lpData));
    }
    EXPECT_EQ(rig.FileBytes(), NewHeader());

    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_TRUE(rig.completed);
    rig.ExpectAllReleased();
}

// The readouts, and the file that a crash would leave: its header describes the data up to the
// last 12 blocks (under a second), and it reaches the disk every 60 blocks (under 5 s).
TEST_F(RecorderTest, BuffersCirculateAndReadoutsAndHeaderFollowEveryBlock) {
    Rig rig(folder_);
    g_flushes = 0;
    g_flushFile = CountingFlush;
    SetDlgItemTextA(rig.window.Handle(), kTimeReadout, "9:99");  // left by an earlier playback
    SetDlgItemTextA(rig.window.Handle(), kSizeReadout, "99 K");
    ASSERT_TRUE(StartRecording(&rig.state));

    // 130 blocks: past one second, past several kilobytes; checked after each one.
    for (int block = 1; block <= 130; ++block) {
        ASSERT_EQ(rig.waveIn.DeliverAndPump(kBlockBytes), kBlockBytes);
        const DWORD bytes = block * kBlockBytes;
        ASSERT_EQ(rig.state.dataBytes, bytes);
        ASSERT_EQ(rig.window.Text(kTimeReadout), TimeText(bytes)) << "block " << block;
        ASSERT_EQ(rig.window.Text(kSizeReadout), SizeText(bytes)) << "block " << block;
        ASSERT_EQ(rig.waveIn.QueuedCount(), 8);
        const DWORD described = block / 12 * 12 * kBlockBytes;
        std::vector<BYTE> head = CompletedFile(described, SampleCount(described));
        head.resize(kHeaderBytes);
        ASSERT_EQ(rig.FileHead(), head) << "block " << block;
        ASSERT_EQ(rig.FileBytes().size(), kHeaderBytes + bytes);
        ASSERT_EQ(g_flushes, block / 60) << "block " << block;
    }
    // Only the first eight buffers ever went round, in turn.
    for (int slot = 0; slot < kRecordBuffers; ++slot) {
        EXPECT_EQ(rig.waveIn.TimesQueued(rig.state.slots[slot]), (130 - slot - 1) / 8 + 2);
    }
    EXPECT_EQ(rig.heap.Allocations(), 16);
    EXPECT_EQ(rig.waveIn.CallCount("unprepareHeader"), 0);
    g_flushFile = FlushFileBuffers;
    g_flushes = 0;
    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(138 * kBlockBytes, SampleCount(138 * kBlockBytes)));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, ReadoutsReachMinutes) {
    Rig rig(folder_);
    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(938 * kBlockBytes);  // 75.04 seconds
    EXPECT_EQ(rig.state.dataBytes, 121940u);
    EXPECT_EQ(rig.window.Text(kTimeReadout), "1:15");
    EXPECT_EQ(rig.window.Text(kSizeReadout), "119 K");
    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    rig.ExpectAllReleased();
}

// Stop only stops queueing again: every queued buffer is filled, handed back and written, and
// the header is completed when the device has closed.
void StopDrainsEveryQueuedBuffer(const TempFolder& folder, bool wineClose) {
    Rig rig(folder);
    rig.waveIn.SetWineClose(wineClose);
    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(10 * kBlockBytes + 65);

    StopRecording(&rig.state);
    PumpMessages();
    EXPECT_FALSE(rig.state.recording);
    EXPECT_TRUE(rig.waveIn.IsOpen());
    EXPECT_TRUE(rig.waveIn.IsStarted());  // never stopped nor reset
    EXPECT_EQ(rig.waveIn.CallCount("reset"), 1);
    EXPECT_EQ(rig.waveIn.CallCount("stop"), 0);
    EXPECT_EQ(rig.waveIn.QueuedCount(), 8);

    // Seven buffers come back one by one; the header is completed only at the close.
    for (int left = 7; left >= 1; --left) {
        rig.waveIn.DeliverAndPump(kBlockBytes);
        EXPECT_EQ(rig.waveIn.QueuedCount(), left);
        EXPECT_FALSE(rig.completed);
        EXPECT_EQ(rig.closes, 0);
    }
    EXPECT_EQ(rig.waveIn.CallCount("close"), 0);  // never tried while buffers are out

    rig.waveIn.DeliverAndPump(kBlockBytes);
    const DWORD dataBytes = 18 * kBlockBytes;
    EXPECT_EQ(rig.state.dataBytes, dataBytes);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(dataBytes, SampleCount(dataBytes)));
    EXPECT_EQ(rig.window.Text(kTimeReadout), "0:01");
    EXPECT_EQ(rig.heap.Frees(), 16);
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, StopDrainsEveryQueuedBufferWhereCloseWaits) {
    StopDrainsEveryQueuedBuffer(folder_, false);
}

TEST_F(RecorderTest, StopDrainsEveryQueuedBufferWhereCloseWouldDropThem) {
    StopDrainsEveryQueuedBuffer(folder_, true);
}

TEST_F(RecorderTest, RecordingStoppedAtOnceIsStillAValidFile) {
    Rig rig(folder_);
    ASSERT_TRUE(StartRecording(&rig.state));
    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(8 * kBlockBytes, 5120));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, PauseHandsBackThePartlyFilledBufferWhichIsWritten) {
    Rig rig(folder_);
    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(7 * kBlockBytes + 120);
    rig.Pause();

    EXPECT_EQ(rig.state.dataBytes, 7 * kBlockBytes + 120);
    EXPECT_TRUE(rig.state.recording);
    EXPECT_EQ(rig.waveIn.QueuedCount(), 8);           // queued again for when input resumes
    EXPECT_EQ(rig.window.Text(kSizeReadout), "1 K");  // "0 K" without the partly filled block
    // Sound while paused is not captured.
    EXPECT_EQ(rig.waveIn.Deliver(500), 0u);

    // Resume as the Pause command does, and record on.
    rig.state.paused = false;
    ASSERT_EQ(g_waveIn->start(rig.state.waveIn), MMSYSERR_NOERROR);
    rig.waveIn.DeliverAndPump(3 * kBlockBytes);
    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);

    const DWORD dataBytes = 18 * kBlockBytes + 120;
    EXPECT_EQ(rig.FileBytes(), CompletedFile(dataBytes, SampleCount(dataBytes)));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, StopWhilePausedResumesInputFirstAndDrains) {
    for (bool wineStop : {false, true}) {
        SCOPED_TRACE(wineStop ? "stop keeps an empty buffer" : "stop hands back the head");
        Rig rig(folder_);
        rig.waveIn.SetWineStop(wineStop);
        ASSERT_TRUE(StartRecording(&rig.state));
        rig.waveIn.DeliverAndPump(4 * kBlockBytes);
        rig.Pause();
        EXPECT_FALSE(rig.waveIn.IsStarted());

        StopRecording(&rig.state);
        EXPECT_FALSE(rig.state.paused);
        EXPECT_FALSE(rig.state.recording);
        EXPECT_TRUE(rig.waveIn.IsStarted());
        EXPECT_FALSE(rig.state.devicePaused);  // the window shows "Recording"

        // Without the resume nothing would come back and the recording would never end.
        rig.waveIn.DeliverAndPump(8 * kBlockBytes);
        EXPECT_TRUE(rig.completed);
        EXPECT_FALSE(rig.state.devicePaused);  // the window shows "Recording"
        EXPECT_EQ(rig.FileBytes(), CompletedFile(12 * kBlockBytes, SampleCount(12 * kBlockBytes)));
        rig.ExpectAllReleased();
    }
}

TEST_F(RecorderTest, StopWhilePausedDuringPlaybackRestartsOutput) {
    Rig rig(folder_);
    ScriptedWaveOut waveOut;
    ASSERT_EQ(g_waveOut->open(&rig.state.waveOut, WAVE_MAPPER,
                              reinterpret_cast<LPCWAVEFORMATEX>(VoiceFormat()),
                              reinterpret_cast<DWORD_PTR>(rig.window.Handle()), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    ASSERT_EQ(g_waveOut->pause(rig.state.waveOut), MMSYSERR_NOERROR);
    rig.state.playing = true;
    rig.state.paused = true;
    rig.state.devicePaused = true;

    StopRecording(&rig.state);
    EXPECT_FALSE(rig.state.paused);
    EXPECT_FALSE(waveOut.IsPaused());
    EXPECT_FALSE(rig.state.devicePaused);      // the window shows "Playing"
    EXPECT_EQ(rig.waveIn.Calls().size(), 0u);  // the input device is not touched

    rig.window.onWomClose = [] {};
    EXPECT_EQ(g_waveOut->close(rig.state.waveOut), MMSYSERR_NOERROR);
    PumpMessages();
}

TEST_F(RecorderTest, SizeLimitStopsTheRecordingAfterWritingTheBlockInFull) {
    Rig rig(folder_);
    ASSERT_TRUE(StartRecording(&rig.state));
    // Just below the limit: a block that reaches it exactly does not stop the recording.
    rig.state.dataBytes = kMaxDataBytes - kBlockBytes;
    rig.waveIn.DeliverAndPump(kBlockBytes);
    EXPECT_EQ(rig.state.dataBytes, kMaxDataBytes);
    EXPECT_TRUE(rig.state.recording);

    rig.waveIn.DeliverAndPump(kBlockBytes);
    EXPECT_EQ(rig.state.dataBytes, kMaxDataBytes + kBlockBytes);
    EXPECT_FALSE(rig.state.recording);
    EXPECT_EQ(rig.FileBytes().size(), kHeaderBytes + 2 * kBlockBytes);  // both blocks in full

    // The rest drains and the recording completes normally.
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(rig.waveIn.QueuedCount(), 0);
    EXPECT_TRUE(rig.completed);
    const std::vector<BYTE> file = rig.FileBytes();
    const DWORD dataBytes = kMaxDataBytes + 8 * kBlockBytes;
    EXPECT_EQ(rig.state.dataBytes, dataBytes);
    EXPECT_EQ(ValueAt(file, 56), dataBytes);
    EXPECT_EQ(ValueAt(file, 48), 0xFFFFFFFFu);
    EXPECT_EQ(ValueAt(file, 4), dataBytes + 52);
    EXPECT_EQ(file.size(), kHeaderBytes + 9 * kBlockBytes);
    rig.ExpectAllReleased();
}

// A write that fails or falls short: the file is cut back to its last whole block, nothing of
// the block is counted, the recording drains, and nothing more is appended.
void FaultyWriteEndsTheRecordingCleanly(const TempFolder& folder, WriteFault fault) {
    Rig rig(folder);
    ASSERT_TRUE(StartRecording(&rig.state));
    g_faultyWrites = FaultyWrites{};
    g_faultyWrites.failAt = 8;  // 7 blocks read "0 K"; with the faulty block it would be "1 K"
    g_faultyWrites.fault = fault;
    g_writeFile = FaultyWriteFile;

    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(rig.state.dataBytes, 7 * kBlockBytes);
    EXPECT_FALSE(rig.state.recording);
    EXPECT_EQ(rig.FileBytes().size(), kHeaderBytes + 7 * kBlockBytes);
    EXPECT_EQ(rig.window.Text(kSizeReadout), "0 K");

    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.state.dataBytes, 7 * kBlockBytes);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(7 * kBlockBytes, SampleCount(7 * kBlockBytes)));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, FailedWriteCutsTheFileBackAndDrains) {
    FaultyWriteEndsTheRecordingCleanly(folder_, WriteFault::kFails);
}

TEST_F(RecorderTest, ShortWriteCutsTheFileBackAndDrains) {
    FaultyWriteEndsTheRecordingCleanly(folder_, WriteFault::kShort);
}

TEST_F(RecorderTest, FailedWriteWhileDrainingKeepsTheFileWhole) {
    Rig rig(folder_);
    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(2 * kBlockBytes);
    StopRecording(&rig.state);
    g_faultyWrites = FaultyWrites{};
    g_faultyWrites.failAt = 3;
    g_faultyWrites.fault = WriteFault::kShort;
    g_writeFile = FaultyWriteFile;
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);

    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(4 * kBlockBytes, SampleCount(4 * kBlockBytes)));
    rig.ExpectAllReleased();
}

// The buffer that Pause hands back is the last write before the pause. When it ends the
// recording, the stop must resume input first, or the queued buffers never come back.
TEST_F(RecorderTest, FailedWriteWhilePausedResumesInputAndDrains) {
    for (bool wineStop : {false, true}) {
        SCOPED_TRACE(wineStop ? "stop keeps an empty buffer" : "stop hands back the head");
        Rig rig(folder_);
        rig.waveIn.SetWineStop(wineStop);
        ASSERT_TRUE(StartRecording(&rig.state));
        g_faultyWrites = FaultyWrites{};
        g_faultyWrites.failAt = 4;  // the partly filled block handed back by the pause
        g_writeFile = FaultyWriteFile;
        rig.waveIn.DeliverAndPump(3 * kBlockBytes + 65);

        rig.Pause();
        EXPECT_EQ(rig.state.dataBytes, 3 * kBlockBytes);
        EXPECT_FALSE(rig.state.recording);
        EXPECT_FALSE(rig.state.paused);
        EXPECT_TRUE(rig.waveIn.IsStarted());
        EXPECT_FALSE(rig.state.devicePaused);  // the window shows "Recording"
        EXPECT_EQ(rig.FileBytes().size(), kHeaderBytes + 3 * kBlockBytes);
        EXPECT_EQ(rig.waveIn.QueuedCount(), 7);

        rig.waveIn.DeliverAndPump(7 * kBlockBytes);
        EXPECT_TRUE(rig.completed);
        EXPECT_EQ(rig.FileBytes(), CompletedFile(3 * kBlockBytes, SampleCount(3 * kBlockBytes)));
        EXPECT_EQ(rig.boxes.Count(), 0);
        rig.ExpectAllReleased();
    }
}

TEST_F(RecorderTest, SizeLimitReachedWhilePausedResumesInputAndDrains) {
    for (bool wineStop : {false, true}) {
        SCOPED_TRACE(wineStop ? "stop keeps an empty buffer" : "stop hands back the head");
        Rig rig(folder_);
        rig.waveIn.SetWineStop(wineStop);
        ASSERT_TRUE(StartRecording(&rig.state));
        rig.state.dataBytes = kMaxDataBytes - 64;
        rig.waveIn.DeliverAndPump(65);

        rig.Pause();  // the 65 bytes handed back take the recording one byte past the limit
        EXPECT_EQ(rig.state.dataBytes, kMaxDataBytes + 1);
        EXPECT_FALSE(rig.state.recording);
        EXPECT_FALSE(rig.state.paused);
        EXPECT_TRUE(rig.waveIn.IsStarted());
        EXPECT_FALSE(rig.state.devicePaused);  // the window shows "Recording"
        EXPECT_EQ(rig.FileBytes().size(), kHeaderBytes + 65);

        rig.waveIn.DeliverAndPump(7 * kBlockBytes);
        EXPECT_EQ(rig.waveIn.QueuedCount(), 0);
        EXPECT_TRUE(rig.completed);
        const DWORD dataBytes = kMaxDataBytes + 1 + 7 * kBlockBytes;
        EXPECT_EQ(rig.state.dataBytes, dataBytes);
        const std::vector<BYTE> file = rig.FileBytes();
        EXPECT_EQ(std::vector<BYTE>(file.begin() + kHeaderBytes, file.end()),
                  ScriptedWaveIn::PatternBytes(0, 65 + 7 * kBlockBytes));
        EXPECT_EQ(ValueAt(file, 56), dataBytes);
        EXPECT_EQ(ValueAt(file, 48), 0xFFFFFFFFu);
        EXPECT_EQ(ValueAt(file, 4), dataBytes + 52);
        rig.ExpectAllReleased();
    }
}

TEST_F(RecorderTest, RefusedRequeueLeavesTheBufferUnpreparedAndRecordingGoesOn) {
    Rig rig(folder_);
    rig.waveIn.FailQueue(10);  // the second time a returned buffer is queued again
    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(5 * kBlockBytes);
    EXPECT_TRUE(rig.state.recording);
    EXPECT_EQ(rig.waveIn.QueuedCount(), 7);
    EXPECT_EQ(rig.waveIn.PreparedCount(), 7);
    EXPECT_EQ(rig.SlotsHeld(), 8);  // still owned until the close

    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(7 * kBlockBytes);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(12 * kBlockBytes, SampleCount(12 * kBlockBytes)));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, RecordingEndsItselfWhenNoBufferCanBeQueuedAgain) {
    Rig rig(folder_);
    for (int k = 9; k <= 16; ++k) {
        rig.waveIn.FailQueue(k);
    }
    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);

    EXPECT_FALSE(rig.state.recording);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(8 * kBlockBytes, SampleCount(8 * kBlockBytes)));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, BufferRefusedAtStartIsNotCountedAsQueued) {
    Rig rig(folder_);
    rig.waveIn.FailQueue(3);
    ASSERT_TRUE(StartRecording(&rig.state));
    EXPECT_EQ(rig.waveIn.QueuedCount(), 7);
    EXPECT_EQ(rig.waveIn.PreparedCount(), 7);
    rig.waveIn.DeliverAndPump(3 * kBlockBytes);
    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(7 * kBlockBytes);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(10 * kBlockBytes, SampleCount(10 * kBlockBytes)));
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, StopClosesAtOnceWhenTheDeviceHoldsNoBuffer) {
    Rig rig(folder_);
    for (int k = 1; k <= 8; ++k) {
        rig.waveIn.FailQueue(k);
    }
    ASSERT_TRUE(StartRecording(&rig.state));
    EXPECT_EQ(rig.waveIn.QueuedCount(), 0);
    EXPECT_EQ(rig.waveIn.PreparedCount(), 0);

    StopRecording(&rig.state);
    PumpMessages();
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(0, 0));
    rig.ExpectAllReleased();
}

// --- Start failures ---

void ExpectBox(const Rig& rig, HWND owner, const char* text, bool defaultCaption) {
    ASSERT_EQ(rig.boxes.Count(), 1);
    const MessageBoxRecord& box = rig.boxes.Boxes()[0];
    EXPECT_EQ(box.owner, owner);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.defaultCaption, defaultCaption);
    if (!defaultCaption) {
        EXPECT_EQ(box.caption, "Error");
    }
    EXPECT_EQ(box.type & (MB_TYPEMASK | MB_ICONMASK), static_cast<UINT>(MB_OK));
}

TEST_F(RecorderTest, FileThatCannotBeCreatedIsReportedAndTheOldOneKept) {
    Rig rig(folder_);
    rig.expectedBoxes = 3;
    HANDLE old = CreateFileA(rig.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(old, "earlier", 7, &written, nullptr));

    EXPECT_FALSE(StartRecording(&rig.state));  // the file is locked by its holder
    CloseHandle(old);
    ExpectBox(rig, rig.window.Handle(), "Failed to create temporary file", true);
    EXPECT_FALSE(rig.state.recordingStarted);
    EXPECT_FALSE(rig.state.recording);
    EXPECT_EQ(rig.state.file, INVALID_HANDLE_VALUE);
    // The device opened first, and closes again with nothing on it.
    EXPECT_EQ(rig.waveIn.OpenCount(), 1);
    EXPECT_EQ(rig.heap.Allocations(), 0);
    PumpMessages();
    EXPECT_FALSE(rig.waveIn.IsOpen());
    EXPECT_FALSE(rig.completed);
    const std::vector<BYTE> earlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
    EXPECT_EQ(rig.FileBytes(), earlier);

    CopyWide(rig.state.voicePath, folder_.File("no such folder\\kes2.tmp"));
    EXPECT_FALSE(StartRecording(&rig.state));
    EXPECT_EQ(rig.boxes.Count(), 2);
    rig.state.voicePath[0] = '\0';  // no temporary file name was obtained at start-up
    EXPECT_FALSE(StartRecording(&rig.state));
    EXPECT_EQ(rig.boxes.Count(), 3);
}

// A header that does not reach 60 bytes would put every block at the wrong offset: the start
// is reported as a file that could not be created, and the device closes again.
TEST_F(RecorderTest, HeaderThatIsNotWrittenWholeIsReportedAsAFileNotCreated) {
    for (WriteFault fault : {WriteFault::kFails, WriteFault::kShort}) {
        for (int piece = 1; piece <= 3; ++piece) {
            SCOPED_TRACE((fault == WriteFault::kFails ? "failed" : "short") +
                         std::string(" write of header piece ") + std::to_string(piece));
            Rig rig(folder_);
            rig.expectedBoxes = 1;
            g_faultyWrites = FaultyWrites{};
            g_faultyWrites.failAt = piece;
            g_faultyWrites.fault = fault;
            g_writeFile = FaultyWriteFile;

            EXPECT_FALSE(StartRecording(&rig.state));
            ExpectBox(rig, rig.window.Handle(), "Failed to create temporary file", true);
            EXPECT_FALSE(rig.state.recordingStarted);
            EXPECT_FALSE(rig.state.recording);
            EXPECT_EQ(rig.state.file, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(FileIsClosed(rig.path));
            EXPECT_EQ(rig.waveIn.OpenCount(), 1);
            EXPECT_EQ(rig.heap.Allocations(), 0);
            PumpMessages();
            EXPECT_EQ(rig.closes, 1);
            EXPECT_FALSE(rig.completed);
            EXPECT_FALSE(rig.waveIn.IsOpen());
        }
    }
}

// The device opens before the voice file is touched: one that cannot be used leaves the last
// recording as it was.
TEST_F(RecorderTest, DeviceThatCannotBeOpenedIsReportedAndTheFileUntouched) {
    Rig rig(folder_);
    rig.expectedBoxes = 1;
    HANDLE old = CreateFileA(rig.path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(old, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(old, "earlier", 7, &written, nullptr));
    CloseHandle(old);
    rig.waveIn.FailOpen(MMSYSERR_ALLOCATED);
    EXPECT_FALSE(StartRecording(&rig.state));
    ASSERT_EQ(rig.boxes.Count(), 1);
    EXPECT_EQ(rig.boxes.Boxes()[0].text.substr(0, 44),
              "The microphone is in use by another program.");
    EXPECT_FALSE(rig.state.recordingStarted);
    EXPECT_FALSE(rig.state.recording);
    EXPECT_EQ(rig.FileBytes(), (std::vector<BYTE>{'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    EXPECT_EQ(rig.heap.Allocations(), 0);
    PumpMessages();
    EXPECT_EQ(rig.closes, 0);
}

// After a failed step: `slotsQueued` buffers were on the device. Until their hand-back nothing
// of them is unprepared or freed; then all is released and the header of no data stays.
void ExpectFailedStartCleansUp(Rig& rig, int slotsQueued) {
    EXPECT_FALSE(rig.state.recordingStarted);
    EXPECT_FALSE(rig.state.recording);
    EXPECT_EQ(rig.heap.LiveBlocks(), 2 * slotsQueued);
    EXPECT_EQ(rig.waveIn.PreparedCount(), slotsQueued);
    EXPECT_EQ(rig.SlotsHeld(), slotsQueued);
    EXPECT_EQ(rig.waveIn.CallCount("unprepareHeader"), 0);
    EXPECT_EQ(rig.closes, 0);
    EXPECT_FALSE(FileIsClosed(rig.path));  // until the close notification

    PumpMessages();
    EXPECT_EQ(rig.waveIn.CallCount("addBuffer"), slotsQueued);  // none queued again
    EXPECT_EQ(rig.waveIn.CallCount("start"), 0);
    EXPECT_FALSE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), NewHeader());
    EXPECT_EQ(rig.window.Text(kTimeReadout), "0:00");
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, EachFailedAllocationIsReportedAndEverythingReleased) {
    for (int k = 1; k <= 16; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k));
        Rig rig(folder_);
        rig.expectedBoxes = 1;
        rig.heap.FailAllocation(k);
        EXPECT_FALSE(StartRecording(&rig.state));
        ExpectBox(rig, nullptr, "malloc() failed", false);
        // A data block whose header could not be allocated is freed at once.
        EXPECT_EQ(rig.heap.Frees(), k % 2 == 0 ? 1 : 0);
        ExpectFailedStartCleansUp(rig, (k - 1) / 2);
    }
}

TEST_F(RecorderTest, EachFailedPrepareIsReportedAndEverythingReleased) {
    for (int k = 1; k <= 8; ++k) {
        SCOPED_TRACE("prepare " + std::to_string(k));
        Rig rig(folder_);
        rig.expectedBoxes = 1;
        rig.waveIn.FailPrepare(k, MMSYSERR_NOMEM);
        EXPECT_FALSE(StartRecording(&rig.state));
        ExpectBox(rig, nullptr, "waveInPrepareHeader() failed", false);
        EXPECT_EQ(rig.heap.Frees(), 2);  // the buffer that failed, both blocks
        ExpectFailedStartCleansUp(rig, k - 1);
    }
}

TEST_F(RecorderTest, FailedStartIsReportedAndEveryBufferReleasedAfterItsHandBack) {
    Rig rig(folder_);
    rig.expectedBoxes = 1;
    rig.waveIn.FailStart(MMSYSERR_ERROR);
    bool recordingWhileUp = true;
    rig.boxes.whileUp = [&](const MessageBoxRecord&) {
        recordingWhileUp = rig.state.recording;
        PumpMessages();  // the box's own loop
    };
    EXPECT_FALSE(StartRecording(&rig.state));
    ExpectBox(rig, nullptr, "waveInStart() failed", false);
    EXPECT_FALSE(recordingWhileUp);
    EXPECT_EQ(rig.heap.Frees(), 0);
    EXPECT_FALSE(rig.waveIn.IsStarted());
    EXPECT_EQ(rig.waveIn.CallCount("reset"), 2);
    EXPECT_EQ(rig.blocksHandled, 0);

    PumpMessages();
    EXPECT_EQ(rig.blocksHandled, 8);
    EXPECT_EQ(rig.state.dataBytes, 0u);
    EXPECT_EQ(rig.waveIn.CallCount("addBuffer"), 8);
    EXPECT_FALSE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), NewHeader());
    rig.ExpectAllReleased();
}

TEST_F(RecorderTest, FailedStartDoesNotTouchReleasedBuffersWhenTheBoxPumps) {
    // The box's own message loop delivers the hand-backs while it is up; the release still
    // waits for the last one.
    for (int k : {1, 4, 16}) {
        SCOPED_TRACE("allocation " + std::to_string(k));
        Rig rig(folder_);
        rig.expectedBoxes = 1;
        rig.heap.FailAllocation(k);
        rig.boxes.whileUp = [](const MessageBoxRecord&) { PumpMessages(); };
        EXPECT_FALSE(StartRecording(&rig.state));
        PumpMessages();
        EXPECT_FALSE(rig.completed);
        EXPECT_EQ(rig.FileBytes(), NewHeader());
        rig.ExpectAllReleased();
    }
}

TEST_F(RecorderTest, NextRecordingAfterAFailedStartStartsAfresh) {
    Rig rig(folder_);
    rig.expectedBoxes = 1;
    rig.heap.FailAllocation(7);
    EXPECT_FALSE(StartRecording(&rig.state));
    PumpMessages();
    ASSERT_EQ(rig.closes, 1);

    ASSERT_TRUE(StartRecording(&rig.state));
    rig.waveIn.DeliverAndPump(kBlockBytes);
    StopRecording(&rig.state);
    rig.waveIn.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(rig.closes, 2);
    EXPECT_TRUE(rig.completed);
    EXPECT_EQ(rig.FileBytes(), CompletedFile(9 * kBlockBytes, SampleCount(9 * kBlockBytes)));
    EXPECT_EQ(rig.heap.LiveBlocks(), 0);
    EXPECT_FALSE(rig.waveIn.IsOpen());
}

}  // namespace
