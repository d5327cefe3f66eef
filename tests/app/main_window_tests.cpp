// The real main dialog from its template, driven the way a person does: clicks on the bar's
// buttons and menu commands, with scripted wave devices behind it. Each check is what a person
// would see: pictures, menu items, status line, readouts, slider and link button.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/left_behind.h"
#include "app/main_dialog.h"
#include "app/microphone.h"
#include "app/ui_state.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "services/handover.h"
#include "services/save_as.h"
#include "services/shell_links.h"
#include "tests/support/dialog_keys.h"
#include "tests/support/file_bytes.h"
#include "tests/support/gsm_sound.h"
#include "tests/support/handed_over.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_annotation.h"
#include "tests/support/scripted_disk.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_shell.h"
#include "tests/support/scripted_timers.h"
#include "tests/support/scripted_wave.h"
#include "tests/support/utf8.h"
#include "tests/support/worker_threads.h"
#include "voice/input_device.h"
#include "voice/mu_law.h"
#include "voice/recording_watch.h"
#include "voice/voice_file.h"
#include "voice/voice_store.h"
#include "voice/wave_device.h"

namespace {

// What the window shows, in one comparable record.
struct Arrangement {
    bool disabled[5];
    bool pressed[5];
    bool menuGrayed[5];  // Play, Pause, Stop, Record, Send items
    bool saveAsGrayed;
    bool copyGrayed;
    std::string status;
    bool sliderEnabled;
    bool linkEnabled;

    bool operator==(const Arrangement& other) const {
        return std::memcmp(disabled, other.disabled, sizeof disabled) == 0 &&
               std::memcmp(pressed, other.pressed, sizeof pressed) == 0 &&
               std::memcmp(menuGrayed, other.menuGrayed, sizeof menuGrayed) == 0 &&
               saveAsGrayed == other.saveAsGrayed && copyGrayed == other.copyGrayed &&
               status == other.status && sliderEnabled == other.sliderEnabled &&
               linkEnabled == other.linkEnabled;
    }
};

std::ostream& operator<<(std::ostream& out, const Arrangement& a) {
    static const char* const kNames[] = {"Play", "Pause", "Stop", "Record", "Send"};
    for (int slot = 0; slot < 5; ++slot) {
        out << kNames[slot] << (a.disabled[slot] ? " disabled" : " enabled")
            << (a.pressed[slot] ? " pressed" : "") << (a.menuGrayed[slot] ? " grayed" : "") << "; ";
    }
    out << "Save As" << (a.saveAsGrayed ? " grayed" : "") << "; Copy"
        << (a.copyGrayed ? " grayed" : "") << "; ";
    return out << "status \"" << a.status << "\"; slider " << (a.sliderEnabled ? "on" : "off")
               << "; link " << (a.linkEnabled ? "on" : "off");
}

// The arrangements a person expects; the pressed flags depend on how the activity began.
Arrangement Expected(bool playOk, bool pauseOk, bool stopOk, bool recordOk, bool sendOk,
                     const char* status, bool slider, bool link) {
    Arrangement a = {};
    const bool ok[5] = {playOk, pauseOk, stopOk, recordOk, sendOk};
    for (int slot = 0; slot < 5; ++slot) {
        a.disabled[slot] = !ok[slot];
        a.menuGrayed[slot] = !ok[slot];
    }
    // Save As and Copy go with Send.
    a.saveAsGrayed = !sendOk;
    a.copyGrayed = !sendOk;
    a.status = status;
    a.sliderEnabled = slider;
    a.linkEnabled = link;
    return a;
}

Arrangement EmptyArrangement() {
    return Expected(false, false, false, true, false, "", false, true);
}
Arrangement ReadyArrangement() {
    return Expected(true, false, false, true, true, "", false, true);
}
Arrangement RecordingArrangement() {
    Arrangement a = Expected(false, true, true, true, false, "Recording", false, false);
    a.pressed[Record] = true;
    a.menuGrayed[Record] = true;  // grayed directly while the button latches
    return a;
}
Arrangement PlayingArrangement(bool startedByClick) {
    Arrangement a = Expected(true, true, true, false, false, "Playing", true, true);
    a.pressed[Play] = startedByClick;
    a.menuGrayed[Play] = true;
    return a;
}

// The controls Tab can reach, in Tab's order: the five picture buttons, the slider, the link.
constexpr int kSliderStop = 5;
constexpr int kLinkStop = 6;
constexpr int kStopCount = 7;
const char* const kStopNames[kStopCount] = {"Play", "Pause",  "Stop", "Record",
                                            "Send", "slider", "link"};
const UiState kUiStates[] = {Ready, Empty, Recording, Playing};
const char* const kUiStateNames[] = {"Ready", "Empty", "Recording", "Playing"};
// What Tab reaches in each state, by UiState: the available controls, left to right.
const std::vector<int> kTabOrders[] = {
    {Play, Record, Send, kLinkStop},              // Ready
    {Record, kLinkStop},                          // Empty
    {Pause, Stop, Record},                        // Recording
    {Play, Pause, Stop, kSliderStop, kLinkStop},  // Playing
};

DWORD LittleEndian32(const std::vector<BYTE>& bytes, size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<DWORD>(bytes[offset + 3]) << 24;
}

// A completed voice file of `dataBytes` bytes of the input's pattern from the stream's byte
// `first` on: its header with the three sizes, then the data.
std::vector<BYTE> CompletedVoiceFile(DWORD dataBytes, std::uint64_t first = 0) {
    std::vector<BYTE> file(kHeaderBytes);
    BuildVoiceHeader(file.data());
    const struct {
        size_t offset;
        DWORD value;
    } sizes[] = {{4, dataBytes + 52}, {48, SampleCount(dataBytes)}, {56, dataBytes}};
    for (const auto& size : sizes) {
        for (int i = 0; i < 4; ++i) {
            file[size.offset + i] = static_cast<BYTE>(size.value >> (8 * i));
        }
    }
    const std::vector<BYTE> data = ScriptedWaveIn::PatternBytes(first, dataBytes);
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

// "M:SS" as a person reads the time readout, worked out here.
std::string Clock(std::uint64_t seconds) {
    const std::string tens = std::to_string(seconds % 60 / 10);
    return std::to_string(seconds / 60) + ":" + tens + std::to_string(seconds % 10);
}

bool OffersPrivacySettings() {
    return true;
}
bool LacksPrivacySettings() {
    return false;
}

bool FileExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// What the Save As dialog was asked, and what it answers: a path, or cancel when empty, and
// the type chosen (0: the one offered).
struct SaveDialogCall {
    HWND owner;
    std::string filter, defaultExtension, suggested, initialFolder;
    DWORD flags;
    DWORD type;
};
std::vector<SaveDialogCall> g_saveCalls;
std::string g_saveAnswer;
DWORD g_saveType;

// Texts as UTF-8; "(null)" for none.
std::string TextOrNull(const WCHAR* text) {
    return text != nullptr ? Utf8(text) : "(null)";
}

BOOL WINAPI AnswerSaveDialog(LPOPENFILENAMEW dialog) {
    EXPECT_EQ(dialog->lStructSize, sizeof(OPENFILENAMEW));
    std::string filter;
    for (const WCHAR* at = dialog->lpstrFilter; at != nullptr && *at != L'\0';
         at += lstrlenW(at) + 1) {
        filter += Utf8(at) + "|";
    }
    g_saveCalls.push_back({dialog->hwndOwner, filter, TextOrNull(dialog->lpstrDefExt),
                           TextOrNull(dialog->lpstrFile), TextOrNull(dialog->lpstrInitialDir),
                           dialog->Flags, dialog->nFilterIndex});
    if (g_saveAnswer.empty()) {
        return FALSE;
    }
    if (g_saveType != 0) {
        dialog->nFilterIndex = g_saveType;
    }
    const std::wstring answer = Wide(g_saveAnswer);
    EXPECT_LT(answer.size(), dialog->nMaxFile);
    lstrcpynW(dialog->lpstrFile, answer.c_str(), dialog->nMaxFile);
    dialog->nFileOffset = static_cast<WORD>(answer.rfind(L'\\') + 1);
    dialog->nFileExtension = static_cast<WORD>(answer.rfind(L'.') + 1);
    return TRUE;
}

bool IsMessageName(const std::string& name) {
    return name.size() == 42 && name.rfind("voice-message-", 0) == 0 && name.substr(38) == ".wav" &&
           name.find_first_of(": ") == std::string::npos;
}

// Writes of the hand-over's conversions, on threads other than the window's (g_uiThread; 0:
// all); the g_failWriteAt-th of them writes half and fails with g_failWriteWith.
int g_conversionWrites;
int g_failWriteAt;
DWORD g_failWriteWith;
DWORD g_uiThread;
BOOL WINAPI CountConversionWrites(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                                  LPOVERLAPPED overlapped) {
    if (GetCurrentThreadId() != g_uiThread && ++g_conversionWrites == g_failWriteAt) {
        WriteFile(file, data, bytes / 2, written, overlapped);
        SetLastError(g_failWriteWith);
        return FALSE;
    }
    return WriteFile(file, data, bytes, written, overlapped);
}

// While it lives, conversions on workers wait at each write until released; the window's own
// writes go through.
class HeldConversion {
  public:
    HeldConversion() {
        if (s_writing == nullptr) {
            s_writing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            s_release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
        ResetEvent(s_writing);
        ResetEvent(s_release);
        s_window = GetCurrentThreadId();
        g_writeFile = Write;
    }
    ~HeldConversion() {
        Release();
        g_writeFile = WriteFile;
    }
    // A worker has come to its first write.
    bool WaitUntilWriting() { return WaitForSingleObject(s_writing, 10000) == WAIT_OBJECT_0; }
    void Release() { SetEvent(s_release); }

  private:
    static BOOL WINAPI Write(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                             LPOVERLAPPED overlapped) {
        if (GetCurrentThreadId() != s_window) {
            SetEvent(s_writing);
            WaitForSingleObject(s_release, 10000);
        }
        return WriteFile(file, data, bytes, written, overlapped);
    }
    // Made once and kept: a worker may still be on its way out when the next test begins.
    static HANDLE s_writing;
    static HANDLE s_release;
    static DWORD s_window;
};
HANDLE HeldConversion::s_writing;
HANDLE HeldConversion::s_release;
DWORD HeldConversion::s_window;

// The one file on the clipboard, in UTF-8; "" when there is none.
std::string ClipboardFile() {
    WCHAR path[MAX_PATH] = L"";
    if (OpenClipboard(nullptr)) {
        auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP));
        if (drop != nullptr && DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
            DragQueryFileW(drop, 0, path, MAX_PATH);
        }
        CloseClipboard();
    }
    return Utf8(path);
}

// A voice file that breaks off after its first bytes: a pipe whose writer goes away once they
// were read.
class BreakingVoiceFile {
  public:
    BreakingVoiceFile() {
        static int s_count = 0;
        char name[96];
        wsprintfA(name, "\\\\.\\pipe\\kestrune-voice-%lu-%d", GetCurrentProcessId(), ++s_count);
        name_ = name;
        pipe_ = CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                 4096, 0, nullptr);
        if (pipe_ != INVALID_HANDLE_VALUE) {
            writer_ = CreateThread(nullptr, 0, Write, pipe_, 0, nullptr);
        }
    }
    ~BreakingVoiceFile() {
        if (writer_ != nullptr) {
            // Unblocks a writer still waiting for its reader.
            HANDLE reader =
                CreateFileA(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(WaitForSingleObject(writer_, 5000), WAIT_OBJECT_0);
            if (reader != INVALID_HANDLE_VALUE) {
                CloseHandle(reader);
            }
            CloseHandle(writer_);
        }
    }
    bool Ready() const { return writer_ != nullptr; }
    const std::string& Name() const { return name_; }

  private:
    static DWORD WINAPI Write(void* pipe) {
        ConnectNamedPipe(pipe, nullptr);
        const char bytes[100] = "RIFF";
        DWORD written = 0;
        WriteFile(pipe, bytes, sizeof bytes, &written, nullptr);
        FlushFileBuffers(pipe);
        CloseHandle(pipe);
        return 0;
    }
    std::string name_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE writer_ = nullptr;
};

class MainWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        g_instance = GetModuleHandleA(nullptr);
        InitCommonControls();
        RegisterBtnBarClass();
        RegisterMyButtonClass();
        GetTempPathA(MAX_PATH, s_base);
        GetEnvironmentVariableA("TMP", s_tmp, MAX_PATH);
        GetEnvironmentVariableA("TEMP", s_temp, MAX_PATH);
    }

    static void TearDownTestSuite() {
        SetEnvironmentVariableA("TMP", s_tmp[0] ? s_tmp : nullptr);
        SetEnvironmentVariableA("TEMP", s_temp[0] ? s_temp : nullptr);
    }

    void SetUp() override {
        // A private temporary folder, so the voice file's place can be checked.
        // A folder of each test's own: one left behind cannot break the next.
        // Wine gives process ids again, so a name one run left behind may be taken: the next
        // free one serves.
        static int s_test = 0;
        bool made = false;
        for (int attempt = 0; attempt < 100 && !made; ++attempt) {
            wsprintfA(folder_, "%skestrune-window-%lu-%d", s_base, GetCurrentProcessId(), ++s_test);
            made = CreateDirectoryA(folder_, nullptr) != FALSE;
        }
        ASSERT_TRUE(made) << folder_;
        char tmp[MAX_PATH];
        wsprintfA(tmp, "%s\\", folder_);
        SetEnvironmentVariableA("TMP", tmp);
        SetEnvironmentVariableA("TEMP", tmp);

        // A settings key of the test's own, read when the window starts.
        wsprintfW(settingsKey_, L"Software\\Kestrune-tests-%lu-%d", GetCurrentProcessId(), s_test);
        previousSettingsKey_ = g_settingsKey;
        g_settingsKey = settingsKey_;
        previousPrivacy_ = g_hasPrivacySettings;

        std::memset(&state_, 0, sizeof state_);
        g_appState = &state_;
        g_shellCalls.clear();
        previousShell_ = g_shellExecute;
        g_shellExecute = RecordShellCall;
        g_saveCalls.clear();
        g_saveAnswer.clear();
        g_saveType = 0;
        previousSaveDialog_ = g_getSaveFileName;
        g_getSaveFileName = AnswerSaveDialog;
        OpenWindow();
    }

    // The real dialog from its template, initialised as at start-up.
    void OpenWindow() {
        dialog_ =
            CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
        ASSERT_NE(dialog_, nullptr);
        ASSERT_NE(state_.bar, nullptr);
        PumpMessages();
    }

    void TearDown() override {
        // Whatever a test left running drains first, so the devices end closed.
        if (state_.recording || state_.playing) {
            SendCommand(IDM_STOP);
        }
        for (int round = 0; round < 20 && (input_.IsOpen() || output_.IsOpen()); ++round) {
            input_.DeliverAndPump(kBlockBytes * 8);
            output_.PlayAndPump();
            PumpMessages();
        }
        if (dialog_) {
            DestroyWindow(dialog_);
        }
        PumpMessages();
        DeleteFileW(state_.voicePath);
        RemoveDirectoryA(folder_);
        g_shellExecute = previousShell_;
        g_getSaveFileName = previousSaveDialog_;
        RegDeleteKeyW(HKEY_CURRENT_USER, settingsKey_);
        g_settingsKey = previousSettingsKey_;
        g_hasPrivacySettings = previousPrivacy_;
        // A box nobody expected is a failure the window reported, even if all else looks right.
        EXPECT_EQ(boxes_.Count(), expectedBoxes_);
    }

    // The window closed and started again, as a new Kestrune starts; its own empty file goes.
    void StartAgain() {
        DestroyWindow(dialog_);
        PumpMessages();
        DeleteFileW(state_.voicePath);
        std::memset(&state_, 0, sizeof state_);
        OpenWindow();
    }

    MyButton* Button(int slot) const { return ButtonInSlot(state_.bar, slot); }

    // A click on a bar button, as the mouse delivers it.
    void Click(int slot) {
        HWND button = Button(slot)->window;
        SendMessageA(button, WM_MOUSEMOVE, 0, MAKELPARAM(20, 20));
        SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        SendMessageA(button, WM_LBUTTONUP, 0, MAKELPARAM(20, 20));
        SendMessageA(button, WM_MOUSELEAVE, 0, 0);
        PumpMessages();
    }

    // A menu command, as the menu delivers it.
    void SendCommand(int command) {
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        PumpMessages();
    }

    std::string Text(int id) const {
        char text[64] = {};
        GetDlgItemTextA(dialog_, id, text, sizeof text);
        return text;
    }

    int SliderPosition() const {
        return static_cast<int>(SendDlgItemMessageA(dialog_, IDC_SLIDER, TBM_GETPOS, 0, 0));
    }

    // Waits for the hand-over workers started since `before` to end, then lets the window take
    // what they posted.
    void AwaitHandovers(const std::set<DWORD>& before) {
        ASSERT_NE(WaitForThreadsStartedSince(before, 10000), -1) << "a worker did not end";
        PumpMessages();
    }

    // Voice files left in the private temporary folder.
    int VoiceFilesLeft() const {
        char pattern[MAX_PATH];
        wsprintfA(pattern, "%s\\kes*.tmp", folder_);
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) {
            return 0;
        }
        int count = 1;
        while (FindNextFileA(search, &found)) {
            ++count;
        }
        FindClose(search);
        return count;
    }

    // The voice file is a completed recording of `dataBytes` bytes of the input's pattern, from
    // the stream's byte `first` on.
    void ExpectCompletedFile(DWORD dataBytes, std::uint64_t first = 0) {
        std::vector<BYTE> file = ReadFileBytes(Utf8(state_.voicePath));
        ASSERT_EQ(file.size(), kHeaderBytes + dataBytes);
        EXPECT_EQ(LittleEndian32(file, 4), dataBytes + 52);
        EXPECT_EQ(LittleEndian32(file, 48), SampleCount(dataBytes));
        EXPECT_EQ(LittleEndian32(file, 56), dataBytes);
        EXPECT_EQ(std::vector<BYTE>(file.begin() + kHeaderBytes, file.end()),
                  ScriptedWaveIn::PatternBytes(first, dataBytes));
    }

    Arrangement Shown() const {
        Arrangement a = {};
        HMENU menu = GetMenu(dialog_);
        for (int slot = 0; slot < 5; ++slot) {
            // Unavailable is a disabled window, which is what screen readers and the mouse go by.
            a.disabled[slot] = !IsWindowEnabled(Button(slot)->window);
            EXPECT_EQ(Button(slot)->disabled, a.disabled[slot]) << "the look is not the window's";
            a.pressed[slot] = Button(slot)->pressed;
            UINT menuState = GetMenuState(menu, IDM_PLAY + slot, MF_BYCOMMAND);
            a.menuGrayed[slot] = (menuState & MF_GRAYED) != 0;
        }
        a.saveAsGrayed = (GetMenuState(menu, IDM_SAVE_AS, MF_BYCOMMAND) & MF_GRAYED) != 0;
        a.copyGrayed = (GetMenuState(menu, IDM_COPY, MF_BYCOMMAND) & MF_GRAYED) != 0;
        a.status = Text(IDC_STATUS);
        a.sliderEnabled = IsWindowEnabled(GetDlgItem(dialog_, IDC_SLIDER)) != FALSE;
        a.linkEnabled = IsWindowEnabled(GetDlgItem(dialog_, IDC_HOME_LINK)) != FALSE;
        return a;
    }

    // Records `blocks` full blocks and stops, draining every queued buffer; returns when the
    // recorder has closed.
    void RecordBlocks(int blocks) {
        Click(Record);
        ASSERT_EQ(Shown(), RecordingArrangement());
        input_.DeliverAndPump(static_cast<size_t>(blocks) * kBlockBytes);
        Click(Stop);
        input_.DeliverAndPump(8 * kBlockBytes);
        ASSERT_FALSE(input_.IsOpen());
    }

    // A key as the keyboard delivers it to `focus` (down, then up), through the dialog's own key
    // handling; then whatever it posted.
    void PressKey(WPARAM key, bool control, HWND focus) {
        DeliverKey(dialog_, key, control ? KeyHeld::kControl : KeyHeld::kNone, focus);
        PumpMessages();
    }

    void Key(WPARAM key, bool shift = false) {
        DeliverKey(dialog_, key, shift ? KeyHeld::kShift : KeyHeld::kNone);
    }

    HWND StopWindow(int stop) const {
        if (stop < kButtonCount) {
            return Button(stop)->window;
        }
        return GetDlgItem(dialog_, stop == kSliderStop ? IDC_SLIDER : IDC_HOME_LINK);
    }

    // What a window is, for messages: a stop's name, or what else it is.
    std::string NameOf(HWND window) const {
        for (int stop = 0; stop < kStopCount; ++stop) {
            if (window == StopWindow(stop)) {
                return kStopNames[stop];
            }
        }
        if (window == nullptr) {
            return "nothing";
        }
        if (window == dialog_) {
            return "the window";
        }
        return window == GetDlgItem(dialog_, IDC_BUTTON_BAR) ? "the bar" : "another window";
    }

    HMENU MicrophoneMenu() const {
        return GetSubMenu(GetSubMenu(GetMenu(dialog_), kActionMenu), kMicrophoneItem);
    }

    // The submenu as it opens: each item's text, with "*" before the checked one.
    std::vector<std::string> OpenMicrophoneMenu() {
        HMENU menu = MicrophoneMenu();
        SendMessageA(dialog_, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu),
                     MAKELPARAM(kMicrophoneItem, FALSE));
        std::vector<std::string> items;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[64] = {};
            GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
            const bool checked = (GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) != 0;
            items.push_back((checked ? "*" : "") + std::string(text));
        }
        return items;
    }

    bool MicrophoneChoiceGrayed() const {
        HMENU action = GetSubMenu(GetMenu(dialog_), kActionMenu);
        return (GetMenuState(action, kMicrophoneItem, MF_BYPOSITION) & MF_GRAYED) != 0;
    }

    // The remembered microphone as stored, or "(none)".
    std::string StoredMicrophone() const {
        WCHAR name[64] = L"";
        DWORD size = sizeof name - sizeof(WCHAR);
        DWORD type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, settingsKey_, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS) {
            return "(none)";
        }
        const LONG read = RegQueryValueExW(key, L"Microphone", nullptr, &type,
                                           reinterpret_cast<BYTE*>(name), &size);
        RegCloseKey(key);
        return read == ERROR_SUCCESS && type == REG_SZ ? Utf8(name) : "(none)";
    }

    int MeterPosition() const {
        return static_cast<int>(SendDlgItemMessageA(dialog_, IDC_LEVEL_METER, PBM_GETPOS, 0, 0));
    }

    static char s_base[MAX_PATH];  // the temporary folder before the tests moved it
    static char s_tmp[MAX_PATH];   // TMP and TEMP as they were
    static char s_temp[MAX_PATH];
    int expectedBoxes_ = 0;
    char folder_[MAX_PATH] = {};
    WCHAR settingsKey_[MAX_PATH] = {};
    const WCHAR* previousSettingsKey_ = nullptr;
    PrivacySettingsFn previousPrivacy_ = nullptr;
    AppState state_;
    ScriptedMessageBox boxes_;
    ScriptedWaveIn input_;
    ScriptedWaveOut output_;
    ScriptedTimers timers_;
    HWND dialog_ = nullptr;
    ShellExecuteFn previousShell_ = nullptr;
    GetSaveFileNameFn previousSaveDialog_ = nullptr;
};

