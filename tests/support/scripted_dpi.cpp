#include "tests/support/scripted_dpi.h"

#include <gtest/gtest.h>

namespace {
ScriptedDpi* g_scriptedDpi = nullptr;
}  // namespace

ScriptedDpi::ScriptedDpi(UINT dpi) : previous_(g_windowDpi), dpi_(dpi) {
    if (g_scriptedDpi != nullptr) {
        ADD_FAILURE() << "a scripted dpi is already installed";
    }
    g_scriptedDpi = this;
    g_windowDpi = Answer;
}

ScriptedDpi::~ScriptedDpi() {
    g_windowDpi = previous_;
    g_scriptedDpi = nullptr;
}

UINT ScriptedDpi::Answer(HWND window) {
    ScriptedDpi* scripted = g_scriptedDpi;
    ++scripted->questions_;
    if (!IsWindow(window)) {
        // GetDpiForWindow answers 0 for it.
        ADD_FAILURE() << "asked for the dpi of " << window << ", which is no window";
        return 0;
    }
    return scripted->dpi_;
}
