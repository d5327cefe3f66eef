// The level meter's scale through the real codec: known sines encoded to GSM 6.10 and fed to
// the meter block by block, as the recorder does.
#include "voice/level_meter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/gsm_sound.h"

namespace {

class LevelMeterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(&meter_, 0, sizeof meter_);
        ResetLevelMeter(&meter_);
    }
    void TearDown() override { CloseLevelMeter(&meter_); }

    // Feeds the sound in device blocks (all, or the first `blocks`); false if one did not
    // decode.
    bool Feed(const std::vector<BYTE>& gsm, size_t blocks = 0) {
        const size_t end = blocks != 0 ? blocks * kBlockBytes : gsm.size();
        for (size_t at = 0; at + kBlockBytes <= end; at += kBlockBytes) {
            if (!MeasureBlock(&meter_, gsm.data() + at, kBlockBytes)) {
                return false;
            }
        }
        return true;
    }

    LevelMeter meter_;
};

TEST_F(LevelMeterTest, FullScaleAndMinus40DbfsSinesReadAsTheirLevels) {
    const std::vector<BYTE> full = EncodeGsm(SinePcm(32767, 1.0));
    const std::vector<BYTE> minus40 = EncodeGsm(SinePcm(327.67, 1.0));
    const std::vector<BYTE> silence = EncodeGsm(SinePcm(0, 3.0));
    ASSERT_FALSE(full.empty());

    ASSERT_TRUE(Feed(minus40));
    EXPECT_NEAR(MeterPosition(&meter_), 20, 1);
    EXPECT_FALSE(MicrophoneSilent(&meter_));

    ASSERT_TRUE(Feed(full));
    EXPECT_NEAR(MeterPosition(&meter_), kMeterRange, 1);

    // After the sound ends the meter falls by about 20 dB a second (a block is 80 ms), not at
    // once.
    ASSERT_TRUE(Feed(silence, 13));
    EXPECT_NEAR(MeterPosition(&meter_), kMeterRange - 20, 2);
    EXPECT_FALSE(MicrophoneSilent(&meter_));
    // Three seconds with nothing above -60 dBFS: the meter at 0 and no sound.
    ASSERT_TRUE(Feed(silence, 24));
    EXPECT_LE(MeterPosition(&meter_), 1);
    EXPECT_FALSE(MicrophoneSilent(&meter_)) << "silent after 2.96 s";
    // The codec's first block after the sine still holds its tail.
    ASSERT_TRUE(Feed(silence, 2));
    EXPECT_EQ(MeterPosition(&meter_), 0);
    EXPECT_TRUE(MicrophoneSilent(&meter_));

    // Whole frames only: a part of one decodes nothing and changes nothing.
    EXPECT_FALSE(MeasureBlock(&meter_, full.data(), 64));
    EXPECT_TRUE(MicrophoneSilent(&meter_));
    // One loud frame ends the silence.
    EXPECT_TRUE(MeasureBlock(&meter_, full.data() + 650, 65));
    EXPECT_FALSE(MicrophoneSilent(&meter_));
    EXPECT_GT(MeterPosition(&meter_), 30);

    // The scale itself, at its ends.
    const short loudest[] = {0, -32768, 5};
    const short quietest[] = {32, -32, 0};
    const short justAbove[] = {33};
    EXPECT_DOUBLE_EQ(PeakLevel(loudest, 3), kMeterRange);
    EXPECT_DOUBLE_EQ(PeakLevel(quietest, 3), 0.0);
    EXPECT_GT(PeakLevel(justAbove, 1), 0.0);
}

}  // namespace
