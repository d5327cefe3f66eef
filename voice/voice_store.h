// Where the voice file lives and who may open it: the window's own file, made in the temporary
// folder and held for the window's whole life; the opens for recording, playback and copies; and
// the files left behind by a Kestrune that did not close its window, found and repaired.
//
// Every open of a voice file goes through OpenVoiceFile, whose sharing rules fit together so:
// - Hold: the window's keeper reads, and shares reading and writing but never deletion. The
//   recorder, the player and the copies can open the file; nobody can delete it under us; no
//   other Kestrune can open it alone (Repair) and so take it for one left behind.
// - Record: made anew, read and written, shared for reading only: a copy may read it, a second
//   recording or a playback cannot open it meanwhile.
// - Play: opened as it is with the same access and sharing as Record, so a recording and a
//   playback never overlap, nor do two playbacks.
// - Copy: read, shared for reading only: a file being recorded or played is busy, never handed
//   over half made.
// - Repair: read, written and deleted, shared with nobody: it succeeds only on a file that no
//   running Kestrune holds.
#pragma once
#include <windows.h>

#include "app/app_state.h"

enum class VoiceFileUse { Hold, Record, Play, Copy, Repair };

// The file at `path` opened for `use`, or INVALID_HANDLE_VALUE with the system's last error.
HANDLE OpenVoiceFile(const WCHAR* path, VoiceFileUse use);

// Creates the window's own empty voice file in the temporary folder and holds it. False when
// none could be made: voicePath stays empty and every Record reports it.
bool MakeOwnVoiceFile(AppState* state);
// Lets go of the voice file, so that it can be deleted, or found by the next start.
void ReleaseVoiceFile(AppState* state);

// A voice file that no running Kestrune holds, repaired, and held by us alone until offered.
struct LeftBehind {
    WCHAR path[MAX_PATH];
    HANDLE file;
    FILETIME written;  // when it was last recorded into
    DWORD dataBytes;   // the whole frames after its header
};

// At most this many are offered at one start; the rest wait for the next.
constexpr int kMostLeftBehind = 32;

// Looks at every kes*.tmp in `folder` (which ends in a backslash) but `ownPath`. A file of ours
// too short to hold a frame is deleted; one with audio is repaired and put into `found`, newest
// first, up to `capacity`; anything else (taken, not ours, or not repairable) is left as it
// was. Returns how many were found.
int FindLeftBehind(const WCHAR* folder, const WCHAR* ownPath, LeftBehind* found, int capacity);

// Makes a found file the current recording in place of the window's own empty one, which goes.
// The caller has closed found.file. False when another start took the file meanwhile.
bool AdoptLeftBehind(AppState* state, const LeftBehind& found);
