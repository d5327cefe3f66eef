#include "services/shell_links.h"

#include <shellapi.h>
#include <cstdio>
#include <cstring>

#include "base/message_box.h"
#include "res/kestrune_version.h"
#include "res/resource.h"
#include "services/help_path.h"

void OpenHelp() {
    char exePath[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, exePath, sizeof exePath);
    // A cut-off executable path may end inside a parent folder: better no help than wrong help.
    if (length == 0 || length >= sizeof exePath) {
        return;
    }
    char helpPath[MAX_PATH];
    if (!HelpPathFromExePath(exePath, helpPath)) {
        return;
    }
    g_shellExecute(g_mainWindow, "open", helpPath, "", "", SW_SHOWNORMAL);
}

void ShowAbout() {
    static const char kAboutText[] =
        "Kestrune " KESTRUNE_VERSION_TEXT "\nVoice messages by kestrune.net\nMIT licence";
    ShowMessageBox(nullptr, kAboutText, "About Kestrune", MB_ICONINFORMATION | MB_OK);
}

void OpenHomePage(AppState* state) {
    g_shellExecute(state->dialog, "open", KESTRUNE_SITE, "", "", SW_SHOWNORMAL);
}

void ShowFileInFolder(const char* path) {
    char parameters[MAX_PATH + 16];
    const int written = snprintf(parameters, sizeof parameters, "/select,\"%s\"", path);
    if (written <= 0 || written >= static_cast<int>(sizeof parameters)) {
        return;
    }
    g_shellExecute(g_mainWindow, "open", "explorer.exe", parameters, "", SW_SHOWNORMAL);
}
