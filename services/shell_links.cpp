#include "services/shell_links.h"

#include <shellapi.h>
#include <strsafe.h>

#include "base/message_box.h"
#include "base/text.h"
#include "res/kestrune_version.h"
#include "res/resource.h"
#include "res/texts.h"
#include "services/help_path.h"

namespace {

bool FileExists(const WCHAR* path) {
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

void OpenHelp() {
    WCHAR exePath[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exePath, MAX_PATH);
    // A cut-off executable path may end inside a parent folder: better no help than wrong help.
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    // The folder of the language the texts are in; English where that page is missing.
    const Text language = LoadText(IDS_HELP_FOLDER);
    WCHAR helpPath[MAX_PATH];
    if (!HelpPathFromExePath(exePath, language.chars, helpPath) ||
        (language.chars[0] != L'\0' && !FileExists(helpPath))) {
        if (!HelpPathFromExePath(exePath, L"", helpPath)) {
            return;
        }
    }
    g_shellExecute(g_mainWindow, L"open", helpPath, L"", L"", SW_SHOWNORMAL);
}

void ShowAbout() {
    const Text text = FormatText(IDS_ABOUT_TEXT, L"" KESTRUNE_VERSION_TEXT);
    const Text caption = LoadText(IDS_ABOUT_CAPTION);
    ShowMessageBox(nullptr, text.chars, caption.chars, MB_ICONINFORMATION | MB_OK);
}

void OpenHomePage(AppState* state) {
    g_shellExecute(state->dialog, L"open", L"" KESTRUNE_SITE, L"", L"", SW_SHOWNORMAL);
}

void ShowFileInFolder(const WCHAR* path) {
    WCHAR parameters[MAX_PATH + 16];
    if (FAILED(StringCchPrintfW(parameters, ARRAYSIZE(parameters), L"/select,\"%s\"", path))) {
        return;
    }
    g_shellExecute(g_mainWindow, L"open", L"explorer.exe", parameters, L"", SW_SHOWNORMAL);
}
