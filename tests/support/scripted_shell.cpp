#include "tests/support/scripted_shell.h"

#include <gtest/gtest.h>

std::vector<ShellCall> g_shellCalls;

HINSTANCE WINAPI RecordShellCall(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                 LPCSTR directory, INT show) {
    EXPECT_NE(file, nullptr) << "the shell needs something to open";
    ShellCall call{owner,
                   verb ? verb : "(null)",
                   file ? file : "",
                   parameters ? parameters : "",
                   directory ? directory : "",
                   parameters == nullptr,
                   directory == nullptr,
                   show};
    g_shellCalls.push_back(call);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}
