// Playback from start to end, the readouts on the way, Stop, Pause and the seek slider.
#include "tests/voice/player_fixture.h"

namespace {

// --- A whole playback ----------------------------------------------------------------------

TEST_F(PlayerTest, PlaysOddNumberOfFramesInOrderAndSendsTheShortLastBlockWholeWithSilence) {
    SetDlgItemTextA(window_.Handle(), IDC_TIME_READOUT, "1:23");
    std::vector<BYTE> data = WriteVoice(65 * 41);  // 20 whole blocks and one frame

    ASSERT_TRUE(StartPlayback(&state_));
    EXPECT_TRUE(state_.playing);
    EXPECT_TRUE(state_.playbackStarted);
    EXPECT_EQ(Time(), "0:00");
    EXPECT_EQ(out_.Window(), window_.Handle());
    EXPECT_EQ(std::memcmp(&out_.Format(), VoiceFormat(), sizeof(GSM610WAVEFORMAT)), 0);
    EXPECT_EQ(out_.QueuedCount(), kPlayBuffers);
    // The priming reads are not counted.
    EXPECT_EQ(state_.playedBytes, 0u);
    EXPECT_EQ(state_.playedBlocks, 0u);

    out_.PlayAndPump();

    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    EXPECT_FALSE(state_.playing);
    // Every buffer went out with 130 bytes, the short last one too.
    ASSERT_EQ(out_.Played().size(), 21u * kBlockBytes);
    EXPECT_EQ(Part(out_.Played(), 0, data.size()), data);
    // What the last read did not fill is silence, not the tail of an earlier block.
    EXPECT_EQ(Part(out_.Played(), data.size(), 65), std::vector<BYTE>(65, 0));
    EXPECT_EQ(out_.CallCount("write"), 21);
    // The refills read everything after the four primed blocks.
    EXPECT_EQ(state_.playedBytes, data.size() - 4 * kBlockBytes);
    EXPECT_EQ(state_.playedBlocks, 17u);
    // The close is attempted once, when the last buffer is back.
    EXPECT_EQ(out_.CallCount("close"), 1);
    ExpectReleased();
    EXPECT_EQ(Time(), "0:01");
    EXPECT_EQ(Slider(), 0);
    EXPECT_EQ(boxes_.Count(), 0);
}

TEST_F(PlayerTest, ShortRecordingPrimesOnlyWhatItHasAndUnpreparesTheRestAtOnce) {
    std::vector<BYTE> data = WriteVoice(200);

    ASSERT_TRUE(StartPlayback(&state_));
    // The third buffer read nothing: it will never be written, so it is unprepared now.
    EXPECT_EQ(out_.CallsText(),
              "open prepareHeader write prepareHeader write prepareHeader unprepareHeader");
    EXPECT_EQ(out_.QueuedCount(), 2);
    EXPECT_NE(state_.slots[2], nullptr);
    EXPECT_EQ(state_.slots[3], nullptr);

    out_.PlayAndPump();

    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    ASSERT_EQ(out_.Played().size(), 2u * kBlockBytes);
    EXPECT_EQ(Part(out_.Played(), 0, 200), data);
    EXPECT_EQ(Part(out_.Played(), 200, 60), std::vector<BYTE>(60, 0));
    ExpectReleased();
    EXPECT_EQ(Time(), "0:00");
}

TEST_F(PlayerTest, RecordingOfExactlyFourBlocksEndsWhenThePrimedBuffersAreBack) {
    std::vector<BYTE> data = WriteVoice(4 * kBlockBytes);

    ASSERT_TRUE(StartPlayback(&state_));
    EXPECT_EQ(out_.CallCount("prepareHeader"), 4);
    for (int i = 0; i < 3; ++i) {
        PlayOne();
        EXPECT_EQ(closes_, 0) << "closed with buffers still out";
        EXPECT_EQ(out_.CallCount("close"), 0);
    }
    PlayOne();

    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    EXPECT_EQ(out_.Played(), data);
    EXPECT_EQ(state_.playedBlocks, 0u);
    ExpectReleased();
}

TEST_F(PlayerTest, RecordingWithNoDataEndsAtOnce) {
    WriteVoice(0);

    ASSERT_TRUE(StartPlayback(&state_));
    EXPECT_EQ(out_.CallsText(), "open prepareHeader unprepareHeader close");
    EXPECT_EQ(closes_, 0);  // the close notification is posted, not handled yet

    PumpMessages();

    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);  // the controls return to Ready
    EXPECT_FALSE(state_.playing);
    EXPECT_EQ(out_.PlayedCount(), 0);
    ExpectReleased();
    EXPECT_EQ(Time(), "0:00");
    EXPECT_EQ(Slider(), 0);
}

