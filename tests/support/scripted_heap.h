// A heap stand-in on g_allocate / g_free for the life of the object: counts allocations and
// frees, fails chosen allocations, and finds leaks.
//
// Fails the test (ADD_FAILURE) when the program frees a block it did not get from this heap
// (freed twice, or allocated before the stand-in was installed), or frees a wave header or data
// block that an installed scripted wave device still holds (prepared or queued); such a block
// is then kept, not released, so the device can go on using it safely. Freed blocks are filled
// with 0xDD first, so reading one after its free shows up in the results. Workers may allocate
// and free while the test thread looks: every count is kept under a lock.
#pragma once
#include <cstddef>
#include <map>
#include <mutex>
#include <set>

#include "base/heap.h"

class ScriptedHeap {
  public:
    ScriptedHeap();
    ~ScriptedHeap();
    ScriptedHeap(const ScriptedHeap&) = delete;
    ScriptedHeap& operator=(const ScriptedHeap&) = delete;

    // The k-th allocation (1-based, counted from install) returns null. May be repeated.
    void FailAllocation(int k) {
        std::lock_guard<std::mutex> hold(mutex_);
        failures_.insert(k);
    }
    // The failures not reached yet.
    void ClearFailures() {
        std::lock_guard<std::mutex> hold(mutex_);
        failures_.clear();
    }

    // Calls, failed ones included.
    int Allocations() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return allocations_;
    }
    // Frees of non-null blocks.
    int Frees() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return frees_;
    }
    // Blocks allocated and not yet freed: the leaks, once the program has released everything.
    int LiveBlocks() const {
        std::lock_guard<std::mutex> hold(mutex_);
        return static_cast<int>(live_.size());
    }
    bool IsLive(const void* block) const {
        std::lock_guard<std::mutex> hold(mutex_);
        return live_.count(block) != 0;
    }

  private:
    static void* Allocate(std::size_t bytes);
    static void Free(void* block);

    mutable std::mutex mutex_;
    AllocateFn previousAllocate_;
    FreeFn previousFree_;
    std::set<int> failures_;
    int allocations_ = 0;
    int frees_ = 0;
    std::map<const void*, std::size_t> live_;
};
