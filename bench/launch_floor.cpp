// The launch floor that bench/capture_cost.py sets Kestrune's start-up against: a dialog of
// Kestrune's size with one slider, the same imports (the same DLLs are loaded) and the same
// manifest, and nothing else to do before it shows.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <objbase.h>
#include <shellapi.h>

namespace {

// One function of each DLL that Kestrune imports, so that the loader maps the same ones.
const void* volatile g_imports[] = {
    reinterpret_cast<const void*>(GetSaveFileNameA), reinterpret_cast<const void*>(ShellExecuteA),
    reinterpret_cast<const void*>(waveInGetNumDevs), reinterpret_cast<const void*>(GetStockObject),
    reinterpret_cast<const void*>(RegOpenKeyExW),    reinterpret_cast<const void*>(acmGetVersion),
    reinterpret_cast<const void*>(CoInitializeEx),
};

INT_PTR CALLBACK FloorProc(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_CLOSE:
            EndDialog(window, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, FloorProc, 0);
    int missing = 0;
    for (const void* volatile& function : g_imports) {
        missing += function == nullptr;
    }
    return missing;
}
