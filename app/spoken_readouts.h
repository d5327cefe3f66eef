// Room app/: the application shell: start-up, the state record, the control states, the window.
//
// What a screen reader reads of the main window's readouts, in the user's language: the
// position slider and the input level meter by name and value, and the status line, a polite
// live region that is read out whenever its text changes (ShowActivity sets it so).
#pragma once
#include <windows.h>

// Names the slider and the meter and marks the status line as a live region; for the window's
// start. ClearReadoutAnnotations takes it all off again as the window goes.
void AnnotateReadouts(HWND dialog);
void ClearReadoutAnnotations(HWND dialog);

// The slider's value: where it stands in the recording's length, "0:05 of 0:12".
void AnnotatePosition(HWND dialog, DWORD seconds, DWORD totalSeconds);
// The meter's value: its level in dB full scale, "-12 dB" (the meter's 0 to kMeterRange are
// -kMeterRange to 0 dBFS); held to that range.
void AnnotateInputLevel(HWND dialog, int meterPosition);
