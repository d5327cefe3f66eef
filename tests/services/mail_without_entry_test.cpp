// Sends through a MAPI32.DLL that has no MAPISendMail.
#include "services/mail.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/services/worker_threads.h"

namespace {

constexpr DWORD kWaitMs = 5000;

TEST(MailWithoutEntry, SendDoesNothingAndCanBeUsedAgain) {
    ASSERT_EQ(GetModuleHandleA("MAPI32.DLL"), nullptr);
    AppState state = {};
    lstrcpyA(state.tempPath, "C:\\users\\me\\Temp\\kes1A2B.tmp");
    const AppState untouched = state;

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
    }
    SendByMail(&state);
    EXPECT_EQ(memcmp(&state, &untouched, sizeof state), 0) << "the record was written";
}

}  // namespace
