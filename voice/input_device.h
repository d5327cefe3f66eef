// The microphones: each input device's name, and the box for one that cannot be opened, in words
// a user can act on.
#pragma once
#include <windows.h>
#include <mmsystem.h>

// The name of input device `id`; false when the device cannot say.
bool InputDeviceName(UINT id, WCHAR (&name)[MAXPNAMELEN]);

// Whether this system has microphone privacy settings to offer (Windows 10 and later, not
// Wine). A seam: tests answer either way.
using PrivacySettingsFn = bool (*)();
extern PrivacySettingsFn g_hasPrivacySettings;

// Says why the microphone cannot be used after an open failed with `result`: none found, in use
// by another program, or blocked, offering the privacy settings where Windows has them.
void ShowMicrophoneProblem(MMRESULT result);
