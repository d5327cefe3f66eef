#include "tests/support/scripted_message_box.h"

#include <gtest/gtest.h>

#include "tests/support/utf8.h"

namespace {
ScriptedMessageBox* g_scriptedMessageBox = nullptr;

// Whether a box of that type has the button that answers so.
bool HasButton(UINT type, int answer) {
    switch (type & MB_TYPEMASK) {
        case MB_OK:
            return answer == IDOK;
        case MB_OKCANCEL:
            return answer == IDOK || answer == IDCANCEL;
        case MB_YESNO:
            return answer == IDYES || answer == IDNO;
        case MB_YESNOCANCEL:
            return answer == IDYES || answer == IDNO || answer == IDCANCEL;
        default:
            return false;  // no box of the program's has other buttons
    }
}
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

int WINAPI ScriptedMessageBox::Show(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    ScriptedMessageBox* boxes = g_scriptedMessageBox;
    boxes->boxes_.push_back(
        MessageBoxRecord{owner, Utf8(text), Utf8(caption), caption == nullptr, type});
    if (boxes->whileUp) {
        // A copy: the callback may replace whileUp or show another box.
        MessageBoxRecord shown = boxes->boxes_.back();
        std::function<void(const MessageBoxRecord&)> whileUp = boxes->whileUp;
        whileUp(shown);
    }
    int answer = IDOK;
    if (!boxes->answers.empty()) {
        answer = boxes->answers.front();
        boxes->answers.pop_front();
    }
    if (!HasButton(type, answer)) {
        ADD_FAILURE() << "the box \"" << Utf8(text) << "\" of type " << type
                      << " has no button answering " << answer;
    }
    return answer;
}
