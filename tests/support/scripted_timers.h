// A stand-in for the dialog's timers (g_setTimer / g_killTimer) for the life of the object:
// time stands still until the test advances it, so a stop's bound is counted in device time.
//
// Misuse fails the test (ADD_FAILURE): a timer without a live window, or with a timer
// procedure (the program's timers arrive as WM_TIMER). Killing a timer that is not set
// returns FALSE, as KillTimer does.
#pragma once
#include <windows.h>

#include <cstdint>
#include <map>
#include <utility>

#include "voice/wave_device.h"

class ScriptedTimers {
  public:
    ScriptedTimers();
    ~ScriptedTimers();
    ScriptedTimers(const ScriptedTimers&) = delete;
    ScriptedTimers& operator=(const ScriptedTimers&) = delete;

    // Moves the clock on by `ms`, sending WM_TIMER for every timer that falls due on the way,
    // in time order; a timer repeats at its interval until killed, as a real one does.
    void Advance(std::uint64_t ms);
    std::uint64_t Now() const { return now_; }
    bool IsSet(HWND window, UINT_PTR id) const { return timers_.count({window, id}) != 0; }
    int SetCount() const { return static_cast<int>(timers_.size()); }
    UINT Interval(HWND window, UINT_PTR id) const;  // 0 when not set

  private:
    static UINT_PTR WINAPI Set(HWND window, UINT_PTR id, UINT interval, TIMERPROC procedure);
    static BOOL WINAPI Kill(HWND window, UINT_PTR id);

    struct Timer {
        UINT interval;
        std::uint64_t due;
    };
    SetTimerFn previousSet_;
    KillTimerFn previousKill_;
    std::uint64_t now_ = 0;
    std::map<std::pair<HWND, UINT_PTR>, Timer> timers_;
};
