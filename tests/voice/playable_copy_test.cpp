// The copy handed over, end to end: voice files made by the system's GSM 6.10 codec, turned
// into µ-law WAVs, checked against the same codec's decoding of the whole file in one call,
// trimmed by the rule worked out plainly (trim_reference.h); and every way the conversion can
// fail: a write at any moment, a target or voice file it may not use, no memory.
#include "voice/playable_copy.h"

#include <mmsystem.h>
#include <mmreg.h>
#include <msacm.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/support/gsm_sound.h"
#include "tests/support/handed_over.h"
#include "tests/support/scripted_heap.h"
#include "tests/support/utf8.h"
#include "tests/voice/trim_reference.h"
#include "tests/voice/voice_test_files.h"
#include "voice/mu_law.h"
#include "voice/voice_file.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr size_t kRate = 8000;
constexpr size_t kSmear = 2 * kStepSamples;  // how far the codec may move a sound's edges
constexpr double kChunkSeconds = kConvertChunkFrames * 320 / 8000.0;  // decoded a codec call

// A voice file as Kestrune writes it, of these samples through the system's codec.
bool RecordVoiceFile(const std::string& path, const std::vector<short>& pcm,
                     std::vector<BYTE>* gsm) {
    *gsm = EncodeGsm(pcm);
    return !gsm->empty() && WriteVoiceFile(Wide(path), *gsm);
}

// The whole GSM data decoded by the system's codec in one call, apart from the converter's
// chunks.
std::vector<short> DecodeWhole(std::vector<BYTE> gsm) {
    WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    auto* format = reinterpret_cast<LPWAVEFORMATEX>(const_cast<GSM610WAVEFORMAT*>(VoiceFormat()));
    HACMSTREAM stream = nullptr;
    if (acmStreamOpen(&stream, nullptr, format, &pcm, nullptr, 0, 0, 0) != MMSYSERR_NOERROR) {
        ADD_FAILURE() << "the system's codec decodes no GSM 6.10";
        return {};
    }
    std::vector<short> decoded(gsm.size() / kFrameBytes * 320);
    ACMSTREAMHEADER header = {};
    header.cbStruct = sizeof header;
    header.pbSrc = gsm.data();
    header.cbSrcLength = static_cast<DWORD>(gsm.size());
    header.pbDst = reinterpret_cast<LPBYTE>(decoded.data());
    header.cbDstLength = static_cast<DWORD>(decoded.size() * sizeof(short));
    bool done = acmStreamPrepareHeader(stream, &header, 0) == MMSYSERR_NOERROR;
    if (done) {
        done = acmStreamConvert(stream, &header, ACM_STREAMCONVERTF_BLOCKALIGN) == MMSYSERR_NOERROR;
        acmStreamUnprepareHeader(stream, &header, 0);
    }
    acmStreamClose(stream, 0);
    EXPECT_TRUE(done);
    decoded.resize(header.cbDstLengthUsed / sizeof(short));
    return decoded;
}

// A recording laid out in seconds: silence, speech-like sound, silence, Stop's click.
struct Recording {
    std::vector<short> pcm;
    size_t soundStart = 0;  // where the sound meant to be kept starts and ends; both 0 for none
    size_t soundEnd = 0;
};

// A room's hiss, well below -45 dBFS (RMS 58, -55 dBFS), and different in every sample, so
// that a part of it in the wrong place shows.
void AppendSilence(Recording* recording, double seconds, std::mt19937* random) {
    std::uniform_int_distribution<int> hiss(-100, 100);
    for (long i = std::lround(seconds * kRate); i > 0; --i) {
        recording->pcm.push_back(static_cast<short>(hiss(*random)));
    }
}

// Syllables of a 150 Hz buzz with a 700 Hz formant, louder and softer, as voiced speech is,
// faded in and out over 20 ms as speech starts and ends.
void AppendSpeech(Recording* recording, double seconds) {
    const size_t count = static_cast<size_t>(seconds * kRate);
    if (recording->soundEnd == 0) {
        recording->soundStart = recording->pcm.size();
    }
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double edge = std::min(std::min(i, count - 1 - i) / 160.0, 1.0);
        const double envelope = (0.6 + 0.4 * std::sin(2 * kPi * 4 * t)) * edge;
        const double wave = 0.6 * std::sin(2 * kPi * 150 * t) + 0.4 * std::sin(2 * kPi * 700 * t);
        recording->pcm.push_back(static_cast<short>(std::lround(9000 * envelope * wave)));
    }
    recording->soundEnd = recording->pcm.size();
}

// A click of 15 ms: six whole cycles of a loud 400 Hz tone, adding up to nothing. A burst
// whose samples add up to an offset (broadband noise, say) leaves one in GSM's input filter,
// which lets it die away with a time constant of 125 ms; decoded, that tail counts as sound
// for up to half a second (measured with libgsm), too long for Stop's click.
void AppendClick(Recording* recording) {
    for (size_t i = 0; i < 120; ++i) {
        recording->pcm.push_back(
            static_cast<short>(std::lround(16000 * std::sin(2 * kPi * 400 * i / 8000.0))));
    }
}

