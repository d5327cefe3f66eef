// Starts the real Kestrune.exe and reads its buttons from another process, the way a screen
// reader does: each button's name and state through the accessibility interface of its window,
// the bar's name, and where the keyboard focus rests once the window is active.
#include <windows.h>
#include <oleacc.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 10000;
constexpr DWORD kPollMs = 50;
constexpr int kButtonCount = 5;

// The program beside the build folder's top, as the build lays it out.
std::string ProgramPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    folder = folder.substr(0, folder.rfind('\\') + 1);
    std::string relative = KESTRUNE_EXE_FROM_TEST;
    std::replace(relative.begin(), relative.end(), '/', '\\');
    return folder + relative;
}

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == search->process && FindWindowExA(window, nullptr, "BtnBarClass", nullptr)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectButton(HWND window, LPARAM param) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "MyButtonClass") == 0) {
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    }
    return TRUE;
}

// The window exists while the dialog is still being made, and the bar makes its buttons one by
// one: only a shown window with all five buttons shown is the one a user meets.
bool IsComplete(HWND window) {
    std::vector<HWND> buttons;
    EnumChildWindows(window, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    return IsWindowVisible(window) &&
           std::count_if(buttons.begin(), buttons.end(), IsWindowVisible) == kButtonCount;
}

// The program's main window once shown with all its buttons, waited for up to kWaitMs; null
// if it never came.
HWND WaitForMainWindow(DWORD process) {
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        Search search = {process, nullptr};
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found && IsComplete(search.found)) {
            return search.found;
        }
        Sleep(kPollMs);
    }
    return nullptr;
}

// The window's client object, as a screen reader gets it; null (and a failure) when there is
// none.
IAccessible* ClientObject(HWND window) {
    IAccessible* object = nullptr;
    HRESULT result =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object));
    if (FAILED(result) || !object) {
        ADD_FAILURE() << "no accessible object, error " << std::hex << result;
        return nullptr;
    }
    return object;
}

VARIANT Self() {
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    return self;
}

// What a screen reader says of a button's state; -1 when it cannot be read.
LONG AccessibleState(HWND window) {
    IAccessible* object = ClientObject(window);
    if (!object) {
        return -1;
    }
    VARIANT state;
    VariantInit(&state);
    const HRESULT result = object->get_accState(Self(), &state);
    object->Release();
    return SUCCEEDED(result) && state.vt == VT_I4 ? state.lVal : -1;
}

// What a screen reader announces for a window: the name of its client object.
std::string AccessibleName(HWND window) {
    IAccessible* object = ClientObject(window);
    if (!object) {
        return "";
    }
    const VARIANT self = Self();
    BSTR name = nullptr;
    std::string text;
    if (SUCCEEDED(object->get_accName(self, &name)) && name) {
        char buffer[128] = "";
        WideCharToMultiByte(CP_ACP, 0, name, -1, buffer, sizeof buffer, nullptr, nullptr);
        text = buffer;
        SysFreeString(name);
    }
    object->Release();
    return text;
}

// The bar's buttons from left to right.
std::vector<HWND> Buttons(HWND mainWindow) {
    std::vector<HWND> buttons;
    EnumChildWindows(mainWindow, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
        RECT first, second;
        GetWindowRect(a, &first);
        GetWindowRect(b, &second);
        return first.left < second.left;
    });
    return buttons;
}

// The program's keyboard focus once its window is active, waited for up to kWaitMs; null when
// the window never became active. Another program's new window may take the activation, as
// Wine lets any process do: the window is given it back then, and its focus comes back with it.
HWND FocusOnceActive(HWND mainWindow) {
    const DWORD thread = GetWindowThreadProcessId(mainWindow, nullptr);
    for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (GetGUIThreadInfo(thread, &info) && info.hwndActive == mainWindow &&
            info.hwndFocus != nullptr) {
            return info.hwndFocus;
        }
        SetForegroundWindow(mainWindow);
        Sleep(kPollMs);
    }
    return nullptr;
}

TEST(ButtonNames, AScreenReaderInAnotherProcessReadsEachButtonsName) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    // A temporary folder of the test's own, so that no recording another run left behind is
    // offered at the start: the window shows as every start without one does.
    char temp[MAX_PATH];
    char folder[MAX_PATH];
    char savedTemp[MAX_PATH] = "";
    char savedTmp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    wsprintfA(folder, "%skestrune-names-%lu", temp, GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryA(folder, nullptr)) << folder;
    const bool hadTemp = GetEnvironmentVariableA("TEMP", savedTemp, MAX_PATH) > 0;
    const bool hadTmp = GetEnvironmentVariableA("TMP", savedTmp, MAX_PATH) > 0;
    SetEnvironmentVariableA("TEMP", folder);
    SetEnvironmentVariableA("TMP", folder);
    std::string program = ProgramPath();
    std::string commandLine = "\"" + program + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    ASSERT_TRUE(CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &started))
        << program << ", error " << GetLastError();

    HWND mainWindow = WaitForMainWindow(started.dwProcessId);
    EXPECT_NE(mainWindow, nullptr) << "no main window shown with its " << kButtonCount
                                   << " buttons within " << kWaitMs << " ms";
    if (mainWindow) {
        // Found complete: all five are there, from left to right.
        const std::vector<HWND> buttons = Buttons(mainWindow);
        const char* const names[] = {"Play", "Pause", "Stop", "Record", "Send"};
        for (int slot = 0; slot < kButtonCount; ++slot) {
            SCOPED_TRACE(names[slot]);
            EXPECT_EQ(AccessibleName(buttons[slot]), names[slot]);
            // At the start only Record can be used; the others read as unavailable.
            const LONG state = AccessibleState(buttons[slot]);
            EXPECT_NE(state, -1);
            EXPECT_EQ(state != -1 && (state & STATE_SYSTEM_UNAVAILABLE) != 0, slot != 3);
        }
        // The bar is named for what it is, never the template's placeholder.
        EXPECT_EQ(AccessibleName(GetParent(buttons[0])), "Player controls");
        // The keyboard focus rests on Record, never on the bar.
        HWND focus = FocusOnceActive(mainWindow);
        if (focus != nullptr) {
            EXPECT_EQ(focus, buttons[3]) << "the focus is not on Record";
        } else {
            std::printf("the window never became active here: its focus is not checked\n");
        }
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(started.hProcess, kWaitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not end when its window was closed";
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, kWaitMs);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    SetEnvironmentVariableA("TEMP", hadTemp ? savedTemp : nullptr);
    SetEnvironmentVariableA("TMP", hadTmp ? savedTmp : nullptr);
    RemoveDirectoryA(folder);  // empty once the window deleted its voice file
    CoUninitialize();
}

}  // namespace
