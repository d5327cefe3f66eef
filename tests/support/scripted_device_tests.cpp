// The scripted devices must keep the contracts the recorder and player rely on, and must catch
// misuse; otherwise engine tests pass against a device that behaves like no real one.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/heap.h"
#include "base/message_box.h"
#include "res/resource.h"
#include "tests/support/file_bytes.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_disk.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_timers.h"
#include "tests/support/scripted_wave.h"
#include "tests/support/test_window.h"
#include "tests/support/utf8.h"
#include "voice/wave_api.h"

namespace {

GSM610WAVEFORMAT GsmFormat() {
    GSM610WAVEFORMAT format = {};
    format.wfx.wFormatTag = WAVE_FORMAT_GSM610;
    format.wfx.nChannels = 1;
    format.wfx.nSamplesPerSec = 8000;
    format.wfx.nAvgBytesPerSec = 1625;
    format.wfx.nBlockAlign = 65;
    format.wfx.wBitsPerSample = 0;
    format.wfx.cbSize = 2;
    format.wSamplesPerBlock = 320;
    return format;
}

// A wave header and its 130-byte block, as the program sets them up.
struct Buffer {
    Buffer() : data(130) {
        header.lpData = reinterpret_cast<LPSTR>(data.data());
        header.dwBufferLength = 130;
    }
    WAVEHDR header = {};
    std::vector<BYTE> data;
};

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

// Opens the input device on `window` and prepares and queues `count` buffers.
HWAVEIN OpenInput(const TestWindow& window, std::vector<Buffer>& buffers) {
    GSM610WAVEFORMAT format = GsmFormat();
    HWAVEIN in = nullptr;
    EXPECT_EQ(g_waveIn->open(&in, WAVE_MAPPER, &format.wfx,
                             reinterpret_cast<DWORD_PTR>(window.Handle()), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    for (Buffer& buffer : buffers) {
        EXPECT_EQ(g_waveIn->prepareHeader(in, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
        EXPECT_EQ(g_waveIn->addBuffer(in, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    }
    return in;
}

HWAVEOUT OpenOutput(const TestWindow& window) {
    GSM610WAVEFORMAT format = GsmFormat();
    HWAVEOUT out = nullptr;
    EXPECT_EQ(g_waveOut->open(&out, WAVE_MAPPER, &format.wfx,
                              reinterpret_cast<DWORD_PTR>(window.Handle()), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    return out;
}

// Unprepares every buffer (none may be queued) and closes the input device.
void CloseInput(HWAVEIN in, std::vector<Buffer>& buffers) {
    for (Buffer& buffer : buffers) {
        EXPECT_EQ(g_waveIn->unprepareHeader(in, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(g_waveIn->close(in), MMSYSERR_NOERROR);
}

// Records what came back: the headers in order and their byte counts.
struct Returns {
    explicit Returns(TestWindow& window) {
        window.onWimData = [this](WAVEHDR* header) { Add(header); };
        window.onWomDone = [this](WAVEHDR* header) { Add(header); };
        window.onWimClose = [this] { ++closes; };
        window.onWomClose = [this] { ++closes; };
    }
    void Add(WAVEHDR* header) {
        EXPECT_TRUE(header->dwFlags & WHDR_DONE);
        EXPECT_FALSE(header->dwFlags & WHDR_INQUEUE);
        headers.push_back(header);
        bytes.push_back(header->dwBytesRecorded);
    }
    std::vector<WAVEHDR*> headers;
    std::vector<DWORD> bytes;
    int closes = 0;
};

TEST(ScriptedWaveIn, OpensOnTheMapperRecordingFormatAndPostingOpen) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveIn device;
    std::vector<Buffer> buffers;
    HWAVEIN in = OpenInput(window, buffers);
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(device.Format().wfx.wFormatTag, WAVE_FORMAT_GSM610);
    EXPECT_EQ(device.Format().wfx.cbSize, 2);
    EXPECT_EQ(device.Format().wSamplesPerBlock, 320);
    EXPECT_EQ(device.Window(), window.Handle());
    PumpMessages();
    EXPECT_EQ(window.MessageCount(MM_WIM_OPEN), 1);
    EXPECT_EQ(g_waveIn->close(in), MMSYSERR_NOERROR);
    PumpMessages();
    EXPECT_EQ(returns.closes, 1);
    EXPECT_FALSE(device.IsOpen());
}

TEST(ScriptedWaveIn, FillsBuffersInQueueOrderWithTheRunningPattern) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveIn device;
    std::vector<Buffer> buffers(3);
    HWAVEIN in = OpenInput(window, buffers);
    EXPECT_EQ(device.Deliver(100), 0u) << "nothing is captured before the start";
    ASSERT_EQ(g_waveIn->start(in), MMSYSERR_NOERROR);
    EXPECT_EQ(device.Deliver(300), 300u);
    EXPECT_TRUE(returns.headers.empty()) << "notifications are posted, not sent";
    PumpMessages();
    ASSERT_EQ(returns.headers.size(), 2u);
    EXPECT_EQ(returns.headers[0], &buffers[0].header);
    EXPECT_EQ(returns.headers[1], &buffers[1].header);
    EXPECT_EQ(returns.bytes, (std::vector<DWORD>{130, 130}));
    EXPECT_EQ(buffers[0].data, ScriptedWaveIn::PatternBytes(0, 130));
    EXPECT_EQ(buffers[1].data, ScriptedWaveIn::PatternBytes(130, 130));
    EXPECT_EQ(device.Queued(), (std::vector<WAVEHDR*>{&buffers[2].header}));
    EXPECT_EQ(buffers[2].header.dwBytesRecorded, 40u);

    // A stop hands back the partly filled buffer with the bytes it holds.
    EXPECT_EQ(g_waveIn->stop(in), MMSYSERR_NOERROR);
    PumpMessages();
    ASSERT_EQ(returns.headers.size(), 3u);
    EXPECT_EQ(returns.bytes[2], 40u);
    EXPECT_EQ(device.Deliver(130), 0u) << "nothing is captured while stopped";
    CloseInput(in, buffers);
}

TEST(ScriptedWaveIn, StopKeepsEmptyBuffersQueuedAndWineKeepsAnEmptyHead) {
    for (bool wine : {false, true}) {
        SCOPED_TRACE(wine ? "Wine stop" : "Windows stop");
        TestWindow window;
        Returns returns(window);
        ScriptedWaveIn device;
        device.SetWineStop(wine);
        std::vector<Buffer> buffers(3);
        HWAVEIN in = OpenInput(window, buffers);
        ASSERT_EQ(g_waveIn->start(in), MMSYSERR_NOERROR);
        EXPECT_EQ(g_waveIn->stop(in), MMSYSERR_NOERROR);
        PumpMessages();
        EXPECT_EQ(returns.headers.size(), wine ? 0u : 1u);
        EXPECT_EQ(device.QueuedCount(), wine ? 3 : 2);
        EXPECT_EQ(g_waveIn->reset(in), MMSYSERR_NOERROR);
        PumpMessages();
        CloseInput(in, buffers);
    }
}

TEST(ScriptedWaveIn, ResetHandsBackEveryBufferInQueueOrderWithItsBytes) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveIn device;
    std::vector<Buffer> buffers(4);
    HWAVEIN in = OpenInput(window, buffers);
    ASSERT_EQ(g_waveIn->start(in), MMSYSERR_NOERROR);
    device.Deliver(65);
    EXPECT_EQ(g_waveIn->reset(in), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.IsStarted());
    PumpMessages();
    ASSERT_EQ(returns.headers.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(returns.headers[i], &buffers[i].header);
    }
    EXPECT_EQ(returns.bytes, (std::vector<DWORD>{65, 0, 0, 0}));
    CloseInput(in, buffers);
}

TEST(ScriptedWaveIn, CloseFailsWhileABufferIsQueuedAndOnlySuccessPostsClose) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveIn device;
    std::vector<Buffer> buffers(2);
    HWAVEIN in = OpenInput(window, buffers);
    ASSERT_EQ(g_waveIn->start(in), MMSYSERR_NOERROR);
    device.Deliver(130);
    PumpMessages();
    EXPECT_EQ(g_waveIn->unprepareHeader(in, &buffers[0].header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(g_waveIn->close(in), WAVERR_STILLPLAYING);
    PumpMessages();
    EXPECT_EQ(returns.closes, 0);
    EXPECT_TRUE(device.IsOpen());
    device.Deliver(130);
    PumpMessages();
    EXPECT_EQ(g_waveIn->unprepareHeader(in, &buffers[1].header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(g_waveIn->close(in), MMSYSERR_NOERROR);
    PumpMessages();
    EXPECT_EQ(returns.closes, 1);
    EXPECT_EQ(device.CallsText(),
              "open prepareHeader addBuffer prepareHeader addBuffer start unprepareHeader close "
              "unprepareHeader close");
}

TEST(ScriptedWaveIn, HeldNotificationsArriveInOrderOnlyWhenDispatched) {
    TestWindow window;
    ScriptedWaveIn device;
    device.HoldNotifications(true);
    std::vector<Buffer> buffers(2);
    HWAVEIN in = OpenInput(window, buffers);
    std::vector<WAVEHDR*> returned;
    window.onWimData = [&](WAVEHDR* header) {
        returned.push_back(header);
        g_waveIn->addBuffer(in, header, kHeaderSize);
    };
    ASSERT_EQ(g_waveIn->start(in), MMSYSERR_NOERROR);
    EXPECT_EQ(device.Deliver(5 * 130), 2u * 130u) << "two buffers, none queued again yet";
    PumpMessages();
    EXPECT_TRUE(returned.empty());
    EXPECT_EQ(device.HeldCount(), 3) << "the open and two buffers";
    EXPECT_EQ(device.DoneDispatched(), 0);
    EXPECT_EQ(device.DispatchHeld(), 3);
    EXPECT_EQ(device.DoneDispatched(), 2);
    EXPECT_EQ(returned, (std::vector<WAVEHDR*>{&buffers[0].header, &buffers[1].header}));
    EXPECT_EQ(device.QueuedCount(), 2);
    window.onWimData = [](WAVEHDR*) {};
    window.onWimClose = [] {};
    g_waveIn->reset(in);
    EXPECT_EQ(device.DispatchHeld(), 2);
    CloseInput(in, buffers);
    EXPECT_EQ(window.MessageCount(MM_WIM_CLOSE), 0);
    EXPECT_EQ(device.DispatchHeld(), 1);
    EXPECT_EQ(window.MessageCount(MM_WIM_CLOSE), 1);
}

TEST(ScriptedWaveIn, DeliverAndPumpLetsTheProgramRequeue) {
    TestWindow window;
    ScriptedWaveIn device;
    std::vector<Buffer> buffers(2);
    HWAVEIN in = OpenInput(window, buffers);
    std::vector<BYTE> file;
    window.onWimData = [&](WAVEHDR* header) {
        file.insert(file.end(), header->lpData, header->lpData + header->dwBytesRecorded);
        g_waveIn->addBuffer(in, header, kHeaderSize);
    };
    ASSERT_EQ(g_waveIn->start(in), MMSYSERR_NOERROR);
    EXPECT_EQ(device.DeliverAndPump(10 * 130 + 7), 10u * 130u + 7u);
    EXPECT_EQ(file, ScriptedWaveIn::PatternBytes(0, 10 * 130));
    EXPECT_EQ(device.TimesQueued(&buffers[0].header), 6);
    window.onWimData = [](WAVEHDR*) {};
    g_waveIn->reset(in);
    PumpMessages();
    CloseInput(in, buffers);
}

TEST(ScriptedWaveIn, InjectedFailuresReturnTheirResults) {
    TestWindow window;
    ScriptedWaveIn device;
    GSM610WAVEFORMAT format = GsmFormat();
    HWAVEIN in = nullptr;
    auto open = [&] {
        return g_waveIn->open(&in, WAVE_MAPPER, &format.wfx,
                              reinterpret_cast<DWORD_PTR>(window.Handle()), 0, CALLBACK_WINDOW);
    };
    device.FailOpen(MMSYSERR_ALLOCATED);
    EXPECT_EQ(open(), MMSYSERR_ALLOCATED);
    EXPECT_FALSE(device.IsOpen());
    device.FailOpen(MMSYSERR_NOERROR);
    ASSERT_EQ(open(), MMSYSERR_NOERROR);
    EXPECT_EQ(device.OpenCount(), 2);

    device.FailPrepare(2);
    device.FailStart(MMSYSERR_NODRIVER);
    Buffer first, second;
    EXPECT_EQ(g_waveIn->prepareHeader(in, &first.header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(g_waveIn->prepareHeader(in, &second.header, kHeaderSize), MMSYSERR_NOMEM);
    EXPECT_FALSE(second.header.dwFlags & WHDR_PREPARED);
    EXPECT_FALSE(device.IsPrepared(&second.header));
    EXPECT_EQ(g_waveIn->start(in), MMSYSERR_NODRIVER);
    EXPECT_FALSE(device.IsStarted());
    EXPECT_EQ(g_waveIn->unprepareHeader(in, &first.header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(g_waveIn->close(in), MMSYSERR_NOERROR);
}

TEST(ScriptedWaveIn, MisuseFailsTheTest) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveIn device;
    std::vector<Buffer> buffers(1);
    HWAVEIN in = OpenInput(window, buffers);
    Buffer unprepared;
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(g_waveIn->addBuffer(in, &unprepared.header, kHeaderSize), WAVERR_UNPREPARED),
        "is not prepared");
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(g_waveIn->addBuffer(in, &buffers[0].header, kHeaderSize), WAVERR_STILLPLAYING),
        "already queued");
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(g_waveIn->unprepareHeader(in, &buffers[0].header, kHeaderSize),
                  WAVERR_STILLPLAYING),
        "still queued");
    EXPECT_NONFATAL_FAILURE(g_waveIn->prepareHeader(in, &buffers[0].header, kHeaderSize),
                            "already prepared");
    Buffer shortBuffer;
    shortBuffer.header.dwBufferLength = 65;
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(g_waveIn->prepareHeader(in, &shortBuffer.header, kHeaderSize),
                                      MMSYSERR_INVALPARAM),
                            "dwBufferLength 65");
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(g_waveIn->start(reinterpret_cast<HWAVEIN>(0x1234)), MMSYSERR_INVALHANDLE),
        "unknown device handle");
    g_waveIn->reset(in);
    PumpMessages();
    CloseInput(in, buffers);
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(g_waveIn->close(in), MMSYSERR_INVALHANDLE),
                            "used after it was closed");
    EXPECT_NONFATAL_FAILURE(g_waveIn->unprepareHeader(in, &buffers[0].header, kHeaderSize),
                            "used after it was closed");
}

TEST(ScriptedWaveIn, ClosingWithAPreparedBufferOrLeavingItOpenFailsTheTest) {
    TestWindow window;
    Returns returns(window);
    {
        ScriptedWaveIn device;
        std::vector<Buffer> buffers(1);
        HWAVEIN in = OpenInput(window, buffers);
        g_waveIn->reset(in);
        PumpMessages();
        EXPECT_NONFATAL_FAILURE(EXPECT_EQ(g_waveIn->close(in), MMSYSERR_NOERROR), "still prepared");
    }
    std::vector<Buffer> buffers(1);
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedWaveIn device;
            OpenInput(window, buffers);
        },
        "left open");
}

TEST(ScriptedWaveIn, WineCloseDropsQueuedBuffersAndFailsTheTest) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveIn device;
    device.SetWineClose(true);
    std::vector<Buffer> buffers(2);
    HWAVEIN in = OpenInput(window, buffers);
    EXPECT_NONFATAL_FAILURE(EXPECT_EQ(g_waveIn->close(in), MMSYSERR_NOERROR), "data is lost");
    PumpMessages();
    EXPECT_EQ(returns.closes, 1);
    EXPECT_TRUE(returns.headers.empty()) << "dropped buffers never come back";
    EXPECT_EQ(device.PreparedCount(), 0);
}

TEST(ScriptedWaveOut, PlaysInWriteOrderAndPauseHoldsTheBuffers) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveOut device;
    HWAVEOUT out = OpenOutput(window);
    std::vector<Buffer> buffers(3);
    for (int i = 0; i < 3; ++i) {
        buffers[i].data.assign(130, static_cast<BYTE>(i + 1));
        ASSERT_EQ(g_waveOut->prepareHeader(out, &buffers[i].header, kHeaderSize), MMSYSERR_NOERROR);
        ASSERT_EQ(g_waveOut->write(out, &buffers[i].header, kHeaderSize), MMSYSERR_NOERROR);
    }
    EXPECT_TRUE(device.PlayNext());
    EXPECT_EQ(g_waveOut->pause(out), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.PlayNext());
    EXPECT_EQ(device.PlayAll(), 0);
    EXPECT_EQ(g_waveOut->close(out), WAVERR_STILLPLAYING);
    EXPECT_EQ(g_waveOut->restart(out), MMSYSERR_NOERROR);
    EXPECT_EQ(device.PlayAll(), 2);
    PumpMessages();
    ASSERT_EQ(returns.headers.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(returns.headers[i], &buffers[i].header);
    }
    std::vector<BYTE> expected;
    for (int i = 0; i < 3; ++i) {
        expected.insert(expected.end(), 130, static_cast<BYTE>(i + 1));
    }
    EXPECT_EQ(device.Played(), expected);
    EXPECT_EQ(returns.closes, 0);
    for (Buffer& buffer : buffers) {
        EXPECT_EQ(g_waveOut->unprepareHeader(out, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(g_waveOut->close(out), MMSYSERR_NOERROR);
    PumpMessages();
    EXPECT_EQ(returns.closes, 1);
}

TEST(ScriptedWaveOut, InjectedCloseFailureKeepsTheDeviceOpenAndPostsNothing) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveOut device;
    HWAVEOUT out = OpenOutput(window);
    device.FailClose(1, MMSYSERR_NOMEM);
    EXPECT_EQ(g_waveOut->close(out), MMSYSERR_NOMEM);
    PumpMessages();
    EXPECT_TRUE(device.IsOpen());
    EXPECT_EQ(returns.closes, 0);
    EXPECT_EQ(g_waveOut->close(out), MMSYSERR_NOERROR);
    PumpMessages();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(returns.closes, 1);
}

TEST(ScriptedWaveOut, ResetHandsBackEveryQueuedBufferAndEndsThePause) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveOut device;
    HWAVEOUT out = OpenOutput(window);
    std::vector<Buffer> buffers(2);
    for (Buffer& buffer : buffers) {
        ASSERT_EQ(g_waveOut->prepareHeader(out, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
        ASSERT_EQ(g_waveOut->write(out, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    }
    g_waveOut->pause(out);
    EXPECT_EQ(g_waveOut->reset(out), MMSYSERR_NOERROR);
    EXPECT_FALSE(device.IsPaused());
    EXPECT_EQ(device.QueuedCount(), 0);
    EXPECT_EQ(device.PlayedCount(), 0) << "handed back unplayed";
    PumpMessages();
    EXPECT_EQ(returns.headers, (std::vector<WAVEHDR*>{&buffers[0].header, &buffers[1].header}));
    for (Buffer& buffer : buffers) {
        EXPECT_NE(buffer.header.dwFlags & WHDR_DONE, 0u);
        g_waveOut->unprepareHeader(out, &buffer.header, kHeaderSize);
    }
    g_waveOut->close(out);
    PumpMessages();
}

TEST(ScriptedWaveOut, WritingAShortenedOrUnpreparedBufferFailsTheTest) {
    TestWindow window;
    Returns returns(window);
    ScriptedWaveOut device;
    HWAVEOUT out = OpenOutput(window);
    Buffer buffer;
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(g_waveOut->write(out, &buffer.header, kHeaderSize), WAVERR_UNPREPARED),
        "is not prepared");
    ASSERT_EQ(g_waveOut->prepareHeader(out, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    buffer.header.dwBufferLength = 65;
    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(g_waveOut->write(out, &buffer.header, kHeaderSize), MMSYSERR_INVALPARAM),
        "dwBufferLength 65");
    EXPECT_EQ(device.QueuedCount(), 0);
    buffer.header.dwBufferLength = 130;
    EXPECT_EQ(g_waveOut->unprepareHeader(out, &buffer.header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_EQ(g_waveOut->close(out), MMSYSERR_NOERROR);
    PumpMessages();
}

TEST(ScriptedTimers, FireInDeviceTimeRepeatUntilKilledAndRestartWhenSetAgain) {
    TestWindow window;
    ScriptedTimers timers;
    HWND w = window.Handle();
    EXPECT_EQ(g_setTimer(w, 7, 100, nullptr), 7u);
    timers.Advance(99);
    EXPECT_EQ(window.MessageCount(WM_TIMER), 0);
    timers.Advance(1);
    EXPECT_EQ(window.MessageCount(WM_TIMER), 1);
    timers.Advance(250);
    EXPECT_EQ(window.MessageCount(WM_TIMER), 3);
    g_setTimer(w, 7, 1000, nullptr);  // starts again from now
    timers.Advance(999);
    EXPECT_EQ(window.MessageCount(WM_TIMER), 3);
    EXPECT_EQ(timers.Interval(w, 7), 1000u);
    EXPECT_TRUE(g_killTimer(w, 7));
    EXPECT_FALSE(g_killTimer(w, 7));
    timers.Advance(5000);
    EXPECT_EQ(window.MessageCount(WM_TIMER), 3);
    EXPECT_EQ(timers.Now(), 6349u);
    EXPECT_NONFATAL_FAILURE(g_setTimer(nullptr, 1, 10, nullptr), "live window");
}

TEST(ScriptedHeap, CountsFailsTheKthAllocationAndFindsLeaks) {
    ScriptedHeap heap;
    heap.FailAllocation(2);
    void* first = AllocateBlock(130);
    void* second = AllocateBlock(130);
    void* third = AllocateBlock(32);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(heap.Allocations(), 3);
    FreeBlock(first);
    EXPECT_EQ(heap.LiveBlocks(), 1);
    EXPECT_TRUE(heap.IsLive(third));
    EXPECT_NONFATAL_FAILURE(FreeBlock(first), "did not hand out");
    FreeBlock(third);
    EXPECT_EQ(heap.Frees(), 2);
    EXPECT_EQ(heap.LiveBlocks(), 0);
}

TEST(ScriptedHeap, FreeingABufferTheDeviceHoldsFailsTheTest) {
    TestWindow window;
    Returns returns(window);
    ScriptedHeap heap;
    ScriptedWaveIn device;
    GSM610WAVEFORMAT format = GsmFormat();
    HWAVEIN in = nullptr;
    ASSERT_EQ(g_waveIn->open(&in, WAVE_MAPPER, &format.wfx,
                             reinterpret_cast<DWORD_PTR>(window.Handle()), 0, CALLBACK_WINDOW),
              MMSYSERR_NOERROR);
    WAVEHDR* header = static_cast<WAVEHDR*>(AllocateBlock(sizeof(WAVEHDR)));
    *header = WAVEHDR{};
    header->lpData = static_cast<LPSTR>(AllocateBlock(130));
    header->dwBufferLength = 130;
    ASSERT_EQ(g_waveIn->prepareHeader(in, header, kHeaderSize), MMSYSERR_NOERROR);
    ASSERT_EQ(g_waveIn->addBuffer(in, header, kHeaderSize), MMSYSERR_NOERROR);
    EXPECT_NONFATAL_FAILURE(FreeBlock(header->lpData), "input device still holds");
    g_waveIn->reset(in);
    PumpMessages();
    g_waveIn->unprepareHeader(in, header, kHeaderSize);
    FreeBlock(header);
    g_waveIn->close(in);
    PumpMessages();
}

TEST(ScriptedMessageBox, RecordsEachBoxAndRunsTheCallbackWhileItIsUp) {
    TestWindow window;
    ScriptedMessageBox boxes;
    int shownWhileUp = 0;
    boxes.whileUp = [&](const MessageBoxRecord& box) {
        EXPECT_EQ(box.text, "waveInOpen() failed");
        PumpMessages();
        shownWhileUp = boxes.Count();
    };
    EXPECT_EQ(ShowMessageBox(nullptr, L"waveInOpen() failed", L"Error", MB_OK), IDOK);
    EXPECT_EQ(shownWhileUp, 1);
    boxes.whileUp = nullptr;
    EXPECT_EQ(ShowMessageBox(window.Handle(), L"Failed to create temporary file", nullptr, MB_OK),
              IDOK);
    ASSERT_EQ(boxes.Count(), 2);
    EXPECT_EQ(boxes.Boxes()[0].owner, nullptr);
    EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
    EXPECT_FALSE(boxes.Boxes()[0].defaultCaption);
    EXPECT_EQ(boxes.Boxes()[1].owner, window.Handle());
    EXPECT_TRUE(boxes.Boxes()[1].defaultCaption);
}

// Room in clusters: a write that does not fit writes nothing and says the disk is full; the free
// space follows writes, cuts and deletions; a flush takes down what the file holds.
TEST(ScriptedDisk, FillsUpAsARealDiskDoesAndCatchesMisuse) {
    char base[MAX_PATH];
    ASSERT_NE(GetTempPathA(MAX_PATH, base), 0u);
    const std::string folder =
        std::string(base) + "kestrune-disk-" + std::to_string(GetCurrentProcessId());
    const std::string path = folder + "\\a.bin";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << folder;
    {
        ScriptedDisk disk(folder, 3 * 4096 + 100);
        EXPECT_EQ(disk.FreeBytes(), 3 * 4096u);  // whole clusters
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::vector<BYTE> bytes(8192, 7);
        DWORD written = 0;
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 5000, &written, nullptr));
        EXPECT_EQ(written, 5000u);
        EXPECT_EQ(disk.FreeBytes(), 4096u);
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 3192, &written, nullptr));  // fills the second
        EXPECT_EQ(disk.FreeBytes(), 4096u);
        SetLastError(0);
        EXPECT_FALSE(g_writeFile(file, bytes.data(), 4097, &written, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(ReadFileBytes(path).size(), 8192u);
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 4096, &written, nullptr));
        ULARGE_INTEGER available = {};
        EXPECT_TRUE(g_diskFreeSpace(Wide(folder + "\\").c_str(), &available, nullptr, nullptr));
        EXPECT_EQ(available.QuadPart, 0u);
        // Rewriting what is there takes no room.
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 4, &written, nullptr));

        SetFilePointer(file, 100, nullptr, FILE_BEGIN);
        ASSERT_TRUE(SetEndOfFile(file));
        EXPECT_EQ(disk.FreeBytes(), 2 * 4096u);
        EXPECT_TRUE(g_flushFile(file));
        EXPECT_EQ(disk.Flushes(path), 1);
        EXPECT_EQ(disk.FlushedBytes(path), std::vector<BYTE>(100, 7));

        disk.FailNextWrite(ERROR_CRC, 50);
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 10, &written, nullptr));
        EXPECT_FALSE(g_writeFile(file, bytes.data(), 60, &written, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CRC));
        EXPECT_EQ(disk.FailedWrites(), 2);
        CloseHandle(file);

        // Misuse: a closed handle, a file's path for the free space, an overlapped write.
        EXPECT_NONFATAL_FAILURE(g_writeFile(file, bytes.data(), 10, &written, nullptr),
                                "no open file on the scripted disk");
        EXPECT_NONFATAL_FAILURE(g_flushFile(file), "no open file on the scripted disk");
        EXPECT_NONFATAL_FAILURE(g_diskFreeSpace(Wide(path).c_str(), &available, nullptr, nullptr),
                                "expected a folder on the scripted disk");
        OVERLAPPED overlapped = {};
        EXPECT_NONFATAL_FAILURE(g_writeFile(file, bytes.data(), 10, &written, &overlapped),
                                "synchronous");

        // Wine's way: what fits is written, and the write after it fails.
        file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        disk.SetWineFullWrites(true);
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 8000, &written, nullptr));
        EXPECT_TRUE(g_writeFile(file, bytes.data(), 5000, &written, nullptr));
        EXPECT_EQ(written, 3 * 4096u - 8000u);
        EXPECT_EQ(disk.FreeBytes(), 0u);
        EXPECT_FALSE(g_writeFile(file, bytes.data(), 1, &written, nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
        CloseHandle(file);

        ASSERT_TRUE(DeleteFileA(path.c_str()));
        EXPECT_EQ(disk.FreeBytes(), 3 * 4096u);
        disk.SetFreeBytes(4095);
        EXPECT_EQ(disk.FreeBytes(), 0u);
    }
    EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));
}

TEST(TestWindow, HoldsTheReadoutControlsAndASliderFromZeroTo1000) {
    TestWindow window;
    ASSERT_NE(window.Handle(), nullptr);
    EXPECT_EQ(SendMessageA(window.Control(IDC_SLIDER), TBM_GETRANGEMAX, 0, 0), 1000);
    EXPECT_NE(window.Control(IDC_TIME_READOUT), nullptr);
    EXPECT_NE(window.Control(IDC_SIZE_READOUT), nullptr);
    EXPECT_NE(window.Control(IDC_STATUS), nullptr);
}

}  // namespace