// Layout `kind`, its silences a random part longer or shorter; a whole number of frames.
Recording MakeRecording(int kind, std::mt19937* random) {
    std::uniform_real_distribution<double> jitter(0.0, 0.3);
    Recording r;
    switch (kind) {
        case 0:  // dead air at both ends, a pause inside, the click of Stop
            AppendSilence(&r, 1.5 + jitter(*random), random);
            AppendSpeech(&r, 0.7);
            AppendSilence(&r, 0.3, random);
            AppendSpeech(&r, 0.6);
            AppendSilence(&r, 2.0 + jitter(*random), random);
            AppendClick(&r);
            AppendSilence(&r, 0.4, random);
            break;
        case 1:  // silence throughout
            AppendSilence(&r, 2.0 + jitter(*random), random);
            break;
        case 2:  // only the click: silence throughout, though the start had moved
            AppendSilence(&r, 1.0 + jitter(*random), random);
            AppendClick(&r);
            AppendSilence(&r, 1.0, random);
            break;
        case 3:  // sound from the first sample to the last
            AppendSpeech(&r, 2.0 + jitter(*random));
            break;
        case 4:  // longer than a codec call: the first sound just after the first call's
                 // end, its margin before it, then silence over another call's end
            AppendSilence(&r, kChunkSeconds + 0.05 + jitter(*random) / 3, random);
            AppendSpeech(&r, 1.0);
            AppendSilence(&r, kChunkSeconds, random);
            break;
        default:  // a click alone in the second codec call
            AppendSilence(&r, kChunkSeconds + 1.0 + jitter(*random), random);
            AppendClick(&r);
            AppendSilence(&r, 1.0, random);
            break;
    }
    AppendSilence(&r, (320 - r.pcm.size() % 320) % 320 / 8000.0, random);
    return r;
}
constexpr int kKinds = 6;

struct Outcome {
    PlayableResult result;
    PlayableCopy copy;
    DWORD lastError;
};

