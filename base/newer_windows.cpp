#include "base/newer_windows.h"

void* NewerSystemFunction(const WCHAR* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    // GetProcAddress has only the one form: export names are ANSI.
    FARPROC function = loaded ? GetProcAddress(loaded, name) : nullptr;
    return reinterpret_cast<void*>(function);
}
