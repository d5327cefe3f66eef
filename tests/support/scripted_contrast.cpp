#include "tests/support/scripted_contrast.h"

#include <gtest/gtest.h>

namespace {
ScriptedContrast* g_scriptedContrast = nullptr;
constexpr COLORREF kUnknownColour = RGB(255, 0, 255);
}  // namespace

ScriptedContrast::ScriptedContrast(bool on)
    : previousOn_(g_highContrastOn), previousColour_(g_systemColour), on_(on) {
    if (g_scriptedContrast != nullptr) {
        ADD_FAILURE() << "a scripted contrast is already installed";
    }
    // Far apart, so that a pixel tells which one was drawn.
    colours_ = {{COLOR_BTNFACE, RGB(16, 32, 48)},
                {COLOR_BTNTEXT, RGB(250, 240, 120)},
                {COLOR_GRAYTEXT, RGB(112, 160, 112)},
                {COLOR_HIGHLIGHT, RGB(0, 96, 224)},
                {COLOR_HIGHLIGHTTEXT, RGB(255, 255, 255)}};
    g_scriptedContrast = this;
    g_highContrastOn = Answer;
    g_systemColour = SystemColour;
}

ScriptedContrast::~ScriptedContrast() {
    g_highContrastOn = previousOn_;
    g_systemColour = previousColour_;
    g_scriptedContrast = nullptr;
}

COLORREF ScriptedContrast::Colour(int index) const {
    auto found = colours_.find(index);
    return found == colours_.end() ? kUnknownColour : found->second;
}

bool ScriptedContrast::Answer() {
    ++g_scriptedContrast->questions_;
    return g_scriptedContrast->on_;
}

DWORD WINAPI ScriptedContrast::SystemColour(int index) {
    ScriptedContrast* scripted = g_scriptedContrast;
    if (scripted->colours_.count(index) == 0) {
        ADD_FAILURE() << "asked for system colour " << index
                      << ", which the high-contrast look does not use";
    }
    return scripted->Colour(index);
}
