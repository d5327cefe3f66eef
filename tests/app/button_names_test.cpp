// Starts the real Kestrune.exe and reads its buttons' names from another process, the way a
// screen reader does: through the accessibility interface of each button window.
#include <windows.h>
#include <oleacc.h>
#include <gtest/gtest.h>

#include <algorithm>
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

// What a screen reader announces for a window: the name of its client object.
std::string AccessibleName(HWND window) {
    IAccessible* object = nullptr;
    HRESULT result =
        AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                   reinterpret_cast<void**>(&object));
    if (FAILED(result) || !object) {
        ADD_FAILURE() << "no accessible object, error " << std::hex << result;
        return "";
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
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

// The names of the bar's buttons from left to right.
std::vector<std::string> ButtonNames(HWND mainWindow) {
    std::vector<HWND> buttons;
    EnumChildWindows(mainWindow, CollectButton, reinterpret_cast<LPARAM>(&buttons));
    std::sort(buttons.begin(), buttons.end(), [](HWND a, HWND b) {
        RECT first, second;
        GetWindowRect(a, &first);
        GetWindowRect(b, &second);
        return first.left < second.left;
    });
    std::vector<std::string> names;
    for (HWND button : buttons) {
        names.push_back(AccessibleName(button));
    }
    return names;
}

TEST(ButtonNames, AScreenReaderInAnotherProcessReadsEachButtonsName) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
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
        const std::vector<std::string> expected = {"Play", "Pause", "Stop", "Record", "Send"};
        EXPECT_EQ(ButtonNames(mainWindow), expected);
        PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(started.hProcess, kWaitMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the program did not end when its window was closed";
        TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, kWaitMs);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    CoUninitialize();
}

}  // namespace
