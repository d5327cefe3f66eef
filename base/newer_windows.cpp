#include "base/newer_windows.h"

void* NewerSystemFunction(const char* module, const char* name) {
    HMODULE loaded = GetModuleHandleA(module);
    FARPROC function = loaded ? GetProcAddress(loaded, name) : nullptr;
    return reinterpret_cast<void*>(function);
}