char MainWindowTest::s_base[MAX_PATH];
char MainWindowTest::s_tmp[MAX_PATH];
char MainWindowTest::s_temp[MAX_PATH];

TEST_F(MainWindowTest, StartsWithOnlyRecordAvailableAndAnEmptyVoiceFile) {
    EXPECT_EQ(Shown(), EmptyArrangement());
    EXPECT_EQ(Text(IDC_TIME_READOUT), "0:00");
    EXPECT_EQ(Text(IDC_SIZE_READOUT), "0 K");
    EXPECT_EQ(SliderPosition(), 0);

    HMENU menu = GetMenu(dialog_);
    for (int always : {IDM_EXIT, IDM_HELP, IDM_ABOUT}) {
        EXPECT_EQ(GetMenuState(menu, always, MF_BYCOMMAND) & MF_GRAYED, 0u) << always;
    }

    // A new, empty file named kes*.tmp in the user's temporary folder.
    std::string path = Utf8(state_.voicePath);
    std::string expectedFolder = std::string(folder_) + "\\";
    ASSERT_EQ(path.compare(0, expectedFolder.size(), expectedFolder), 0) << path;
    std::string name = path.substr(expectedFolder.size());
    EXPECT_EQ(name.compare(0, 3, "kes"), 0) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp") << name;
    EXPECT_TRUE(FileExists(Utf8(state_.voicePath).c_str()));
    EXPECT_TRUE(ReadFileBytes(Utf8(state_.voicePath)).empty());
    EXPECT_EQ(boxes_.Count(), 0);
}

TEST_F(MainWindowTest, RecordStopDrainThenPlayToTheEnd) {
    Click(Record);
    EXPECT_EQ(Shown(), RecordingArrangement());
    EXPECT_TRUE(input_.IsStarted());

    // 2.5 seconds: 31 full blocks and a part of the next.
    input_.DeliverAndPump(4062);
    EXPECT_EQ(Text(IDC_TIME_READOUT), "0:02");
    EXPECT_EQ(Text(IDC_SIZE_READOUT), "3 K");

    Click(Stop);
    // Draining: the arrangement holds until the device has closed.
    EXPECT_EQ(Shown(), RecordingArrangement());
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_FALSE(input_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());

    const DWORD dataBytes = state_.dataBytes;
    // 31 full blocks and 32 bytes when Stop came; the drain fills that one and 7 more.
    EXPECT_EQ(dataBytes, 39 * kBlockBytes);
    std::vector<BYTE> file = ReadFileBytes(Utf8(state_.voicePath));
    ASSERT_EQ(file.size(), kHeaderBytes + dataBytes);
    EXPECT_EQ(LittleEndian32(file, 4), dataBytes + 52);
    EXPECT_EQ(LittleEndian32(file, 56), dataBytes);
    EXPECT_EQ(std::vector<BYTE>(file.begin() + kHeaderBytes, file.end()),
              ScriptedWaveIn::PatternBytes(0, dataBytes));
    const char* const length = "0:03";  // 5070 bytes
    EXPECT_EQ(Text(IDC_TIME_READOUT), length);

    Click(Play);
    EXPECT_EQ(Shown(), PlayingArrangement(true));
    EXPECT_EQ(Text(IDC_TIME_READOUT), "0:00");
    output_.PlayAndPump();
    ASSERT_FALSE(output_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(Text(IDC_TIME_READOUT), length);
    EXPECT_EQ(SliderPosition(), 0);

    // What was played is what was recorded, in order.
    std::vector<BYTE> played = output_.Played();
    ASSERT_GE(played.size(), dataBytes);
    played.resize(dataBytes);
    EXPECT_EQ(played, ScriptedWaveIn::PatternBytes(0, dataBytes));
    EXPECT_EQ(boxes_.Count(), 0);
}

// A start that fails once the voice file was emptied has lost the last recording.
TEST_F(MainWindowTest, EveryFailedRecordingStartPastTheOpenLeavesExactlyEmpty) {
    expectedBoxes_ = 2;
    struct Case {
        const char* name;
        void (*arrange)(ScriptedWaveIn&);
        const char* text;
    };
    const Case cases[] = {
        {"third prepare",
         [](ScriptedWaveIn& in) { in.FailPrepare(in.CallCount("prepareHeader") + 3); },
         "waveInPrepareHeader() failed"},
        {"start", [](ScriptedWaveIn& in) { in.FailStart(MMSYSERR_ERROR); }, "waveInStart() failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // A previous recording shows readouts, which the failure must clear.
        RecordBlocks(20);
        ASSERT_EQ(Shown(), ReadyArrangement());
        ASSERT_NE(Text(IDC_SIZE_READOUT), "0 K");

        const int boxesBefore = boxes_.Count();
        c.arrange(input_);
        Click(Record);
        PumpMessages();
        EXPECT_FALSE(input_.IsOpen());
        EXPECT_EQ(Shown(), EmptyArrangement());
        EXPECT_EQ(Text(IDC_TIME_READOUT), "0:00");
        EXPECT_EQ(Text(IDC_SIZE_READOUT), "0 K");
        ASSERT_EQ(boxes_.Count(), boxesBefore + 1);
        EXPECT_EQ(boxes_.Boxes().back().text, c.text);
        EXPECT_EQ(boxes_.Boxes().back().caption, "Error");
        EXPECT_EQ(boxes_.Boxes().back().owner, nullptr);

        input_.FailStart(MMSYSERR_NOERROR);
    }
}

TEST_F(MainWindowTest, FailedAllocationAndFileCreationLeaveEmpty) {
    expectedBoxes_ = 2;
    {
        ScriptedHeap heap;
        heap.FailAllocation(6);  // the header of the third buffer
        Click(Record);
        PumpMessages();
        EXPECT_FALSE(input_.IsOpen());
        EXPECT_EQ(heap.LiveBlocks(), 0);
    }
    EXPECT_EQ(Shown(), EmptyArrangement());
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "malloc() failed");

    // The voice file's folder is gone (once the window no longer holds the file): the file
    // cannot be created.
    ReleaseVoiceFile(&state_);
    DeleteFileW(state_.voicePath);
    ASSERT_TRUE(RemoveDirectoryA(folder_));
    Click(Record);
    EXPECT_EQ(Shown(), EmptyArrangement());
    ASSERT_EQ(boxes_.Count(), 2);
    EXPECT_EQ(boxes_.Boxes()[1].text, "Failed to create temporary file");
    EXPECT_EQ(boxes_.Boxes()[1].owner, dialog_);
    EXPECT_TRUE(boxes_.Boxes()[1].defaultCaption);
    // The device opened first and closes again.
    EXPECT_EQ(input_.OpenCount(), 2);
    PumpMessages();
    EXPECT_FALSE(input_.IsOpen());
}

TEST_F(MainWindowTest, FailedPlaybackStartLeavesReady) {
    expectedBoxes_ = 1;
    RecordBlocks(10);
    output_.FailOpen(MMSYSERR_ALLOCATED);
    Click(Play);
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(Text(IDC_TIME_READOUT), "0:00");  // reset before the open
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "waveOutOpen() failed");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Error");

    // The file was closed again: a second try plays.
    output_.FailOpen(MMSYSERR_NOERROR);
    Click(Play);
    EXPECT_EQ(Shown(), PlayingArrangement(true));
    output_.PlayAndPump();
    EXPECT_EQ(Shown(), ReadyArrangement());
}