Outcome Convert(const std::string& voicePath, const std::string& targetPath, DWORD voiceAccess,
                DWORD targetAccess, DWORD dataBytes) {
    Outcome outcome = {};
    HANDLE voice = CreateFileA(voicePath.c_str(), voiceAccess, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE target = CreateFileA(targetPath.c_str(), targetAccess, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(voice, INVALID_HANDLE_VALUE);
    EXPECT_NE(target, INVALID_HANDLE_VALUE);
    SetLastError(0);
    outcome.result = ConvertToPlayable(voice, dataBytes, target, &outcome.copy);
    outcome.lastError = GetLastError();
    CloseHandle(voice);
    CloseHandle(target);
    return outcome;
}

// Write seams: a write that fails with a full disk at the k-th call, or writes that take at
// most a few bytes at a time.
int g_writes = 0;
int g_failAt = 0;
BOOL WINAPI CountedWriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                             LPOVERLAPPED overlapped) {
    if (++g_writes == g_failAt) {
        WriteFile(file, data, bytes / 2, written, overlapped);
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    return WriteFile(file, data, bytes, written, overlapped);
}
BOOL WINAPI ShortWriteFile(HANDLE file, LPCVOID data, DWORD bytes, LPDWORD written,
                           LPOVERLAPPED overlapped) {
    return WriteFile(file, data, bytes < 999 ? bytes : 999, written, overlapped);
}

class PlayableCopyTest : public ::testing::Test {
  protected:
    void TearDown() override { g_writeFile = WriteFile; }
    TempFolder folder_;
};

TEST_F(PlayableCopyTest, HandsOverTheDecodedSoundAsMuLawWithoutTheDeadAir) {
    const std::string voicePath = folder_.File("voice.wav");
    const std::string targetPath = folder_.File("copy.wav");
    for (int round = 0; round < 2 * kKinds; ++round) {
        const int kind = round % kKinds;
        std::mt19937 random(static_cast<unsigned>(round) + 1);
        const Recording recording = MakeRecording(kind, &random);
        SCOPED_TRACE("round " + std::to_string(round) + ", layout " + std::to_string(kind));
        std::vector<BYTE> gsm;
        ASSERT_TRUE(RecordVoiceFile(voicePath, recording.pcm, &gsm));
        const std::vector<short> decoded = DecodeWhole(gsm);
        ASSERT_EQ(decoded.size(), recording.pcm.size());
        const ReferenceTrim expected = ReferenceKept(decoded);

        ScriptedHeap heap;
        // The second half of the rounds writes in short pieces: the same file must come out.
        g_writeFile = round < kKinds ? WriteFile : ShortWriteFile;
        const Outcome outcome = Convert(voicePath, targetPath, GENERIC_READ, GENERIC_WRITE,
                                        static_cast<DWORD>(gsm.size()));
        g_writeFile = WriteFile;
        ASSERT_EQ(outcome.result, PlayableResult::kConverted);
        EXPECT_EQ(heap.LiveBlocks(), 0);
        EXPECT_EQ(outcome.copy.error, 0u);
        EXPECT_EQ(outcome.copy.recordedSamples, decoded.size());
        ASSERT_EQ(outcome.copy.kept.first, expected.first);
        ASSERT_EQ(outcome.copy.kept.end, expected.end);

        // What was laid out, give or take the codec's smear of a sound's edges.
        if (recording.soundEnd != 0) {
            const size_t first =
                recording.soundStart > kMarginSamples ? recording.soundStart - kMarginSamples : 0;
            const size_t end =
                std::min<size_t>(recording.soundEnd + kMarginSamples, decoded.size());
            EXPECT_NEAR(static_cast<double>(expected.first), static_cast<double>(first), kSmear);
            EXPECT_NEAR(static_cast<double>(expected.end), static_cast<double>(end), kSmear);
        } else {
            EXPECT_EQ(expected.first, 0u);
            EXPECT_EQ(expected.end, decoded.size());
        }

        // The header for that many samples, then their µ-law, and nothing after.
        const std::vector<BYTE> file = ReadFileBytes(targetPath);
        const size_t samples = expected.end - expected.first;
        ASSERT_EQ(file.size(), kMuLawHeaderBytes + samples + samples % 2);
        EXPECT_EQ(ValueAt(file, 4), file.size() - 8);
        EXPECT_EQ(ValueAt(file, 46), samples);
        EXPECT_EQ(ValueAt(file, 54), samples);
        BYTE header[kMuLawHeaderBytes];
        BuildMuLawHeader(header, static_cast<DWORD>(samples));
        EXPECT_TRUE(std::equal(header, header + kMuLawHeaderBytes, file.begin()));
        size_t differing = 0;
        for (size_t i = 0; i < samples; ++i) {
            differing +=
                file[kMuLawHeaderBytes + i] != MuLawFromLinear(decoded[expected.first + i]);
        }
        EXPECT_EQ(differing, 0u) << "of " << samples << " samples";
    }
}

TEST_F(PlayableCopyTest, EveryFailureIsReportedWithItsErrorAndReleasesAll) {
    const std::string voicePath = folder_.File("voice.wav");
    const std::string targetPath = folder_.File("copy.wav");
    std::mt19937 random(7);
    std::vector<BYTE> gsm;
    // The lone click in the second codec call takes every path: the move of the start, the second
    // pass, the cut and the header.
    ASSERT_TRUE(RecordVoiceFile(voicePath, MakeRecording(kKinds - 1, &random).pcm, &gsm));
    const DWORD dataBytes = static_cast<DWORD>(gsm.size());

    g_writes = 0;
    g_failAt = 0;
    g_writeFile = CountedWriteFile;
    ASSERT_EQ(Convert(voicePath, targetPath, GENERIC_READ, GENERIC_WRITE, dataBytes).result,
              PlayableResult::kConverted);
    const int writes = g_writes;
    ASSERT_GT(writes, 4);
    for (int k = 1; k <= writes; ++k) {
        SCOPED_TRACE("write " + std::to_string(k) + " of " + std::to_string(writes) + " fails");
        ScriptedHeap heap;
        g_writes = 0;
        g_failAt = k;
        const Outcome outcome =
            Convert(voicePath, targetPath, GENERIC_READ, GENERIC_WRITE, dataBytes);
        EXPECT_EQ(outcome.result, PlayableResult::kTargetUnwritable);
        EXPECT_EQ(outcome.copy.error, static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_EQ(outcome.lastError, static_cast<DWORD>(ERROR_DISK_FULL));
        EXPECT_EQ(heap.LiveBlocks(), 0);
    }
    g_writeFile = WriteFile;

    struct Case {
        const char* what;
        DWORD voiceAccess;
        DWORD targetAccess;
        DWORD dataBytes;
        PlayableResult result;
        DWORD error;
    };
    const Case cases[] = {
        {"target opened for reading only", GENERIC_READ, GENERIC_READ, dataBytes,
         PlayableResult::kTargetUnwritable, ERROR_ACCESS_DENIED},
        {"voice file opened for writing only", GENERIC_WRITE, GENERIC_WRITE, dataBytes,
         PlayableResult::kVoiceUnreadable, ERROR_ACCESS_DENIED},
        {"voice file shorter than its header says", GENERIC_READ, GENERIC_WRITE,
         dataBytes + 10 * kFrameBytes, PlayableResult::kVoiceUnreadable, ERROR_HANDLE_EOF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedHeap heap;
        const Outcome outcome =
            Convert(voicePath, targetPath, c.voiceAccess, c.targetAccess, c.dataBytes);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.copy.error, c.error);
        EXPECT_EQ(outcome.lastError, c.error);
        EXPECT_EQ(heap.LiveBlocks(), 0);
    }

    ScriptedHeap heap;
    heap.FailAllocation(1);
    const Outcome outcome = Convert(voicePath, targetPath, GENERIC_READ, GENERIC_WRITE, dataBytes);
    EXPECT_EQ(outcome.result, PlayableResult::kNoMemory);
    EXPECT_EQ(outcome.lastError, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(heap.Allocations(), 1);
}

}  // namespace
