#include "services/save_as.h"

#include <shlobj.h>

#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "services/attachment_name.h"
#include "services/snapshot.h"

GetSaveFileNameFn g_getSaveFileName = GetSaveFileNameW;

namespace {

// Where the last Save As of this run went; empty until one succeeded.
WCHAR g_lastSaveFolder[MAX_PATH];

}  // namespace

void SaveMessageAs(AppState* state) {
    WCHAR name[kAttachmentNameChars];
    FormatAttachmentNameNow(name);
    WCHAR path[MAX_PATH];
    lstrcpynW(path, name, MAX_PATH);

    WCHAR documents[MAX_PATH] = L"";
    const WCHAR* folder = g_lastSaveFolder;
    if (folder[0] == L'\0') {
        folder = SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT,
                                            documents))
                     ? documents
                     : nullptr;
    }

    // "<name>\0*.wav\0\0": the dialog's list of types; the zeroed rest ends it.
    WCHAR filter[kTextChars + 8] = {};
    lstrcpynW(filter, LoadText(IDS_SAVE_TYPE_PLAYABLE).chars, kTextChars);
    lstrcpynW(filter + lstrlenW(filter) + 1, L"*.wav", 6);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = g_mainWindow;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrInitialDir = folder;
    dialog.lpstrDefExt = L"wav";
    dialog.Flags =
        OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    // Cancelled, or the dialog could not open: either way nothing to save.
    if (!g_getSaveFileName(&dialog)) {
        return;
    }
    if (!CopyWholeFile(state->voicePath, path, CREATE_ALWAYS)) {
        ShowMessageBox(g_mainWindow, LoadText(IDS_ERROR_SAVE).chars,
                       LoadText(IDS_CAPTION_ERROR).chars, MB_OK);
        return;
    }
    if (dialog.nFileOffset > 0 && dialog.nFileOffset < MAX_PATH) {
        lstrcpynW(g_lastSaveFolder, path, dialog.nFileOffset + 1);
    }
}
