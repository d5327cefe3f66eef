#include "services/attachment_name.h"

#include <cstring>

namespace {

const char kWeekdays[7][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char kMonths[12][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char kEpochTimeText[] = "Thu Jan 01 00:00:00 1970\n";

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

char* PutName(char* out, const char (&name)[4]) {
    memcpy(out, name, 3);
    return out + 3;
}

char* PutDigits(char* out, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + digits;
}

// Appends `part` at `*at`, as much as fits before the buffer's last byte.
void PutBounded(char* out, size_t size, size_t* at, const char* part) {
    for (; *part != '\0' && *at + 1 < size; ++part) {
        out[(*at)++] = *part;
    }
}

}  // namespace

void FormatTimeText(const tm* local, char (&text)[kTimeTextBytes]) {
    const bool usable = local != nullptr && InRange(local->tm_wday, 0, 6) &&
                        InRange(local->tm_mon, 0, 11) && InRange(local->tm_mday, 1, 31) &&
                        InRange(local->tm_hour, 0, 23) && InRange(local->tm_min, 0, 59) &&
                        InRange(local->tm_sec, 0, 60) &&  // 60: a leap second
                        InRange(local->tm_year, -1900, 9999 - 1900);
    if (!usable) {
        static_assert(sizeof kEpochTimeText <= kTimeTextBytes, "time text buffer too small");
        memcpy(text, kEpochTimeText, sizeof kEpochTimeText);
        return;
    }
    char* out = text;
    out = PutName(out, kWeekdays[local->tm_wday]);
    *out++ = ' ';
    out = PutName(out, kMonths[local->tm_mon]);
    *out++ = ' ';
    out = PutDigits(out, local->tm_mday, 2);
    *out++ = ' ';
    out = PutDigits(out, local->tm_hour, 2);
    *out++ = ':';
    out = PutDigits(out, local->tm_min, 2);
    *out++ = ':';
    out = PutDigits(out, local->tm_sec, 2);
    *out++ = ' ';
    out = PutDigits(out, local->tm_year + 1900, 4);
    *out++ = '\n';
    *out = '\0';
}

void MakeTimeTextFileSafe(char* text) {
    char* at = text;
    for (; *at != '\0' && *at != '\n'; ++at) {
        if (*at == ':') {
            *at = '-';
        } else if (*at == ' ') {
            *at = '_';
        }
    }
    *at = '\0';
}

void FormatAttachmentName(const char* fileSafeTime, char (&name)[kAttachmentNameBytes]) {
    // By hand, as the time text: MinGW's snprintf brings 20 KB of formatting code of its own.
    const char* const parts[] = {"voice-message-", fileSafeTime, ".wav"};
    size_t at = 0;
    for (const char* part : parts) {
        PutBounded(name, kAttachmentNameBytes, &at, part);
    }
    name[at] = '\0';
}

void FormatAttachmentNameNow(WCHAR (&name)[kAttachmentNameChars]) {
    // A result of our own: another thread may convert the time at the same moment.
    char timeText[kTimeTextBytes];
    time_t now = time(nullptr);
    tm local;
    const bool haveLocal = now != static_cast<time_t>(-1) && localtime_s(&local, &now) == 0;
    FormatTimeText(haveLocal ? &local : nullptr, timeText);
    MakeTimeTextFileSafe(timeText);
    char narrow[kAttachmentNameBytes];
    FormatAttachmentName(timeText, narrow);
    // Plain ASCII, so each character widens as it is.
    int at = 0;
    for (; narrow[at] != '\0'; ++at) {
        name[at] = static_cast<unsigned char>(narrow[at]);
    }
    name[at] = L'\0';
}
