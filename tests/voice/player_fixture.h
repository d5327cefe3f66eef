// A player wired as the main window wires it: a real voice file in a temporary folder, the
// scripted output device, heap and message boxes, and a window whose device notifications run
// OnPlayedBlock and OnPlayerClosed.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "res/resource.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_wave.h"
#include "tests/support/test_window.h"
#include "tests/support/utf8.h"
#include "tests/voice/voice_test_files.h"
#include "voice/player.h"
#include "voice/voice_file.h"
#include "voice/wave_device.h"

class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = folder_.File("voice.wav");
        CopyWide(state_.voicePath, path_);
        state_.dialog = window_.Handle();
        g_mainWindow = window_.Handle();
        window_.onWomDone = [this](WAVEHDR* buffer) { OnPlayedBlock(&state_, buffer); };
        window_.onWomClose = [this] {
            ++closes_;
            closeResult_ = OnPlayerClosed(&state_);
        };
    }
    // A box nobody expected is a failure even where the test does not look at the boxes.
    void TearDown() override { EXPECT_EQ(boxes_.Count(), expectedBoxes_) << "message boxes shown"; }

    // A finished recording: the real header, then `dataBytes` bytes of a pattern whose period
    // (251) shares nothing with 130, so every block differs from its neighbours.
    std::vector<BYTE> WriteVoice(DWORD dataBytes) {
        std::vector<BYTE> data = ScriptedWaveIn::PatternBytes(0, dataBytes);
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        WriteVoiceHeader(file);
        CompleteVoiceHeader(file, dataBytes);
        SetFilePointer(file, kHeaderBytes, nullptr, FILE_BEGIN);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, data.data(), dataBytes, &written, nullptr));
        EXPECT_EQ(written, dataBytes);
        CloseHandle(file);
        state_.dataBytes = dataBytes;
        return data;
    }

    // No handle holds the voice file any more.
    bool FileIsFree() const {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(file);
        return true;
    }

    // Plays one buffer and lets the window handle what the device posted.
    void PlayOne() {
        ASSERT_TRUE(out_.PlayNext());
        PumpMessages();
    }

    std::string Time() const { return window_.Text(IDC_TIME_READOUT); }
    std::string Status() const { return window_.Text(IDC_STATUS); }
    int Slider() const { return window_.SliderPosition(); }
    // Where the user leaves the thumb.
    void MoveSlider(int position) {
        SendMessageA(window_.Control(IDC_SLIDER), TBM_SETPOS, TRUE, position);
    }

    // m:ss, written independently of the readout's own formatting.
    static std::string Clock(DWORD seconds) {
        char text[32];
        std::snprintf(text, sizeof(text), "%lu:%02lu", static_cast<unsigned long>(seconds / 60),
                      static_cast<unsigned long>(seconds % 60));
        return text;
    }

    static std::vector<BYTE> Part(const std::vector<BYTE>& bytes, size_t from, size_t count) {
        return std::vector<BYTE>(bytes.begin() + from, bytes.begin() + from + count);
    }
    static std::vector<BYTE> Join(std::vector<BYTE> first, const std::vector<BYTE>& second) {
        first.insert(first.end(), second.begin(), second.end());
        return first;
    }

    // Everything the close handling releases is gone.
    void ExpectReleased() {
        for (int i = 0; i < kSlotCount; ++i) {
            EXPECT_EQ(state_.slots[i], nullptr) << "slot " << i;
        }
        EXPECT_EQ(heap_.LiveBlocks(), 0);
        EXPECT_FALSE(out_.IsOpen());
        EXPECT_EQ(out_.PreparedCount(), 0);
        EXPECT_TRUE(FileIsFree());
    }

    TempFolder folder_;
    ScriptedHeap heap_;
    ScriptedMessageBox boxes_;
    int expectedBoxes_ = 0;
    ScriptedWaveOut out_;
    TestWindow window_;
    AppState state_ = {};
    std::string path_;
    int closes_ = 0;
    bool closeResult_ = false;
};
