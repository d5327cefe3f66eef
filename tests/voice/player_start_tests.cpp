// A playback that cannot start: the voice file, the device, and every step of the buffer set-up.
#include "tests/voice/player_fixture.h"

#include <ostream>

namespace {

void ExpectErrorBox(const MessageBoxRecord& box, const char* text) {
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_FALSE(box.defaultCaption);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
}

TEST_F(PlayerTest, FileHeldElsewhereIsReportedAndLeavesTheFileFieldAlone) {
    WriteVoice(10 * kBlockBytes);
    // Held as a recording holds it: readers may share it, a player may not.
    HANDLE other = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    HANDLE before = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x4321));
    state_.file = before;
    state_.seeking = true;
    state_.playbackStarted = true;

    expectedBoxes_ = 1;
    EXPECT_FALSE(StartPlayback(&state_));

    ASSERT_EQ(boxes_.Count(), 1);
    const MessageBoxRecord& box = boxes_.Boxes()[0];
    EXPECT_EQ(box.text, "Failed to open temporary file");
    EXPECT_EQ(box.owner, window_.Handle());
    EXPECT_TRUE(box.defaultCaption);
    EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
    EXPECT_EQ(state_.file, before);
    EXPECT_FALSE(state_.seeking);
    EXPECT_FALSE(state_.playbackStarted);
    EXPECT_FALSE(state_.playing);
    EXPECT_EQ(out_.OpenCount(), 0);
    EXPECT_EQ(heap_.Allocations(), 0);
    CloseHandle(other);
}

TEST_F(PlayerTest, PlayAgainDuringAPlaybackFailsAndTheRunningOnePlaysOnToItsEnd) {
    std::vector<BYTE> data = WriteVoice(20 * kBlockBytes);
    ASSERT_TRUE(StartPlayback(&state_));
    PlayOne();
    PlayOne();
    HANDLE running = state_.file;

    expectedBoxes_ = 1;
    EXPECT_FALSE(StartPlayback(&state_));

    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Failed to open temporary file");
    EXPECT_EQ(state_.file, running);
    EXPECT_TRUE(state_.playing);
    out_.PlayAndPump();
    EXPECT_EQ(out_.Played(), data);
    EXPECT_EQ(closes_, 1);
    // The failed start cleared playbackStarted: the close does not apply Ready a second time.
    EXPECT_FALSE(closeResult_);
    ExpectReleased();
}

TEST_F(PlayerTest, DeviceThatCannotOpenLeavesZeroTimeAndTheFileClosed) {
    WriteVoice(10 * kBlockBytes);
    SetDlgItemTextA(window_.Handle(), IDC_TIME_READOUT, "1:23");
    out_.FailOpen(MMSYSERR_ALLOCATED);

    expectedBoxes_ = 1;
    EXPECT_FALSE(StartPlayback(&state_));

    ASSERT_EQ(boxes_.Count(), 1);
    ExpectErrorBox(boxes_.Boxes()[0], "waveOutOpen() failed");
    EXPECT_EQ(Time(), "0:00");
    EXPECT_TRUE(FileIsFree());
    EXPECT_EQ(state_.file, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(state_.playing);
    EXPECT_FALSE(state_.playbackStarted);
    EXPECT_EQ(heap_.Allocations(), 0);
    PumpMessages();
    EXPECT_EQ(closes_, 0);  // no device, no close notification

    // The next start works.
    out_.FailOpen(MMSYSERR_NOERROR);
    ASSERT_TRUE(StartPlayback(&state_));
    out_.PlayAndPump();
    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    ExpectReleased();
}

// --- Each set-up step failing at each slot ---------------------------------------------------

enum class Step { DataBlock, Header, Prepare };

// When the written buffers come back, measured against the failure message.
enum class Back {
    AfterBox,
    WhileBoxIsUp,
    // Handled while the box is up, but the box goes away before the close notification.
    WhileBoxIsUpClosePending,
};

struct SetUpFailure {
    int slot;
    Step step;
    Back back;
};

std::string Describe(const SetUpFailure& failure) {
    const char* steps[] = {"DataBlock", "Header", "Prepare"};
    const char* backs[] = {"BackAfterBox", "BackWhileBoxIsUp", "BackWhileBoxIsUpClosePending"};
    return std::string(steps[static_cast<int>(failure.step)]) + "AtSlot" +
           std::to_string(failure.slot) + backs[static_cast<int>(failure.back)];
}

void PrintTo(const SetUpFailure& failure, std::ostream* os) {
    *os << Describe(failure);
}

std::string Name(const ::testing::TestParamInfo<SetUpFailure>& info) {
    return Describe(info.param);
}

// Delivers only the buffer-done notifications waiting now.
void PumpDoneNotifications() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, MM_WOM_DONE, MM_WOM_DONE, PM_REMOVE)) {
        DispatchMessageA(&msg);
    }
}

