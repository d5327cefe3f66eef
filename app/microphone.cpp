#include "app/microphone.h"

#include "app/app_state.h"
#include "app/message_box.h"
#include "res/resource.h"
#include "services/shell_links.h"
#include "voice/wave_api.h"

namespace {

constexpr char kValueName[] = "Microphone";

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

// The name of input device `id`; false when the device cannot say.
bool DeviceName(UINT id, char name[MAXPNAMELEN]) {
    WAVEINCAPSA caps = {};
    if (g_waveIn->getDevCaps(id, &caps, sizeof caps) != MMSYSERR_NOERROR) {
        return false;
    }
    lstrcpynA(name, caps.szPname, MAXPNAMELEN);
    return true;
}

UINT DeviceCount() {
    const UINT count = g_waveIn->getNumDevs();
    const UINT most = IDM_MICROPHONE_LAST - IDM_MICROPHONE_FIRST + 1;
    return count < most ? count : most;
}

void SaveMicrophoneChoice() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, g_settingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;  // not remembered: this run still uses the choice
    }
    RegSetValueExA(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(g_microphone),
                   static_cast<DWORD>(lstrlenA(g_microphone) + 1));
    RegCloseKey(key);
}

// A device's name as a menu item: an ampersand in it is shown, not taken as a mnemonic.
void MenuText(const char* name, char* text, int size) {
    int at = 0;
    for (const char* c = name; *c != '\0' && at < size - 2; ++c) {
        if (*c == '&') {
            text[at++] = '&';
        }
        text[at++] = *c;
    }
    text[at] = '\0';
}

}  // namespace

const char* g_settingsKey = "Software\\Kestrune";
char g_microphone[MAXPNAMELEN];
PrivacySettingsFn g_hasPrivacySettings = SystemHasPrivacySettings;

void LoadMicrophoneChoice() {
    g_microphone[0] = '\0';
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, g_settingsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    char name[MAXPNAMELEN] = "";
    DWORD type = 0;
    DWORD size = sizeof name - 1;  // room for the terminator a value may lack
    if (RegQueryValueExA(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(name), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        name[size < sizeof name ? size : sizeof name - 1] = '\0';
        lstrcpynA(g_microphone, name, MAXPNAMELEN);
    }
    RegCloseKey(key);
}

UINT ChosenMicrophone() {
    if (g_microphone[0] == '\0') {
        return WAVE_MAPPER;
    }
    const UINT count = DeviceCount();
    for (UINT id = 0; id < count; ++id) {
        char name[MAXPNAMELEN];
        if (DeviceName(id, name) && lstrcmpA(name, g_microphone) == 0) {
            return id;
        }
    }
    return WAVE_MAPPER;
}

void FillMicrophoneMenu(HMENU menu) {
    while (GetMenuItemCount(menu) > 0) {
        if (!DeleteMenu(menu, 0, MF_BYPOSITION)) {
            return;
        }
    }
    const UINT chosen = ChosenMicrophone();
    AppendMenuA(menu, MF_STRING | (chosen == WAVE_MAPPER ? MF_CHECKED : MF_UNCHECKED),
                IDM_MICROPHONE_DEFAULT, "&Default");
    const UINT count = DeviceCount();
    for (UINT id = 0; id < count; ++id) {
        char name[MAXPNAMELEN];
        if (!DeviceName(id, name)) {
            continue;
        }
        char text[2 * MAXPNAMELEN];
        MenuText(name, text, sizeof text);
        AppendMenuA(menu, MF_STRING | (id == chosen ? MF_CHECKED : MF_UNCHECKED),
                    IDM_MICROPHONE_FIRST + id, text);
    }
}

bool IsMicrophoneCommand(int command) {
    return command >= IDM_MICROPHONE_DEFAULT && command <= IDM_MICROPHONE_LAST;
}

void ChooseMicrophone(int command) {
    char name[MAXPNAMELEN] = "";
    if (command != IDM_MICROPHONE_DEFAULT &&
        !DeviceName(static_cast<UINT>(command - IDM_MICROPHONE_FIRST), name)) {
        return;  // gone since the menu opened
    }
    if (lstrcmpA(name, g_microphone) == 0) {
        return;
    }
    lstrcpynA(g_microphone, name, MAXPNAMELEN);
    SaveMicrophoneChoice();
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
