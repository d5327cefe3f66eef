// Sends through a MAPI32.DLL of our own that lies beside this test and writes down each call.
#include "services/mail.h"

#include <gtest/gtest.h>
#include <mapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/services/mapi_log.h"
#include "tests/support/file_bytes.h"
#include "tests/support/handed_over.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/utf8.h"
#include "tests/support/worker_threads.h"

namespace {

using Record = MapiRecord;

constexpr DWORD kWaitMs = 5000;

// The worker that made a call is still inside it.
bool StillRunning(const std::string& threadId) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, std::stoul(threadId));
    if (thread == nullptr) {
        return false;
    }
    const bool running = WaitForSingleObject(thread, 0) == WAIT_TIMEOUT;
    CloseHandle(thread);
    return running;
}

std::string Unique(const char* what) {
    static int counter = 0;
    char name[96];
    snprintf(name, sizeof name, "kestrune-%s-%lu-%d", what, GetCurrentProcessId(), ++counter);
    return name;
}

// Returns just after time() moves on to the next second, so what follows has nearly a whole
// second to itself; false when the clock did not move within two seconds.
bool WaitForNextSecond() {
    const time_t start = time(nullptr);
    for (int waitedMs = 0; waitedMs < 2000; waitedMs += 5) {
        Sleep(5);
        if (time(nullptr) != start) {
            return true;
        }
    }
    return false;
}

// The attachment name for a calendar time, made by the C runtime in the "C" locale.
std::string NameAt(time_t when) {
    tm local = {};
    if (localtime_s(&local, &when) != 0) {
        return "(no local time)";
    }
    char name[64];
    strftime(name, sizeof name, "voice-message-%a_%b_%d_%H-%M-%S_%Y.wav", &local);
    return name;
}

