// Converts a voice file into the copy that Kestrune hands over, for the browser test
// (handover_browser.py):
//
//   handover_convert VOICE.wav COPY.wav
//
// Prints "result=0 recorded=N first=N end=N" (samples; result as PlayableResult counts) and
// ends with 0 when converted; removes COPY.wav and ends with 1 otherwise.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "voice/playable_copy.h"
#include "voice/voice_file.h"

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        std::printf("usage: handover_convert VOICE.wav COPY.wav\n");
        return 2;
    }
    HANDLE voice = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    BYTE head[kHeaderBytes];
    DWORD read = 0;
    LARGE_INTEGER size = {};
    if (voice == INVALID_HANDLE_VALUE || !GetFileSizeEx(voice, &size) ||
        !ReadFile(voice, head, kHeaderBytes, &read, nullptr) || read != kHeaderBytes ||
        !HasVoiceHeaderLayout(head, read) || size.QuadPart - kHeaderBytes > MAXDWORD) {
        std::printf("%ls is no voice file (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    // The audio is what the file holds, whatever its header says; whole frames of it.
    const DWORD dataBytes = static_cast<DWORD>(size.QuadPart - kHeaderBytes);
    HANDLE copy = CreateFileW(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (copy == INVALID_HANDLE_VALUE) {
        std::printf("cannot create %ls (error %lu)\n", argv[2], GetLastError());
        return 1;
    }
    PlayableCopy details = {};
    const PlayableResult result = ConvertToPlayable(voice, dataBytes, copy, &details);
    const bool closed = CloseHandle(copy) != FALSE;
    CloseHandle(voice);
    std::printf("result=%d recorded=%lu first=%lu end=%lu error=%lu\n", static_cast<int>(result),
                static_cast<unsigned long>(details.recordedSamples),
                static_cast<unsigned long>(details.kept.first),
                static_cast<unsigned long>(details.kept.end),
                static_cast<unsigned long>(details.error));
    if (result != PlayableResult::kConverted || !closed) {
        DeleteFileW(argv[2]);
        return 1;
    }
    LocalFree(argv);
    return 0;
}
