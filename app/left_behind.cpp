#include "app/left_behind.h"

#include <cstdio>
#include <ctime>

#include "base/message_box.h"
#include "base/temp_folder.h"
#include "services/attachment_name.h"
#include "voice/voice_store.h"

namespace {

// "Www Mmm DD hh:mm" of a file time, in local time.
void FormatWhen(const FILETIME& written, char (&text)[kTimeTextBytes]) {
    SYSTEMTIME utc;
    SYSTEMTIME local;
    tm parts = {};
    const bool usable = FileTimeToSystemTime(&written, &utc) &&
                        SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    if (usable) {
        parts.tm_wday = local.wDayOfWeek;
        parts.tm_mon = local.wMonth - 1;
        parts.tm_mday = local.wDay;
        parts.tm_hour = local.wHour;
        parts.tm_min = local.wMinute;
        parts.tm_year = local.wYear - 1900;
    }
    FormatTimeText(usable ? &parts : nullptr, text);
    text[16] = '\0';  // the seconds and the year go
}

}  // namespace

bool OfferLeftBehind(AppState* state) {
    char folder[MAX_PATH];
    if (!GetTempFolder(folder)) {
        return false;
    }
    bool adopted = false;
    LeftBehind files[kMostLeftBehind];
    const int count = FindLeftBehind(folder, state->voicePath, files, kMostLeftBehind);
    for (int index = 0; index < count; ++index) {
        const LeftBehind& found = files[index];
        if (adopted) {
            CloseHandle(found.file);  // one recording at a time: the rest wait for the next start
            continue;
        }
        char duration[kTimeReadoutBytes];
        FormatTimeReadout(SecondsFromBytes(found.dataBytes), duration);
        char when[kTimeTextBytes];
        FormatWhen(found.written, when);
        char text[256];
        snprintf(text, sizeof text,
                 "Kestrune found a recording that was left behind (%s long, made %s).\n\n"
                 "Open it? No deletes it; Cancel keeps it for later.",
                 duration, when);
        const int answer =
            ShowMessageBox(state->dialog, text, "Kestrune", MB_YESNOCANCEL | MB_ICONQUESTION);
        CloseHandle(found.file);
        if (answer == IDYES) {
            adopted = AdoptLeftBehind(state, found);
        } else if (answer == IDNO) {
            DeleteFileA(found.path);
        }
    }
    return adopted;
}