// The record lies so that its voicePath ends a readable page and everything after it is
// inaccessible: a worker that touches any other field crashes the test.
class GuardedState {
  public:
    GuardedState() {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        page_ = info.dwPageSize;
        base_ = static_cast<char*>(
            VirtualAlloc(nullptr, 2 * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (base_ == nullptr) {
            return;
        }
        DWORD old = 0;
        state_ = reinterpret_cast<AppState*>(base_ + page_ - offsetof(AppState, bar));
        if (!VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old)) {
            state_ = nullptr;
        }
    }
    ~GuardedState() {
        if (base_ != nullptr) {
            VirtualFree(base_, 0, MEM_RELEASE);
        }
    }
    AppState* get() const { return state_; }

  private:
    DWORD page_ = 0;
    char* base_ = nullptr;
    AppState* state_ = nullptr;
};

class MailSend : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof folder, folder), 0u);
        ASSERT_NE(GetTempFileNameA(folder, "kml", 0, logPath_), 0u);
        calls_ = CreateSemaphoreA(nullptr, 0, 64, callsName_.c_str());
        ASSERT_NE(calls_, nullptr);
        release_ = CreateEventA(nullptr, TRUE, FALSE, releaseName_.c_str());
        ASSERT_NE(release_, nullptr);
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_LOG", logPath_);
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_CALLS", callsName_.c_str());
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_HOLD", nullptr);

        ASSERT_NE(state_.get(), nullptr);
        // A temporary folder of the test's own, so the copies Send makes can be checked.
        snprintf(temp_, sizeof temp_, "%skestrune-mail-test-%lu\\", folder, GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(temp_, nullptr)) << temp_;
        GetEnvironmentVariableA("TMP", savedTmp_, MAX_PATH);
        GetEnvironmentVariableA("TEMP", savedTemp_, MAX_PATH);
        SetEnvironmentVariableA("TMP", temp_);
        SetEnvironmentVariableA("TEMP", temp_);
        // A voice file as the main window makes it, with a recording in it.
        char voicePath[MAX_PATH];
        snprintf(voicePath, MAX_PATH, "%skes%04X.tmp", temp_,
                 static_cast<unsigned>(GetCurrentProcessId() & 0xFFFF));
        CopyWide(state_.get()->voicePath, voicePath);
        RecordVoiceFile(ToneWithDeadAir(1.0, 1.0));
        firstCopy_ = PlayableCopyOf(state_.get()->voicePath);
        ASSERT_EQ(MuLawHeaderFault(firstCopy_), "");
        threadsBefore_ = ThreadIdsNow();
    }

    void TearDown() override {
        if (release_ != nullptr) {
            SetEvent(release_);
        }
        // No worker may outlive its test: the next one counts calls afresh.
        EXPECT_NE(WaitForThreadsStartedSince(threadsBefore_, kWaitMs), -1)
            << "a worker did not end after its mail call";
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_LOG", nullptr);
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_CALLS", nullptr);
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_HOLD", nullptr);
        if (calls_ != nullptr) {
            CloseHandle(calls_);
        }
        if (release_ != nullptr) {
            CloseHandle(release_);
        }
        DeleteFileA(logPath_);
        DeleteFileW(state_.get()->voicePath);
        RemoveFolder((std::string(temp_) + "Kestrune").c_str());
        RemoveDirectoryA(temp_);
        SetEnvironmentVariableA("TMP", savedTmp_[0] ? savedTmp_ : nullptr);
        SetEnvironmentVariableA("TEMP", savedTemp_[0] ? savedTemp_ : nullptr);
    }

    // A recording of this sound in the voice file, as the window leaves it.
    void RecordVoiceFile(const std::vector<BYTE>& gsm) {
        ASSERT_FALSE(gsm.empty());
        ASSERT_TRUE(WriteVoiceFile(state_.get()->voicePath, gsm));
    }

    static void RemoveFolder(const char* folder) {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((std::string(folder) + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                DeleteFileA((std::string(folder) + "\\" + found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(folder);
    }

    // Where Send's copies go.
    std::string SnapshotFolder() const { return std::string(temp_) + "Kestrune\\"; }

    // Every mail call from now on stays open until ReleaseMailCalls, like a compose dialog.
    void HoldMailCalls() {
        SetEnvironmentVariableA("KESTRUNE_FAKE_MAPI_HOLD", releaseName_.c_str());
    }
    void ReleaseMailCalls() { SetEvent(release_); }

    // Waits for that many more calls to have been written down.
    bool WaitForCalls(int count) {
        for (int i = 0; i < count; ++i) {
            if (WaitForSingleObject(calls_, kWaitMs) != WAIT_OBJECT_0) {
                return false;
            }
        }
        return true;
    }

    bool WaitForWorkersToEnd() { return WaitForThreadsStartedSince(threadsBefore_, kWaitMs) != -1; }

    std::vector<Record> Records() const { return ReadMapiLog(Wide(logPath_)); }

    AppState* state() { return state_.get(); }

    // What Send must hand over of the recording made in SetUp: its µ-law copy, shorter than
    // the recording by most of the dead air at its ends.
    std::vector<BYTE> firstCopy_;

  private:
    GuardedState state_;
    char logPath_[MAX_PATH] = {};
    std::string callsName_ = Unique("calls");
    std::string releaseName_ = Unique("release");
    HANDLE calls_ = nullptr;
    HANDLE release_ = nullptr;
    std::set<DWORD> threadsBefore_;
    char temp_[MAX_PATH] = {};
    char savedTmp_[MAX_PATH] = {};
    char savedTemp_[MAX_PATH] = {};
};

TEST_F(MailSend, HandsTheVoiceFileToTheMailClientAsOneAttachment) {
    const time_t before = time(nullptr);
    StartMailWorker(state());
    ASSERT_TRUE(WaitForCalls(1)) << "no mail call";
    const time_t after = time(nullptr);
    ASSERT_TRUE(WaitForWorkersToEnd());

    const std::vector<Record> records = Records();
    ASSERT_EQ(records.size(), 1u);
    Record call = records[0];
    EXPECT_NE(call["thread"], std::to_string(GetCurrentThreadId())) << "not on a worker";
    EXPECT_EQ(call["session"], "0");
    EXPECT_EQ(call["uiParam"], "0") << "the compose dialog has no parent window";
    EXPECT_EQ(call["flags"], std::to_string(MAPI_DIALOG));
    EXPECT_EQ(call["reserved"], "0");

    ASSERT_NE(call["message"], "0");
    EXPECT_EQ(call["message.ulReserved"], "0");
    EXPECT_EQ(call["message.lpszSubject"], "0");
    EXPECT_EQ(call["message.lpszNoteText"], "0");
    EXPECT_EQ(call["message.lpszMessageType"], "0");
    EXPECT_EQ(call["message.lpszDateReceived"], "0");
    EXPECT_EQ(call["message.lpszConversationID"], "0");
    EXPECT_EQ(call["message.flFlags"], "0");
    EXPECT_EQ(call["message.lpOriginator"], "0");
    EXPECT_EQ(call["message.nRecipCount"], "0");
    EXPECT_EQ(call["message.lpRecips"], "0");
    EXPECT_EQ(call["message.nFileCount"], "1");
    ASSERT_NE(call["message.lpFiles"], "0");

    EXPECT_EQ(call["file.ulReserved"], "0");
    EXPECT_EQ(call["file.flFlags"], "0") << "a plain data file";
    EXPECT_EQ(call["file.nPosition"], "4294967295");
    EXPECT_EQ(call["file.lpFileType"], "0");

    const std::string name = call["file.fileName"];
    EXPECT_EQ(name.size(), 42u) << name;
    EXPECT_EQ(name.find_first_of(": \n"), std::string::npos) << name;
    std::set<std::string> possible;
    for (time_t when = before; when <= after; ++when) {
        possible.insert(NameAt(when));
    }
    EXPECT_EQ(possible.count(name), 1u)
        << name << " is not the local time of the Send, " << NameAt(before);
    // The copy made at the Send, under the same name: the recording converted and trimmed.
    EXPECT_EQ(call["file.pathName"], SnapshotFolder() + name);
    const std::vector<BYTE> attached = ReadFileBytes(call["file.pathName"]);
    EXPECT_EQ(MuLawHeaderFault(attached), "");
    EXPECT_TRUE(attached == firstCopy_)
        << attached.size() << " bytes, not the " << firstCopy_.size() << " of the recording's copy";
    // Of the 3 s recorded, the 1 s of tone and a margin of silence at each end.
    EXPECT_GT(firstCopy_.size(), 58u + 8000u);
    EXPECT_LT(firstCopy_.size(), 58u + 16000u) << "the dead air was not left out";
}

TEST_F(MailSend, StartReturnsWhileTheComposeDialogIsOpen) {
    HoldMailCalls();
    StartMailWorker(state());
    // Back here while the call is still open: the main window would go on working.
    ASSERT_TRUE(WaitForCalls(1));
    const std::vector<Record> records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(StillRunning(Record(records[0])["thread"])) << "Start waited for the dialog";
    ReleaseMailCalls();
    EXPECT_TRUE(WaitForWorkersToEnd());
}

// Two compose dialogs open at once, each on its own worker; within one second both attachments
// bear the same name.
TEST_F(MailSend, TwoSendsInTheSameSecondOpenTwoDialogsWithTheSameName) {
    HoldMailCalls();
    bool sameSecond = false;
    // A loaded machine may still let the second turn between the two; only never is a failure.
    for (int attempt = 0; attempt < 10 && !sameSecond; ++attempt) {
        const size_t earlier = Records().size();
        ASSERT_TRUE(WaitForNextSecond()) << "the clock does not advance";
        const time_t before = time(nullptr);
        StartMailWorker(state());
        StartMailWorker(state());
        ASSERT_TRUE(WaitForCalls(2)) << "both calls must be open together";
        const time_t after = time(nullptr);

        const std::vector<Record> records = Records();
        ASSERT_EQ(records.size(), earlier + 2);
        Record first = records[earlier];
        Record second = records[earlier + 1];
        EXPECT_NE(first["thread"], second["thread"]) << "one worker per Send";
        EXPECT_TRUE(StillRunning(first["thread"]) && StillRunning(second["thread"]))
            << "the two dialogs are not open together";
        // A copy each; the second's name is taken when both come in the same second.
        EXPECT_NE(first["file.pathName"], second["file.pathName"]);
        EXPECT_EQ(first["file.fileName"].size(), 42u);
        EXPECT_EQ(second["file.fileName"].size(), 42u);
        if (before == after) {
            sameSecond = true;
            EXPECT_EQ(first["file.fileName"], second["file.fileName"]);
            EXPECT_EQ(first["file.fileName"], NameAt(before));
            // The two workers reach the mail program in either order.
            const std::string name = NameAt(before);
            const std::set<std::string> copies = {first["file.pathName"], second["file.pathName"]};
            const std::set<std::string> expected = {
                SnapshotFolder() + name,
                SnapshotFolder() + name.substr(0, name.size() - 4) + "-2.wav"};
            EXPECT_EQ(copies, expected);
        }
    }
    EXPECT_TRUE(sameSecond) << "never managed two Sends within one second";
    ReleaseMailCalls();
    EXPECT_TRUE(WaitForWorkersToEnd());
}

// The mail client answers "cancelled"; the recording can be sent again.
TEST_F(MailSend, SendsAgainAfterACancelledDialog) {
    StartMailWorker(state());
    ASSERT_TRUE(WaitForCalls(1));
    ASSERT_TRUE(WaitForWorkersToEnd());
    StartMailWorker(state());
    ASSERT_TRUE(WaitForCalls(1));
    ASSERT_TRUE(WaitForWorkersToEnd());
    const std::vector<Record> records = Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_TRUE(ReadFileBytes(Record(records[1])["file.pathName"]) == firstCopy_);
}

// Each Send loads the library once more and none releases it: after two Sends on an unloaded
// library it takes exactly two releases to unload it.
TEST_F(MailSend, EachSendLoadsTheLibraryAndNoneReleasesIt) {
    for (int i = 0; i < 1000 && GetModuleHandleA("MAPI32.DLL") != nullptr; ++i) {
        FreeLibrary(GetModuleHandleA("MAPI32.DLL"));
    }
    ASSERT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr);

    for (int send = 0; send < 2; ++send) {
        StartMailWorker(state());
        ASSERT_TRUE(WaitForCalls(1));
        ASSERT_TRUE(WaitForWorkersToEnd());
    }
    HMODULE library = GetModuleHandleA("MAPI32.DLL");
    ASSERT_NE(library, nullptr) << "released after the call";
    FreeLibrary(library);
    EXPECT_NE(GetModuleHandleA("MAPI32.DLL"), nullptr) << "loaded only once for two Sends";
    FreeLibrary(library);
    EXPECT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr) << "loaded more often than Sent";
}

TEST_F(MailSend, TheWorkerBodyAloneMakesTheSameCall) {
    HandoverJob* job = PrepareMail(state());
    ASSERT_NE(job, nullptr);
    SendByMail(job);
    ASSERT_TRUE(WaitForCalls(1));
    const std::vector<Record> records = Records();
    ASSERT_EQ(records.size(), 1u);
    Record call = records[0];
    EXPECT_EQ(call["thread"], std::to_string(GetCurrentThreadId()));
    EXPECT_EQ(call["flags"], std::to_string(MAPI_DIALOG));
    EXPECT_EQ(call["file.pathName"], SnapshotFolder() + call["file.fileName"]);
    EXPECT_TRUE(ReadFileBytes(call["file.pathName"]) == firstCopy_);
}

// The mail program may read the attachment long after Send: a new recording, or closing
// Kestrune, must not change it. Copies more than a day old go at the next Send.
TEST_F(MailSend, ANewRecordingAfterSendLeavesTheSnapshotIntact) {
    ASSERT_TRUE(CreateDirectoryA(SnapshotFolder().c_str(), nullptr));
    const std::string old = SnapshotFolder() + "voice-message-Mon_Mar_02_10-00-00_2026.wav";
    const std::string recent = SnapshotFolder() + "voice-message-Mon_Mar_02_11-00-00_2026.wav";
    for (const std::string& path : {old, recent}) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER when = {{now.dwLowDateTime, now.dwHighDateTime}};
        // A day and a minute ago, or a day less a minute.
        const ULONGLONG minute = 60ULL * 10000000;
        const ULONGLONG day = 24 * 60 * minute;
        when.QuadPart -= path == old ? day + minute : day - minute;
        const FILETIME written = {when.LowPart, when.HighPart};
        EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
        CloseHandle(file);
    }

    HoldMailCalls();
    StartMailWorker(state());
    ASSERT_TRUE(WaitForCalls(1));
    RecordVoiceFile(ToneWithDeadAir(0.5, 2.0));
    DeleteFileW(state()->voicePath);  // closing the window
    const std::string attached = Record(Records()[0])["file.pathName"];
    EXPECT_TRUE(ReadFileBytes(attached) == firstCopy_);
    EXPECT_EQ(GetFileAttributesA(old.c_str()), INVALID_FILE_ATTRIBUTES) << "more than a day old";
    EXPECT_NE(GetFileAttributesA(recent.c_str()), INVALID_FILE_ATTRIBUTES) << "not yet a day old";
    ReleaseMailCalls();
    ASSERT_TRUE(WaitForWorkersToEnd());
    EXPECT_TRUE(ReadFileBytes(attached) == firstCopy_) << "not kept after the mail call";
}

// A busy voice file cannot be copied: the user is told, and nothing is sent or left behind.
TEST_F(MailSend, ACopyThatCannotBeMadeSaysSoAndSendsNothing) {
    ScriptedMessageBox boxes;
    const HWND mainWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x10e4));
    const HWND savedMainWindow = g_mainWindow;
    g_mainWindow = mainWindow;
    HANDLE busy = CreateFileW(state()->voicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(busy, INVALID_HANDLE_VALUE);
    StartMailWorker(state());
    CloseHandle(busy);
    g_mainWindow = savedMainWindow;

    ASSERT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.Boxes()[0].text, "Failed to copy temporary file");
    EXPECT_EQ(boxes.Boxes()[0].owner, mainWindow);
    EXPECT_TRUE(boxes.Boxes()[0].defaultCaption);
    EXPECT_EQ(boxes.Boxes()[0].type, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(WaitForWorkersToEnd());
    EXPECT_TRUE(Records().empty()) << "sent without a copy";
    EXPECT_EQ(FilesIn(SnapshotFolder()), "") << "left behind";
}

}  // namespace
