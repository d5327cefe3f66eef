#include "voice/playable_copy.h"

#include <cstring>

#include "base/heap.h"
#include "voice/gsm_decoder.h"
#include "voice/mu_law.h"
#include "voice/voice_file.h"

namespace {

constexpr DWORD kChunkFrames = kConvertChunkFrames;
constexpr DWORD kChunkBytes = kChunkFrames * kFrameBytes;
// Before the first sound: the last µ-law bytes written, which may have to move to the start.
// The first sound's step may have begun in the chunk before the one that completes it.
constexpr DWORD kLeadBytes = kMarginSamples + kStepSamples;

struct Conversion {
    HANDLE voice;
    HANDLE target;
    GsmDecoder decoder;  // prepared over gsm and pcm
    BYTE* block;         // the one allocation: pcm, gsm, mulaw, lead
    short* pcm;
    DWORD pcmBytes;
    BYTE* gsm;
    BYTE* mulaw;
    BYTE* lead;
    DWORD leadFill;
    DWORD frames;     // to decode
    DWORD decoded;    // samples so far in this pass
    DWORD dataStart;  // the sample that the target's data starts with
    bool startFound;
    DWORD error;
    SpeechTrim trim;
};

PlayableResult Fail(Conversion* c, PlayableResult result, DWORD error) {
    c->error = error != 0 ? error : ERROR_GEN_FAILURE;
    return result;
}

bool OpenDecoder(Conversion* c) {
    return OpenGsmDecoder(&c->decoder) &&
           PrepareGsmDecoder(&c->decoder, c->gsm, kChunkBytes, c->pcm, c->pcmBytes);
}

bool SeekTo(HANDLE file, ULONGLONG offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

bool ReadWhole(Conversion* c, BYTE* into, DWORD bytes) {
    while (bytes > 0) {
        DWORD read = 0;
        if (!ReadFile(c->voice, into, bytes, &read, nullptr)) {
            c->error = GetLastError();
            return false;
        }
        if (read == 0) {
            c->error = ERROR_HANDLE_EOF;  // shorter than its header says
            return false;
        }
        into += read;
        bytes -= read;
    }
    return true;
}

bool WriteWhole(Conversion* c, const BYTE* bytes, DWORD count) {
    while (count > 0) {
        DWORD written = 0;
        if (!g_writeFile(c->target, bytes, count, &written, nullptr)) {
            c->error = GetLastError();
            return false;
        }
        if (written == 0 || written > count) {
            c->error = ERROR_WRITE_FAULT;
            return false;
        }
        bytes += written;
        count -= written;
    }
    return true;
}

// Reads and decodes the next chunk of up to kChunkFrames frames; its samples in *samples.
PlayableResult DecodeChunk(Conversion* c, DWORD frames, DWORD* samples) {
    const DWORD bytes = frames * kFrameBytes;
    if (!ReadWhole(c, c->gsm, bytes)) {
        return PlayableResult::kVoiceUnreadable;
    }
    if (!DecodeGsm(&c->decoder, bytes, samples)) {
        return Fail(c, PlayableResult::kNoCodec, ERROR_INVALID_DATA);
    }
    if (*samples > kMaxMuLawSamples - c->decoded) {
        *samples = kMaxMuLawSamples - c->decoded;
    }
    EncodeMuLaw(c->pcm, *samples, c->mulaw);
    return PlayableResult::kConverted;
}

// Keeps the last kLeadBytes of the µ-law written so far.
void KeepLead(Conversion* c, DWORD samples) {
    const DWORD fromChunk = samples < kLeadBytes ? samples : kLeadBytes;
    const DWORD stay = c->leadFill < kLeadBytes - fromChunk ? c->leadFill : kLeadBytes - fromChunk;
    std::memmove(c->lead, c->lead + c->leadFill - stay, stay);
    std::memcpy(c->lead + stay, c->mulaw + samples - fromChunk, fromChunk);
    c->leadFill = stay + fromChunk;
}

// The first sound was just found: the data starts a margin before it. What of it lies in
// earlier chunks is in the lead; the target goes on from there.
bool MoveStart(Conversion* c, DWORD chunkStart, DWORD samples) {
    DWORD first = 0;
    FirstSoundSoFar(&c->trim, &first);
    c->dataStart = first > kMarginSamples ? first - kMarginSamples : 0;
    if (c->dataStart == 0) {
        return WriteWhole(c, c->mulaw, samples);
    }
    const DWORD fromLead = chunkStart > c->dataStart ? chunkStart - c->dataStart : 0;
    const DWORD skip = c->dataStart > chunkStart ? c->dataStart - chunkStart : 0;
    return SeekTo(c->target, kMuLawHeaderBytes) &&
           WriteWhole(c, c->lead + c->leadFill - fromLead, fromLead) &&
           WriteWhole(c, c->mulaw + skip, samples - skip);
}

// Decodes the recording and writes its µ-law from offset kMuLawHeaderBytes of the target.
// With `trim`, measures its steps as well and starts the data a margin before the first
// sound as soon as that is found.
PlayableResult WritePass(Conversion* c, bool trim) {
    if (!SeekTo(c->voice, kHeaderBytes)) {
        return Fail(c, PlayableResult::kVoiceUnreadable, GetLastError());
    }
    if (!SeekTo(c->target, kMuLawHeaderBytes)) {
        return Fail(c, PlayableResult::kTargetUnwritable, GetLastError());
    }
    c->decoded = 0;
    for (DWORD done = 0; done < c->frames;) {
        const DWORD frames = c->frames - done < kChunkFrames ? c->frames - done : kChunkFrames;
        DWORD samples = 0;
        const PlayableResult decoded = DecodeChunk(c, frames, &samples);
        if (decoded != PlayableResult::kConverted) {
            return decoded;
        }
        bool written = false;
        DWORD first = 0;
        if (trim) {
            FeedSpeechTrim(&c->trim, c->pcm, samples);
        }
        if (trim && !c->startFound && FirstSoundSoFar(&c->trim, &first)) {
            c->startFound = true;
            written = MoveStart(c, c->decoded, samples);
        } else {
            written = WriteWhole(c, c->mulaw, samples);
            if (trim && !c->startFound) {
                KeepLead(c, samples);
            }
        }
        if (!written) {
            return Fail(c, PlayableResult::kTargetUnwritable, c->error);
        }
        c->decoded += samples;
        done += frames;
    }
    return PlayableResult::kConverted;
}

// Cuts the target after the kept part (and its pad byte) and writes the header.
PlayableResult Complete(Conversion* c, KeptPart kept) {
    const DWORD samples = kept.end - kept.first;
    const BYTE pad = 0;
    BYTE header[kMuLawHeaderBytes];
    BuildMuLawHeader(header, samples);
    if (!SeekTo(c->target, static_cast<ULONGLONG>(kMuLawHeaderBytes) + samples) ||
        ((samples & 1) != 0 && !WriteWhole(c, &pad, 1)) || !SetEndOfFile(c->target) ||
        !SeekTo(c->target, 0) || !WriteWhole(c, header, kMuLawHeaderBytes)) {
        return Fail(c, PlayableResult::kTargetUnwritable,
                    c->error != 0 ? c->error : GetLastError());
    }
    return PlayableResult::kConverted;
}

PlayableResult Convert(Conversion* c, KeptPart* kept) {
    const DWORD pcmBytes = OpenGsmDecoder(&c->decoder) ? DecodedBytes(&c->decoder, kChunkBytes) : 0;
    if (pcmBytes < sizeof(short)) {
        return Fail(c, PlayableResult::kNoCodec, ERROR_NOT_SUPPORTED);
    }
    c->pcmBytes = pcmBytes & ~static_cast<DWORD>(1);
    const DWORD pcmSamples = c->pcmBytes / sizeof(short);
    c->block = static_cast<BYTE*>(
        AllocateBlock(static_cast<size_t>(c->pcmBytes) + kChunkBytes + pcmSamples + kLeadBytes));
    if (c->block == nullptr) {
        return Fail(c, PlayableResult::kNoMemory, ERROR_NOT_ENOUGH_MEMORY);
    }
    c->pcm = reinterpret_cast<short*>(c->block);
    c->gsm = c->block + c->pcmBytes;
    c->mulaw = c->gsm + kChunkBytes;
    c->lead = c->mulaw + pcmSamples;
    if (!PrepareGsmDecoder(&c->decoder, c->gsm, kChunkBytes, c->pcm, c->pcmBytes)) {
        return Fail(c, PlayableResult::kNoCodec, ERROR_NOT_SUPPORTED);
    }

    StartSpeechTrim(&c->trim);
    PlayableResult result = WritePass(c, true);
    if (result != PlayableResult::kConverted) {
        return result;
    }
    *kept = FinishSpeechTrim(&c->trim);
    if (kept->first != c->dataStart) {
        // The only sound was the final click: silence throughout, handed over whole, but the
        // start had moved. Once more from the beginning, through a new stream, as the codec
        // carries its state from frame to frame.
        if (!CloseGsmDecoder(&c->decoder) || !OpenDecoder(c)) {
            return Fail(c, PlayableResult::kNoCodec, ERROR_NOT_SUPPORTED);
        }
        result = WritePass(c, false);
        if (result != PlayableResult::kConverted) {
            return result;
        }
        *kept = KeptPart{0, c->decoded};
    }
    return Complete(c, *kept);
}

}  // namespace

PlayableResult ConvertToPlayable(HANDLE voice, DWORD dataBytes, HANDLE target, PlayableCopy* copy) {
    Conversion c = {};
    c.voice = voice;
    c.target = target;
    c.frames = WholeFrameBytes(dataBytes) / kFrameBytes;
    const DWORD maxFrames = kMaxMuLawSamples / SampleCount(kFrameBytes);
    if (c.frames > maxFrames) {
        c.frames = maxFrames;
    }
    KeptPart kept = {0, 0};
    const PlayableResult result = Convert(&c, &kept);
    CloseGsmDecoder(&c.decoder);
    if (c.block != nullptr) {
        FreeBlock(c.block);
    }
    if (copy != nullptr) {
        copy->error = result == PlayableResult::kConverted ? 0 : c.error;
        copy->recordedSamples = c.decoded;
        copy->kept = kept;
    }
    if (result != PlayableResult::kConverted) {
        SetLastError(c.error);
    }
    return result;
}