TEST_F(MainWindowTest, PauseTwiceWhileRecording) {
    Click(Record);
    input_.DeliverAndPump(3 * kBlockBytes + 40);
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    EXPECT_FALSE(input_.IsStarted());
    EXPECT_FALSE(Button(Pause)->pressed);  // momentary
    // The partly filled buffer came back and was written; nothing more arrives.
    EXPECT_EQ(state_.dataBytes, 3 * kBlockBytes + 40);
    const std::string size = Text(IDC_SIZE_READOUT);
    input_.DeliverAndPump(5 * kBlockBytes);
    EXPECT_EQ(state_.dataBytes, 3 * kBlockBytes + 40);
    EXPECT_EQ(Text(IDC_SIZE_READOUT), size);

    SendCommand(IDM_PAUSE);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_TRUE(input_.IsStarted());
    input_.DeliverAndPump(kBlockBytes);
    EXPECT_EQ(state_.dataBytes, 4 * kBlockBytes + 40);
}

TEST_F(MainWindowTest, StopWhilePausedResumesSoTheRecordingDrains) {
    Click(Record);
    input_.DeliverAndPump(2 * kBlockBytes);
    Click(Pause);
    Click(Stop);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_TRUE(input_.IsStarted());
    input_.DeliverAndPump(8 * kBlockBytes);
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
}

TEST_F(MainWindowTest, PauseWhileDrainingOnlySetsTheFlagWhichCarriesIntoTheNextPlayback) {
    RecordBlocks(30);
    Click(Record);
    input_.DeliverAndPump(4 * kBlockBytes);
    Click(Stop);
    // Draining: Pause is still offered, but only the flag changes.
    Click(Pause);
    EXPECT_TRUE(state_.paused);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_TRUE(input_.IsStarted());
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    EXPECT_TRUE(state_.paused);

    // The next playback's first Pause resumes (already running), the second pauses.
    Click(Play);
    Click(Pause);
    EXPECT_FALSE(state_.paused);
    EXPECT_EQ(Text(IDC_STATUS), "Playing");
    EXPECT_FALSE(output_.IsPaused());
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Playing / Paused");
    EXPECT_TRUE(output_.IsPaused());
    EXPECT_FALSE(output_.PlayNext());
    SendCommand(IDM_PAUSE);
    EXPECT_EQ(Text(IDC_STATUS), "Playing");
    EXPECT_TRUE(output_.PlayNext());
}

TEST_F(MainWindowTest, StopWithNothingRunningDoesNothing) {
    RecordBlocks(5);
    const Arrangement before = Shown();
    const std::string time = Text(IDC_TIME_READOUT);
    const int inputOpens = input_.OpenCount();
    SendCommand(IDM_STOP);
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(Text(IDC_TIME_READOUT), time);
    EXPECT_EQ(input_.OpenCount(), inputOpens);
    EXPECT_EQ(output_.OpenCount(), 0);
}

TEST_F(MainWindowTest, PlayClickDuringAMenuPlaybackFailsAndTheFirstPlaysOn) {
    expectedBoxes_ = 1;
    RecordBlocks(40);
    SendCommand(IDM_PLAY);
    EXPECT_EQ(Shown(), PlayingArrangement(false));
    output_.PlayNext();
    PumpMessages();

    Click(Play);  // the button is not latched: the command runs again
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Failed to open temporary file");
    EXPECT_EQ(boxes_.Boxes()[0].owner, dialog_);
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(output_.OpenCount(), 1);

    // The first playback plays on to its end; its close must not apply Ready again, which
    // would clear this status text.
    SetDlgItemTextA(dialog_, IDC_STATUS, "probe");
    output_.PlayAndPump();
    EXPECT_FALSE(output_.IsOpen());
    EXPECT_EQ(Text(IDC_STATUS), "probe");
    std::vector<BYTE> played = output_.Played();
    ASSERT_GE(played.size(), state_.dataBytes);
    played.resize(state_.dataBytes);
    EXPECT_EQ(played, ScriptedWaveIn::PatternBytes(0, state_.dataBytes));
}

TEST_F(MainWindowTest, EscAndEnterChangeNothing) {
    RecordBlocks(5);
    const Arrangement before = Shown();
    for (int key : {VK_ESCAPE, VK_RETURN}) {
        // Through the dialog manager, as a key press reaches it.
        HWND focus = GetDlgItem(dialog_, IDC_SLIDER);
        MSG msg = {focus, WM_KEYDOWN, static_cast<WPARAM>(key), 0, 0, {0, 0}};
        IsDialogMessageA(dialog_, &msg);
        PumpMessages();
    }
    SendCommand(IDOK);
    SendCommand(IDCANCEL);
    EXPECT_TRUE(IsWindow(dialog_));
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(Shown(), before);
    EXPECT_TRUE(FileExists(Utf8(state_.voicePath).c_str()));
}

TEST_F(MainWindowTest, CloseDeletesTheVoiceFileButExitLeavesIt) {
    RecordBlocks(5);
    const std::string path = Utf8(state_.voicePath);
    SendCommand(IDM_EXIT);
    EXPECT_TRUE(FileExists(path.c_str()));
    EXPECT_FALSE(IsWindowVisible(dialog_));

    SendMessageA(dialog_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(FileExists(path.c_str()));
}

TEST_F(MainWindowTest, SliderDragDuringPlaybackSeeksOnceOnRelease) {
    RecordBlocks(200);  // and 8 drained: 208 blocks, 27040 bytes
    Click(Play);
    output_.PlayNext();
    PumpMessages();
    const DWORD before = state_.playedBytes;

    HWND slider = GetDlgItem(dialog_, IDC_SLIDER);
    for (int position : {100, 300, 500}) {
        SendMessageA(slider, TBM_SETPOS, TRUE, position);
        SendMessageA(dialog_, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, position),
                     reinterpret_cast<LPARAM>(slider));
        EXPECT_EQ(state_.playedBytes, before);
        EXPECT_TRUE(state_.seeking);
    }
    SendMessageA(dialog_, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(slider));
    EXPECT_FALSE(state_.seeking);
    ASSERT_EQ(state_.dataBytes, 27040u);
    // Half of it is 13520, a multiple of 130.
    EXPECT_EQ(state_.playedBytes, 13520u);

    // The next buffer that comes back reads from there.
    const size_t playedBefore = output_.Played().size();
    output_.PlayAll();
    PumpMessages();
    output_.PlayAll();
    PumpMessages();
    const std::vector<BYTE>& played = output_.Played();
    ASSERT_GT(played.size(), playedBefore + 4 * kBlockBytes);
    const std::vector<BYTE> expected = ScriptedWaveIn::PatternBytes(13520, kBlockBytes);
    // The four buffers queued at the seek play their old content first.
    const size_t first = playedBefore + 4 * kBlockBytes;
    EXPECT_EQ(std::vector<BYTE>(played.begin() + first, played.begin() + first + kBlockBytes),
              expected);
}

