#include "tests/support/scripted_shell.h"

#include <gtest/gtest.h>

#include "tests/support/utf8.h"

std::vector<ShellCall> g_shellCalls;

HINSTANCE WINAPI RecordShellCall(HWND owner, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                                 LPCWSTR directory, INT show) {
    EXPECT_NE(file, nullptr) << "the shell needs something to open";
    ShellCall call{
        owner,           verb ? Utf8(verb) : "(null)", Utf8(file),           Utf8(parameters),
        Utf8(directory), parameters == nullptr,        directory == nullptr, show};
    g_shellCalls.push_back(call);
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(42));
}
