#include "app/microphone.h"

#include "res/resource.h"
#include "voice/input_device.h"
#include "voice/wave_api.h"

namespace {

constexpr char kValueName[] = "Microphone";

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
        if (InputDeviceName(id, name) && lstrcmpA(name, g_microphone) == 0) {
            return id;
        }
    }
    return WAVE_MAPPER;
}

void FillMicrophoneMenu(HMENU menu) {
    while (GetMenuItemCount(menu) > 1) {
        if (!DeleteMenu(menu, 1, MF_BYPOSITION)) {
            return;
        }
    }
    const UINT chosen = ChosenMicrophone();
    CheckMenuItem(menu, IDM_MICROPHONE_DEFAULT,
                  MF_BYCOMMAND | (chosen == WAVE_MAPPER ? MF_CHECKED : MF_UNCHECKED));
    const UINT count = DeviceCount();
    for (UINT id = 0; id < count; ++id) {
        char name[MAXPNAMELEN];
        if (!InputDeviceName(id, name)) {
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
        !InputDeviceName(static_cast<UINT>(command - IDM_MICROPHONE_FIRST), name)) {
        return;  // gone since the menu opened
    }
    if (lstrcmpA(name, g_microphone) == 0) {
        return;
    }
    lstrcpynA(g_microphone, name, MAXPNAMELEN);
    SaveMicrophoneChoice();
}
