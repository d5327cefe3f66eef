#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <oleacc.h>

#include <cmath>
#include <limits>
#include <string>

#include "app/app_state.h"
#include "app/spoken_readouts.h"
#include "res/resource.h"
#include "tests/support/scripted_annotation.h"
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

// The one call recorded: a string property of a control, with its text.
void ExpectOnlyString(const ScriptedAnnotation& scripted, HWND control, const GUID& property,
                      const std::wstring& text) {
    ASSERT_EQ(scripted.Calls().size(), 1u);
    const AnnotationRecord& call = scripted.Calls()[0];
    EXPECT_EQ(call.kind, AnnotationRecord::kSetPropString);
    EXPECT_EQ(call.window, control);
    ASSERT_EQ(call.properties.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(call.properties[0], property)) << GuidText(call.properties[0]);
    EXPECT_EQ(call.text, text);
}

// What a screen reader reads as the slider's value: where it stands in the recording's length,
// at the time played while a playback runs and at the start otherwise (the slider is there).
TEST_F(ReadoutTest, SliderReadsAsTheTimeItStandsAtInTheLength) {
    ScriptedAnnotation scripted;
    const struct {
        DWORD dataBytes;
        bool playing;
        DWORD seconds;
        const wchar_t* value;
    } cases[] = {
        {12 * kBytesPerSecond + 100, true, 5, L"0:05 of 0:12"},
        {12 * kBytesPerSecond, true, 12, L"0:12 of 0:12"},
        {12 * kBytesPerSecond, false, 12, L"0:00 of 0:12"},  // a recording or a stop shows it
        {600 * kBytesPerSecond, true, 75, L"1:15 of 10:00"},
        {0, false, 0, L"0:00 of 0:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " s, playing " << c.playing);
        state_.dataBytes = c.dataBytes;
        state_.playing = c.playing;
        scripted.Forget();
        ShowTime(&state_, c.seconds);
        ExpectOnlyString(scripted, window_.Control(IDC_SLIDER), PROPID_ACC_VALUE, c.value);
    }
}

// The meter's 0 to 60 are -60 to 0 dBFS; anything outside is held to its ends.
TEST_F(ReadoutTest, MeterReadsInDecibels) {
    ScriptedAnnotation scripted;
    const struct {
        int position;
        const wchar_t* value;
    } cases[] = {{0, L"-60 dB"}, {48, L"-12 dB"}, {60, L"0 dB"}, {-5, L"-60 dB"}, {99, L"0 dB"}};
    for (const auto& c : cases) {
        scripted.Forget();
        AnnotateInputLevel(window_.Handle(), c.position);
        ExpectOnlyString(scripted, window_.Control(IDC_LEVEL_METER), PROPID_ACC_VALUE, c.value);
    }
}

// Named once and cleared as the window goes: the slider and the meter by name, the status line
// as a polite live region.
TEST_F(ReadoutTest, ReadoutsAreNamedAndClearedAgain) {
    ScriptedAnnotation scripted;
    AnnotateReadouts(window_.Handle());
    ASSERT_EQ(scripted.Calls().size(), 3u);
    const AnnotationRecord& slider = scripted.Calls()[0];
    const AnnotationRecord& meter = scripted.Calls()[1];
    const AnnotationRecord& status = scripted.Calls()[2];
    EXPECT_EQ(slider.window, window_.Control(IDC_SLIDER));
    EXPECT_TRUE(IsEqualGUID(slider.properties[0], PROPID_ACC_NAME));
    EXPECT_EQ(slider.text, L"Position");
    EXPECT_EQ(meter.window, window_.Control(IDC_LEVEL_METER));
    EXPECT_TRUE(IsEqualGUID(meter.properties[0], PROPID_ACC_NAME));
    EXPECT_EQ(meter.text, L"Input level");
    EXPECT_EQ(status.window, window_.Control(IDC_STATUS));
    EXPECT_EQ(status.kind, AnnotationRecord::kSetProp);
    EXPECT_EQ(status.number, 1);  // polite

    scripted.Forget();
    ClearReadoutAnnotations(window_.Handle());
    for (int control : {IDC_SLIDER, IDC_LEVEL_METER, IDC_STATUS}) {
        int clears = 0;
        for (const AnnotationRecord& call : scripted.Calls()) {
            clears += call.kind == AnnotationRecord::kClearProps &&
                      call.window == window_.Control(control);
        }
        EXPECT_EQ(clears, 5) << "control " << control;  // each property the program annotates
    }
}

}  // namespace