// --- Readouts ------------------------------------------------------------------------------

TEST_F(PlayerTest, SliderMovesEveryFifthBlockAndTimeFollowsEachRefill) {
    const DWORD dataBytes = 39 * kBlockBytes;  // 5070 bytes, 3.12 s
    WriteVoice(dataBytes);
    ASSERT_TRUE(StartPlayback(&state_));

    const DWORD refillsWithData = 39 - kPlayBuffers;
    for (DWORD k = 1; k <= refillsWithData; ++k) {
        PlayOne();
        ASSERT_EQ(state_.playedBytes, k * kBlockBytes);
        EXPECT_EQ(state_.playedBlocks, k);
        EXPECT_EQ(Time(), Clock(k * kBlockBytes / 1625)) << "after refill " << k;
        // Truncated thousandths of the length, as of the last fifth block.
        DWORD lastFifth = k / 5 * 5;
        EXPECT_EQ(Slider(), static_cast<int>(lastFifth * kBlockBytes * 1000 / dataBytes))
            << "after refill " << k;
    }
    EXPECT_EQ(Slider(), 897);  // 35 blocks: 4550 of 5070 bytes
    EXPECT_EQ(Time(), "0:02");

    // The primed buffers are still to come back: the readouts stop short of the end.
    for (int i = 0; i < kPlayBuffers - 1; ++i) {
        PlayOne();
        EXPECT_EQ(Time(), "0:02");
        EXPECT_EQ(Slider(), 897);
        EXPECT_EQ(closes_, 0);
    }
    PlayOne();

    // The close handling shows the whole length and puts the slider back.
    EXPECT_EQ(closes_, 1);
    EXPECT_EQ(Time(), "0:03");
    EXPECT_EQ(Slider(), 0);
    EXPECT_EQ(state_.playedBlocks, refillsWithData);
    ExpectReleased();
}

