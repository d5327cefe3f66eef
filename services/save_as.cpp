#include "services/save_as.h"

#include <shlobj.h>

#include "base/text.h"
#include "res/texts.h"
#include "services/attachment_name.h"
#include "services/handover.h"
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

    // "<type>\0*.wav\0" for each type, in the order of kSavePlayable and kSaveOriginal; the
    // zeroed rest ends the list.
    WCHAR filter[2 * (kTextChars + 6) + 1] = {};
    WCHAR* end = filter;
    const UINT types[] = {IDS_SAVE_TYPE_PLAYABLE, IDS_SAVE_TYPE_ORIGINAL};
    for (const UINT type : types) {
        lstrcpynW(end, LoadText(type).chars, kTextChars);
        end += lstrlenW(end) + 1;
        lstrcpynW(end, L"*.wav", 6);
        end += lstrlenW(end) + 1;
    }

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = g_mainWindow;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = kSavePlayable;
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
    if (dialog.nFilterIndex == kSaveOriginal) {
        if (!CopyWholeFile(state->voicePath, path, CREATE_ALWAYS)) {
            ReportHandoverFailed(HandoverUse::kSaveAs, false, GetLastError());
            return;
        }
        RememberSaveFolder(path, dialog.nFileOffset);
        return;
    }
    HandoverJob* job = PrepareHandover(state->voicePath, HandoverUse::kSaveAs, name, path);
    if (job != nullptr) {
        job->fileOffset = dialog.nFileOffset;
        StartHandover(job);
    }
}

void RememberSaveFolder(const WCHAR* path, WORD fileOffset) {
    if (fileOffset > 0 && fileOffset < MAX_PATH) {
        lstrcpynW(g_lastSaveFolder, path, fileOffset + 1);
    }
}
