// Sends on a system without MAPI32.DLL: this test runs where none can be loaded.
#include "services/mail.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/services/worker_threads.h"

namespace {

constexpr DWORD kWaitMs = 5000;

TEST(MailWithoutLibrary, SendDoesNothingAndCanBeUsedAgain) {
    ASSERT_EQ(LoadLibraryA("MAPI32.DLL"), nullptr) << "this test needs a system without it";
    AppState state = {};
    lstrcpyA(state.tempPath, "C:\\users\\me\\Temp\\kes1A2B.tmp");
    const AppState untouched = state;

    for (int send = 0; send < 3; ++send) {
        const std::set<DWORD> before = ThreadIdsNow();
        StartMailWorker(&state);
        EXPECT_NE(WaitForThreadsStartedSince(before, kWaitMs), -1) << "the worker did not end";
        EXPECT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr);
    }
    SendByMail(&state);
    EXPECT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr);
    EXPECT_EQ(memcmp(&state, &untouched, sizeof state), 0) << "the record was written";
}

}  // namespace
