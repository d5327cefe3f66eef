#include "tests/support/scripted_heap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/support/scripted_wave.h"

namespace {
ScriptedHeap* g_scriptedHeap = nullptr;
}  // namespace

ScriptedHeap::ScriptedHeap() : previousAllocate_(g_allocate), previousFree_(g_free) {
    if (g_scriptedHeap != nullptr) {
        ADD_FAILURE() << "a scripted heap is already installed";
    }
    g_scriptedHeap = this;
    g_allocate = Allocate;
    g_free = Free;
}

ScriptedHeap::~ScriptedHeap() {
    g_allocate = previousAllocate_;
    g_free = previousFree_;
    g_scriptedHeap = nullptr;
    // Blocks still live came from malloc: whoever holds them may free them with free().
}

void* ScriptedHeap::Allocate(std::size_t bytes) {
    ScriptedHeap* heap = g_scriptedHeap;
    std::lock_guard<std::mutex> hold(heap->mutex_);
    if (heap->failures_.count(++heap->allocations_) != 0) {
        return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) {
        heap->live_[block] = bytes;
    }
    return block;
}

void ScriptedHeap::Free(void* block) {
    ScriptedHeap* heap = g_scriptedHeap;
    if (block == nullptr) {
        return;
    }
    std::unique_lock<std::mutex> hold(heap->mutex_);
    auto live = heap->live_.find(block);
    if (live == heap->live_.end()) {
        ADD_FAILURE() << "free of block " << block
                      << " that this heap did not hand out (freed twice?)";
        return;
    }
    ++heap->frees_;
    std::size_t bytes = live->second;
    heap->live_.erase(live);
    hold.unlock();
    if (const char* device = ScriptedDeviceHolding(block)) {
        ADD_FAILURE() << "free of block " << block << " that the " << device
                      << " device still holds (prepared or queued)";
        return;  // kept: the device may still write into it
    }
    std::memset(block, 0xDD, bytes);
    std::free(block);
}
