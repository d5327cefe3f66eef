// Reads Kestrune's window from outside, for the end-to-end tests: a separate process that
// finds the window "Kestrune", once shown with all its buttons, and answers one line per
// request on stdin:
//   read        -> found=1<TAB>time=0:05<TAB>size=8 K<TAB>status=Recording<TAB>slider=120
//                  <TAB>meter=<the level meter's position, 0-60>
//                  <TAB>box=<caption: text of any other dialog of Kestrune's process>
//                  <TAB>steady=1 (two reads in a row agreed; 0: the window kept changing)
//   process     -> found=1<TAB>workingset=<bytes><TAB>private=<bytes><TAB>handles=<count>
//   point N     -> found=1<TAB>x=<screen x><TAB>y=<screen y>: the middle of the bar's N-th
//                  button (0 Play, 1 Pause, 2 Stop, 3 Record, 4 Send)
//   boxpoint ID -> found=1<TAB>x=<screen x><TAB>y=<screen y>: the middle of the button ID
//                  (IDYES 6, IDNO 7, IDCANCEL 2 ...) of the message box Kestrune shows
//   kill        -> found=1<TAB>ended=1: TerminateProcess on Kestrune's process, as a crash or
//                  End task ends it, and the end waited for
//   query       -> found=1<TAB>answer=<WM_QUERYENDSESSION's result><TAB>ms=<time to answer>
//   endsession  -> found=1<TAB>sent=1<TAB>ms=<time>: WM_ENDSESSION (TRUE, log-off), as
//                  Windows sends both at a log-off
//   temp        -> found=1<TAB>path=<GetTempPathW in UTF-8>: the temporary folder a program
//                  started now gets, read in the wide form that no code page garbles
//   quit
// Nothing of Kestrune is linked in; it only sends the window system's own messages.
#include <windows.h>
#include <commctrl.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr UINT kTimeoutMs = 2000;
constexpr int kMaxReads = 50;  // a window that changes faster than it is read
constexpr int kBarButtons = 5;
// Windows gives a window 5 s to answer each log-off message before it counts it hung.
constexpr UINT kSessionTimeoutMs = 5000;
constexpr DWORD kEndWaitMs = 5000;

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

// The window exists while the dialog is still being made, and the bar makes its buttons one by
// one: only a shown window whose bar shows all its buttons is the one a user meets.
bool IsComplete(HWND window) {
    if (!IsWindowVisible(window) || !GetDlgItem(window, 1008))
        return false;
    int shown = 0;
    for (HWND button = GetWindow(GetDlgItem(window, 1001), GW_CHILD); button;
         button = GetWindow(button, GW_HWNDNEXT))
        shown += IsWindowVisible(button) ? 1 : 0;
    return shown == kBarButtons;
}

HWND FindMainWindow() {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, nullptr, "Kestrune")) != nullptr)
        if (IsComplete(window))
            return window;
    return nullptr;
}

struct BoxSearch {
    DWORD process;
    HWND main;
    std::string found;
    HWND box;
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
    search->box = window;
    return FALSE;
}

struct Snapshot {
    std::string time, size, status, box;
    long slider;
    long meter;
    bool operator==(const Snapshot& other) const {
        return time == other.time && size == other.size && status == other.status &&
               box == other.box && slider == other.slider && meter == other.meter;
    }
};

Snapshot ReadOnce(HWND main) {
    Snapshot shot;
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutA(GetDlgItem(main, 1002), TBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs,
                             &position))
        position = static_cast<DWORD_PTR>(-1);
    shot.slider = static_cast<long>(position);
    DWORD_PTR level = 0;
    if (!SendMessageTimeoutA(GetDlgItem(main, 1009), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs,
                             &level))
        level = static_cast<DWORD_PTR>(-1);
    shot.meter = static_cast<long>(level);
    BoxSearch search = {0, main, "", nullptr};
    GetWindowThreadProcessId(main, &search.process);
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    shot.box = search.found;
    shot.time = ControlText(GetDlgItem(main, 1006));
    shot.size = ControlText(GetDlgItem(main, 1007));
    shot.status = ControlText(GetDlgItem(main, 1008));
    return shot;
}

// The fields are read one after another, so one read can span a change of the window; a read
// that the next one repeats shows a single moment.
void Read() {
    HWND main = FindMainWindow();
    if (!main) {
        std::printf("found=0\n");
        return;
    }
    Snapshot shot = ReadOnce(main);
    bool steady = false;
    for (int reads = 1; reads < kMaxReads && !steady; ++reads) {
        Snapshot again = ReadOnce(main);
        steady = again == shot;
        shot = again;
    }
    std::printf("found=1\ttime=%s\tsize=%s\tstatus=%s\tslider=%ld\tmeter=%ld\tbox=%s\tsteady=%d\n",
                shot.time.c_str(), shot.size.c_str(), shot.status.c_str(), shot.slider, shot.meter,
                shot.box.c_str(), steady ? 1 : 0);
}

