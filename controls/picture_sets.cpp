#include "controls/picture_sets.h"

#include <cstring>

#include "base/instance.h"
#include "controls/btn_bar.h"
#include "res/resource.h"

namespace {

// The 100 % pictures by slot and look (normal, pressed, disabled), as the larger sets order them.
constexpr int kPictureIds[kButtonCount][kLookCount] = {
    {IDB_PLAY, IDB_PLAY_PRESSED, IDB_PLAY_DISABLED},
    {IDB_PAUSE, IDB_PAUSE_PRESSED, IDB_PAUSE_DISABLED},
    {IDB_STOP, IDB_STOP_PRESSED, IDB_STOP_DISABLED},
    {IDB_RECORD, IDB_RECORD_PRESSED, IDB_RECORD_DISABLED},
    {IDB_SEND, IDB_SEND_PRESSED, IDB_SEND_DISABLED},
};

// A resource's bytes, or null; *bytes receives its size.
const BYTE* ResourceBytes(int id, LPCWSTR type, DWORD* bytes) {
    HRSRC found = FindResourceW(g_instance, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? LoadResource(g_instance, found) : nullptr;
    *bytes = found ? SizeofResource(g_instance, found) : 0;
    return loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
}

struct PaletteBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// One look of a button from a larger set: the set's bitmap of colour indexes with that look's
// colours; null when a resource is missing or not as the generator writes it.
HBITMAP LoadSetPicture(int set, int slot, int look) {
    const int id = kPictureSetFirst[set] + kLookCount * slot;
    DWORD bytes = 0;
    const BYTE* dib = ResourceBytes(id, MAKEINTRESOURCEW(2) /* RT_BITMAP */, &bytes);
    if (!dib || bytes < sizeof(BITMAPINFOHEADER)) {
        return nullptr;
    }
    PaletteBitmapInfo info = {};
    std::memcpy(&info.header, dib, sizeof info.header);
    const DWORD colours = info.header.biClrUsed;
    const DWORD tableBytes = colours * sizeof(RGBQUAD);
    if (info.header.biSize != sizeof info.header || info.header.biBitCount != 8 || colours == 0 ||
        colours > 256 || bytes < sizeof info.header + tableBytes + info.header.biSizeImage) {
        return nullptr;
    }
    std::memcpy(info.colours, dib + sizeof info.header, tableBytes);
    if (look != 0) {
        DWORD lookBytes = 0;
        const BYTE* table =
            ResourceBytes(id + look, MAKEINTRESOURCEW(10) /* RT_RCDATA */, &lookBytes);
        if (!table || lookBytes != tableBytes) {
            return nullptr;
        }
        std::memcpy(info.colours, table, tableBytes);
    }
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return nullptr;
    }
    HBITMAP picture =
        CreateDIBitmap(screen, &info.header, CBM_INIT, dib + sizeof info.header + tableBytes,
                       reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return picture;
}

// `source` (from x from pixels) at to x to, filtered; null when it cannot be made.
HBITMAP Stretched(HBITMAP source, int from, int to) {
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return nullptr;
    }
    HDC in = CreateCompatibleDC(screen);
    HDC out = CreateCompatibleDC(screen);
    HBITMAP result = CreateCompatibleBitmap(screen, to, to);
    bool done = false;
    if (in && out && result) {
        HGDIOBJ previousIn = SelectObject(in, source);
        HGDIOBJ previousOut = SelectObject(out, result);
        SetStretchBltMode(out, HALFTONE);
        SetBrushOrgEx(out, 0, 0, nullptr);  // as HALFTONE asks
        done = StretchBlt(out, 0, 0, to, to, in, 0, 0, from, from, SRCCOPY) != FALSE;
        SelectObject(in, previousIn);
        SelectObject(out, previousOut);
    }
    if (out) {
        DeleteDC(out);
    }
    if (in) {
        DeleteDC(in);
    }
    ReleaseDC(nullptr, screen);
    if (!done && result) {
        DeleteObject(result);
        result = nullptr;
    }
    return result;
}

}  // namespace

int PictureId(int slot, int look) {
    return kPictureIds[slot][look];
}

int ChoosePictureSet(int size) {
    for (int set = 0; set < kPictureSetCount; ++set) {
        if (kPictureSetSizes[set] >= size) {
            return set;
        }
    }
    return kPictureSetCount - 1;
}

HBITMAP LoadButtonPicture(int id, int size) {
    int set = ChoosePictureSet(size);
    int slot = -1;
    int look = 0;
    for (int s = 0; s < kButtonCount; ++s) {
        for (int l = 0; l < kLookCount; ++l) {
            if (kPictureIds[s][l] == id) {
                slot = s;
                look = l;
            }
        }
    }
    if (slot < 0) {
        return LoadBitmapW(g_instance, MAKEINTRESOURCEW(id));  // no sets: as it is
    }
    HBITMAP picture =
        set == 0 ? LoadBitmapW(g_instance, MAKEINTRESOURCEW(id)) : LoadSetPicture(set, slot, look);
    const int drawn = kPictureSetSizes[set];
    if (!picture || drawn == size) {
        return picture;
    }
    HBITMAP resized = Stretched(picture, drawn, size);
    DeleteObject(picture);
    return resized;
}