class PlayerSetUpFailureTest : public PlayerTest,
                               public ::testing::WithParamInterface<SetUpFailure> {};

TEST_P(PlayerSetUpFailureTest, WrittenBuffersComeBackAndTheDeviceClosesAfterTheLast) {
    const SetUpFailure failure = GetParam();
    std::vector<BYTE> data = WriteVoice(20 * kBlockBytes);
    // Each slot allocates its data block, then its header; the k-th prepare is slot k-1's.
    const char* text = "malloc() failed";
    switch (failure.step) {
        case Step::DataBlock:
            heap_.FailAllocation(2 * failure.slot + 1);
            break;
        case Step::Header:
            heap_.FailAllocation(2 * failure.slot + 2);
            break;
        case Step::Prepare:
            out_.FailPrepare(failure.slot + 1);
            text = "waveOutPrepareHeader() failed";
            break;
    }
    int liveWhileUp = -1;
    int queuedWhileUp = -1;
    boxes_.whileUp = [&](const MessageBoxRecord&) {
        // The buffer whose set-up failed is already gone; the written ones are on the device.
        liveWhileUp = heap_.LiveBlocks();
        queuedWhileUp = out_.QueuedCount();
        if (failure.back == Back::WhileBoxIsUp) {
            out_.PlayAll();
            PumpMessages();
        } else if (failure.back == Back::WhileBoxIsUpClosePending) {
            out_.PlayAll();
            PumpDoneNotifications();
        }
    };

    expectedBoxes_ = 1;
    EXPECT_FALSE(StartPlayback(&state_));

    ASSERT_EQ(boxes_.Count(), 1);
    ExpectErrorBox(boxes_.Boxes()[0], text);
    EXPECT_EQ(liveWhileUp, 2 * failure.slot);
    EXPECT_EQ(queuedWhileUp, failure.slot);
    EXPECT_FALSE(state_.playing);
    EXPECT_FALSE(state_.playbackStarted);
    EXPECT_EQ(out_.CallCount("write"), failure.slot);
    if (failure.back == Back::AfterBox && failure.slot > 0) {
        // Nothing is freed or closed under the device's feet.
        EXPECT_EQ(out_.CallCount("close"), 0);
        EXPECT_EQ(out_.QueuedCount(), failure.slot);
        EXPECT_TRUE(out_.IsOpen());
    }

    out_.PlayAndPump();

    EXPECT_EQ(out_.Played(), Part(data, 0, failure.slot * kBlockBytes));
    EXPECT_EQ(out_.CallCount("unprepareHeader"), failure.slot);
    EXPECT_EQ(out_.CallCount("close"), 1);
    EXPECT_EQ(closes_, 1);
    EXPECT_FALSE(closeResult_);  // the controls were already put back by the failed start
    ExpectReleased();
}

std::vector<SetUpFailure> AllSetUpFailures() {
    std::vector<SetUpFailure> failures;
    for (Back back : {Back::AfterBox, Back::WhileBoxIsUp, Back::WhileBoxIsUpClosePending}) {
        for (Step step : {Step::DataBlock, Step::Header, Step::Prepare}) {
            for (int slot = 0; slot < kPlayBuffers; ++slot) {
                failures.push_back(SetUpFailure{slot, step, back});
            }
        }
    }
    return failures;
}

INSTANTIATE_TEST_SUITE_P(EachSlot, PlayerSetUpFailureTest, ::testing::ValuesIn(AllSetUpFailures()),
                         Name);

}  // namespace
