// A message-box stand-in on g_messageBox for the life of the object: records every box and
// answers at once instead of waiting for the user: the next of `answers`, or IDOK when none is
// left. An answer that is not one of the box's buttons fails the test.
#pragma once
#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/message_box.h"

struct MessageBoxRecord {
    HWND owner;
    std::string text;     // UTF-8
    std::string caption;  // "" when defaultCaption
    bool defaultCaption;  // the caption was null: the system's default caption
    UINT type;
};

class ScriptedMessageBox {
  public:
    ScriptedMessageBox();
    ~ScriptedMessageBox();
    ScriptedMessageBox(const ScriptedMessageBox&) = delete;
    ScriptedMessageBox& operator=(const ScriptedMessageBox&) = delete;

    // Runs while the box is "up", after it was recorded. The real box runs its own message
    // loop, so e.g. `whileUp = [](const MessageBoxRecord&) { PumpMessages(); };` delivers the
    // window's messages as they would arrive before the user answers.
    std::function<void(const MessageBoxRecord&)> whileUp;
    std::deque<int> answers;

    const std::vector<MessageBoxRecord>& Boxes() const { return boxes_; }
    int Count() const { return static_cast<int>(boxes_.size()); }

  private:
    static int WINAPI Show(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

    MessageBoxFn previous_;
    std::vector<MessageBoxRecord> boxes_;
};
