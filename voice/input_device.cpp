#include "voice/input_device.h"

#include "app/app_state.h"
#include "base/message_box.h"
#include "base/shell.h"
#include "voice/wave_api.h"

namespace {

#define CANNOT_USE_TEXT                                                                          \
    "Kestrune cannot use the microphone.\n\nCheck that it is connected and turned on, and that " \
    "Windows lets desktop apps use it (Settings, Privacy, Microphone)."
constexpr char kCannotUse[] = CANNOT_USE_TEXT;
constexpr char kCannotUseOfferSettings[] =
    CANNOT_USE_TEXT "\n\nOpen the microphone privacy settings?";
#undef CANNOT_USE_TEXT

bool SystemHasPrivacySettings() {
    // Wine answers as Windows 10 but has no such settings.
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        return false;
    }
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 10;
    const DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoA(&version, VER_MAJORVERSION, condition) != FALSE;
}

}  // namespace

PrivacySettingsFn g_hasPrivacySettings = SystemHasPrivacySettings;

bool InputDeviceName(UINT id, char (&name)[MAXPNAMELEN]) {
    WAVEINCAPSA caps = {};
    if (g_waveIn->getDevCaps(id, &caps, sizeof caps) != MMSYSERR_NOERROR) {
        return false;
    }
    lstrcpynA(name, caps.szPname, MAXPNAMELEN);
    return true;
}

void ShowMicrophoneProblem(MMRESULT result) {
    const UINT warning = MB_ICONWARNING;
    if (g_waveIn->getNumDevs() == 0) {
        ShowMessageBox(g_mainWindow,
                       "No microphone was found.\n\nConnect one, or turn it on in the sound "
                       "settings, then press Record again.",
                       "Kestrune", warning | MB_OK);
    } else if (result == MMSYSERR_ALLOCATED) {
        ShowMessageBox(g_mainWindow,
                       "The microphone is in use by another program.\n\nClose that program, or "
                       "choose another microphone in Action, Microphone.",
                       "Kestrune", warning | MB_OK);
    } else if (!g_hasPrivacySettings()) {
        ShowMessageBox(g_mainWindow, kCannotUse, "Kestrune", warning | MB_OK);
    } else if (ShowMessageBox(g_mainWindow, kCannotUseOfferSettings, "Kestrune",
                              warning | MB_YESNO) == IDYES) {
        g_shellExecute(g_mainWindow, "open", "ms-settings:privacy-microphone", "", "",
                       SW_SHOWNORMAL);
    }
}