// Memory and handles of Kestrune's process from the system's process list: under Wine the
// calls about one other process (GetProcessHandleCount, private bytes) answer 0.
void ReadProcess() {
    HWND main = FindMainWindow();
    DWORD id = 0;
    if (main)
        GetWindowThreadProcessId(main, &id);
    using QueryFn = LONG(WINAPI*)(SYSTEM_INFORMATION_CLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    static char buffer[1 << 20];
    ULONG length = 0;
    if (!id || !query || query(SystemProcessInformation, buffer, sizeof(buffer), &length) != 0) {
        std::printf("found=0\n");
        return;
    }
    for (char* entry = buffer;;) {
        auto* process = reinterpret_cast<SYSTEM_PROCESS_INFORMATION*>(entry);
        if (reinterpret_cast<ULONG_PTR>(process->UniqueProcessId) == id) {
            std::printf(
                "found=1\tworkingset=%llu\tprivate=%llu\thandles=%lu\n",
                static_cast<unsigned long long>(process->VirtualMemoryCounters.WorkingSetSize),
                static_cast<unsigned long long>(process->VirtualMemoryCounters.PagefileUsage),
                static_cast<unsigned long>(process->HandleCount));
            return;
        }
        if (!process->NextEntryOffset)
            break;
        entry += process->NextEntryOffset;
    }
    std::printf("found=0\n");
}

void PrintCenter(HWND window) {
    RECT area;
    if (!window || !GetWindowRect(window, &area)) {
        std::printf("found=0\n");
        return;
    }
    std::printf("found=1\tx=%ld\ty=%ld\n", (area.left + area.right) / 2,
                (area.top + area.bottom) / 2);
}

void PointAtButton(int slot) {
    HWND main = FindMainWindow();
    HWND button = main ? GetWindow(GetDlgItem(main, 1001), GW_CHILD) : nullptr;
    for (int i = 0; button && i < slot; ++i)
        button = GetWindow(button, GW_HWNDNEXT);
    PrintCenter(button);
}

void PointAtBoxButton(int id) {
    HWND main = FindMainWindow();
    BoxSearch search = {0, main, "", nullptr};
    if (main) {
        GetWindowThreadProcessId(main, &search.process);
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    }
    PrintCenter(search.box ? GetDlgItem(search.box, id) : nullptr);
}

void Kill() {
    HWND main = FindMainWindow();
    DWORD id = 0;
    if (main)
        GetWindowThreadProcessId(main, &id);
    HANDLE process = id ? OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id) : nullptr;
    if (!process) {
        std::printf("found=0\n");
        return;
    }
    const bool ended =
        TerminateProcess(process, 1) && WaitForSingleObject(process, kEndWaitMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    std::printf("found=1\tended=%d\n", ended ? 1 : 0);
}

// Sends one of the log-off messages as Windows does: to the top-level window, with a bound.
void SendSessionMessage(UINT message) {
    HWND main = FindMainWindow();
    if (!main) {
        std::printf("found=0\n");
        return;
    }
    DWORD_PTR answer = 0;
    const DWORD start = GetTickCount();
    const bool sent =
        SendMessageTimeoutA(main, message, message == WM_ENDSESSION ? TRUE : 0, ENDSESSION_LOGOFF,
                            SMTO_NORMAL, kSessionTimeoutMs, &answer) != 0;
    const DWORD took = GetTickCount() - start;
    if (message == WM_QUERYENDSESSION)
        std::printf("found=1\tanswer=%s\tms=%lu\n", sent ? (answer ? "1" : "0") : "none",
                    static_cast<unsigned long>(took));
    else
        std::printf("found=1\tsent=%d\tms=%lu\n", sent ? 1 : 0, static_cast<unsigned long>(took));
}

// The probe started with Kestrune's environment, so this is the folder Kestrune was given.
void PrintTempFolder() {
    WCHAR wide[MAX_PATH + 1];
    char utf8[4 * MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, wide);
    if (length == 0 || length > MAX_PATH ||
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof(utf8), nullptr, nullptr) == 0) {
        std::printf("found=0\n");
        return;
    }
    std::printf("found=1\tpath=%s\n", utf8);
}

}  // namespace

int main() {
    char line[256];
    while (std::fgets(line, sizeof(line), stdin)) {
        if (std::strncmp(line, "read", 4) == 0) {
            Read();
        } else if (std::strncmp(line, "point ", 6) == 0) {
            PointAtButton(std::atoi(line + 6));
        } else if (std::strncmp(line, "boxpoint ", 9) == 0) {
            PointAtBoxButton(std::atoi(line + 9));
        } else if (std::strncmp(line, "kill", 4) == 0) {
            Kill();
        } else if (std::strncmp(line, "query", 5) == 0) {
            SendSessionMessage(WM_QUERYENDSESSION);
        } else if (std::strncmp(line, "endsession", 10) == 0) {
            SendSessionMessage(WM_ENDSESSION);
        } else if (std::strncmp(line, "process", 7) == 0) {
            ReadProcess();
        } else if (std::strncmp(line, "temp", 4) == 0) {
            PrintTempFolder();
        } else if (std::strncmp(line, "quit", 4) == 0) {
            break;
        } else {
            std::printf("error\n");
        }
        std::fflush(stdout);
    }
    return 0;
}
