// The hand-over's cost: a voice file converted to the µ-law copy that Send, Copy and Save As
// hand over, several rounds, timed with the performance counter. Prints the median, the sizes
// as recorded and as handed over, the same for the file's first minute, and the median of the
// part that runs on the window's thread: the private copy of the voice file made before a
// worker converts it.
//
//   handover_bench VOICE.wav [rounds] [OUT.wav]   (default 7 rounds; OUT keeps the last copy)
//
// VOICE.wav is a voice file as Kestrune records it: GSM 6.10 behind the 60-byte header (sox
// writes the same layout with -e gsm-full-rate).
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/message_box.h"
#include "bench/bench_clock.h"
#include "services/handover.h"
#include "voice/playable_copy.h"
#include "voice/voice_file.h"

namespace {

// The size of the data the header names, within the file; 0 when it is no voice file.
DWORD VoiceDataBytes(HANDLE voice) {
    BYTE header[kHeaderBytes];
    DWORD read = 0;
    LARGE_INTEGER size;
    if (!ReadFile(voice, header, kHeaderBytes, &read, nullptr) || read != kHeaderBytes ||
        !HasVoiceHeaderLayout(header, kHeaderBytes) || !GetFileSizeEx(voice, &size)) {
        return 0;
    }
    const DWORD named =
        header[56] | header[57] << 8 | header[58] << 16 | static_cast<DWORD>(header[59]) << 24;
    const LONGLONG there = size.QuadPart - kHeaderBytes;
    return there < named ? static_cast<DWORD>(there) : named;
}

LONGLONG FileSize(HANDLE file) {
    LARGE_INTEGER size;
    return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

const char* Words(PlayableResult result) {
    switch (result) {
        case PlayableResult::kConverted:
            return "converted";
        case PlayableResult::kNoCodec:
            return "no GSM 6.10 codec";
        case PlayableResult::kVoiceUnreadable:
            return "the voice file could not be read";
        case PlayableResult::kTargetUnwritable:
            return "the copy could not be written";
        case PlayableResult::kNoMemory:
            return "no memory";
    }
    return "?";
}

// A box the hand-over would show, printed instead: nobody is there to answer it.
int WINAPI PrintBox(HWND, LPCWSTR text, LPCWSTR, UINT) {
    std::printf("box: %ls\n", text);
    return IDOK;
}

// The window's part of a hand-over of `voicePath`, several rounds; the median in seconds, or a
// negative value on failure.
double TimePrivateCopy(const wchar_t* voicePath, int rounds) {
    g_messageBox = PrintBox;
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const double start = Now();
        HandoverJob* job = PrepareHandover(voicePath, HandoverUse::kCopy, L"bench.wav");
        times.push_back(Now() - start);
        if (job == nullptr) {
            return -1;
        }
        EndHandover(job);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// One conversion of `dataBytes` into the target; seconds, or a negative value on failure.
double TimeConversion(HANDLE voice, DWORD dataBytes, HANDLE target, PlayableCopy* copy) {
    const double start = Now();
    const PlayableResult result = ConvertToPlayable(voice, dataBytes, target, copy);
    const double seconds = Now() - start;
    if (result != PlayableResult::kConverted) {
        std::printf("conversion failed: %s (error %lu)\n", Words(result),
                    static_cast<unsigned long>(copy->error));
        return -1;
    }
    return seconds;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc < 2) {
        std::printf("usage: handover_bench VOICE.wav [rounds] [OUT.wav]\n");
        return 2;
    }
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 7;
    HANDLE voice = CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (voice == INVALID_HANDLE_VALUE) {
        std::printf("cannot open %ls (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    const DWORD dataBytes = VoiceDataBytes(voice);
    if (dataBytes < kFrameBytes) {
        std::printf("%ls is no voice file with sound (GSM 6.10 behind a 60-byte header)\n",
                    argv[1]);
        return 1;
    }
    wchar_t folder[MAX_PATH];
    wchar_t path[MAX_PATH];
    const wchar_t* out = argc > 3 ? argv[3] : path;
    if (argc <= 3 &&
        (GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"khb", 0, path) == 0)) {
        std::printf("no temporary file name (error %lu)\n", GetLastError());
        return 1;
    }
    HANDLE target =
        CreateFileW(out, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        std::printf("cannot create %ls (error %lu)\n", out, GetLastError());
        return 1;
    }

    PlayableCopy copy = {};
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const double seconds = TimeConversion(voice, dataBytes, target, &copy);
        if (seconds < 0) {
            return 1;
        }
        times.push_back(seconds);
    }
    const LONGLONG copyBytes = FileSize(target);
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double recorded = copy.recordedSamples / 8000.0;
    std::printf("voice file:          %lu bytes of GSM 6.10 (%.1f s), %lld bytes in all\n",
                static_cast<unsigned long>(dataBytes), recorded, FileSize(voice));
    std::printf("handed over:         %lld bytes of mu-law, samples %lu to %lu (%.2f s)\n",
                copyBytes, static_cast<unsigned long>(copy.kept.first),
                static_cast<unsigned long>(copy.kept.end),
                (copy.kept.end - copy.kept.first) / 8000.0);
    std::printf(
        "conversion median:   %.4f s over %d rounds (fastest %.4f, slowest %.4f), %.0f "
        "times real time\n",
        median, rounds, times.front(), times.back(), recorded / median);

    // A message of one minute: its first minute as recorded and as handed over.
    const DWORD minuteBytes = std::min<DWORD>(dataBytes, 60 * kBytesPerSecond);
    PlayableCopy minute = {};
    if (TimeConversion(voice, minuteBytes, target, &minute) < 0) {
        return 1;
    }
    std::printf("one minute recorded: %lu bytes (GSM 6.10)\n",
                static_cast<unsigned long>(kHeaderBytes + minuteBytes));
    std::printf("one minute handed:   %lld bytes (mu-law, %.2f s kept of %.2f s)\n",
                FileSize(target), (minute.kept.end - minute.kept.first) / 8000.0,
                minute.recordedSamples / 8000.0);

    const double window = TimePrivateCopy(argv[1], rounds);
    if (window < 0) {
        return 1;
    }
    std::printf("window's thread:     %.4f s median for the private copy of all %lld bytes\n",
                window, FileSize(voice));

    // The copy the driver compares with sox's is the whole file's.
    const bool keep = argc > 3;
    if (keep && TimeConversion(voice, dataBytes, target, &copy) < 0) {
        return 1;
    }
    CloseHandle(target);
    CloseHandle(voice);
    if (!keep) {
        DeleteFileW(path);
    }
    LocalFree(argv);
    return 0;
}
