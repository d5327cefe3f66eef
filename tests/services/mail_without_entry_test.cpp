// Sends through a MAPI32.DLL that has no MAPISendMail.
#include "services/mail.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "tests/support/worker_threads.h"
#include "tests/support/utf8.h"

namespace {

constexpr DWORD kWaitMs = 5000;

// Like no library at all: the window is told, with a job of the worker's own.
TEST(MailWithoutEntry, TheWindowIsToldAndSendCanBeUsedAgain) {
    ASSERT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr);
    WCHAR temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    AppState state = {};
    ASSERT_NE(GetTempFileNameW(temp, L"kes", 0, state.voicePath), 0u);
    const AppState untouched = state;
    HWND window =
        CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    const HWND savedMainWindow = g_mainWindow;
    g_mainWindow = window;
    OpenHandoverMailbox(window);

    for (int send = 0; send < 3; ++send) {
        const std::set<DWORD> before = ThreadIdsNow();
        StartMailWorker(&state);
        EXPECT_NE(WaitForThreadsStartedSince(before, kWaitMs), -1) << "the worker did not end";
        // The Send did look: the library that was loaded is ours, and it stays loaded.
        HMODULE library = GetModuleHandleA("MAPI32.DLL");
        ASSERT_NE(library, nullptr) << "Send did not load MAPI32.DLL";
        EXPECT_NE(GetProcAddress(library, "KestruneMapiWithoutSendMail"), nullptr)
            << "not the library beside this test";
        EXPECT_EQ(GetProcAddress(library, "MAPISendMail"), nullptr);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg, window, kMailNotTaken, kMailNotTaken, PM_REMOVE))
            << "the worker ended without telling the window";
        auto* job = reinterpret_cast<HandoverJob*>(msg.lParam);
        const std::wstring copy = job->path;
        EndHandover(job);
        EXPECT_EQ(DeleteFileW(copy.c_str()), TRUE) << Utf8(copy.c_str());
    }
    EXPECT_EQ(memcmp(&state, &untouched, sizeof state), 0) << "the record was written";
    CloseHandoverMailbox(window);
    g_mainWindow = savedMainWindow;
    DestroyWindow(window);
    DeleteFileW(state.voicePath);
}

}  // namespace
