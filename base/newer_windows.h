// Functions of system DLLs that older Windows lacks, found at run time, so that the exe still
// starts on Windows 7.
#pragma once
#include <windows.h>

// The function `name` of the loaded system DLL `module`, or null.
void* NewerSystemFunction(const WCHAR* module, const char* name);