TEST_F(MainWindowTest, TemplateMenuAndInitialisationAreAsDesigned) {
    char text[128];
    GetWindowTextA(dialog_, text, sizeof text);
    EXPECT_STREQ(text, "Kestrune");
    const LONG_PTR style = GetWindowLongPtrA(dialog_, GWL_STYLE);
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & (WS_MAXIMIZEBOX | WS_THICKFRAME), 0);
    EXPECT_NE(GetWindowLongPtrA(dialog_, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    EXPECT_NE(SendMessageA(dialog_, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_NE(SendMessageA(dialog_, WM_GETICON, ICON_BIG, 0), 0);

    // Client area and control places, in dialog units.
    RECT expected = {0, 0, 186, 100};
    MapDialogRect(dialog_, &expected);
    RECT client;
    GetClientRect(dialog_, &client);
    EXPECT_EQ(client.right, expected.right);
    EXPECT_EQ(client.bottom, expected.bottom);

    struct Control {
        int id;
        const char* className;
        RECT units;  // x, y, width, height
        LONG_PTR styleBits;
    };
    const Control controls[] = {
        {IDC_BUTTON_BAR, "BtnBarClass", {3, 4, 179, 33}, 0},
        {IDC_SLIDER,
         "msctls_trackbar32",
         {3, 41, 149, 17},
         WS_GROUP | WS_TABSTOP | TBS_NOTICKS | TBS_BOTH},
        {IDC_HOME_LINK, "Button", {3, 86, 179, 11}, WS_TABSTOP | BS_FLAT},
        // Wide enough for the widest readouts in the fonts of every language's Windows.
        {IDC_TIME_READOUT, "Static", {155, 43, 27, 8}, SS_RIGHT},
        {IDC_SIZE_READOUT, "Static", {155, 51, 27, 8}, SS_RIGHT},
        {IDC_STATUS, "Static", {3, 72, 179, 10}, SS_CENTER | SS_SUNKEN},
        // The meter's label, which names it for a screen reader, and the meter. In English the
        // label's text fits the template's width.
        {IDC_LEVEL_LABEL, "Static", {3, 61, 40, 8}, SS_NOPREFIX},
        {IDC_LEVEL_METER, "msctls_progress32", {45, 61, 137, 8}, PBS_SMOOTH},
    };
    HWND previous = nullptr;
    for (const Control& c : controls) {
        SCOPED_TRACE(c.id);
        HWND control = GetDlgItem(dialog_, c.id);
        ASSERT_NE(control, nullptr);
        // Template order is the order of the child windows.
        EXPECT_EQ(GetWindow(control, GW_HWNDPREV), previous);
        previous = control;
        GetClassNameA(control, text, sizeof text);
        EXPECT_STREQ(text, c.className);
        EXPECT_EQ(GetWindowLongPtrA(control, GWL_STYLE) & c.styleBits, c.styleBits);
        RECT place = c.units;
        MapDialogRect(dialog_, &place);
        RECT actual;
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog_, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, place.left);
        EXPECT_EQ(actual.top, place.top);
        EXPECT_EQ(actual.right - actual.left, place.right);
        EXPECT_EQ(actual.bottom - actual.top, place.bottom);
    }
    // The bar is no tab stop, but Tab reaches into it; it names itself, whatever the template
    // says.
    HWND bar = GetDlgItem(dialog_, IDC_BUTTON_BAR);
    EXPECT_EQ(GetWindowLongPtrA(bar, GWL_STYLE) & WS_TABSTOP, 0);
    EXPECT_NE(GetWindowLongPtrA(bar, GWL_EXSTYLE) & WS_EX_CONTROLPARENT, 0);
    GetWindowTextA(bar, text, sizeof text);
    EXPECT_STREQ(text, "Player controls");
    GetDlgItemTextA(dialog_, IDC_HOME_LINK, text, sizeof text);
    EXPECT_STREQ(text, KESTRUNE_PRODUCT_PAGE);

    HWND slider = GetDlgItem(dialog_, IDC_SLIDER);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMIN, 0, 0), 0);
    EXPECT_EQ(SendMessageA(slider, TBM_GETRANGEMAX, 0, 0), 1000);
    EXPECT_EQ(SendMessageA(slider, TBM_GETPAGESIZE, 0, 0), 50);

    HMENU menu = GetMenu(dialog_);
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    const char* const menus[] = {"&File", "&Action", "&Help"};
    for (int i = 0; i < 3; ++i) {
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, menus[i]);
    }
    const std::pair<int, const char*> items[] = {
        {IDM_SAVE_AS, "Save &As...\tCtrl+S"},
        {IDM_EXIT, "E&xit"},
        {IDM_PLAY, "&Play\tCtrl+P"},
        {IDM_PAUSE, "P&ause\tSpace"},
        {IDM_STOP, "&Stop\tEsc"},
        {IDM_RECORD, "&Rec\tCtrl+R"},
        {IDM_SEND, "S&end"},
        {IDM_COPY, "&Copy\tCtrl+C"},
        {IDM_HELP, "&Help"},
        {IDM_ABOUT, "&About Kestrune"},
    };
    for (const auto& item : items) {
        GetMenuStringA(menu, item.first, text, sizeof text, MF_BYCOMMAND);
        EXPECT_STREQ(text, item.second);
    }
    HMENU file = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(file), 3);
    EXPECT_EQ(GetMenuItemID(file, 0), static_cast<UINT>(IDM_SAVE_AS));
    EXPECT_NE(GetMenuState(file, 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_EQ(GetMenuItemID(file, 2), static_cast<UINT>(IDM_EXIT));
    HMENU action = GetSubMenu(menu, 1);
    ASSERT_EQ(GetMenuItemCount(action), 8);
    GetMenuStringA(action, kMicrophoneItem, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&Microphone");
    EXPECT_NE(GetSubMenu(action, kMicrophoneItem), nullptr);
    EXPECT_NE(GetMenuState(action, 5, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_EQ(GetMenuItemID(action, 6), static_cast<UINT>(IDM_SEND));
    EXPECT_EQ(GetMenuItemID(action, 7), static_cast<UINT>(IDM_COPY));

    HWND meter = GetDlgItem(dialog_, IDC_LEVEL_METER);
    EXPECT_EQ(SendMessageA(meter, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageA(meter, PBM_GETRANGE, FALSE, 0), 60);
    EXPECT_EQ(SendMessageA(meter, PBM_GETPOS, 0, 0), 0);
    GetWindowTextA(GetWindow(meter, GW_HWNDPREV), text, sizeof text);
    EXPECT_STREQ(text, "Input level");
    EXPECT_EQ(GetMenuItemID(GetSubMenu(menu, 2), 0), static_cast<UINT>(IDM_HELP));
    EXPECT_EQ(GetMenuItemID(GetSubMenu(menu, 2), 1), static_cast<UINT>(IDM_ABOUT));
}

TEST_F(MainWindowTest, LinkHelpAndAboutReachTheShellAndTheAboutBox) {
    expectedBoxes_ = 1;
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDC_HOME_LINK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_HOME_LINK)));
    SendCommand(IDM_HELP);
    ASSERT_EQ(g_shellCalls.size(), 2u);
    EXPECT_EQ(g_shellCalls[0].owner, dialog_);
    EXPECT_EQ(g_shellCalls[0].verb, "open");
    EXPECT_EQ(g_shellCalls[0].file, KESTRUNE_SITE);
    EXPECT_EQ(g_shellCalls[1].owner, dialog_);
    const std::string help = g_shellCalls[1].file;
    ASSERT_GT(help.size(), 14u);
    EXPECT_EQ(help.substr(help.size() - 14), "\\help\\help.htm");

    SendCommand(IDM_ABOUT);
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "About Kestrune");
    EXPECT_EQ(boxes_.Boxes()[0].owner, nullptr);
    EXPECT_EQ(boxes_.Boxes()[0].text.substr(0, 14), "Kestrune 1.03\n");
    EXPECT_EQ(Shown(), EmptyArrangement());
}

TEST_F(MainWindowTest, CloseAloneDeletesTheFileAndEndsTheWindow) {
    const std::string path = Utf8(state_.voicePath);
    ASSERT_TRUE(FileExists(path.c_str()));
    SendMessageA(dialog_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(FileExists(path.c_str()));
    EXPECT_FALSE(IsWindowVisible(dialog_));
}

TEST_F(MainWindowTest, PauseWhileDrainingCarriesIntoTheNextRecording) {
    RecordBlocks(10);
    Click(Play);
    output_.PlayNext();
    PumpMessages();
    Click(Stop);
    Click(Pause);  // draining: only the flag
    EXPECT_EQ(Text(IDC_STATUS), "Playing");
    EXPECT_FALSE(output_.IsPaused());
    output_.PlayAndPump();
    ASSERT_EQ(Shown(), ReadyArrangement());

    Click(Record);
    Click(Pause);  // resumes a device that already runs
    EXPECT_FALSE(state_.paused);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_TRUE(input_.IsStarted());
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    EXPECT_FALSE(input_.IsStarted());
}

TEST_F(MainWindowTest, PlayClickDuringAPausedMenuPlaybackLetsItPlayOnToItsEnd) {
    expectedBoxes_ = 1;
    RecordBlocks(20);
    SendCommand(IDM_PLAY);
    output_.PlayNext();
    PumpMessages();
    SendCommand(IDM_PAUSE);
    ASSERT_TRUE(output_.IsPaused());

    Click(Play);
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Failed to open temporary file");
    EXPECT_EQ(Shown(), ReadyArrangement());
    // Pause and Stop are gone now; a device left paused would hold the file for good.
    EXPECT_FALSE(output_.IsPaused());
    EXPECT_FALSE(state_.paused);
    output_.PlayAndPump();
    EXPECT_FALSE(output_.IsOpen());

    // The file is free again: the recording plays.
    Click(Play);
    EXPECT_EQ(Shown(), PlayingArrangement(true));
    EXPECT_EQ(boxes_.Count(), 1);
}

TEST_F(MainWindowTest, APauseTheDeviceRefusesIsNotShownAsDone) {
    Click(Record);
    Click(Pause);
    ASSERT_EQ(Text(IDC_STATUS), "Recording / Paused");
    input_.FailStart(MMSYSERR_ERROR);
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    EXPECT_TRUE(state_.paused);
    EXPECT_FALSE(input_.IsStarted());

    input_.FailStart(MMSYSERR_NOERROR);
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_FALSE(state_.paused);
    EXPECT_TRUE(input_.IsStarted());
}

// Save As offers the playable copy first and the original second, suggests the Send name in
// Documents, then the folder last saved to. The first type is the recording converted, the
// second the recording byte for byte; a recording that breaks off is reported and no file made.
TEST_F(MainWindowTest, SaveAsOffersThePlayableCopyFirstAndTheOriginalSecond) {
    expectedBoxes_ = 1;
    input_.SetSound(ToneWithDeadAir(1.0, 1.04));
    RecordBlocks(38);
    const std::vector<BYTE> recording = ReadFileBytes(Utf8(state_.voicePath));
    ASSERT_EQ(recording.size(), kHeaderBytes + state_.dataBytes);
    const std::vector<BYTE> playable = PlayableCopyOf(state_.voicePath);
    ASSERT_EQ(MuLawHeaderFault(playable), "");
    // Of the 3 s recorded, about 1 s of tone and a quarter second on either side.
    EXPECT_LT(playable.size(), kMuLawHeaderBytes + 2 * 8000u) << "the dead air was not left out";

    const std::string saved = std::string(folder_) + "\\saved.wav";
    g_saveAnswer = saved;
    const std::set<DWORD> before = ThreadIdsNow();
    SendCommand(IDM_SAVE_AS);
    AwaitHandovers(before);
    ASSERT_EQ(g_saveCalls.size(), 1u);
    const SaveDialogCall& first = g_saveCalls[0];
    EXPECT_EQ(first.owner, dialog_);
    EXPECT_EQ(first.filter,
              "Voice message, plays everywhere (*.wav)|*.wav|Compact original, GSM 6.10 "
              "(*.wav)|*.wav|");
    EXPECT_EQ(first.type, kSavePlayable);
    EXPECT_EQ(first.defaultExtension, "wav");
    EXPECT_EQ(first.flags,
              static_cast<DWORD>(OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST |
                                 OFN_NOCHANGEDIR | OFN_HIDEREADONLY));
    EXPECT_TRUE(IsMessageName(first.suggested)) << first.suggested;
    char documents[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents),
              S_OK);
    EXPECT_EQ(first.initialFolder, documents);
    EXPECT_TRUE(ReadFileBytes(saved.c_str()) == playable) << "not the recording converted";
    EXPECT_EQ(boxes_.Count(), 0);
    EXPECT_EQ(FilesIn(std::string(folder_) + "\\Kestrune"), "") << "a private copy stayed";

    // The original, byte for byte, over the same file; the suggestion is the last folder.
    g_saveType = kSaveOriginal;
    SendCommand(IDM_SAVE_AS);
    ASSERT_EQ(g_saveCalls.size(), 2u);
    EXPECT_EQ(g_saveCalls[1].initialFolder, std::string(folder_) + "\\");
    EXPECT_TRUE(ReadFileBytes(saved.c_str()) == recording) << "not the recording itself";
    EXPECT_EQ(boxes_.Count(), 0);
    g_saveType = 0;

    // The recording breaks off after its first bytes.
    BreakingVoiceFile breaking;
    ASSERT_TRUE(breaking.Ready());
    const std::string voicePath = Utf8(state_.voicePath);
    CopyWide(state_.voicePath, breaking.Name());
    const std::string broken = std::string(folder_) + "\\broken.wav";
    g_saveAnswer = broken;
    SendCommand(IDM_SAVE_AS);
    CopyWide(state_.voicePath, voicePath);
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "Failed to save the message");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Error");
    EXPECT_EQ(boxes_.Boxes()[0].owner, dialog_);
    EXPECT_FALSE(FileExists(broken.c_str())) << "a file was made";
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_TRUE(ReadFileBytes(Utf8(state_.voicePath)) == recording);
    DeleteFileA(saved.c_str());
    RemoveDirectoryA((std::string(folder_) + "\\Kestrune").c_str());
}

// Copy puts the recording converted, as Send hands it over, on the clipboard as a file to be
// copied, once its worker is done.
TEST_F(MainWindowTest, CopyPutsTheConvertedRecordingOnTheClipboardAsAFile) {
    input_.SetSound(ToneWithDeadAir(1.0, 1.04));
    RecordBlocks(38);
    const std::vector<BYTE> playable = PlayableCopyOf(state_.voicePath);
    ASSERT_EQ(MuLawHeaderFault(playable), "");
    const std::set<DWORD> before = ThreadIdsNow();
    SendCommand(IDM_COPY);
    AwaitHandovers(before);
    const std::string copy = ClipboardFile();
    const std::string snapshots = std::string(folder_) + "\\Kestrune\\";
    ASSERT_EQ(copy.compare(0, snapshots.size(), snapshots), 0) << copy;
    EXPECT_TRUE(IsMessageName(copy.substr(snapshots.size()))) << copy;
    EXPECT_TRUE(ReadFileBytes(copy) == playable) << "not the recording converted";
    EXPECT_EQ(FilesIn(snapshots), " " + copy.substr(snapshots.size())) << "a private copy stayed";
    DeleteFileA(copy.c_str());
    RemoveDirectoryA(snapshots.c_str());
}

// Record while a Copy converts: the voice file is the window's to record into at once, the
// controls are as ever, and what goes on the clipboard is the recording as it was at the Copy.
TEST_F(MainWindowTest, RecordWhileACopyConvertsAndTheCopyIsTheEarlierRecording) {
    input_.SetSound(ToneWithDeadAir(1.0, 1.04));
    RecordBlocks(38);
    const std::vector<BYTE> playable = PlayableCopyOf(state_.voicePath);
    ASSERT_EQ(MuLawHeaderFault(playable), "");
    input_.SetSound({});
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();

    HeldConversion held;
    const std::set<DWORD> before = ThreadIdsNow();
    SendCommand(IDM_COPY);
    ASSERT_TRUE(held.WaitUntilWriting()) << "the conversion never wrote";
    EXPECT_EQ(Shown(), ReadyArrangement());
    const std::uint64_t from = input_.CapturedBytes();
    RecordBlocks(10);
    EXPECT_EQ(boxes_.Count(), 0) << "Record could not open the voice file";
    EXPECT_EQ(Shown(), ReadyArrangement());
    ExpectCompletedFile(state_.dataBytes, from);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP) &&
                 ClipboardFile().find("Kestrune") != std::string::npos)
        << "on the clipboard before it was converted";
    held.Release();
    AwaitHandovers(before);
    const std::string copy = ClipboardFile();
    EXPECT_TRUE(ReadFileBytes(copy) == playable) << "not the recording at the Copy";
    DeleteFileA(copy.c_str());
    RemoveDirectoryA((std::string(folder_) + "\\Kestrune").c_str());
}

// A conversion that fails, for each of Send, Copy and Save As, at a write chosen at random, with
// a full disk or another error: a box says so, no file is left, the recording is untouched.
TEST_F(MainWindowTest, AFailedConversionSaysSoAndLeavesNoFile) {
    input_.SetSound(ToneWithDeadAir(1.0, 1.04));
    RecordBlocks(3 * 38);  // over three codec calls
    const std::vector<BYTE> recording = ReadFileBytes(Utf8(state_.voicePath));
    g_conversionWrites = 0;
    g_writeFile = CountConversionWrites;
    g_uiThread = 0;  // every write counts: the reference runs here
    PlayableCopyOf(state_.voicePath);
    g_writeFile = WriteFile;
    const int writes = g_conversionWrites;
    ASSERT_GT(writes, 3);

    const unsigned seed = GetTickCount();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const DWORD errors[] = {ERROR_DISK_FULL, ERROR_HANDLE_DISK_FULL, ERROR_ACCESS_DENIED};
    const int commands[] = {IDM_SEND, IDM_COPY, IDM_SAVE_AS};
    const std::string saved = std::string(folder_) + "\\saved.wav";
    g_saveAnswer = saved;
    int round = 0;
    for (const int command : commands) {
        for (const DWORD error : errors) {
            const int failAt = 1 + static_cast<int>(random() % writes);
            SCOPED_TRACE("command " + std::to_string(command) + ", error " + std::to_string(error) +
                         " at write " + std::to_string(failAt));
            g_conversionWrites = 0;
            g_failWriteAt = failAt;
            g_failWriteWith = error;
            g_uiThread = GetCurrentThreadId();
            g_writeFile = CountConversionWrites;
            const std::set<DWORD> before = ThreadIdsNow();
            SendCommand(command);
            AwaitHandovers(before);
            g_writeFile = WriteFile;
            ++round;
            ASSERT_EQ(boxes_.Count(), round);
            const MessageBoxRecord& box = boxes_.Boxes().back();
            const bool full = error != ERROR_ACCESS_DENIED;
            EXPECT_EQ(box.text, full ? "The disk is full, so the message could not be made "
                                       "ready.\n\nThe recording is untouched. Free some space "
                                       "on the disk and try again."
                                     : "The message could not be made ready to send.\n\nThe "
                                       "recording is untouched.");
            EXPECT_EQ(box.owner, dialog_);
            EXPECT_EQ(box.caption, command == IDM_SAVE_AS ? "Error" : "");
            EXPECT_EQ(box.type, static_cast<UINT>(MB_OK));
            EXPECT_EQ(FilesIn(std::string(folder_) + "\\Kestrune"), "") << "a file stayed";
            EXPECT_FALSE(FileExists(saved.c_str())) << "the half-written file stayed";
            EXPECT_TRUE(ReadFileBytes(Utf8(state_.voicePath)) == recording);
            EXPECT_EQ(Shown(), ReadyArrangement());
        }
    }
    g_failWriteAt = 0;
    expectedBoxes_ = round;
    RemoveDirectoryA((std::string(folder_) + "\\Kestrune").c_str());
}

