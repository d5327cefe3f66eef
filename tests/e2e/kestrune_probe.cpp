// Reads Kestrune's window from outside, for the end-to-end tests: a separate process that
// finds the window "Kestrune" and answers one line per request on stdin:
//   read        -> found=1<TAB>time=0:05<TAB>size=8 K<TAB>status=Recording<TAB>slider=120
//                  <TAB>box=<caption: text of any other dialog of Kestrune's process>
//   quit
// Nothing of Kestrune is linked in; it only sends the window system's own messages.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr UINT kTimeoutMs = 2000;

std::string ControlText(HWND window) {
    char text[512] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kTimeoutMs, &copied))
        return "?";
    // Keep the answer on one line.
    for (char* p = text; *p; ++p)
        if (*p == '\t' || *p == '\r' || *p == '\n')
            *p = ' ';
    return text;
}

HWND FindMainWindow() {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, "Kestrune")) != nullptr)
        if (GetDlgItem(window, 1008))
            return window;
    return nullptr;
}

struct BoxSearch {
    DWORD process;
    HWND main;
    std::string found;
};

BOOL CALLBACK CollectText(HWND child, LPARAM param) {
    auto* text = reinterpret_cast<std::string*>(param);
    char className[32] = "";
    GetClassNameA(child, className, sizeof(className));
    if (lstrcmpiA(className, "Static") == 0) {
        std::string part = ControlText(child);
        if (!part.empty())
            *text += " " + part;
    }
    return TRUE;
}

// A message box of Kestrune's process: any other visible top-level dialog.
BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[32] = "";
    GetClassNameA(window, className, sizeof(className));
    if (process != search->process || window == search->main || !IsWindowVisible(window) ||
        lstrcmpA(className, "#32770") != 0)
        return TRUE;
    std::string text = ControlText(window) + ":";
    EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&text));
    search->found = text;
    return FALSE;
}

void Read() {
    HWND main = FindMainWindow();
    if (!main) {
        std::printf("found=0\n");
        return;
    }
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(GetDlgItem(main, 1002), TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs,
                             &position))
        position = static_cast<DWORD_PTR>(-1);
    BoxSearch search = {0, main, ""};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    std::printf("found=1\ttime=%s\tsize=%s\tstatus=%s\tslider=%ld\tbox=%s\n",
                ControlText(GetDlgItem(main, 1006)).c_str(),
                ControlText(GetDlgItem(main, 1007)).c_str(),
                ControlText(GetDlgItem(main, 1008)).c_str(), static_cast<long>(position),
                search.found.c_str());
}

}  // namespace

int main() {
    char line[256];
    while (std::fgets(line, sizeof(line), stdin)) {
        if (std::strncmp(line, "read", 4) == 0) {
            Read();
        } else if (std::strncmp(line, "quit", 4) == 0) {
            break;
        } else {
            std::printf("error\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
