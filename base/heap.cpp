#include "base/heap.h"

#include <cstdlib>

AllocateFn g_allocate = std::malloc;
FreeFn g_free = std::free;