// The window closes while a Copy and a Save As convert: the Copy's file goes, as nobody takes it
// any more; the Save As completes, and the program's end waits for it.
TEST_F(MainWindowTest, ClosingWhileConvertingLeavesNoHalfFile) {
    input_.SetSound(ToneWithDeadAir(1.0, 1.04));
    RecordBlocks(38);
    const std::vector<BYTE> playable = PlayableCopyOf(state_.voicePath);
    const std::string saved = std::string(folder_) + "\\saved.wav";
    g_saveAnswer = saved;
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();

    HeldConversion held;
    const std::set<DWORD> before = ThreadIdsNow();
    SendCommand(IDM_COPY);
    SendCommand(IDM_SAVE_AS);
    ASSERT_TRUE(held.WaitUntilWriting());
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    EXPECT_FALSE(WaitForHandovers(100)) << "the program would not wait for the conversions";
    held.Release();
    EXPECT_TRUE(WaitForHandovers(10000));
    EXPECT_NE(WaitForThreadsStartedSince(before, 10000), -1);
    PumpMessages();
    EXPECT_TRUE(ReadFileBytes(saved.c_str()) == playable) << "the Save As did not complete";
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_HDROP)) << "a Copy went on after the window";
    EXPECT_EQ(FilesIn(std::string(folder_) + "\\Kestrune"), "") << "the Copy's file stayed";
    DeleteFileA(saved.c_str());
    RemoveDirectoryA((std::string(folder_) + "\\Kestrune").c_str());
}

// Ctrl+S and Ctrl+C through the dialog's own key handling, only when Send is offered.
TEST_F(MainWindowTest, CtrlSAndCtrlCWorkWhenSendIsOffered) {
    auto press = [&](WPARAM key) { PressKey(key, true, GetDlgItem(dialog_, IDC_SLIDER)); };
    auto clipboardHasFile = [] { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; };
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();

    press('S');
    press('C');
    EXPECT_TRUE(g_saveCalls.empty()) << "Save As without a recording";
    EXPECT_FALSE(clipboardHasFile()) << "Copy without a recording";

    RecordBlocks(5);
    press('S');
    EXPECT_EQ(g_saveCalls.size(), 1u);
    const std::set<DWORD> before = ThreadIdsNow();
    press('C');
    AwaitHandovers(before);
    EXPECT_TRUE(clipboardHasFile());

    const std::string snapshots = std::string(folder_) + "\\Kestrune\\";
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((snapshots + "*.wav").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    DeleteFileA((snapshots + found.cFileName).c_str());
    FindClose(search);
    RemoveDirectoryA(snapshots.c_str());
}

void CALLBACK CloseStuckWindow(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    PostMessageA(g_mainWindow, WM_CLOSE, 0, 0);
}

TEST_F(MainWindowTest, AWindowWhoseBarHasNoObjectSaysSoAndEnds) {
    expectedBoxes_ = 1;
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    DeleteFileW(state_.voicePath);
    std::memset(&state_, 0, sizeof state_);
    INT_PTR result = 0;
    {
        ScriptedHeap heap;
        heap.FailAllocation(1);  // the bar's object
        // Should the window not end by itself, close it after a while: the result then says so.
        UINT_PTR timer = SetTimer(nullptr, 0, 3000, CloseStuckWindow);
        result = DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
        KillTimer(nullptr, timer);
    }
    EXPECT_EQ(result, 1);
    EXPECT_EQ(state_.bar, nullptr);
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, "malloc() failed");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Error");
    EXPECT_EQ(state_.voicePath[0], '\0');  // nothing was created
}

// --- Every stop ends, and leaving ends the activity first ---------------------------------

TEST_F(MainWindowTest, StopWithADeviceThatHandsNothingBackResetsItAfterTwoSeconds) {
    Click(Record);
    input_.DeliverAndPump(5 * kBlockBytes + 65);
    Click(Stop);
    // The device hands back nothing more.
    timers_.Advance(kDrainBoundMs - 1);
    PumpMessages();
    EXPECT_EQ(Shown(), RecordingArrangement());
    EXPECT_EQ(input_.CallCount("reset"), 1);  // the one after the open
    timers_.Advance(1);
    PumpMessages();
    EXPECT_EQ(input_.CallCount("reset"), 2);
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(timers_.SetCount(), 0);
    // Everything recorded, the partly filled buffer included.
    ExpectCompletedFile(5 * kBlockBytes + 65);
}

TEST_F(MainWindowTest, ACloseThatFailsIsTriedAgainUntilItSucceeds) {
    Click(Record);
    input_.DeliverAndPump(2 * kBlockBytes);
    input_.FailNextClose();
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    EXPECT_TRUE(input_.IsOpen());
    EXPECT_EQ(input_.CallCount("close"), 1);
    input_.FailNextClose();
    timers_.Advance(kCloseRetryMs);
    EXPECT_TRUE(input_.IsOpen());
    timers_.Advance(kCloseRetryMs);
    PumpMessages();
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_EQ(input_.CallCount("close"), 3);
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(timers_.SetCount(), 0);
    ExpectCompletedFile(10 * kBlockBytes);
}

TEST_F(MainWindowTest, CloseDuringARecordingEndsItWithinTheBoundThenDeletesTheFile) {
    Click(Record);
    input_.DeliverAndPump(3 * kBlockBytes);
    SendMessageA(dialog_, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_TRUE(IsWindowVisible(dialog_)) << "the recording still holds the file";
    EXPECT_FALSE(state_.recording);
    timers_.Advance(kDrainBoundMs);  // the device hands back nothing more
    PumpMessages();
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_FALSE(IsWindowVisible(dialog_));
    EXPECT_EQ(VoiceFilesLeft(), 0);
}

TEST_F(MainWindowTest, ExitDuringARecordingIgnoresCommandsAndLeavesACompletedFile) {
    Click(Record);
    input_.DeliverAndPump(4 * kBlockBytes);
    SendCommand(IDM_EXIT);
    EXPECT_TRUE(IsWindowVisible(dialog_));
    // Going: nothing new starts.
    SendCommand(IDM_RECORD);
    SendCommand(IDM_PLAY);
    SendCommand(IDM_PAUSE);
    EXPECT_EQ(input_.OpenCount(), 1);
    EXPECT_EQ(output_.OpenCount(), 0);
    EXPECT_FALSE(state_.paused);
    input_.DeliverAndPump(8 * kBlockBytes);
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_FALSE(IsWindowVisible(dialog_));
    ExpectCompletedFile(12 * kBlockBytes);
}

TEST_F(MainWindowTest, PauseBeforeAnEmptyPlaybacksCloseNotificationTouchesNoDevice) {
    // A recording without data: the device handed nothing back and was reset.
    Click(Record);
    Click(Stop);
    timers_.Advance(kDrainBoundMs);
    PumpMessages();
    ASSERT_EQ(Shown(), ReadyArrangement());
    ASSERT_EQ(state_.dataBytes, 0u);

    // Nothing to play: the device closes at once, and Pause comes before the notification.
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDM_PLAY, 0), 0);
    ASSERT_FALSE(output_.IsOpen());
    SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDM_PAUSE, 0), 0);
    EXPECT_EQ(output_.CallCount("pause"), 0);
    PumpMessages();
    EXPECT_EQ(Shown(), ReadyArrangement());
}

// What Windows asks before a log-off, in each state, and what the window does when the session
// ends during a recording: the recording ends at once, complete, and its file stays.
TEST_F(MainWindowTest, EndOfSessionRefusedWhileRecordingAndTheRecordingKept) {
    auto mayEnd = [this] { return SendMessageA(dialog_, WM_QUERYENDSESSION, 0, 0); };
    EXPECT_EQ(mayEnd(), TRUE) << "Empty";
    Click(Record);
    EXPECT_EQ(mayEnd(), FALSE) << "Recording";
    input_.DeliverAndPump(2 * kBlockBytes);
    Click(Stop);
    EXPECT_EQ(mayEnd(), FALSE) << "draining";
    input_.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(mayEnd(), TRUE) << "Ready";
    Click(Play);
    EXPECT_EQ(mayEnd(), TRUE) << "Playing";
    output_.PlayAndPump();
    ASSERT_EQ(Shown(), ReadyArrangement());

    // Windows goes on regardless, even after the user had asked to close.
    const std::uint64_t first = input_.CapturedBytes();
    Click(Record);
    input_.DeliverAndPump(5 * kBlockBytes + 65);
    SendMessageA(dialog_, WM_CLOSE, 0, 0);
    PumpMessages();
    ASSERT_TRUE(IsWindowVisible(dialog_));
    SendMessageA(dialog_, WM_ENDSESSION, TRUE, 0);
    // Back from the message: the device was reset and the file completed, nothing deleted.
    EXPECT_EQ(input_.CallCount("reset"), 3);  // at each start, then at the end of the session
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_FALSE(IsWindowVisible(dialog_));
    EXPECT_EQ(VoiceFilesLeft(), 1);
    ExpectCompletedFile(5 * kBlockBytes + 65, first);
}

// A left-behind file of ours: the header (with the sizes a Kestrune 1.02 left, or none) and
// `frames` whole frames of the input's pattern, then `torn` bytes of a frame never finished.
void WriteLeftBehind(const std::string& path, DWORD frames, DWORD torn, WORD year) {
    BYTE header[kHeaderBytes];
    BuildVoiceHeader(header);
    std::memcpy(header + 4, "123 ", 4);
    std::vector<BYTE> bytes(header, header + kHeaderBytes);
    const std::vector<BYTE> data = ScriptedWaveIn::PatternBytes(0, frames * kFrameBytes + torn);
    bytes.insert(bytes.end(), data.begin(), data.end());
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    SYSTEMTIME when = {year, 3, 2, 3, 14, 5, 9, 0};  // Tue Mar 03 14:05:09, UTC
    FILETIME time;
    SystemTimeToFileTime(&when, &time);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

// When a file written at 14:05:09 on 3 March of `year` was made, as the user's locale writes a
// short date and a time without seconds.
std::string MadeText(WORD year) {
    SYSTEMTIME when = {year, 3, 2, 3, 14, 5, 9, 0};
    FILETIME time;
    SYSTEMTIME utc;
    SYSTEMTIME local;
    SystemTimeToFileTime(&when, &time);
    FileTimeToSystemTime(&time, &utc);
    SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    WCHAR date[64] = L"";
    WCHAR clock[64] = L"";
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 64, nullptr);
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, clock, 64);
    return Utf8(date) + " " + Utf8(clock);
}

std::string OfferText(const char* length, WORD year) {
    return std::string("Kestrune found a recording that was left behind (") + length +
           " long, made " + MadeText(year) +
           ").\n\nOpen it? No deletes it; Cancel keeps it for later.";
}