TEST_F(PlayerTest, ProgressStaysAtZeroWhenNoLengthIsKnown) {
    WriteVoice(20 * kBlockBytes);
    state_.dataBytes = 0;  // a file with data but no recorded length
    ASSERT_TRUE(StartPlayback(&state_));
    MoveSlider(0);

    for (int k = 1; k <= 10; ++k) {
        PlayOne();
    }
    EXPECT_EQ(state_.playedBlocks, 10u);
    EXPECT_EQ(Slider(), 0);

    out_.PlayAndPump();
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

// --- Stop and Pause ------------------------------------------------------------------------

TEST_F(PlayerTest, StopDrainsWhatIsQueuedAndClosesWhenTheLastIsBack) {
    std::vector<BYTE> data = WriteVoice(100 * kBlockBytes);
    ASSERT_TRUE(StartPlayback(&state_));
    for (int k = 0; k < 3; ++k) {
        PlayOne();
    }
    out_.ClearCalls();

    StopPlayback(&state_);

    EXPECT_FALSE(state_.playing);
    EXPECT_EQ(out_.QueuedCount(), kPlayBuffers);  // nothing is reset
    EXPECT_EQ(out_.CallsText(), "");
    EXPECT_EQ(out_.PlayAndPump(), kPlayBuffers);

    // Nothing queued again; each buffer unprepared as it returns; one close, after the last.
    EXPECT_EQ(out_.CallsText(),
              "unprepareHeader unprepareHeader unprepareHeader unprepareHeader close");
    EXPECT_EQ(out_.Played(), Part(data, 0, 7 * kBlockBytes));
    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    ExpectReleased();
    EXPECT_EQ(Time(), "0:08");  // 13000 bytes
    EXPECT_EQ(Slider(), 0);
}

TEST_F(PlayerTest, StopUnderWinesCloseStillPlaysEveryQueuedBuffer) {
    // Wine's close succeeds with buffers queued and drops them: the close must wait.
    out_.SetWineClose(true);
    std::vector<BYTE> data = WriteVoice(100 * kBlockBytes);
    ASSERT_TRUE(StartPlayback(&state_));
    PlayOne();

    StopPlayback(&state_);
    EXPECT_EQ(out_.PlayAndPump(), kPlayBuffers);

    EXPECT_EQ(out_.Played(), Part(data, 0, 5 * kBlockBytes));
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerTest, StopWhilePausedRestartsOutputFirst) {
    std::vector<BYTE> data = WriteVoice(100 * kBlockBytes);
    ASSERT_TRUE(StartPlayback(&state_));
    PlayOne();
    // What the Pause command does.
    ASSERT_TRUE(SetPaused(&state_, true));
    EXPECT_EQ(out_.PlayAndPump(), 0);

    StopPlayback(&state_);

    EXPECT_FALSE(state_.paused);
    EXPECT_FALSE(state_.playing);
    EXPECT_FALSE(out_.IsPaused());
    EXPECT_FALSE(state_.devicePaused);  // the window shows "Playing"
    EXPECT_EQ(out_.PlayAndPump(), kPlayBuffers);
    EXPECT_EQ(out_.Played(), Part(data, 0, 5 * kBlockBytes));
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerTest, StopClosesTheIdleDeviceWhoseCloseFailedAtTheEnd) {
    WriteVoice(4 * kBlockBytes);
    out_.FailClose(1);
    ASSERT_TRUE(StartPlayback(&state_));
    EXPECT_EQ(out_.PlayAndPump(), kPlayBuffers);
    // The close made for the last buffer back failed: no buffer is left to try again.
    EXPECT_EQ(out_.CallCount("close"), 1);
    EXPECT_TRUE(out_.IsOpen());
    EXPECT_EQ(closes_, 0);

    StopPlayback(&state_);
    PumpMessages();

    EXPECT_EQ(out_.CallCount("close"), 2);
    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    ExpectReleased();
}

TEST_F(PlayerTest, StopWhilePausedResumesInputWhenARecordingIsActive) {
    ScriptedWaveIn in;
    window_.onWimClose = [] {};
    GSM610WAVEFORMAT format = *VoiceFormat();
    ASSERT_EQ(g_waveIn->open(&state_.waveIn, WAVE_MAPPER, &format.wfx,
                             reinterpret_cast<DWORD_PTR>(window_.Handle()), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    state_.recording = true;
    state_.paused = true;
    state_.devicePaused = true;

    StopPlayback(&state_);

    EXPECT_TRUE(in.IsStarted());
    EXPECT_FALSE(state_.paused);
    EXPECT_FALSE(state_.devicePaused);  // the window shows "Recording"
    EXPECT_EQ(out_.CallsText(), "");
    ASSERT_EQ(g_waveIn->close(state_.waveIn), MMSYSERR_NOERROR);
    PumpMessages();
}

TEST_F(PlayerTest, PauseHoldsTheBuffersAndResumeGoesOnWhereItStopped) {
    std::vector<BYTE> data = WriteVoice(30 * kBlockBytes);
    ASSERT_TRUE(StartPlayback(&state_));
    for (int k = 0; k < 6; ++k) {
        PlayOne();
    }
    std::string timeAtPause = Time();
    int sliderAtPause = Slider();
    ASSERT_EQ(g_waveOut->pause(state_.waveOut), MMSYSERR_NOERROR);

    EXPECT_EQ(out_.PlayAndPump(), 0);
    EXPECT_EQ(state_.playedBytes, 6 * kBlockBytes);
    EXPECT_EQ(Time(), timeAtPause);
    EXPECT_EQ(Slider(), sliderAtPause);

    ASSERT_EQ(g_waveOut->restart(state_.waveOut), MMSYSERR_NOERROR);
    out_.PlayAndPump();

    EXPECT_EQ(out_.Played(), data);
    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    ExpectReleased();
}

// --- Refused writes ------------------------------------------------------------------------

TEST_F(PlayerTest, RefusedPrimingWriteIsUnpreparedAndThePlaybackGoesOn) {
    std::vector<BYTE> data = WriteVoice(12 * kBlockBytes);
    out_.FailQueue(2);

    ASSERT_TRUE(StartPlayback(&state_));
    EXPECT_EQ(out_.QueuedCount(), 3);
    EXPECT_FALSE(out_.IsPrepared(state_.slots[1]));
    out_.PlayAndPump();

    // Block 1 never reached the device; the rest plays in order.
    EXPECT_EQ(out_.Played(),
              Join(Part(data, 0, kBlockBytes), Part(data, 2 * kBlockBytes, 10 * kBlockBytes)));
    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    ExpectReleased();
}

TEST_F(PlayerTest, PlaybackWhosePrimingWritesAreAllRefusedEndsAtOnce) {
    WriteVoice(12 * kBlockBytes);
    for (int k = 1; k <= kPlayBuffers; ++k) {
        out_.FailQueue(k);
    }

    ASSERT_TRUE(StartPlayback(&state_));
    PumpMessages();

    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(closeResult_);
    EXPECT_EQ(out_.PlayedCount(), 0);
    ExpectReleased();
}

TEST_F(PlayerTest, RefusedRefillLeavesTheBufferOffTheDeviceAndTheRestEndNormally) {
    WriteVoice(20 * kBlockBytes);
    out_.FailQueue(6);  // the second refill

    ASSERT_TRUE(StartPlayback(&state_));
    PlayOne();
    PlayOne();
    EXPECT_EQ(out_.QueuedCount(), 3);
    EXPECT_EQ(out_.CallCount("unprepareHeader"), 1);
    out_.PlayAndPump();

    EXPECT_EQ(closes_, 1);
    EXPECT_EQ(out_.CallCount("close"), 1);
    ExpectReleased();
}

// --- Seeking -------------------------------------------------------------------------------

class PlayerSeekTest : public PlayerTest {
  protected:
    // Starts a playback and plays two blocks: blocks 2 to 5 are queued.
    void StartAndPlayTwo(DWORD dataBytes) {
        data_ = WriteVoice(dataBytes);
        ASSERT_TRUE(StartPlayback(&state_));
        PlayOne();
        PlayOne();
    }
    void Release(int position) {
        MoveSlider(position);
        SeekFromTrackbar(&state_, TB_ENDTRACK);
    }
    // What the device played: the six blocks before the seek, then the data from `offset`.
    std::vector<BYTE> PlayedAfterSeekFrom(DWORD offset) const {
        return Join(Part(data_, 0, 6 * kBlockBytes), Part(data_, offset, data_.size() - offset));
    }
    std::vector<BYTE> data_;
};

TEST_F(PlayerSeekTest, ReleaseInTheMiddleMovesToTheBlockBoundaryBelow) {
    StartAndPlayTwo(100 * kBlockBytes);

    Release(333);  // 4329 bytes in: 33 whole blocks

    EXPECT_EQ(state_.playedBytes, 33 * kBlockBytes);
    EXPECT_FALSE(state_.seeking);
    // What is queued plays its old content; the first buffer back reads from the new place.
    PlayOne();
    EXPECT_EQ(Time(), Clock(34 * kBlockBytes / 1625));
    out_.PlayAndPump();
    EXPECT_EQ(out_.Played(), PlayedAfterSeekFrom(33 * kBlockBytes));
    // The block count is not reset by a seek.
    EXPECT_EQ(state_.playedBlocks, 2u + 67u);
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerSeekTest, ReleaseAtZeroPlaysFromTheStartAgain) {
    StartAndPlayTwo(30 * kBlockBytes);

    Release(0);

    EXPECT_EQ(state_.playedBytes, 0u);
    out_.PlayAndPump();
    EXPECT_EQ(out_.Played(), PlayedAfterSeekFrom(0));
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerSeekTest, ReleaseAtTheEndReadsTheRestAfterTheLastWholeBlockThenEnds) {
    StartAndPlayTwo(100 * kBlockBytes + 65);

    Release(1000);

    EXPECT_EQ(state_.playedBytes, 100 * kBlockBytes);
    out_.PlayAndPump();
    // The four queued blocks, then one more holding the last frame, sent whole.
    ASSERT_EQ(out_.Played().size(), 7u * kBlockBytes);
    EXPECT_EQ(Part(out_.Played(), 0, 6 * kBlockBytes + 65), PlayedAfterSeekFrom(100 * kBlockBytes));
    EXPECT_EQ(Part(out_.Played(), 6 * kBlockBytes + 65, 65), std::vector<BYTE>(65, 0));
    EXPECT_EQ(closes_, 1);
    EXPECT_EQ(Time(), "0:08");
    ExpectReleased();
}

TEST_F(PlayerSeekTest, ReleaseAtTheEndOfWholeBlocksEndsWithTheQueuedBuffers) {
    StartAndPlayTwo(100 * kBlockBytes);

    Release(1000);

    EXPECT_EQ(state_.playedBytes, 100 * kBlockBytes);
    EXPECT_EQ(out_.PlayAndPump(), kPlayBuffers);
    EXPECT_EQ(out_.Played(), Part(data_, 0, 6 * kBlockBytes));
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerSeekTest, DraggingMovesNothingUntilTheEndOfTheInteraction) {
    StartAndPlayTwo(100 * kBlockBytes);

    MoveSlider(500);
    SeekFromTrackbar(&state_, TB_THUMBTRACK);
    EXPECT_TRUE(state_.seeking);
    for (int k = 0; k < 10; ++k) {
        PlayOne();
    }
    // The playback went on in order, and the slider stayed under the user's hand.
    EXPECT_EQ(state_.playedBytes, 12 * kBlockBytes);
    EXPECT_EQ(Slider(), 500);
    EXPECT_EQ(out_.Played(), Part(data_, 0, 12 * kBlockBytes));

    SeekFromTrackbar(&state_, TB_THUMBTRACK);
    EXPECT_EQ(state_.playedBytes, 12 * kBlockBytes);
    SeekFromTrackbar(&state_, TB_ENDTRACK);

    EXPECT_FALSE(state_.seeking);
    EXPECT_EQ(state_.playedBytes, 50 * kBlockBytes);
    out_.PlayAndPump();
    EXPECT_EQ(out_.Played(), Join(Part(data_, 0, 16 * kBlockBytes),
                                  Part(data_, 50 * kBlockBytes, 50 * kBlockBytes)));
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerSeekTest, PageStepsMoveOnlyWhenTheInteractionEnds) {
    StartAndPlayTwo(100 * kBlockBytes);

    MoveSlider(250);
    SeekFromTrackbar(&state_, TB_PAGEDOWN);
    EXPECT_TRUE(state_.seeking);
    EXPECT_EQ(state_.playedBytes, 2 * kBlockBytes);
    SeekFromTrackbar(&state_, TB_ENDTRACK);

    EXPECT_FALSE(state_.seeking);
    EXPECT_EQ(state_.playedBytes, 25 * kBlockBytes);
    out_.PlayAndPump();
    EXPECT_EQ(out_.Played(), PlayedAfterSeekFrom(25 * kBlockBytes));
    ExpectReleased();
}

TEST_F(PlayerSeekTest, ReleaseWhileDrainingMovesNothing) {
    StartAndPlayTwo(100 * kBlockBytes);
    StopPlayback(&state_);

    Release(500);

    EXPECT_EQ(state_.playedBytes, 2 * kBlockBytes);
    EXPECT_EQ(out_.PlayAndPump(), kPlayBuffers);
    EXPECT_EQ(out_.Played(), Part(data_, 0, 6 * kBlockBytes));
    EXPECT_EQ(closes_, 1);
    ExpectReleased();
}

TEST_F(PlayerSeekTest, DraggingWhileThePlaybackEndsKeepsTheSliderUntilTheNextStart) {
    StartAndPlayTwo(13 * kBlockBytes);

    MoveSlider(700);
    SeekFromTrackbar(&state_, TB_THUMBTRACK);
    out_.PlayAndPump();

    EXPECT_EQ(closes_, 1);
    EXPECT_TRUE(state_.seeking);
    EXPECT_EQ(Slider(), 700);
    EXPECT_EQ(Time(), "0:01");  // the whole 1690 bytes, not a reset to 0:00
    ExpectReleased();

    // The next playback clears it, and the slider follows again.
    ASSERT_TRUE(StartPlayback(&state_));
    EXPECT_FALSE(state_.seeking);
    for (int k = 0; k < 5; ++k) {
        PlayOne();
    }
    EXPECT_EQ(Slider(), 384);  // 650 of 1690 bytes
    out_.PlayAndPump();
    EXPECT_EQ(closes_, 2);
    EXPECT_EQ(Slider(), 0);
    ExpectReleased();
}

}  // namespace
