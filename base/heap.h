// Heap blocks of the program. A seam: tests inject allocation failures and watch frees.
#pragma once
#include <cstddef>

using AllocateFn = void* (*)(size_t bytes);
using FreeFn = void (*)(void* block);

extern AllocateFn g_allocate;  // malloc in the program
extern FreeFn g_free;          // free in the program

inline void* AllocateBlock(size_t bytes) {
    return g_allocate(bytes);
}
inline void FreeBlock(void* block) {
    g_free(block);
}
