// Sends on a system without MAPI32.DLL: this test runs where none can be loaded.
#include "services/mail.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "services/shell_links.h"
#include "tests/support/worker_threads.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/scripted_message_box.h"
#include "tests/support/scripted_shell.h"
#include "tests/support/utf8.h"

namespace {

constexpr DWORD kWaitMs = 5000;

// What the main window does with the worker's message, as it arrives there.
HandoverJob* WaitForNotTaken(HWND window) {
    const DWORD deadline = GetTickCount() + kWaitMs;
    MSG msg;
    while (static_cast<LONG>(deadline - GetTickCount()) > 0) {
        if (PeekMessageA(&msg, window, kMailNotTaken, kMailNotTaken, PM_REMOVE)) {
            return reinterpret_cast<HandoverJob*>(msg.lParam);
        }
        Sleep(5);
    }
    return nullptr;
}

// No mail program takes the message: the window says so and shows the copy in its folder.
TEST(MailWithoutLibrary, TheWindowSaysSoAndShowsTheFileInItsFolder) {
    ASSERT_EQ(LoadLibraryA("MAPI32.DLL"), nullptr) << "this test needs a system without it";
    WCHAR temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    AppState state = {};
    ASSERT_NE(GetTempFileNameW(temp, L"kes", 0, state.voicePath), 0u);
    const AppState untouched = state;
    HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const HWND savedMainWindow = g_mainWindow;
    const ShellExecuteFn savedShell = g_shellExecute;
    g_mainWindow = window;
    OpenHandoverMailbox(window);
    g_shellExecute = RecordShellCall;
    ScriptedMessageBox boxes;

    for (int send = 0; send < 2; ++send) {
        ScriptedHeap heap;
        g_shellCalls.clear();
        const std::set<DWORD> before = ThreadIdsNow();
        StartMailWorker(&state);
        HandoverJob* job = WaitForNotTaken(window);
        ASSERT_NE(job, nullptr) << "the window was not told";
        EXPECT_NE(WaitForThreadsStartedSince(before, kWaitMs), -1) << "the worker did not end";
        EXPECT_TRUE(boxes.Boxes().size() == static_cast<size_t>(send)) << "a worker showed a box";
        const std::wstring snapshot = job->path;
        EXPECT_NE(GetFileAttributesW(snapshot.c_str()), INVALID_FILE_ATTRIBUTES);

        ShowMailNotTaken(job);
        ASSERT_EQ(boxes.Count(), send + 1);
        const MessageBoxRecord& box = boxes.Boxes().back();
        EXPECT_EQ(box.text,
                  "No mail program took the message.\n\nIts file is shown in its folder, so that "
                  "you can attach it yourself.");
        EXPECT_EQ(box.caption, "Kestrune");
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_EQ(box.owner, window);
        ASSERT_EQ(g_shellCalls.size(), 1u);
        const ShellCall& call = g_shellCalls[0];
        EXPECT_EQ(call.owner, window);
        EXPECT_EQ(call.show, SW_SHOWNORMAL);
        EXPECT_EQ(call.verb, "open");
        EXPECT_EQ(call.file, "explorer.exe");
        EXPECT_EQ(call.parameters, "/select,\"" + Utf8(snapshot.c_str()) + "\"");
        EXPECT_EQ(call.directory, "");
        EXPECT_EQ(heap.LiveBlocks(), 0) << "the job was not freed";
        DeleteFileW(snapshot.c_str());
    }
    EXPECT_EQ(memcmp(&state, &untouched, sizeof state), 0) << "the record was written";
    CloseHandoverMailbox(window);
    g_mainWindow = savedMainWindow;
    g_shellExecute = savedShell;
    DestroyWindow(window);
    DeleteFileW(state.voicePath);
}

}  // namespace
