#include "tests/support/scripted_timers.h"

#include <gtest/gtest.h>

namespace {
ScriptedTimers* g_scriptedTimers = nullptr;
}  // namespace

ScriptedTimers::ScriptedTimers() : previousSet_(g_setTimer), previousKill_(g_killTimer) {
    if (g_scriptedTimers != nullptr) {
        ADD_FAILURE() << "scripted timers are already installed";
    }
    g_scriptedTimers = this;
    g_setTimer = Set;
    g_killTimer = Kill;
}

ScriptedTimers::~ScriptedTimers() {
    g_setTimer = previousSet_;
    g_killTimer = previousKill_;
    g_scriptedTimers = nullptr;
}

UINT ScriptedTimers::Interval(HWND window, UINT_PTR id) const {
    auto timer = timers_.find({window, id});
    return timer == timers_.end() ? 0 : timer->second.interval;
}

UINT_PTR WINAPI ScriptedTimers::Set(HWND window, UINT_PTR id, UINT interval, TIMERPROC procedure) {
    ScriptedTimers* timers = g_scriptedTimers;
    if (!IsWindow(window) || procedure != nullptr || id == 0) {
        ADD_FAILURE() << "SetTimer(" << window << ", " << id << "): expected a live window, an id "
                      << "and no timer procedure";
        return 0;
    }
    // As SetTimer: setting a timer that exists replaces its interval and starts it again.
    timers->timers_[{window, id}] = Timer{interval, timers->now_ + interval};
    return id;
}

BOOL WINAPI ScriptedTimers::Kill(HWND window, UINT_PTR id) {
    return g_scriptedTimers->timers_.erase({window, id}) != 0 ? TRUE : FALSE;
}

void ScriptedTimers::Advance(std::uint64_t ms) {
    const std::uint64_t end = now_ + ms;
    for (;;) {
        auto next = timers_.end();
        for (auto timer = timers_.begin(); timer != timers_.end(); ++timer) {
            if (timer->second.due <= end &&
                (next == timers_.end() || timer->second.due < next->second.due)) {
                next = timer;
            }
        }
        if (next == timers_.end()) {
            break;
        }
        now_ = next->second.due;
        next->second.due = now_ + (next->second.interval == 0 ? 1 : next->second.interval);
        SendMessageA(next->first.first, WM_TIMER, next->first.second, 0);
    }
    now_ = end;
}
