#include "app/left_behind.h"

#include "base/message_box.h"
#include "base/temp_folder.h"
#include "base/text.h"
#include "res/texts.h"
#include "voice/voice_store.h"

namespace {

constexpr int kWhenChars = 128;

// When a file was last recorded into, as the user's own locale writes a date and a time.
void FormatWhen(const FILETIME& written, WCHAR (&text)[kWhenChars]) {
    SYSTEMTIME utc;
    SYSTEMTIME local;
    text[0] = L'\0';
    if (!FileTimeToSystemTime(&written, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return;
    }
    const int dateChars = GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr,
                                          text, kWhenChars, nullptr);
    if (dateChars <= 0) {
        text[0] = L'\0';
        return;
    }
    // The date's terminator becomes the space before the time.
    WCHAR* time = text + dateChars;
    time[-1] = L' ';
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time,
                        kWhenChars - dateChars) <= 0) {
        time[-1] = L'\0';
    }
}

}  // namespace

bool OfferLeftBehind(AppState* state) {
    WCHAR folder[MAX_PATH];
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
        WCHAR duration[kTimeReadoutChars];
        FormatTimeReadout(SecondsFromBytes(found.dataBytes), duration);
        WCHAR when[kWhenChars];
        FormatWhen(found.written, when);
        const Text text = FormatText(IDS_LEFT_BEHIND_OFFER, duration, when);
        const int answer = ShowMessageBox(state->dialog, text.chars, kBoxCaption,
                                          MB_YESNOCANCEL | MB_ICONQUESTION);
        CloseHandle(found.file);
        if (answer == IDYES) {
            adopted = AdoptLeftBehind(state, found);
        } else if (answer == IDNO) {
            DeleteFileW(found.path);
        }
    }
    return adopted;
}
