// The name a voice message travels under: voice-message-Www_Mmm_DD_hh-mm-ss_YYYY.wav after the
// local time of the Send, Save As or Copy. Pure text work apart from reading the clock.
#pragma once
#include <windows.h>

#include <ctime>

constexpr int kTimeTextBytes = 32;
constexpr int kAttachmentNameBytes = 128;

// "Www Mmm DD hh:mm:ss YYYY\n" for a broken-down local time, always in English with a two-digit
// day, whatever the locale or the C runtime. Without a usable time (null, or a field out of
// range) it is the epoch's, "Thu Jan 01 00:00:00 1970\n", so the name keeps its form.
void FormatTimeText(const tm* local, char (&text)[kTimeTextBytes]);

// In place, up to the first NUL or line feed: ':' becomes '-', ' ' becomes '_'; the text ends
// where the walk stopped, so the line feed goes.
void MakeTimeTextFileSafe(char* text);

// "voice-message-%s.wav", never longer than the buffer.
void FormatAttachmentName(const char* fileSafeTime, char (&name)[kAttachmentNameBytes]);

// The name for the local time now, for the file system; safe on any thread.
constexpr int kAttachmentNameChars = kAttachmentNameBytes;
void FormatAttachmentNameNow(WCHAR (&name)[kAttachmentNameChars]);
