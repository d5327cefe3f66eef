#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/support/test_window.h"

namespace {

class ReadoutTest : public ::testing::Test {
  protected:
    void SetUp() override { state_.dialog = window_.Handle(); }
    void PlaceSlider(int position) {
        SendMessageA(window_.Control(IDC_SLIDER), TBM_SETPOS, TRUE, position);
        ASSERT_EQ(window_.SliderPosition(), position);
    }

    TestWindow window_;
    AppState state_ = {};
};

TEST_F(ReadoutTest, TimeReadsMinutesAndTwoDigitSeconds) {
    const struct {
        DWORD seconds;
        const char* text;
    } cases[] = {{0, "0:00"},     {9, "0:09"},      {10, "0:10"},
                 {61, "1:01"},    {75, "1:15"},     {600, "10:00"},
                 {3599, "59:59"}, {6000, "100:00"}, {2643056, "44050:56"}};
    for (const auto& c : cases) {
        ShowTime(&state_, c.seconds);
        EXPECT_EQ(window_.Text(IDC_TIME_READOUT), c.text) << c.seconds << " s";
    }
    EXPECT_EQ(window_.Text(IDC_SIZE_READOUT), "");  // the other readouts are left alone
}

TEST_F(ReadoutTest, SizeReadsKilobytesUnpadded) {
    ShowSize(&state_, 0);
    EXPECT_EQ(window_.Text(IDC_SIZE_READOUT), "0 K");
    ShowSize(&state_, 1);
    EXPECT_EQ(window_.Text(IDC_SIZE_READOUT), "1 K");
    ShowSize(&state_, 1048576);
    EXPECT_EQ(window_.Text(IDC_SIZE_READOUT), "1048576 K");
    EXPECT_EQ(window_.Text(IDC_TIME_READOUT), "");
}

TEST(SecondsFromBytesTest, DropsTheRemainder) {
    EXPECT_EQ(SecondsFromBytes(0), 0u);
    EXPECT_EQ(SecondsFromBytes(1624), 0u);
    EXPECT_EQ(SecondsFromBytes(1625), 1u);
    EXPECT_EQ(SecondsFromBytes(3249), 1u);
    for (DWORD seconds : {2u, 75u, 3600u, 660000u}) {
        EXPECT_EQ(SecondsFromBytes(seconds * 1625), seconds);
        EXPECT_EQ(SecondsFromBytes(seconds * 1625 - 1), seconds - 1);
    }
    EXPECT_EQ(SecondsFromBytes(0xFFFFFFFF), 2643056u);
}

TEST_F(ReadoutTest, ProgressMovesSliderInThousandthsTruncated) {
    const struct {
        double fraction;
        int position;
    } cases[] = {{0.0, 0}, {0.0015, 1}, {0.5, 500}, {0.9999, 999}, {1.0, 1000}, {0.25, 250}};
    for (const auto& c : cases) {
        ShowProgress(&state_, c.fraction);
        EXPECT_EQ(window_.SliderPosition(), c.position) << c.fraction;
    }
}

TEST_F(ReadoutTest, ProgressLeavesTheSliderTheUserHolds) {
    PlaceSlider(300);
    state_.seeking = true;
    ShowProgress(&state_, 0.8);
    EXPECT_EQ(window_.SliderPosition(), 300);
    state_.seeking = false;
    ShowProgress(&state_, 0.8);
    EXPECT_EQ(window_.SliderPosition(), 800);
}

TEST_F(ReadoutTest, ProgressOutsideZeroToOneStaysOnTheScale) {
    PlaceSlider(500);
    ShowProgress(&state_, 1.7);
    EXPECT_EQ(window_.SliderPosition(), 1000);
    PlaceSlider(500);
    ShowProgress(&state_, 1e10);  // beyond what an int holds
    EXPECT_EQ(window_.SliderPosition(), 1000);
    ShowProgress(&state_, -0.2);
    EXPECT_EQ(window_.SliderPosition(), 0);
    PlaceSlider(500);
    ShowProgress(&state_, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(window_.SliderPosition(), 0);
}

}  // namespace
