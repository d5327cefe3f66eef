#include "voice/input_device.h"

#include "app/app_state.h"
#include "base/message_box.h"
#include "base/shell.h"
#include "base/text.h"
#include "res/texts.h"
#include "voice/wave_api.h"

namespace {

bool SystemHasPrivacySettings() {
    // Wine answers as Windows 10 but has no such settings.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
        return false;
    }
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    version.dwMajorVersion = 10;
    const DWORDLONG condition = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    return VerifyVersionInfoW(&version, VER_MAJORVERSION, condition) != FALSE;
}

int ShowWarning(const WCHAR* text, UINT buttons) {
    return ShowWarningBox(g_mainWindow, text, buttons);
}

}  // namespace

PrivacySettingsFn g_hasPrivacySettings = SystemHasPrivacySettings;

bool InputDeviceName(UINT id, WCHAR (&name)[MAXPNAMELEN]) {
    WAVEINCAPSW caps = {};
    if (g_waveIn->getDevCaps(id, &caps, sizeof caps) != MMSYSERR_NOERROR) {
        return false;
    }
    lstrcpynW(name, caps.szPname, MAXPNAMELEN);
    return true;
}

void ShowMicrophoneProblem(MMRESULT result) {
    if (g_waveIn->getNumDevs() == 0) {
        ShowWarning(LoadText(IDS_MIC_NONE).chars, MB_OK);
        return;
    }
    if (result == MMSYSERR_ALLOCATED) {
        ShowWarning(LoadText(IDS_MIC_IN_USE).chars, MB_OK);
        return;
    }
    const Text cannotUse = LoadText(IDS_MIC_CANNOT_USE);
    if (!g_hasPrivacySettings()) {
        ShowWarning(cannotUse.chars, MB_OK);
        return;
    }
    const Text question = LoadText(IDS_MIC_OFFER_SETTINGS);
    const Text offer = FillText(L"%1\n\n%2", cannotUse.chars, question.chars);
    if (ShowWarning(offer.chars, MB_YESNO) == IDYES) {
        g_shellExecute(g_mainWindow, L"open", L"ms-settings:privacy-microphone", L"", L"",
                       SW_SHOWNORMAL);
    }
}
