// Random storms over the real main window: the dialog from its template and MainDlgProc, with
// scripted devices, heap, boxes and timers behind it. One generator draws what a person and the
// devices do; one checker looks after every step. Time is device time: the storm moves the
// clock, the devices hand back what that time holds, and WM_TIMER comes from the scripted timers.
//
// The world joins in: the disk fills up or fails a write, the computer sleeps and wakes (with or
// without its microphone), and Record may ask whether to record in the little room there is.
//
// KESTRUNE_STORM_SEED=n replays seed n alone; KESTRUNE_STORM_STEPS=n sets the steps per seed.
// Send loads a MAPI32.DLL without MAPISendMail (see CMakeLists.txt), so its worker ends as soon
// as it has converted the recording.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "app/recording_boxes.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "services/mail.h"
#include "services/shell_links.h"
#include "tests/support/dialog_keys.h"
#include "tests/support/environment.h"
#include "tests/support/file_bytes.h"
#include "tests/support/handed_over.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_disk.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_shell.h"
#include "tests/support/scripted_timers.h"
#include "tests/support/scripted_wave.h"
#include "tests/support/utf8.h"
#include "voice/recording_watch.h"
#include "voice/voice_file.h"
#include "voice/wave_device.h"

namespace {

constexpr int kSeeds = 40;
constexpr int kStepsPerSeed = 2500;
constexpr std::uint64_t kTickMs = 10;
constexpr std::uint64_t kNoStop = ~std::uint64_t{0};

enum Ui { kEmpty, kReady, kRecording, kPlaying };
const char* const kUiNames[] = {"Empty", "Ready", "Recording", "Playing"};

// The bar's commands, in slot order (the menu items have the same identifiers).
const int kBarCommands[] = {IDM_PLAY, IDM_PAUSE, IDM_STOP, IDM_RECORD, IDM_SEND};

constexpr std::uint64_t kRoomyDisk = std::uint64_t{1} << 32;
constexpr DWORD kClusterBytes = 512;  // a small disk's: it fills block by block
constexpr int kRoomWatchTicks = 10;   // the storm looks at the room this often
const char kStalled[] = "Recording: the microphone stopped sending sound";
const std::regex kCountdown("Recording: the disk is almost full \\((\\d+):(\\d\\d) left\\)");
const std::regex kLittleRoom("^There is room on the disk for only (\\d+):(\\d\\d) of recording\\.");

DWORD SecondsShown(const std::smatch& match) {
    return static_cast<DWORD>(std::stoul(match[1]) * 60 + std::stoul(match[2]));
}

std::uint64_t FileSize(const WCHAR* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

DWORD Read32(const std::vector<BYTE>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<DWORD>(bytes[offset + 3]) << 24;
}

class Storm {
  public:
    Storm(std::uint32_t seed, const char* folder)
        : seed_(seed), rng_(seed), folder_(folder), disk_(folder, kRoomyDisk, kClusterBytes) {
        in_.HoldNotifications(true);
        out_.HoldNotifications(true);
        // The one question the program asks during a storm gets either answer.
        boxes_.whileUp = [this](const MessageBoxRecord& box) {
            if ((box.type & MB_TYPEMASK) == MB_YESNO) {
                const bool yes = Draw(2) == 0;
                lastAnswer_ = yes ? IDYES : IDNO;
                boxes_.answers.push_front(lastAnswer_);
                Note(std::string("answered ") + (yes ? "Yes" : "No") +
                     " to: " + box.text.substr(0, box.text.find('\n')));
            }
        };
        OpenWindow();
    }

    // Runs the steps, then closes the window; false at the first broken rule.
    bool Run(int steps) {
        for (step_ = 0; step_ < steps && Step(); ++step_) {
        }
        if (!Failed()) {
            Note("final close");
            SendMessageA(dialog_, WM_CLOSE, 0, 0);
            for (int i = 0; i < 1000 && !Failed() && IsWindowVisible(dialog_); ++i) {
                PassTime(10, false);
            }
            Expect(!IsWindowVisible(dialog_), "the window did not go after the final close");
            if (!Failed()) {
                EndEpisode(false);
            }
        }
        if (Failed()) {
            ADD_FAILURE() << "storm seed " << seed_ << " failed at step " << step_
                          << " (replay: KESTRUNE_STORM_SEED=" << seed_ << "); last actions:\n"
                          << History();
            // Whatever runs is ended, so the stand-ins' own end checks stay quiet.
            if (dialog_ != nullptr) {
                SendMessageA(dialog_, WM_CLOSE, 0, 0);
            }
            for (int i = 0; i < 500 && (in_.IsOpen() || out_.IsOpen()); ++i) {
                timers_.Advance(kTickMs);
                in_.DispatchHeld();
                out_.DispatchHeld();
            }
            if (dialog_ != nullptr) {
                DestroyWindow(dialog_);
                DeleteFileW(state_.voicePath);
            }
        }
        return !Failed();
    }

  private:
    int Draw(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }

    void Note(const std::string& action) {
        history_.push_back("  " + std::to_string(timers_.Now()) + " ms: " + action);
        if (history_.size() > 400) {
            history_.pop_front();
        }
    }
    std::string History() const {
        std::string text;
        for (const std::string& line : history_) {
            text += line + "\n";
        }
        return text + "  " + problem_;
    }
    bool Failed() const { return !problem_.empty() || ::testing::Test::HasFailure(); }
    void Expect(bool fact, const std::string& what) {
        if (!fact && problem_.empty()) {
            problem_ = what;
        }
    }

    // --- Episodes: one window from its creation to its end ---------------------------------

    void OpenWindow() {
        heap_.ClearFailures();  // a failure meant for the last window
        heapFailures_.clear();
        std::memset(&state_, 0, sizeof state_);
        g_appState = &state_;
        dialog_ =
            CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
        Expect(dialog_ != nullptr && state_.bar != nullptr, "the window was not created");
        ui_ = kEmpty;
        dirty_ = true;
        haveRecording_ = false;
        recordStarted_ = false;
        liveBlocks_ = heap_.LiveBlocks();
        in_.SetWineStop(Draw(2) == 0);
        Note("window opened");
    }

    // The window has gone: what it left, then a new one.
    void EndEpisode(bool again) {
        Expect(!in_.IsOpen() && !out_.IsOpen(), "the window went with a device open");
        Expect(timers_.SetCount() == 0, "the window went with a timer set");
        if (state_.deleteOnLeave) {
            Expect(GetFileAttributesW(state_.voicePath) == INVALID_FILE_ATTRIBUTES,
                   "the voice file is left after a close");
        } else if (haveRecording_) {
            ExpectCompletedRecording("after Exit");
        }
        // The window holds its voice file until it is destroyed.
        DestroyWindow(dialog_);
        DeleteFileW(state_.voicePath);
        dialog_ = nullptr;
        PumpMessages();
        if (again) {
            OpenWindow();
        }
    }

    // --- The generator ----------------------------------------------------------------------

    bool Step() {
        // Long runs keep their memory flat.
        in_.ClearCalls();
        out_.ClearCalls();
        out_.ClearPlayed();
        const int roll = Draw(100);
        if (roll < 36) {
            GiveCommand();
        } else if (roll < 80) {
            PassTime(1 + Draw(40), Draw(4) == 0);
        } else if (roll < 85) {
            Note("message loop catches up");
            Dispatch();
        } else {
            DeviceEvent();
        }
        if (!Failed() && dialog_ != nullptr && !IsWindowVisible(dialog_)) {
            EndEpisode(true);
        }
        Check();
        return !Failed();
    }

    void GiveCommand() {
        const bool leaving = state_.leaving;
        const bool pausedBefore = state_.devicePaused;
        // The program holds the voice file until it has handled its device's close: Record
        // cannot touch it then.
        MSG pending;
        const bool fileBusy =
            in_.IsOpen() || out_.IsOpen() || in_.HeldCount() > 0 || out_.HeldCount() > 0 ||
            PeekMessageA(&pending, dialog_, MM_WIM_CLOSE, MM_WIM_CLOSE, PM_NOREMOVE) ||
            PeekMessageA(&pending, dialog_, MM_WOM_CLOSE, MM_WOM_CLOSE, PM_NOREMOVE);
        const int inOpens = in_.OpenCount();
        const int outOpens = out_.OpenCount();
        const int blocksBefore = heap_.LiveBlocks();
        const int boxesBefore = boxes_.Count();
        const bool voiceFileHeld = VoiceFileBusy(&state_);
        DWORD room = 0;
        const int allocationsBefore = heap_.Allocations();
        const bool writeFailArmed = disk_.WriteFailureArmed();
        const int pick = Draw(200);  // a window's life is a few hundred steps
        int command = 0;
        dirty_ = true;
        if (pick < 1) {
            Note("close box");
            SendMessageA(dialog_, WM_CLOSE, 0, 0);
        } else if (pick < 2) {
            command = IDM_EXIT;
            Note("File, Exit");
            SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
        } else if (pick < 30) {
            DragSlider();
        } else {
            const int slot = Draw(5);
            command = kBarCommands[slot];
            if (command == IDM_RECORD) {
                room = RoomForARecording();
            }
            // The menu, the mouse and the keyboard: together as often as the menu and the
            // mouse alone were, so that a storm takes no longer than it did.
            const int way = Draw(12);
            if (way < 5) {
                if (!Grayed(command)) {
                    Note("menu " + std::to_string(command));
                    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(command, 0), 0);
                } else {
                    command = 0;
                }
            } else if (way < 7) {
                command = Press(slot, false) ? command : 0;
            } else if (way < 8) {
                command = Press(slot, true) ? command : 0;
            } else {
                command = 0;
            }
        }
        if (state_.devicePaused != pausedBefore) {
            quietSince_ = timers_.Now();  // paused, nothing comes back; resumed, it starts over
        }
        if (command == IDM_SEND && !leaving && heap_.LiveBlocks() > blocksBefore) {
            AwaitMailNotice(writeFailArmed, allocationsBefore);
        }
        if (leaving) {
            Expect(in_.OpenCount() == inOpens && out_.OpenCount() == outOpens,
                   "a command started something while the window was going");
            return;
        }
        if (command == IDM_RECORD && !RecordAsked(boxesBefore, room, voiceFileHeld, inOpens)) {
            WatchStops();
            return;
        }
        if (command == IDM_RECORD) {
            recordStarted_ = state_.recordingStarted;
            boxesAtRecord_ = boxes_.Count();
            quietSince_ = timers_.Now();
            lowRoomSince_ = kNoStop;
            // A start that never reached the voice file keeps the last recording: the file
            // was still held, or the device would not open.
            const bool untouched = !state_.recordingStarted && (fileBusy || inOpenFails_);
            if (!untouched) {
                recordFrom_ = in_.CapturedBytes();
            }
            ui_ = state_.recordingStarted       ? kRecording
                  : untouched && haveRecording_ ? kReady
                                                : kEmpty;
            haveRecording_ = haveRecording_ && untouched;
            ClearStartFailures();
        } else if (command == IDM_PLAY) {
            ui_ = state_.playbackStarted ? kPlaying : kReady;
            ClearStartFailures();
        }
        WatchStops();
    }

    // What a new recording would have room for: the disk's free space and the voice file's
    // bytes, which it replaces, less the header.
    DWORD RoomForARecording() const {
        const std::uint64_t bytes = disk_.FreeBytes() + FileSize(state_.voicePath);
        return static_cast<DWORD>((bytes > kHeaderBytes ? bytes - kHeaderBytes : 0) /
                                  kBytesPerSecond);
    }

    // Record asks first exactly when less than a minute fits and the voice file is free, naming
    // the time that fits. False when the answer was No: nothing started.
    bool RecordAsked(int boxesBefore, DWORD room, bool voiceFileHeld, int inOpens) {
        const bool asked = boxes_.Count() > boxesBefore &&
                           (boxes_.Boxes()[boxesBefore].type & MB_TYPEMASK) == MB_YESNO;
        Expect(asked == (!voiceFileHeld && room < kLittleRoomSeconds),
               std::string("Record ") + (asked ? "asked" : "did not ask") + " with room for " +
                   std::to_string(room) + " s");
        if (!asked) {
            return true;
        }
        const MessageBoxRecord& box = boxes_.Boxes()[boxesBefore];
        std::smatch match;
        Expect(std::regex_search(box.text, match, kLittleRoom) && SecondsShown(match) == room &&
                   box.owner == dialog_ && (box.type & MB_ICONWARNING) != 0,
               "the question at Record is not \"There is room ... for only " +
                   std::to_string(room) + " s\" owned by the window: " + box.text);
        if (lastAnswer_ == IDYES) {
            return true;
        }
        Expect(in_.OpenCount() == inOpens, "Record answered No opened the microphone");
        return false;
    }

    // No mail program here: the worker converts the recording and tells the window, which shows
    // the copy in its folder. The copy is the recording's conversion as it was at the Send,
    // unless a failure scripted here met the conversion (the write armed before the command, an
    // allocation on the way, or a disk too small for it): then the window says so and no copy is
    // left.
    void AwaitMailNotice(bool writeFailArmed, int allocationsBefore) {
        g_shellCalls.clear();
        const int boxesBefore = boxes_.Count();
        const DWORD deadline = GetTickCount() + 10000;
        MSG msg;
        bool told = false;
        while (!told && static_cast<LONG>(deadline - GetTickCount()) > 0) {
            told = PeekMessageA(&msg, dialog_, kMailNotTaken, kMailNotTaken, PM_REMOVE) ||
                   PeekMessageA(&msg, dialog_, kHandoverDone, kHandoverDone, PM_REMOVE);
            if (!told) {
                Sleep(1);
            }
        }
        Expect(told, "the Send worker never told the window");
        if (!told) {
            return;
        }
        bool allocationFailed = false;
        for (int k : heapFailures_) {
            allocationFailed =
                allocationFailed || (k > allocationsBefore && k <= heap_.Allocations());
        }
        const bool mustFail = writeFailArmed || allocationFailed;
        const std::string copies = folder_ + "\\Kestrune";
        if (msg.message == kHandoverDone) {
            Note("the Send's conversion failed");
            Expect(mustFail || smallDisk_,
                   "a Send's conversion failed with nothing scripted to fail");
            DispatchMessageA(&msg);
            const std::string told =
                boxes_.Count() == boxesBefore + 1 ? boxes_.Boxes().back().text : "";
            Expect(told == "The message could not be made ready to send.\n\nThe recording is "
                           "untouched." ||
                       (smallDisk_ && told.rfind("The disk is full, so the message could not be "
                                                 "made ready.",
                                                 0) == 0),
                   "a failed conversion was not told: " + told);
            Expect(FilesIn(copies).empty(), "a failed conversion left " + FilesIn(copies));
            return;
        }
        Expect(!mustFail, "a Send's conversion succeeded through a failure scripted for it");
        const std::string snapshot = Utf8(reinterpret_cast<HandoverJob*>(msg.lParam)->path);
        Expect(ReadFileBytes(snapshot) == ReferenceCopy(),
               "the Send copy is not the recording's conversion");
        DispatchMessageA(&msg);
        Expect(g_shellCalls.size() == 1 &&
                   g_shellCalls[0].parameters == "/select,\"" + snapshot + "\"",
               "the Send copy was not shown in its folder");
        DeleteFileA(snapshot.c_str());
        Expect(FilesIn(copies).empty(), "a Send left " + FilesIn(copies));
    }

    // The conversion the hand-over must make of the voice file, made past the storm's heap and
    // disk: it neither meets their scripted failures nor moves their counts.
    std::vector<BYTE> ReferenceCopy() {
        const AllocateFn allocate = g_allocate;
        const FreeFn free = g_free;
        const WriteFileFn write = g_writeFile;
        g_allocate = std::malloc;
        g_free = std::free;
        g_writeFile = WriteFile;
        const std::vector<BYTE> copy = PlayableCopyOf(state_.voicePath);
        g_allocate = allocate;
        g_free = free;
        g_writeFile = write;
        return copy;
    }

    // A press of the slot's button: a click on it, or Enter once Tab has brought the focus to
    // it. Whether the button takes it (it is available and not latched down); one that does not
    // must start nothing.
    bool Press(int slot, bool byKeyboard) {
        const MyButton* button = ButtonInSlot(state_.bar, slot);
        const bool takes = IsWindowEnabled(button->window) && !button->pressed;
        const std::string what = std::to_string(kBarCommands[slot]) + (takes ? "" : ", not taken");
        const UiState ui = state_.uiState;
        const bool paused = state_.paused;
        const int inOpens = in_.OpenCount();
        const int outOpens = out_.OpenCount();
        const int blocks = heap_.LiveBlocks();
        if (!byKeyboard) {
            Note("click " + what);
            Click(slot);
        } else if (TabTo(button->window)) {
            Note("Enter on " + what);
            DeliverKey(dialog_, VK_RETURN);
        } else {
            Expect(!takes || Failed(), "Tab never reached an available button");
            return false;
        }
        Expect(takes ||
                   (state_.uiState == ui && state_.paused == paused && in_.OpenCount() == inOpens &&
                    out_.OpenCount() == outOpens && heap_.LiveBlocks() == blocks),
               "a button that takes no press started something");
        return takes;
    }

    // A click in the middle of the slot's button, delivered where the system delivers it: to
    // the button, or to the bar behind it while it is disabled.
    void Click(int slot) {
        HWND button = ButtonInSlot(state_.bar, slot)->window;
        HWND bar = GetParent(button);
        POINT point = {20, 20};
        MapWindowPoints(button, bar, &point, 1);
        HWND target = ChildWindowFromPointEx(bar, point, CWP_SKIPDISABLED | CWP_SKIPINVISIBLE);
        Expect(target == (IsWindowEnabled(button) ? button : bar), "the click went astray");
        MapWindowPoints(bar, target, &point, 1);
        const LPARAM at = MAKELPARAM(point.x, point.y);
        SendMessageA(target, WM_MOUSEMOVE, 0, at);
        SendMessageA(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(target, WM_LBUTTONUP, 0, at);
        SendMessageA(target, WM_MOUSELEAVE, 0, 0);
    }

    // Tab, or Shift+Tab, until `target` has the focus, as a person does; false when it never
    // gets there (it is unavailable). Each key must leave the focus on an available control.
    // Another program's new window may have taken the activation: the person takes it back.
    bool TabTo(HWND target) {
        if (GetActiveWindow() != dialog_) {
            Note("the window takes the activation back");
            SetActiveWindow(dialog_);
        }
        const bool back = Draw(2) == 0;
        for (int key = 0; key < 8 && GetFocus() != target && !Failed(); ++key) {
            DeliverKey(dialog_, VK_TAB, back ? KeyHeld::kShift : KeyHeld::kNone);
            CheckFocus(back ? "after Shift+Tab" : "after Tab");
        }
        return GetFocus() == target;
    }

    // While the window has the activation the focus is on one of its available controls that
    // Tab reaches: never nothing, never the bar, never an unavailable control.
    void CheckFocus(const char* when) {
        if (GetActiveWindow() != dialog_) {
            return;  // another program's window took the activation, and the focus with it
        }
        HWND focus = GetFocus();
        const LONG_PTR style = focus != nullptr ? GetWindowLongPtrA(focus, GWL_STYLE) : 0;
        char name[64] = "nothing";
        if (focus != nullptr) {
            GetClassNameA(focus, name, sizeof name);
        }
        Expect(focus != nullptr && IsChild(dialog_, focus) && IsWindowEnabled(focus) &&
                   (style & WS_TABSTOP) && (style & WS_VISIBLE),
               std::string("the focus is on ") + name + " " + when);
    }

    bool Grayed(int command) const {
        return (GetMenuState(GetMenu(dialog_), command, MF_BYCOMMAND) & MF_GRAYED) != 0;
    }

    // A drag or a release, as far as a person can reach the slider.
    void DragSlider() {
        HWND slider = GetDlgItem(dialog_, IDC_SLIDER);
        if (!IsWindowEnabled(slider)) {
            return;
        }
        const int position = Draw(kSliderSteps + 1);
        const int code = Draw(3) == 0 ? TB_ENDTRACK : TB_THUMBTRACK;
        Note("slider " + std::to_string(position) + (code == TB_ENDTRACK ? " released" : ""));
        SendMessageA(slider, TBM_SETPOS, TRUE, position);
        SendMessageA(dialog_, WM_HSCROLL, MAKEWPARAM(code, position),
                     reinterpret_cast<LPARAM>(slider));
    }

    // Sticky start failures last for one command.
    void ClearStartFailures() {
        in_.FailOpen(MMSYSERR_NOERROR);
        inOpenFails_ = false;
        in_.FailStart(MMSYSERR_NOERROR);
        out_.FailOpen(MMSYSERR_NOERROR);
    }

    void DeviceEvent() {
        switch (Draw(11)) {
            case 0:
                inStuck_ = !inStuck_;
                Note(inStuck_ ? "input stops handing back" : "input hands back again");
                break;
            case 1:
                outStuck_ = !outStuck_;
                Note(outStuck_ ? "output stops handing back" : "output hands back again");
                break;
            case 2:
                Note("next input close fails");
                in_.FailNextClose();
                break;
            case 3:
                Note("next output close fails");
                out_.FailNextClose();
                break;
            case 4:
                Note("an input queue is refused");
                in_.FailQueue(in_.QueueCalls() + 1 + Draw(4));
                out_.FailQueue(out_.QueueCalls() + 1 + Draw(4));
                break;
            case 5:
                // Not the voice file header's small writes: a header that fails is a start that
                // fails.
                Note("next write of recorded audio, or of a Send's copy, fails");
                disk_.FailNextWrite(ERROR_WRITE_FAULT, 21);
                break;
            case 6: {
                Note("an allocation fails");
                const int k = heap_.Allocations() + 1 + Draw(16);
                heapFailures_.insert(k);
                heap_.FailAllocation(k);
                break;
            }
            case 7:
                Note("a prepare fails");
                in_.FailPrepare(in_.PrepareCalls() + 1 + Draw(8));
                out_.FailPrepare(out_.PrepareCalls() + 1 + Draw(4));
                break;
            case 9:
                SleepAndWake();
                break;
            case 10:
                if (Draw(2) == 0) {
                    // A few clusters or none: a recording fills them within a second or two.
                    const std::uint64_t free = Draw(8) * std::uint64_t{kClusterBytes};
                    Note("the disk fills up: " + std::to_string(free) + " bytes free");
                    disk_.SetFreeBytes(free);
                    smallDisk_ = true;
                } else {
                    Note("the disk has room again");
                    disk_.SetFreeBytes(kRoomyDisk);
                    smallDisk_ = false;
                }
                roomSetAt_ = timers_.Now();
                lowRoomSince_ = kNoStop;
                break;
            default:
                Note("the next start or open fails");
                if (Draw(2) == 0) {
                    in_.FailStart(MMSYSERR_ERROR);
                } else {
                    in_.FailOpen(MMSYSERR_ALLOCATED);
                    inOpenFails_ = true;
                }
                out_.FailOpen(MMSYSERR_ALLOCATED);
                break;
        }
    }

    // The computer sleeps and wakes at once (no device time passes), its microphone back or not.
    // A recording is on the disk, its header describing all of it, before the suspend returns.
    void SleepAndWake() {
        const bool recorderHolds = in_.IsOpen() && VoiceFileBusy(&state_);
        const std::string path = Utf8(state_.voicePath);
        const int flushes = disk_.Flushes(path);
        Note("the computer sleeps");
        dirty_ = true;
        SendMessageA(dialog_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        if (recorderHolds) {
            Expect(disk_.Flushes(path) == flushes + 1, "no flush before sleep");
            const std::vector<BYTE> flushed = disk_.FlushedBytes(path);
            const DWORD dataBytes = state_.dataBytes;
            Expect(flushed.size() == kHeaderBytes + dataBytes && Read32(flushed, 56) == dataBytes &&
                       Read32(flushed, 4) == dataBytes + kHeaderBytes - 8,
                   "the file on the disk before sleep is not the recording with its header: " +
                       std::to_string(flushed.size()) + " bytes for " + std::to_string(dataBytes));
        }
        if (Draw(2) == 0) {
            inStuck_ = true;
            Note("the microphone does not wake");
        }
        const bool automatic = Draw(2) == 0;
        Note(automatic ? "it wakes by itself" : "it wakes for the user");
        SendMessageA(dialog_, WM_POWERBROADCAST,
                     automatic ? PBT_APMRESUMEAUTOMATIC : PBT_APMRESUMESUSPEND, 0);
        if (state_.recording) {
            quietSince_ = timers_.Now();  // the wait for blocks starts at the wake
        }
    }

    // Device time passes in ticks: healthy devices hand back what the time holds, timers fire,
    // and the message loop keeps up, except that `lagAtEnd` leaves the last tick's
    // notifications waiting.
    void PassTime(int ticks, bool lagAtEnd) {
        Note("time passes " + std::to_string(ticks * kTickMs) + " ms" + (lagAtEnd ? ", lag" : ""));
        for (int tick = 0; tick < ticks && !Failed(); ++tick) {
            const bool dispatch = !(lagAtEnd && tick == ticks - 1);
            inCredit_ += kBytesPerSecond * kTickMs;
            if (inStuck_) {
                inCredit_ = 0;
            }
            for (; inCredit_ >= kFrameBytes * 1000; inCredit_ -= kFrameBytes * 1000) {
                in_.Deliver(kFrameBytes);
            }
            outCredit_ += kTickMs;
            if (outStuck_) {
                outCredit_ = 0;
            }
            for (; outCredit_ >= 80; outCredit_ -= 80) {
                out_.PlayNext();
            }
            if (dispatch) {
                Dispatch();
            }
            dirty_ = dirty_ || timers_.SetCount() > 0;
            timers_.Advance(kTickMs);
            if (dispatch) {
                Dispatch();
            }
            if (timers_.Now() % (kRoomWatchTicks * kTickMs) == 0) {
                WatchRoom();
            }
            WatchStops();
        }
    }

    void Dispatch() {
        while (in_.HeldCount() + out_.HeldCount() > 0) {
            const int blocks = in_.DoneDispatched();
            in_.DispatchHeld();
            out_.DispatchHeld();
            if (in_.DoneDispatched() != blocks) {
                quietSince_ = timers_.Now();
            }
            dirty_ = true;
        }
        WatchStops();
    }

    // Since when a small disk has had room for less than the countdown's 30 s while recording.
    void WatchRoom() {
        if (!smallDisk_ || !state_.recording) {
            lowRoomSince_ = kNoStop;
            return;
        }
        if (disk_.FreeBytes() / kBytesPerSecond >= 30) {
            lowRoomSince_ = kNoStop;
        } else if (lowRoomSince_ == kNoStop) {
            lowRoomSince_ = timers_.Now();
        }
    }

    // --- The checker ------------------------------------------------------------------------

    // Stops, their bounds and the close notifications, as they happen.
    void WatchStops() {
        if (dialog_ == nullptr || Failed()) {
            return;
        }
        Watch(in_.IsOpen(), state_.recording, in_, inStop_, inClosesAtStop_, "input");
        Watch(out_.IsOpen(), state_.playing, out_, outStop_, outClosesAtStop_, "output");
        const bool inClosed = inWasOpen_ && !in_.IsOpen() && in_.HeldCount() == 0;
        const bool outClosed = outWasOpen_ && !out_.IsOpen() && out_.HeldCount() == 0;
        if (inClosed) {
            inWasOpen_ = false;
            if (recordStarted_) {
                ui_ = kReady;
                haveRecording_ = true;
                if (!state_.deleteOnLeave) {  // else deleted as the window went
                    ExpectCompletedRecording("after the recording ended");
                }
                ExpectToldWhyItEnded();
            }
        }
        if (outClosed) {
            outWasOpen_ = false;
            if (state_.playbackStarted) {
                ui_ = kReady;
            }
        }
        // An open may be followed by its close within one command: count the opens.
        inWasOpen_ = inWasOpen_ || in_.IsOpen() || in_.OpenCount() != inOpens_;
        outWasOpen_ = outWasOpen_ || out_.IsOpen() || out_.OpenCount() != outOpens_;
        inOpens_ = in_.OpenCount();
        outOpens_ = out_.OpenCount();
    }

    // A device that is open while its activity is over is stopping: it must be closed within
    // the bound, which each failed close lengthens by the retry interval.
    void Watch(bool open, bool active, const ScriptedWaveDevice& device, std::uint64_t& stopAt,
               int& closesAtStop, const char* name) {
        if (!open || active) {
            stopAt = kNoStop;
            return;
        }
        if (stopAt == kNoStop) {
            stopAt = timers_.Now();
            closesAtStop = device.CloseCalls();
            return;
        }
        const int failedCloses = device.CloseCalls() - closesAtStop;
        const std::uint64_t bound = kDrainBoundMs + 2 * kTickMs + failedCloses * kCloseRetryMs;
        Expect(timers_.Now() - stopAt <= bound,
               std::string("the ") + name + " stop has not ended " +
                   std::to_string(timers_.Now() - stopAt) + " ms after it began");
    }

    // A recording that a write or sleep ended says so in a box, with the time it stopped at,
    // unless the window was going.
    void ExpectToldWhyItEnded() {
        if (state_.leaving || (!state_.writeFailed && !state_.endedBySleep)) {
            return;
        }
        WCHAR time[kTimeReadoutChars];
        FormatTimeReadout(SecondsFromBytes(state_.dataBytes), time);
        const std::string at = Utf8(time);
        const std::string told[] = {"The disk is full, so the recording stopped at " + at + ".",
                                    "The recording stopped at " + at + ", because the disk",
                                    "The recording stopped when the computer went to sleep."};
        bool found = false;
        for (int box = boxesAtRecord_; box < boxes_.Count(); ++box) {
            for (const std::string& start : told) {
                found = found || boxes_.Boxes()[box].text.rfind(start, 0) == 0;
            }
        }
        Expect(found, "no box told why the recording ended at " + at);
    }

    void ExpectCompletedRecording(const char* when) {
        const DWORD dataBytes = state_.dataBytes;
        std::vector<BYTE> file = ReadFileBytes(Utf8(state_.voicePath));
        BYTE header[kHeaderBytes];
        BuildVoiceHeader(header);
        const bool whole = file.size() == kHeaderBytes + dataBytes && dataBytes % kFrameBytes == 0;
        Expect(whole, std::string("a recording of ") + std::to_string(dataBytes) +
                          " bytes is not whole frames behind a header " + when);
        if (!whole) {
            return;
        }
        Expect(std::memcmp(file.data() + 12, header + 12, 32) == 0 &&
                   Read32(file, 4) == dataBytes + kHeaderBytes - 8 &&
                   Read32(file, 48) == SampleCount(dataBytes) && Read32(file, 56) == dataBytes,
               std::string("the header is not completed ") + when);
        Expect(std::vector<BYTE>(file.begin() + kHeaderBytes, file.end()) ==
                   ScriptedWaveIn::PatternBytes(recordFrom_, dataBytes),
               std::string("the recording does not hold what was recorded ") + when);
    }

    void Check() {
        // Only handlers change what is checked here; while the message loop has not caught up
        // the window may lag behind.
        if (Failed() || dialog_ == nullptr || !dirty_ || in_.HeldCount() + out_.HeldCount() > 0) {
            return;
        }
        dirty_ = false;
        const bool inOpen = in_.IsOpen();
        const bool outOpen = out_.IsOpen();
        Expect(ui_ != kRecording || inOpen, "Recording shown with no input open");
        Expect(ui_ != kPlaying || outOpen, "Playing shown with no output open");
        CheckArrangement();
        for (int slot = 0; slot < kSlotCount && !Failed(); ++slot) {
            AudioBuffer* buffer = state_.slots[slot];
            Expect(buffer == nullptr || heap_.IsLive(buffer), "a slot holds a freed buffer");
        }
        if (inOpen || outOpen) {
            return;
        }
        // Idle: nothing held.
        Expect(heap_.LiveBlocks() == liveBlocks_,
               "idle with " + std::to_string(heap_.LiveBlocks() - liveBlocks_) + " blocks leaked");
        Expect(timers_.SetCount() == 0, "idle with a timer set");
        Expect(!VoiceFileBusy(&state_), "idle with the voice file open");
        // The window's own hold shares reading and writing; a recording's or a playback's not.
        HANDLE file = CreateFileW(state_.voicePath, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        Expect(file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION,
               "idle and a handle still holds the voice file");
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }

    // What the controls show for ui_, the pressed looks aside (they depend on how a command
    // was given).
    void CheckArrangement() {
        static const bool kOffered[4][5] = {
            {false, false, false, true, false},  // Empty
            {true, false, false, true, true},    // Ready
            {false, true, true, true, false},    // Recording
            {true, true, true, false, false},    // Playing
        };
        for (int slot = 0; slot < 5; ++slot) {
            bool grayed = !kOffered[ui_][slot];
            // Latched buttons: the menu item of the running activity is grayed.
            grayed = grayed || (ui_ == kRecording && slot == Record) ||
                     (ui_ == kPlaying && slot == Play);
            const MyButton* button = ButtonInSlot(state_.bar, slot);
            Expect(!IsWindowEnabled(button->window) == !kOffered[ui_][slot] &&
                       button->disabled == !kOffered[ui_][slot] &&
                       Grayed(kBarCommands[slot]) == grayed,
                   std::string("controls are not those of ") + kUiNames[ui_] + " (slot " +
                       std::to_string(slot) + ")");
        }
        char status[96] = {};
        GetDlgItemTextA(dialog_, IDC_STATUS, status, sizeof status);
        std::string expected = ui_ == kRecording ? "Recording" : ui_ == kPlaying ? "Playing" : "";
        // Paused as the device is: a flag carried from a drain shows nothing.
        const bool shownPaused =
            (state_.recording && !in_.IsStarted()) || (state_.playing && out_.IsPaused());
        if (ui_ >= kRecording && shownPaused) {
            expected += " / Paused";
        }
        if (ui_ == kRecording && !shownPaused) {
            CheckRecordingStatus(status);
        } else {
            Expect(expected == status,
                   std::string("status \"") + status + "\" in " + kUiNames[ui_]);
        }
        const bool slider = IsWindowEnabled(GetDlgItem(dialog_, IDC_SLIDER)) != FALSE;
        const bool link = IsWindowEnabled(GetDlgItem(dialog_, IDC_HOME_LINK)) != FALSE;
        Expect(slider == (ui_ == kPlaying) && link == (ui_ != kRecording),
               std::string("slider or link not as in ") + kUiNames[ui_]);
        CheckFocus(std::string("in ").append(kUiNames[ui_]).c_str());
    }

    // A running recording tells a microphone that has sent nothing for 2 s (within a tick of
    // the watch), and counts down the last 30 s of room on the disk (within a look at the room);
    // each only when it is so. A drain keeps what the recording showed.
    void CheckRecordingStatus(const std::string& status) {
        const std::uint64_t quiet = timers_.Now() - quietSince_;
        const std::string when = " after " + std::to_string(quiet) + " ms without a block";
        if (status == kStalled) {
            Expect(!state_.recording || quiet >= kStallMs, "the stall notice" + when);
            return;
        }
        Expect(!state_.recording || quiet < kStallMs + kWatchTickMs,
               "status \"" + status + "\"" + when);
        const bool roomJustSet = timers_.Now() - roomSetAt_ <= kRoomCheckMs + kWatchTickMs;
        std::smatch match;
        if (std::regex_match(status, match, kCountdown)) {
            const std::uint64_t room = disk_.FreeBytes() / kBytesPerSecond;
            Expect(SecondsShown(match) < 30 &&
                       (SecondsShown(match) >= room || !state_.recording || roomJustSet),
                   "\"" + status + "\" with " + std::to_string(room) + " s of room");
            return;
        }
        Expect(status == "Recording", "status \"" + status + "\" while recording");
        Expect(
            lowRoomSince_ == kNoStop || timers_.Now() - lowRoomSince_ <=
                                            kRoomCheckMs + kWatchTickMs + kRoomWatchTicks * kTickMs,
            "no countdown " + std::to_string(timers_.Now() - lowRoomSince_) +
                " ms after the room went under 30 s");
    }

    std::uint32_t seed_;
    std::mt19937 rng_;
    std::string folder_;
    int step_ = 0;
    std::deque<std::string> history_;
    std::string problem_;

    ScriptedHeap heap_;
    std::set<int> heapFailures_;  // the allocations scripted to fail in this window
    ScriptedMessageBox boxes_;
    ScriptedWaveIn in_;
    ScriptedWaveOut out_;
    ScriptedTimers timers_;
    ScriptedDisk disk_;
    AppState state_ = {};
    HWND dialog_ = nullptr;
    int liveBlocks_ = 0;

    // The model: what the window must show, and what the devices are doing.
    Ui ui_ = kEmpty;
    bool haveRecording_ = false;
    bool inOpenFails_ = false;  // the next input open fails
    bool recordStarted_ = false;
    std::uint64_t recordFrom_ = 0;
    bool inStuck_ = false;
    bool outStuck_ = false;
    std::uint64_t inCredit_ = 0;  // thousandths of a byte
    std::uint64_t outCredit_ = 0;
    std::uint64_t inStop_ = kNoStop;
    std::uint64_t outStop_ = kNoStop;
    int inClosesAtStop_ = 0;
    int outClosesAtStop_ = 0;
    bool inWasOpen_ = false;
    bool outWasOpen_ = false;
    int inOpens_ = 0;
    int outOpens_ = 0;
    bool dirty_ = true;   // a handler ran since the last check
    int lastAnswer_ = 0;  // to the last question
    int boxesAtRecord_ = 0;
    // Device time since which no block came back to a running recording, or it was paused,
    // resumed, started or woken: what the stall notice is measured from.
    std::uint64_t quietSince_ = 0;
    bool smallDisk_ = false;
    std::uint64_t roomSetAt_ = 0;
    std::uint64_t lowRoomSince_ = kNoStop;
};

int FromEnvironment(const char* name, int fallback) {
    const std::string text = EnvironmentText(name);
    return text.empty() ? fallback : std::atoi(text.c_str());
}

TEST(MainWindowStorm, EveryStepKeepsTheRules) {
    HMODULE mapi = LoadLibraryA("MAPI32.DLL");
    ASSERT_TRUE(mapi != nullptr && GetProcAddress(mapi, "KestruneMapiWithoutSendMail") != nullptr)
        << "Send must not reach a real mail program";
    g_instance = GetModuleHandleA(nullptr);
    InitCommonControls();
    RegisterBtnBarClass();
    RegisterMyButtonClass();

    // A private temporary folder: what the window leaves there can be counted.
    char base[MAX_PATH];
    char folder[MAX_PATH];
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    wsprintfA(folder, "%skestrune-storm-%lu-%lu", base, GetCurrentProcessId(), GetTickCount());
    ASSERT_TRUE(CreateDirectoryA(folder, nullptr)) << folder;
    wsprintfA(tmp, "%s\\", folder);
    SetEnvironmentVariableA("TMP", tmp);
    SetEnvironmentVariableA("TEMP", tmp);
    const ShellExecuteFn previousShell = g_shellExecute;
    g_shellExecute = RecordShellCall;

    const int only = FromEnvironment("KESTRUNE_STORM_SEED", -1);
    const int steps = FromEnvironment("KESTRUNE_STORM_STEPS", kStepsPerSeed);
    const auto start = std::chrono::steady_clock::now();
    int seeds = 0;
    for (int seed = only < 0 ? 1 : only; seed <= (only < 0 ? kSeeds : only); ++seed, ++seeds) {
        Storm storm(static_cast<std::uint32_t>(seed), folder);
        if (!storm.Run(steps)) {
            break;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("storm: %d seeds x %d steps = %d steps in %.1f s\n", seeds, steps, seeds * steps,
                seconds);

    g_shellExecute = previousShell;
    WIN32_FIND_DATAA found;
    wsprintfA(tmp, "%s\\kes*.tmp", folder);
    HANDLE search = FindFirstFileA(tmp, &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a voice file was left: " << found.cFileName;
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    wsprintfA(tmp, "%s\\Kestrune", folder);
    RemoveDirectoryA(tmp);  // where Send puts its copies
    RemoveDirectoryA(folder);
}

}  // namespace