// Several files left behind, offered newest first: Cancel keeps one, No deletes one, Yes makes
// one the recording. A file another Kestrune holds, an empty one and another program's are no
// offer.
TEST_F(MainWindowTest, LeftBehindRecordingsAreOfferedNewestFirst) {
    const std::string folder = std::string(folder_) + "\\";
    const std::string kept = folder + "kesA1.tmp", deleted = folder + "kesB2.tmp",
                      opened = folder + "kesC3.tmp", empty = folder + "kesD4.tmp",
                      foreign = folder + "kesE5.tmp";
    WriteLeftBehind(kept.c_str(), 200, 0, 2026);      // 8 s, the newest
    WriteLeftBehind(deleted.c_str(), 100, 33, 2025);  // 4 s and a torn frame
    WriteLeftBehind(opened.c_str(), 76, 64, 2024);    // 3 s and a torn frame
    CloseHandle(CreateFileA(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    // Another program's: PCM, 8 kHz 16-bit mono.
    const std::vector<BYTE> foreignBytes = {'R', 'I', 'F', 'F', 36,  0,   0,   0,  'W', 'A', 'V',
                                            'E', 'f', 'm', 't', ' ', 16,  0,   0,  0,   1,   0,
                                            1,   0,   64,  31,  0,   0,   128, 62, 0,   0,   2,
                                            0,   16,  0,   'd', 'a', 't', 'a', 0,  0,   0,   0};
    HANDLE file =
        CreateFileA(foreign.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, foreignBytes.data(), static_cast<DWORD>(foreignBytes.size()), &written,
              nullptr);
    CloseHandle(file);
    // Another Kestrune, running, with a recording in its file.
    AppState other = {};
    ASSERT_TRUE(MakeOwnVoiceFile(&other));
    WriteLeftBehind(Utf8(other.voicePath), 50, 0, 2027);
    const std::vector<BYTE> othersBytes = ReadFileBytes(Utf8(other.voicePath));

    boxes_.answers = {IDCANCEL, IDNO, IDYES};
    StartAgain();
    ASSERT_EQ(boxes_.Count(), 3);
    expectedBoxes_ = 3;
    const char* const lengths[] = {"0:08", "0:04", "0:03"};
    for (int box = 0; box < 3; ++box) {
        EXPECT_EQ(boxes_.Boxes()[box].owner, dialog_);
        EXPECT_EQ(boxes_.Boxes()[box].caption, "Kestrune");
        EXPECT_EQ(boxes_.Boxes()[box].type, static_cast<UINT>(MB_YESNOCANCEL | MB_ICONQUESTION));
        EXPECT_EQ(boxes_.Boxes()[box].text, OfferText(lengths[box], static_cast<WORD>(2026 - box)));
    }

    // Cancel: repaired, there for the next start. No: gone. Yes: the recording, in place of the
    // window's own empty file, in whole frames and with its sizes rewritten.
    EXPECT_EQ(ReadFileBytes(kept.c_str()).size(), kHeaderBytes + 200 * kFrameBytes);
    EXPECT_FALSE(FileExists(deleted.c_str()));
    EXPECT_FALSE(FileExists(empty.c_str()));
    EXPECT_EQ(ReadFileBytes(foreign.c_str()), foreignBytes);
    EXPECT_EQ(ReadFileBytes(Utf8(other.voicePath)), othersBytes);
    EXPECT_EQ(VoiceFilesLeft(), 4);  // kept, opened, foreign and the other's
    EXPECT_EQ(Utf8(state_.voicePath), opened);
    ExpectCompletedFile(76 * kFrameBytes);
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(Text(IDC_TIME_READOUT), "0:03");
    EXPECT_EQ(Text(IDC_SIZE_READOUT), "4 K");

    // It plays, and closing the window deletes it as any recording.
    Click(Play);
    output_.PlayAndPump();
    PumpMessages();
    const std::vector<BYTE> audio = ScriptedWaveIn::PatternBytes(0, 76 * kFrameBytes);
    ASSERT_GE(output_.Played().size(), audio.size());
    EXPECT_EQ(std::vector<BYTE>(output_.Played().begin(), output_.Played().begin() + audio.size()),
              audio);
    EXPECT_EQ(Shown(), ReadyArrangement());
    SendMessageA(dialog_, WM_CLOSE, 0, 0);
    PumpMessages();
    EXPECT_FALSE(FileExists(opened.c_str()));

    ReleaseVoiceFile(&other);
    for (const std::string& path : {kept, foreign, Utf8(other.voicePath)}) {
        DeleteFileA(path.c_str());
    }
}

}  // namespace

// The microphone menu lists the devices as they are now, the one in use checked; the choice
// opens that device through the mapper, and is remembered by name.
TEST_F(MainWindowTest, MicrophoneMenuListsTheDevicesAndRecordOpensTheChosenOne) {
    input_.SetDevices({"USB Headset", "Line & Mic"});
    EXPECT_EQ(OpenMicrophoneMenu(),
              (std::vector<std::string>{"*&Default", "USB Headset", "Line && Mic"}));
    EXPECT_FALSE(MicrophoneChoiceGrayed());
    EXPECT_EQ(StoredMicrophone(), "(none)");

    SendCommand(IDM_MICROPHONE_FIRST + 1);
    EXPECT_EQ(StoredMicrophone(), "Line & Mic");
    input_.SetDevices({"Webcam", "USB Headset", "Line & Mic"});  // one more came
    EXPECT_EQ(OpenMicrophoneMenu(),
              (std::vector<std::string>{"&Default", "Webcam", "USB Headset", "*Line && Mic"}));
    Click(Record);
    EXPECT_EQ(input_.OpenedDevice(), 2u);
    EXPECT_TRUE(MicrophoneChoiceGrayed());
    input_.DeliverAndPump(3 * kBlockBytes);
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    EXPECT_FALSE(MicrophoneChoiceGrayed());

    SendCommand(IDM_MICROPHONE_DEFAULT);
    EXPECT_EQ(StoredMicrophone(), "");
    RecordBlocks(2);
    EXPECT_EQ(input_.OpenedDevice(), static_cast<UINT>(WAVE_MAPPER));
}

// Read at start; a remembered device that has gone means Default, and Record still works.
TEST_F(MainWindowTest, RememberedMicrophoneIsUsedAndOneThatHasGoneMeansDefault) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, settingsKey_, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"Microphone", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Headset"),
                   sizeof L"Headset");
    RegCloseKey(key);
    DestroyWindow(dialog_);
    dialog_ = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
    ASSERT_NE(dialog_, nullptr);
    PumpMessages();

    input_.SetDevices({"Webcam", "Headset"});
    EXPECT_EQ(OpenMicrophoneMenu(), (std::vector<std::string>{"&Default", "Webcam", "*Headset"}));
    RecordBlocks(2);
    EXPECT_EQ(input_.OpenedDevice(), 1u);

    input_.SetDevices({"Webcam"});
    EXPECT_EQ(OpenMicrophoneMenu(), (std::vector<std::string>{"*&Default", "Webcam"}));
    RecordBlocks(2);
    EXPECT_EQ(input_.OpenedDevice(), static_cast<UINT>(WAVE_MAPPER));
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(StoredMicrophone(), "Headset");  // kept for when it comes back
}

// A microphone that cannot be opened: words a user can act on, and the last recording and
// its arrangement exactly as they were.
TEST_F(MainWindowTest, AMicrophoneThatCannotBeUsedSaysWhyAndKeepsTheLastRecording) {
    expectedBoxes_ = 6;
    const std::string noMicrophone =
        "No microphone was found.\n\nConnect one, or turn it on in the sound settings, then "
        "press Record again.";
    const std::string inUse =
        "The microphone is in use by another program.\n\nClose that program, or choose another "
        "microphone in Action, Microphone.";
    const std::string cannotUse =
        "Kestrune cannot use the microphone.\n\nCheck that it is connected and turned on, and "
        "that Windows lets desktop apps use it (Settings, Privacy, Microphone).";
    const std::string offer = cannotUse + "\n\nOpen the microphone privacy settings?";
    struct Case {
        const char* name;
        std::vector<std::string> devices;
        MMRESULT result;
        bool privacySettings;
        int answer;
        const std::string& text;
        UINT buttons;
    };
    const Case cases[] = {
        {"no device", {}, MMSYSERR_BADDEVICEID, true, IDNO, noMicrophone, MB_OK},
        {"in use", {"Mic"}, MMSYSERR_ALLOCATED, true, IDNO, inUse, MB_OK},
        {"other, no settings", {"Mic"}, MMSYSERR_ERROR, false, IDNO, cannotUse, MB_OK},
        {"other, settings declined", {"Mic"}, MMSYSERR_ERROR, true, IDNO, offer, MB_YESNO},
        {"other, settings opened", {"Mic"}, MMSYSERR_NODRIVER, true, IDYES, offer, MB_YESNO},
    };
    // From Empty first: it stays Empty.
    input_.FailOpen(MMSYSERR_ALLOCATED);
    Click(Record);
    EXPECT_EQ(Shown(), EmptyArrangement());
    input_.FailOpen(MMSYSERR_NOERROR);
    RecordBlocks(20);
    const std::vector<BYTE> recording = ReadFileBytes(Utf8(state_.voicePath));
    const std::string time = Text(IDC_TIME_READOUT);
    const std::string size = Text(IDC_SIZE_READOUT);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_shellCalls.clear();
        input_.SetDevices(c.devices);
        input_.FailOpen(c.result);
        g_hasPrivacySettings = c.privacySettings ? OffersPrivacySettings : LacksPrivacySettings;
        if (c.buttons == MB_YESNO) {
            boxes_.answers = {c.answer};  // an OK box has nothing else to answer
        }
        Click(Record);
        PumpMessages();
        EXPECT_FALSE(input_.IsOpen());
        ASSERT_FALSE(boxes_.Boxes().empty());
        const MessageBoxRecord& box = boxes_.Boxes().back();
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, "Kestrune");
        EXPECT_EQ(box.owner, dialog_);
        EXPECT_EQ(box.type, MB_ICONWARNING | c.buttons);
        EXPECT_EQ(Shown(), ReadyArrangement());
        EXPECT_EQ(Text(IDC_TIME_READOUT), time);
        EXPECT_EQ(Text(IDC_SIZE_READOUT), size);
        EXPECT_EQ(ReadFileBytes(Utf8(state_.voicePath)), recording);
        if (c.answer == IDYES) {
            ASSERT_EQ(g_shellCalls.size(), 1u);
            EXPECT_EQ(g_shellCalls[0].file, "ms-settings:privacy-microphone");
            EXPECT_EQ(g_shellCalls[0].owner, dialog_);
        } else {
            EXPECT_TRUE(g_shellCalls.empty());
        }
    }
    // The recording is still there to play.
    input_.FailOpen(MMSYSERR_NOERROR);
    Click(Play);
    EXPECT_EQ(Shown(), PlayingArrangement(true));
    output_.PlayAndPump();
    EXPECT_EQ(Shown(), ReadyArrangement());
}

// Speech moves the meter; three seconds of recorded silence, paused time not counted, bring the
// notice, and the first louder block takes it away.
TEST_F(MainWindowTest, LevelMeterAndTheNoticeOfNoSound) {
    const std::vector<BYTE> loud = EncodeGsm(SinePcm(16000, 1.0));
    const std::vector<BYTE> silence = EncodeGsm(SinePcm(0, 1.0));
    ASSERT_FALSE(loud.empty());

    input_.SetSound(loud);
    Click(Record);
    EXPECT_EQ(MeterPosition(), 0);
    input_.DeliverAndPump(4 * kBlockBytes);
    EXPECT_GT(MeterPosition(), 50);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");

    input_.SetSound(silence);
    input_.DeliverAndPump(25 * kBlockBytes);  // 2 s of silence
    EXPECT_LT(MeterPosition(), 30);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    Click(Pause);  // the device hands back what it held and stops
    input_.DeliverAndPump(30 * kBlockBytes);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    Click(Pause);
    // 35 blocks of silence, 2.8 s, but the first one held the tail of the sound.
    input_.DeliverAndPump(10 * kBlockBytes);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    input_.DeliverAndPump(3 * kBlockBytes);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    input_.DeliverAndPump(kBlockBytes);  // 38 quiet blocks: 3.04 s
    EXPECT_EQ(Text(IDC_STATUS), "Recording: no sound from the microphone");
    EXPECT_EQ(MeterPosition(), 0);
    EXPECT_EQ(Shown().status, "Recording: no sound from the microphone");

    // Pausing still reads as paused; resuming in silence brings the notice back.
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    Click(Pause);
    EXPECT_EQ(Text(IDC_STATUS), "Recording: no sound from the microphone");

    input_.SetSound(loud);
    input_.DeliverAndPump(kBlockBytes);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_GT(MeterPosition(), 30);

    // Stopped, the meter empties; the next recording starts from nothing.
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(MeterPosition(), 0);
}

// A Pause pressed while a recording drained leaves only the flag; the next recording runs, so
// its silence reads as no sound, not as paused.
TEST_F(MainWindowTest, ACarriedPauseFlagIsNotShownAsAPausedRecording) {
    input_.SetSound(EncodeGsm(SinePcm(0, 1.0)));
    Click(Record);
    input_.DeliverAndPump(2 * kBlockBytes);
    Click(Stop);
    Click(Pause);
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    ASSERT_TRUE(state_.paused);

    Click(Record);
    input_.DeliverAndPump(40 * kBlockBytes);  // 3.2 s of silence
    EXPECT_TRUE(input_.IsStarted());
    EXPECT_EQ(Text(IDC_STATUS), "Recording: no sound from the microphone");
}

// The transport keys act exactly when their command is available; Space pauses without
// reaching the focused control, and Esc and Enter never close the window.
TEST_F(MainWindowTest, TransportKeysActOnlyWhenTheirCommandIsAvailable) {
    HWND slider = GetDlgItem(dialog_, IDC_SLIDER);
    HWND link = GetDlgItem(dialog_, IDC_HOME_LINK);
    HWND playButton = Button(Play)->window;

    // Empty: only Ctrl+R does something.
    for (auto key : {std::make_pair(WPARAM{'P'}, true), std::make_pair(WPARAM{VK_SPACE}, false),
                     std::make_pair(WPARAM{VK_ESCAPE}, false)}) {
        PressKey(key.first, key.second, slider);
    }
    EXPECT_EQ(Shown(), EmptyArrangement());
    EXPECT_EQ(output_.OpenCount(), 0);
    PressKey('R', true, slider);
    EXPECT_EQ(Shown(), RecordingArrangement());
    EXPECT_EQ(input_.OpenCount(), 1);
    PressKey('R', true, slider);  // grayed while recording
    PressKey('P', true, slider);
    EXPECT_EQ(input_.OpenCount(), 1);
    EXPECT_EQ(output_.OpenCount(), 0);
    input_.DeliverAndPump(10 * kBlockBytes);

    // Space pauses and resumes, with the focus on the link, which never sees it as a click.
    SetFocus(link);
    PressKey(VK_SPACE, false, link);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    EXPECT_FALSE(input_.IsStarted());
    PressKey(VK_SPACE, false, link);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_TRUE(g_shellCalls.empty()) << "Space clicked the link";
    PressKey(VK_ESCAPE, false, slider);
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    EXPECT_TRUE(IsWindowVisible(dialog_));

    // Ready: Ctrl+P plays; a second Ctrl+P (grayed) does nothing; Space with the focus on the
    // Play button pauses the playback rather than clicking the button.
    PressKey('P', true, slider);
    EXPECT_EQ(Shown(), PlayingArrangement(false));
    PressKey('P', true, slider);
    EXPECT_EQ(output_.OpenCount(), 1);
    SetFocus(playButton);
    PressKey(VK_SPACE, false, playButton);
    EXPECT_TRUE(output_.IsPaused());
    EXPECT_EQ(Text(IDC_STATUS), "Playing / Paused");
    EXPECT_EQ(output_.OpenCount(), 1);
    PressKey(VK_ESCAPE, false, slider);
    output_.PlayAndPump();
    EXPECT_EQ(Shown(), ReadyArrangement());

    // Ready: Space, Esc and Enter change nothing and close nothing.
    for (WPARAM key : {WPARAM{VK_SPACE}, WPARAM{VK_ESCAPE}, WPARAM{VK_RETURN}}) {
        PressKey(key, false, slider);
    }
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_TRUE(IsWindowVisible(dialog_));
    EXPECT_EQ(output_.OpenCount(), 1);
    EXPECT_EQ(input_.OpenCount(), 1);
}

