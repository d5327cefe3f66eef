// Entry point: prepares the process and runs the main window.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "app/app_state.h"
#include "app/main_dialog.h"
#include "base/heap.h"
#include "voice/wave_device.h"
#include "controls/btn_bar.h"
#include "controls/my_button.h"
#include "res/resource.h"
#include "services/handover.h"
#include "services/snapshot.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    // The slider's and the level meter's classes (Common Controls 6, as the manifest asks); the
    // bar asks for its tooltips itself. Like every start-up failure, one here goes unreported.
    const INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    g_instance = instance;
    RegisterBtnBarClass();
    RegisterMyButtonClass();
    // Copies that Send and Copy left for mail programs, once nobody can still want them.
    RemoveOldSnapshots();

    auto* state = static_cast<AppState*>(AllocateBlock(sizeof(AppState)));
    if (!state) {
        ShowCallFailed(L"malloc()");
        return 1;
    }
    std::memset(state, 0, sizeof(AppState));
    g_appState = state;

    // No owner: with the desktop as owner the dialog manager disables the desktop window (in
    // another process under Wine) for as long as the dialog runs.
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDlgProc, 0);
    // A Save As under way completes; a copy nobody will take any more goes with the process.
    WaitForHandovers(kHandoverEndBoundMs);
    return 0;
}
