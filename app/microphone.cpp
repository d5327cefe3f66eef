#include "app/microphone.h"

#include "res/resource.h"
#include "voice/input_device.h"
#include "voice/wave_api.h"

namespace {

constexpr WCHAR kValueName[] = L"Microphone";

UINT DeviceCount() {
    const UINT count = g_waveIn->getNumDevs();
    const UINT most = IDM_MICROPHONE_LAST - IDM_MICROPHONE_FIRST + 1;
    return count < most ? count : most;
}

void SaveMicrophoneChoice() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, g_settingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;  // not remembered: this run still uses the choice
    }
    // Kept as it is, in any script: the value's size counts bytes, the terminator included.
    RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(g_microphone),
                   static_cast<DWORD>((lstrlenW(g_microphone) + 1) * sizeof(WCHAR)));
    RegCloseKey(key);
}

// A device's name as a menu item: an ampersand in it is shown, not taken as a mnemonic.
void MenuText(const WCHAR* name, WCHAR* text, int size) {
    int at = 0;
    for (const WCHAR* c = name; *c != L'\0' && at < size - 2; ++c) {
        if (*c == L'&') {
            text[at++] = L'&';
        }
        text[at++] = *c;
    }
    text[at] = L'\0';
}

}  // namespace

const WCHAR* g_settingsKey = L"Software\\Kestrune";
WCHAR g_microphone[MAXPNAMELEN];

void LoadMicrophoneChoice() {
    g_microphone[0] = L'\0';
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, g_settingsKey, 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return;
    }
    WCHAR name[MAXPNAMELEN] = L"";
    DWORD type = 0;
    DWORD size = sizeof name - sizeof(WCHAR);  // room for the terminator a value may lack
    if (RegQueryValueExW(key, kValueName, nullptr, &type, reinterpret_cast<BYTE*>(name), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        name[size / sizeof(WCHAR)] = L'\0';
        lstrcpynW(g_microphone, name, MAXPNAMELEN);
    }
    RegCloseKey(key);
}

UINT ChosenMicrophone() {
    if (g_microphone[0] == L'\0') {
        return WAVE_MAPPER;
    }
    const UINT count = DeviceCount();
    for (UINT id = 0; id < count; ++id) {
        WCHAR name[MAXPNAMELEN];
        if (InputDeviceName(id, name) && lstrcmpW(name, g_microphone) == 0) {
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
        WCHAR name[MAXPNAMELEN];
        if (!InputDeviceName(id, name)) {
            continue;
        }
        WCHAR text[2 * MAXPNAMELEN];
        MenuText(name, text, ARRAYSIZE(text));
        AppendMenuW(menu, MF_STRING | (id == chosen ? MF_CHECKED : MF_UNCHECKED),
                    IDM_MICROPHONE_FIRST + id, text);
    }
}

bool IsMicrophoneCommand(int command) {
    return command >= IDM_MICROPHONE_DEFAULT && command <= IDM_MICROPHONE_LAST;
}

void ChooseMicrophone(int command) {
    WCHAR name[MAXPNAMELEN] = L"";
    if (command != IDM_MICROPHONE_DEFAULT &&
        !InputDeviceName(static_cast<UINT>(command - IDM_MICROPHONE_FIRST), name)) {
        return;  // gone since the menu opened
    }
    if (lstrcmpW(name, g_microphone) == 0) {
        return;
    }
    lstrcpynW(g_microphone, name, MAXPNAMELEN);
    SaveMicrophoneChoice();
}