// Tab and Shift+Tab go round the available controls of each state, left to right and back: the
// picture buttons, the slider and the link; never the bar, never an unavailable control. The
// arrow keys go round the available buttons. At the start the focus rests on Record (when the
// window has the activation: another program's new window may have taken it).
TEST_F(MainWindowTest, TabGoesRoundTheAvailableControlsOfEachState) {
    if (GetActiveWindow() == dialog_) {
        EXPECT_EQ(NameOf(GetFocus()), "Record") << "at the start";
    }
    for (UiState ui : kUiStates) {
        SCOPED_TRACE(kUiStateNames[ui]);
        SetUiState(&state_, ui);
        const std::vector<int>& order = kTabOrders[ui];
        const size_t count = order.size();
        std::vector<std::string> expected, expectedBack, forward, back;
        for (size_t i = 1; i <= count; ++i) {
            expected.push_back(kStopNames[order[i % count]]);
            expectedBack.push_back(kStopNames[order[(count - i) % count]]);
        }
        SetFocus(StopWindow(order[0]));
        ASSERT_EQ(NameOf(GetFocus()), kStopNames[order[0]]);
        for (size_t i = 0; i < count; ++i) {
            Key(VK_TAB);
            forward.push_back(NameOf(GetFocus()));
        }
        for (size_t i = 0; i < count; ++i) {
            Key(VK_TAB, true);
            back.push_back(NameOf(GetFocus()));
        }
        EXPECT_EQ(forward, expected);
        EXPECT_EQ(back, expectedBack);

        // The arrow keys go round the available buttons alone.
        std::vector<std::string> buttons, arrowed;
        for (int stop : order) {
            if (stop < kButtonCount) {
                buttons.push_back(kStopNames[stop]);
            }
        }
        SetFocus(StopWindow(order[0]));
        for (size_t i = 0; i < buttons.size(); ++i) {
            Key(VK_RIGHT);
            arrowed.push_back(NameOf(GetFocus()));
        }
        std::rotate(buttons.begin(), buttons.begin() + 1, buttons.end());
        EXPECT_EQ(arrowed, buttons);
    }
    SetUiState(&state_, Empty);
}

// A control that goes while it has the focus hands it to the next available control in Tab's
// order, never to nothing: from each control of each state to each state.
TEST_F(MainWindowTest, TheFocusOfAControlThatGoesPassesToTheNextAvailable) {
    for (UiState from : kUiStates) {
        for (int stop : kTabOrders[from]) {
            for (UiState to : kUiStates) {
                SCOPED_TRACE(std::string(kStopNames[stop]) + " in " + kUiStateNames[from] +
                             ", then " + kUiStateNames[to]);
                SetUiState(&state_, from);
                SetFocus(StopWindow(stop));
                ASSERT_EQ(NameOf(GetFocus()), kStopNames[stop]);
                SetUiState(&state_, to);
                const std::vector<int>& available = kTabOrders[to];
                int expected = stop;
                while (std::find(available.begin(), available.end(), expected) == available.end()) {
                    expected = (expected + 1) % kStopCount;
                }
                EXPECT_EQ(NameOf(GetFocus()), kStopNames[expected]);
            }
        }
    }
    SetUiState(&state_, Empty);
}

// Enter presses the focused picture button as a click does, through the real recorder and
// player; Space stays Pause whatever has the focus.
TEST_F(MainWindowTest, EnterPressesTheFocusedButtonAsAClickDoes) {
    SetFocus(Button(Record)->window);
    Key(VK_RETURN);
    EXPECT_EQ(Shown(), RecordingArrangement());
    EXPECT_TRUE(input_.IsStarted());
    EXPECT_EQ(NameOf(GetFocus()), "Record");
    input_.DeliverAndPump(3 * kBlockBytes);

    // Pause is momentary: it pauses and resumes, and never stays down.
    SetFocus(Button(Pause)->window);
    Key(VK_RETURN);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    EXPECT_FALSE(Button(Pause)->pressed);
    Key(VK_RETURN);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    // The latched Record takes no second press; Space with the focus on it pauses.
    SetFocus(Button(Record)->window);
    Key(VK_RETURN);
    EXPECT_EQ(input_.OpenCount(), 1);
    EXPECT_EQ(Shown(), RecordingArrangement());
    Key(VK_SPACE);
    EXPECT_EQ(Text(IDC_STATUS), "Recording / Paused");
    Key(VK_SPACE);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");

    // Stop: the recording drains and ends. Stop goes with it, and the focus passes on to
    // Record, the next available control (when the window kept the activation meanwhile).
    SetFocus(Button(Stop)->window);
    Key(VK_RETURN);
    EXPECT_EQ(Shown(), RecordingArrangement());
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_FALSE(input_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
    if (GetActiveWindow() == dialog_) {
        EXPECT_EQ(NameOf(GetFocus()), "Record");
    }

    // Play: latched as a click leaves it.
    SetFocus(Button(Play)->window);
    Key(VK_RETURN);
    EXPECT_EQ(Shown(), PlayingArrangement(true));
    output_.PlayAndPump();
    ASSERT_FALSE(output_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
}

// The bar and its buttons follow a contrast theme turned on or off while the window is open:
// only the window hears of it from the system, and it passes it on.
TEST_F(MainWindowTest, AThemeChangeReachesTheBar) {
    HWND bar = GetDlgItem(dialog_, IDC_BUTTON_BAR);
    for (UINT message : {UINT{WM_SETTINGCHANGE}, UINT{WM_SYSCOLORCHANGE}}) {
        SCOPED_TRACE(message);
        UpdateWindow(dialog_);
        ASSERT_FALSE(GetUpdateRect(bar, nullptr, FALSE));
        SendMessageW(dialog_, message, SPI_SETHIGHCONTRAST, 0);
        EXPECT_TRUE(GetUpdateRect(bar, nullptr, FALSE));
        for (int slot = Play; slot <= Send; ++slot) {
            EXPECT_TRUE(GetUpdateRect(Button(slot)->window, nullptr, FALSE)) << slot;
        }
    }
}

namespace {

// The calls on `window` of that kind, about `property` (any property when null).
std::vector<AnnotationRecord> CallsOn(const ScriptedAnnotation& scripted, HWND window,
                                      AnnotationRecord::Kind kind, const GUID* property) {
    std::vector<AnnotationRecord> calls;
    for (const AnnotationRecord& call : scripted.Calls()) {
        if (call.window == window && call.kind == kind &&
            (!property ||
             (!call.properties.empty() && IsEqualGUID(call.properties[0], *property)))) {
            calls.push_back(call);
        }
    }
    return calls;
}

int LiveRegionEvents(const ScriptedAnnotation& scripted, HWND window) {
    int events = 0;
    for (const AnnotationRecord& call :
         CallsOn(scripted, window, AnnotationRecord::kEvent, nullptr)) {
        events += call.event == 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED
    }
    return events;
}

// The last value (or name) told of a control, "" when none was.
std::wstring LastValue(const ScriptedAnnotation& scripted, HWND window,
                       const GUID& property = PROPID_ACC_VALUE) {
    const std::vector<AnnotationRecord> values =
        CallsOn(scripted, window, AnnotationRecord::kSetPropString, &property);
    return values.empty() ? L"" : values.back().text;
}

// Whether the last state told of a button says pressed.
bool ToldPressed(const ScriptedAnnotation& scripted, HWND button) {
    bool pressed = false;
    for (const AnnotationRecord& call : scripted.Calls()) {
        if (call.window == button && call.kind != AnnotationRecord::kEvent &&
            IsEqualGUID(call.properties[0], PROPID_ACC_STATE)) {
            pressed = call.kind == AnnotationRecord::kSetProp &&
                      (call.number & STATE_SYSTEM_PRESSED) != 0;
        }
    }
    return pressed;
}

}  // namespace

// What a screen reader is told through the annotation service (scripted here: Wine's answers
// that it cannot annotate): the picture buttons as push buttons, Record and Play pressed while
// latched, the slider's and the meter's names and values, and each change of the status line,
// once ("Ready" for the line emptied after an activity). As the window goes, all of it is taken
// off again.
TEST_F(MainWindowTest, AssistiveTechnologyIsToldOfEachChange) {
    ScriptedAnnotation scripted;
    StartAgain();
    HWND slider = GetDlgItem(dialog_, IDC_SLIDER);
    HWND meter = GetDlgItem(dialog_, IDC_LEVEL_METER);
    HWND status = GetDlgItem(dialog_, IDC_STATUS);
    for (int slot = Play; slot <= Send; ++slot) {
        const std::vector<AnnotationRecord> roles =
            CallsOn(scripted, Button(slot)->window, AnnotationRecord::kSetProp, &PROPID_ACC_ROLE);
        ASSERT_EQ(roles.size(), 1u) << slot;
        EXPECT_EQ(roles[0].number, ROLE_SYSTEM_PUSHBUTTON);
    }
    const std::vector<AnnotationRecord> sliderName =
        CallsOn(scripted, slider, AnnotationRecord::kSetPropString, &PROPID_ACC_NAME);
    const std::vector<AnnotationRecord> meterName =
        CallsOn(scripted, meter, AnnotationRecord::kSetPropString, &PROPID_ACC_NAME);
    ASSERT_EQ(sliderName.size(), 1u);
    ASSERT_EQ(meterName.size(), 1u);
    EXPECT_EQ(sliderName[0].text, L"Position");
    EXPECT_EQ(meterName[0].text, L"Input level");
    EXPECT_EQ(CallsOn(scripted, status, AnnotationRecord::kSetProp, nullptr).size(), 1u);
    EXPECT_EQ(LastValue(scripted, slider), L"0:00 of 0:00");

    // Recording: Record pressed, "Recording" told once; the meter and the slider follow.
    scripted.Forget();
    Click(Record);
    EXPECT_TRUE(ToldPressed(scripted, Button(Record)->window));
    EXPECT_EQ(LiveRegionEvents(scripted, status), 1);
    EXPECT_EQ(LastValue(scripted, status, PROPID_ACC_NAME), L"Recording");
    input_.DeliverAndPump(3 * kBlockBytes);
    EXPECT_EQ(LastValue(scripted, meter), std::to_wstring(MeterPosition() - 60) + L" dB");
    EXPECT_EQ(LastValue(scripted, slider), L"0:00 of 0:00");
    input_.DeliverAndPump(10 * kBlockBytes);
    EXPECT_EQ(LastValue(scripted, slider), L"0:00 of 0:01");
    EXPECT_EQ(LiveRegionEvents(scripted, status), 1) << "told again without a change";
    Click(Pause);
    Click(Pause);
    EXPECT_EQ(LiveRegionEvents(scripted, status), 3);

    // Stopped: Record released, the status line's change told.
    scripted.Forget();
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    EXPECT_FALSE(ToldPressed(scripted, Button(Record)->window));
    EXPECT_FALSE(
        CallsOn(scripted, Button(Record)->window, AnnotationRecord::kClearProps, &PROPID_ACC_STATE)
            .empty());
    EXPECT_EQ(LiveRegionEvents(scripted, status), 1);
    EXPECT_EQ(Text(IDC_STATUS), "");
    EXPECT_EQ(LastValue(scripted, status, PROPID_ACC_NAME), L"Ready") << "the line says nothing";
    EXPECT_EQ(LastValue(scripted, meter), L"-60 dB");

    // Playing: Play pressed, the slider at the time played.
    scripted.Forget();
    Click(Play);
    EXPECT_TRUE(ToldPressed(scripted, Button(Play)->window));
    EXPECT_EQ(LiveRegionEvents(scripted, status), 1);
    for (int block = 0; block < 15; ++block) {
        output_.PlayNext();
        PumpMessages();
    }
    EXPECT_EQ(LastValue(scripted, slider), L"0:01 of 0:01");
    output_.PlayAndPump();
    ASSERT_EQ(Shown(), ReadyArrangement());
    EXPECT_FALSE(ToldPressed(scripted, Button(Play)->window));

    // As the window goes: every property on every annotated control, taken off.
    std::vector<HWND> annotated = {slider, meter, status};
    for (int slot = Play; slot <= Send; ++slot) {
        annotated.push_back(Button(slot)->window);
    }
    scripted.Forget();
    DestroyWindow(dialog_);
    dialog_ = nullptr;
    for (HWND window : annotated) {
        EXPECT_EQ(CallsOn(scripted, window, AnnotationRecord::kClearProps, nullptr).size(), 5u);
    }
}

// --- When the world fails under a recording -------------------------------------------------

// A disk that fills up ends the recording with its last whole block, completed and ready to
// play; then a box says so with the time it stopped at. Any other write that fails says it in
// words of its own.
TEST_F(MainWindowTest, AFailedWriteEndsTheRecordingWholeAndThenABoxSaysWhy) {
    expectedBoxes_ = 5;
    struct Case {
        const char* name;
        std::uint64_t freeBytes;  // at Record
        bool wineWrites;          // a full disk writes what fits
        DWORD error;              // of the write of block 31; 0 for none
        DWORD blocksKept;
        const char* text;
    };
    const char* const full =
        "The disk is full, so the recording stopped at 0:10.\n\nWhat was recorded is kept. Free "
        "some space on the disk to record more.";
    // 16 KB for the recording: the header and 125 blocks fill four clusters; the 126th needs a
    // fifth. The second time the voice file's own four clusters are the room.
    const Case cases[] = {
        {"a full disk", 4 * 4096, false, 0, 125, full},
        {"a full disk that Wine fills to the last byte", 0, true, 0, 125, full},
        {"a disk that fails", std::uint64_t{1} << 32, false, ERROR_CRC, 30,
         "The recording stopped at 0:02, because the disk could not be written to.\n\nWhat was "
         "recorded is kept."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDisk disk(folder_, c.freeBytes);
        disk.SetWineFullWrites(c.wineWrites);
        const std::uint64_t first = input_.CapturedBytes();
        const int boxesBefore = boxes_.Count();
        const bool asked = c.error == 0;  // less than a minute fits
        if (asked) {
            boxes_.answers = {IDYES};
        }
        Click(Record);
        ASSERT_TRUE(input_.IsStarted());
        if (c.error != 0) {
            input_.DeliverAndPump(30 * kBlockBytes);
            disk.FailNextWrite(c.error);
        }
        Arrangement shownAtBox;
        std::vector<BYTE> fileAtBox;
        boxes_.whileUp = [&](const MessageBoxRecord&) {
            shownAtBox = Shown();
            fileAtBox = ReadFileBytes(Utf8(state_.voicePath));
        };
        input_.DeliverAndPump(200 * kBlockBytes);
        boxes_.whileUp = nullptr;
        ASSERT_FALSE(input_.IsOpen());
        ASSERT_EQ(boxes_.Count(), boxesBefore + (asked ? 2 : 1));
        const MessageBoxRecord& box = boxes_.Boxes().back();
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.caption, "Kestrune");
        EXPECT_EQ(box.owner, dialog_);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONWARNING | MB_OK));
        // Behind the box the recording is over: ready, complete on the disk.
        EXPECT_EQ(shownAtBox, ReadyArrangement());
        EXPECT_EQ(fileAtBox, CompletedVoiceFile(c.blocksKept * kBlockBytes, first));
        EXPECT_EQ(Shown(), ReadyArrangement());
        EXPECT_EQ(Text(IDC_TIME_READOUT), Clock(c.blocksKept * kBlockBytes / kBytesPerSecond));
        ExpectCompletedFile(c.blocksKept * kBlockBytes, first);
    }
}

