// What Kestrune hands over (Send, Copy, Save As): the voice file as a WAV that browsers and
// mail readers play, G.711 µ-law at 8000 Hz mono, without the dead air at its ends. Made at
// hand-over time in one decoding pass; safe on a worker thread (no window, no globals written).
#pragma once
#include <windows.h>

#include "voice/speech_trim.h"

// 4 s of sound a codec call: few calls, and buffers (about 100 KB) that stay in the cache.
constexpr DWORD kConvertChunkFrames = 100;

enum class PlayableResult {
    kConverted,         // the target holds the complete µ-law WAV
    kNoCodec,           // no codec decodes GSM 6.10 here, or it refused the recording
    kVoiceUnreadable,   // reading the voice file failed (its Win32 error is kept)
    kTargetUnwritable,  // writing the target failed (its Win32 error is kept: a full disk is
                        // ERROR_DISK_FULL or ERROR_HANDLE_DISK_FULL)
    kNoMemory,          // no room for the conversion's buffers
};

struct PlayableCopy {
    DWORD error;            // the Win32 error of a failed read or write, else 0
    DWORD recordedSamples;  // decoded from the voice file
    KeptPart kept;          // of those, the part in the target
};

// Decodes the whole 65-byte frames among `dataBytes` bytes of GSM 6.10 that start at offset
// kHeaderBytes of `voice` (read access) and writes a µ-law WAV of the part worth hearing to
// `target` (write access) from its start, cutting the target after it. The error of a failed
// read or write is also left as the thread's last error; the target then holds no complete
// WAV, and the caller removes it. `copy` may be null.
PlayableResult ConvertToPlayable(HANDLE voice, DWORD dataBytes, HANDLE target, PlayableCopy* copy);
