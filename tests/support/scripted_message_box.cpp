#include "tests/support/scripted_message_box.h"

#include <gtest/gtest.h>

namespace {
ScriptedMessageBox* g_scriptedMessageBox = nullptr;
}  // namespace

ScriptedMessageBox::ScriptedMessageBox() : previous_(g_messageBox) {
    if (g_scriptedMessageBox != nullptr) {
        ADD_FAILURE() << "a scripted message box is already installed";
    }
    g_scriptedMessageBox = this;
    g_messageBox = Show;
}

ScriptedMessageBox::~ScriptedMessageBox() {
    g_messageBox = previous_;
    g_scriptedMessageBox = nullptr;
}

int WINAPI ScriptedMessageBox::Show(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    ScriptedMessageBox* boxes = g_scriptedMessageBox;
    boxes->boxes_.push_back(MessageBoxRecord{owner, text != nullptr ? text : "",
                                             caption != nullptr ? caption : "", caption == nullptr,
                                             type});
    if (boxes->whileUp) {
        // A copy: the callback may replace whileUp or show another box.
        MessageBoxRecord shown = boxes->boxes_.back();
        std::function<void(const MessageBoxRecord&)> whileUp = boxes->whileUp;
        whileUp(shown);
    }
    return (type & MB_TYPEMASK) == MB_YESNO ? boxes->answerYesNo : IDOK;
}