// With less than 30 s of recording left on the disk, the status line counts down what still
// fits, looked at at least once a second; before that it reads "Recording".
TEST_F(MainWindowTest, TheStatusLineCountsDownTheLastHalfMinuteOfRoomOnTheDisk) {
    ScriptedDisk disk(folder_, 70 * kBytesPerSecond);
    ScriptedAnnotation annotation;
    Click(Record);
    ASSERT_EQ(Shown(), RecordingArrangement());
    std::vector<std::uint64_t> shown;
    for (int second = 1; disk.FreeBytes() >= 5 * kBytesPerSecond; ++second) {
        input_.DeliverAndPump(kBytesPerSecond);
        timers_.Advance(1000);
        const std::uint64_t room = disk.FreeBytes() / kBytesPerSecond;
        const std::string expected =
            room < 30 ? "Recording: the disk is almost full (" + Clock(room) + " left)"
                      : "Recording";
        ASSERT_EQ(Text(IDC_STATUS), expected) << "after " << second << " s";
        if (room < 30) {
            shown.push_back(room);
        }
    }
    EXPECT_GE(shown.size(), 20u);
    // A screen reader is told "Recording" and then the first countdown, not every second.
    EXPECT_EQ(LiveRegionEvents(annotation, GetDlgItem(dialog_, IDC_STATUS)), 2);
    EXPECT_EQ(input_.CallCount("close"), 0) << "the recording went on";
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(Shown(), ReadyArrangement());
    ExpectCompletedFile(state_.dataBytes);
}

// With room for less than a minute, Record asks first, naming the time that fits (the voice
// file's own room counted, since a new recording replaces it). No keeps the last recording as it
// was; Yes records.
TEST_F(MainWindowTest, RecordWithLittleRoomOnTheDiskAsksFirst) {
    expectedBoxes_ = 2;
    RecordBlocks(20);
    const std::vector<BYTE> recorded = ReadFileBytes(Utf8(state_.voicePath));
    const std::string length = Text(IDC_TIME_READOUT);
    ScriptedDisk disk(folder_, 8192);
    const std::uint64_t room = (8192 + recorded.size() - kHeaderBytes) / kBytesPerSecond;
    const std::string question =
        "There is room on the disk for only " + Clock(room) + " of recording.\n\nRecord anyway?";
    boxes_.answers = {IDNO, IDYES};

    Click(Record);
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text, question);
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Kestrune");
    EXPECT_EQ(boxes_.Boxes()[0].owner, dialog_);
    EXPECT_EQ(boxes_.Boxes()[0].type, static_cast<UINT>(MB_ICONWARNING | MB_YESNO));
    EXPECT_EQ(input_.OpenCount(), 1) << "No opened the microphone";
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_EQ(Text(IDC_TIME_READOUT), length);
    EXPECT_EQ(ReadFileBytes(Utf8(state_.voicePath)), recorded);

    const std::uint64_t first = input_.CapturedBytes();
    Click(Record);
    ASSERT_EQ(boxes_.Count(), 2);
    EXPECT_EQ(boxes_.Boxes()[1].text, question);
    EXPECT_TRUE(input_.IsStarted());
    Arrangement recording = RecordingArrangement();
    recording.status = "Recording: the disk is almost full (" +
                       Clock(disk.FreeBytes() / kBytesPerSecond) + " left)";
    EXPECT_EQ(Shown(), recording);
    input_.DeliverAndPump(10 * kBlockBytes);
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    EXPECT_EQ(Shown(), ReadyArrangement());
    ExpectCompletedFile(18 * kBlockBytes, first);
}

// When no block has come back for 2 s the status line says the microphone stopped sending, the
// meter empties, and what was said is brought to the disk at once, header and all. The
// recording goes on: when blocks come back the status line reads "Recording" again. Stop stays
// bounded.
TEST_F(MainWindowTest, AMicrophoneThatStopsSendingIsToldAndWhatWasSaidReachesTheDisk) {
    ScriptedDisk disk(folder_);
    const std::string voice = Utf8(state_.voicePath);
    Click(Record);
    input_.DeliverAndPump(30 * kBlockBytes);
    ASSERT_GT(MeterPosition(), 0);
    ASSERT_EQ(disk.Flushes(voice), 0);

    timers_.Advance(kStallMs - 1);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_EQ(disk.Flushes(voice), 0);
    timers_.Advance(kWatchTickMs + 1);  // the notice follows within a tick of the watch
    EXPECT_EQ(Text(IDC_STATUS), "Recording: the microphone stopped sending sound");
    EXPECT_EQ(MeterPosition(), 0);
    EXPECT_EQ(Text(IDC_TIME_READOUT), "0:02");
    EXPECT_EQ(disk.Flushes(voice), 1);
    EXPECT_EQ(disk.FlushedBytes(voice), CompletedVoiceFile(30 * kBlockBytes));

    // It goes on telling, and flushes once.
    timers_.Advance(10000);
    EXPECT_EQ(Text(IDC_STATUS), "Recording: the microphone stopped sending sound");
    EXPECT_EQ(disk.Flushes(voice), 1);
    EXPECT_TRUE(input_.IsStarted());

    input_.DeliverAndPump(kBlockBytes);
    EXPECT_EQ(Text(IDC_STATUS), "Recording");
    EXPECT_GT(MeterPosition(), 0);
    input_.DeliverAndPump(10 * kBlockBytes);
    EXPECT_EQ(Shown(), RecordingArrangement());

    // Quiet again, then Stop: the stop's bound ends it as before.
    timers_.Advance(kStallMs + kWatchTickMs);
    ASSERT_EQ(Text(IDC_STATUS), "Recording: the microphone stopped sending sound");
    Click(Stop);
    timers_.Advance(kDrainBoundMs);
    PumpMessages();
    EXPECT_FALSE(input_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
    ExpectCompletedFile(41 * kBlockBytes);
}

// Before the computer sleeps, the recording is brought to the disk, header and all. After it
// wakes, a microphone that sends within 3 s lets the recording go on; one that does not ends it
// as a stalled Stop ends, and a box says so once it is complete. A playback simply ends.
TEST_F(MainWindowTest, SleepKeepsTheRecordingAndAMicrophoneThatDoesNotWakeEndsIt) {
    expectedBoxes_ = 1;
    ScriptedDisk disk(folder_);
    const std::string voice = Utf8(state_.voicePath);
    auto power = [this](WPARAM event) {
        return SendMessageA(dialog_, WM_POWERBROADCAST, event, 0);
    };

    // The microphone wakes: blocks come back 2.5 s after, and the recording goes on.
    Click(Record);
    input_.DeliverAndPump(30 * kBlockBytes);
    EXPECT_EQ(power(PBT_APMSUSPEND), TRUE);
    EXPECT_EQ(disk.Flushes(voice), 1);
    EXPECT_EQ(disk.FlushedBytes(voice), CompletedVoiceFile(30 * kBlockBytes));
    power(PBT_APMRESUMESUSPEND);
    timers_.Advance(kWakeBoundMs - 500);
    input_.DeliverAndPump(5 * kBlockBytes);
    timers_.Advance(1000);
    input_.DeliverAndPump(5 * kBlockBytes);
    timers_.Advance(kWakeBoundMs);
    EXPECT_TRUE(input_.IsStarted());
    EXPECT_EQ(boxes_.Count(), 0);
    Click(Stop);
    input_.DeliverAndPump(8 * kBlockBytes);
    ASSERT_EQ(Shown(), ReadyArrangement());
    ExpectCompletedFile(48 * kBlockBytes);
    EXPECT_EQ(boxes_.Count(), 0);

    // A playback ends at the suspend.
    Click(Play);
    ASSERT_EQ(Shown(), PlayingArrangement(true));
    power(PBT_APMSUSPEND);
    output_.PlayAndPump();
    EXPECT_FALSE(output_.IsOpen());
    EXPECT_EQ(Shown(), ReadyArrangement());
    EXPECT_LT(output_.PlayedCount(), static_cast<int>(48 - 4));
    power(PBT_APMRESUMEAUTOMATIC);

    // The microphone does not wake: 3 s after the wake the recording stops; the stop's bound
    // resets the device, and the complete recording is ready before the box tells.
    const std::uint64_t first = input_.CapturedBytes();
    Click(Record);
    input_.DeliverAndPump(20 * kBlockBytes);
    power(PBT_APMSUSPEND);
    EXPECT_EQ(disk.FlushedBytes(voice), CompletedVoiceFile(20 * kBlockBytes, first));
    power(PBT_APMRESUMEAUTOMATIC);
    timers_.Advance(kWakeBoundMs);
    EXPECT_TRUE(state_.recording) << "ended before its 3 s";
    Arrangement shownAtBox;
    std::vector<BYTE> fileAtBox;
    boxes_.whileUp = [&](const MessageBoxRecord&) {
        shownAtBox = Shown();
        fileAtBox = ReadFileBytes(voice);
    };
    timers_.Advance(kWatchTickMs + kDrainBoundMs);
    PumpMessages();
    boxes_.whileUp = nullptr;
    EXPECT_FALSE(input_.IsOpen());
    ASSERT_EQ(boxes_.Count(), 1);
    EXPECT_EQ(boxes_.Boxes()[0].text,
              "The recording stopped when the computer went to sleep.\n\nWhat was recorded is "
              "kept.");
    EXPECT_EQ(boxes_.Boxes()[0].caption, "Kestrune");
    EXPECT_EQ(boxes_.Boxes()[0].owner, dialog_);
    EXPECT_EQ(boxes_.Boxes()[0].type, static_cast<UINT>(MB_ICONWARNING | MB_OK));
    EXPECT_EQ(shownAtBox, ReadyArrangement());
    EXPECT_EQ(fileAtBox, CompletedVoiceFile(20 * kBlockBytes, first));
    EXPECT_EQ(timers_.SetCount(), 0);
}

// A user whose folders are named in another script: the temporary folder lies under such a name.
// The voice file is made there, and recording, Save As, Copy and the offer of a recording left
// behind all work on the names as they are.
TEST_F(MainWindowTest, EverythingWorksInATemporaryFolderNamedInAnotherScript) {
    const std::string temp = std::string(folder_) + "\\Дмитрий 李雷";
    ASSERT_TRUE(CreateDirectoryW(Wide(temp).c_str(), nullptr));
    SetEnvironmentVariableW(L"TMP", Wide(temp + "\\").c_str());
    SetEnvironmentVariableW(L"TEMP", Wide(temp + "\\").c_str());
    StartAgain();
    const std::string voicePath = Utf8(state_.voicePath);
    EXPECT_EQ(voicePath.rfind(temp + "\\kes", 0), 0u) << voicePath;

    RecordBlocks(20);
    EXPECT_GE(state_.dataBytes, 20 * kBlockBytes);
    EXPECT_EQ(ReadFileBytes(voicePath).size(), kHeaderBytes + state_.dataBytes);
    auto isWave = [](const std::vector<BYTE>& bytes) {
        return bytes.size() > kHeaderBytes && std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
               std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
    };

    // What Save As and Copy hand over is made off the window's thread. Save As's file is there
    // as soon as its conversion starts, but is the user's only once the conversion has ended.
    const std::string saved = temp + "\\Nachricht für 李雷.wav";
    g_saveAnswer = saved;
    SendCommand(IDM_SAVE_AS);
    ASSERT_TRUE(WaitForHandovers(10000));
    PumpMessages();
    EXPECT_TRUE(isWave(ReadFileBytes(saved)));

    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    SendCommand(IDM_COPY);
    std::string copied;
    for (int turn = 0; turn < 200 && copied.empty(); ++turn) {
        PumpMessages();
        copied = ClipboardFile();
        if (copied.empty()) {
            Sleep(10);
        }
    }
    EXPECT_EQ(copied.rfind(temp + "\\Kestrune\\voice-message-", 0), 0u) << copied;
    EXPECT_TRUE(isWave(ReadFileBytes(copied)));
    DeleteFileW(Wide(copied).c_str());
    RemoveDirectoryW(Wide(temp + "\\Kestrune").c_str());

    // A recording another Kestrune left there is offered at the next start, and opened.
    const std::string left = temp + "\\kesF00D.tmp";
    WriteLeftBehind(left, 100, 0, 2026);
    boxes_.answers = {IDYES};
    expectedBoxes_ = 1;
    StartAgain();
    PumpMessages();
    EXPECT_EQ(Utf8(state_.voicePath), left);
    EXPECT_EQ(Shown(), ReadyArrangement());

    DeleteFileW(Wide(saved).c_str());
    DeleteFileW(state_.voicePath);
    state_.voicePath[0] = L'\0';
    SetEnvironmentVariableW(L"TMP", Wide(std::string(folder_) + "\\").c_str());
    SetEnvironmentVariableW(L"TEMP", Wide(std::string(folder_) + "\\").c_str());
    RemoveDirectoryW(Wide(temp).c_str());
}
