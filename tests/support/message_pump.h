// Delivers the messages waiting for this thread, as a message loop would.
#pragma once
#include <windows.h>

// Dispatches every message queued now (and those queued by their handlers); returns how many.
int PumpMessages();
