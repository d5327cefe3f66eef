// A scale stand-in on g_windowDpi for the life of the object: every window is at the scripted
// dpi, as on a monitor of that scale, and Set changes it as a move to another monitor does.
// Asking about something that is no window fails the test.
#pragma once
#include <windows.h>

#include "base/dpi.h"

class ScriptedDpi {
  public:
    explicit ScriptedDpi(UINT dpi);
    ~ScriptedDpi();
    ScriptedDpi(const ScriptedDpi&) = delete;
    ScriptedDpi& operator=(const ScriptedDpi&) = delete;

    void Set(UINT dpi) { dpi_ = dpi; }
    // How often the program asked.
    int Questions() const { return questions_; }

  private:
    static UINT Answer(HWND window);

    WindowDpiFn previous_;
    UINT dpi_;
    int questions_ = 0;
};
