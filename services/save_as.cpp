#include "services/save_as.h"

#include <shlobj.h>

#include "base/message_box.h"
#include "services/attachment_name.h"
#include "services/snapshot.h"

GetSaveFileNameFn g_getSaveFileName = GetSaveFileNameA;

namespace {

// Where the last Save As of this run went; empty until one succeeded.
char g_lastSaveFolder[MAX_PATH];

}  // namespace

void SaveMessageAs(AppState* state) {
    char name[kAttachmentNameBytes];
    FormatAttachmentNameNow(name);
    char path[MAX_PATH];
    lstrcpynA(path, name, MAX_PATH);

    char documents[MAX_PATH] = "";
    const char* folder = g_lastSaveFolder;
    if (folder[0] == '\0') {
        folder = SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT,
                                            documents))
                     ? documents
                     : nullptr;
    }

    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = g_mainWindow;
    dialog.lpstrFilter = "WAV sound (*.wav)\0*.wav\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder;
    dialog.lpstrDefExt = "wav";
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    // Cancelled, or the dialog could not open: either way nothing to save.
    if (!g_getSaveFileName(&dialog)) {
        return;
    }
    if (!CopyWholeFile(state->voicePath, path, CREATE_ALWAYS)) {
        ShowMessageBox(g_mainWindow, "Failed to save the message", "Error", MB_OK);
        return;
    }
    if (dialog.nFileOffset > 0 && dialog.nFileOffset < MAX_PATH) {
        lstrcpynA(g_lastSaveFolder, path, dialog.nFileOffset + 1);
    }
}
