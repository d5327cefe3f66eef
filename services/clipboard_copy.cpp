#include "services/clipboard_copy.h"

#include <shlobj.h>
#include <strsafe.h>

#include <cstddef>
#include <cstring>

#include "services/attachment_name.h"
#include "services/handover.h"

namespace {

// A movable block holding `bytes` of `data`; the clipboard takes it over.
HGLOBAL GlobalBlock(const void* data, size_t bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* at = block != nullptr ? GlobalLock(block) : nullptr;
    if (at == nullptr) {
        if (block != nullptr) {
            GlobalFree(block);
        }
        return nullptr;
    }
    memcpy(at, data, bytes);
    GlobalUnlock(block);
    return block;
}

// DROPFILES and a list of one wide path, ended by an empty one.
struct DropList {
    DROPFILES header;
    WCHAR files[MAX_PATH + 1];
};

HGLOBAL MakeDropList(const WCHAR* path) {
    DropList list = {};
    list.header.pFiles = offsetof(DropList, files);
    list.header.fWide = TRUE;
    if (FAILED(StringCchCopyW(list.files, MAX_PATH, path))) {
        return nullptr;
    }
    const int length = lstrlenW(list.files) + 1;
    // The path with its NUL, and the empty name that ends the list.
    return GlobalBlock(&list, offsetof(DropList, files) + (length + 1) * sizeof(WCHAR));
}

}  // namespace

void CopyMessageToClipboard(AppState* state) {
    WCHAR name[kAttachmentNameChars];
    FormatAttachmentNameNow(name);
    HandoverJob* job = PrepareHandover(state->voicePath, HandoverUse::kCopy, name);
    if (job != nullptr) {
        StartHandover(job);
    }
}

bool PlaceFileOnClipboard(HWND owner, const WCHAR* path) {
    const DWORD copy = DROPEFFECT_COPY;
    const UINT effectFormat = RegisterClipboardFormatW(L"Preferred DropEffect");
    HGLOBAL files = MakeDropList(path);
    HGLOBAL effect = GlobalBlock(&copy, sizeof copy);
    bool placed = false;
    if (files != nullptr && effect != nullptr && effectFormat != 0 && OpenClipboard(owner)) {
        EmptyClipboard();
        // The clipboard owns what it accepted.
        if (SetClipboardData(CF_HDROP, files) != nullptr) {
            placed = true;
            files = nullptr;
            if (SetClipboardData(effectFormat, effect) != nullptr) {
                effect = nullptr;
            }
        }
        CloseClipboard();
    }
    if (files != nullptr) {
        GlobalFree(files);
    }
    if (effect != nullptr) {
        GlobalFree(effect);
    }
    return placed;
}
