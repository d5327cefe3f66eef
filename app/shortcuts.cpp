#include "app/shortcuts.h"

#include "app/app_state.h"
#include "res/resource.h"

namespace {

HHOOK g_shortcutHook;
HACCEL g_shortcuts;
HWND g_shortcutWindow;

LRESULT CALLBACK FilterDialogMessage(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    // Only keys meant for the main window: a box it owns runs the same kind of loop. A grayed
    // menu item keeps its accelerator from sending the command.
    if (code == MSGF_DIALOGBOX && msg != nullptr && g_shortcutWindow != nullptr &&
        (msg->hwnd == g_shortcutWindow || IsChild(g_shortcutWindow, msg->hwnd)) &&
        TranslateAcceleratorW(g_shortcutWindow, g_shortcuts, msg)) {
        return TRUE;
    }
    return CallNextHookEx(g_shortcutHook, code, wParam, lParam);
}

}  // namespace

void InstallShortcuts(HWND window) {
    RemoveShortcuts();
    g_shortcuts = LoadAcceleratorsW(g_instance, MAKEINTRESOURCEW(IDR_SHORTCUTS));
    if (g_shortcuts == nullptr) {
        return;
    }
    g_shortcutWindow = window;
    g_shortcutHook =
        SetWindowsHookExW(WH_MSGFILTER, FilterDialogMessage, nullptr, GetCurrentThreadId());
}

void RemoveShortcuts() {
    if (g_shortcutHook != nullptr) {
        UnhookWindowsHookEx(g_shortcutHook);
    }
    g_shortcutHook = nullptr;
    g_shortcutWindow = nullptr;
    // A table loaded from resources is freed with the module.
    g_shortcuts = nullptr;
}
