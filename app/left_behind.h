// Recordings that outlive their Kestrune: a crash, End task, a power cut or a log-off leaves the
// voice file in the temporary folder. A running Kestrune holds its own file open, refusing
// deletion, so that a later start can tell a file left behind from one in use, repair it and
// offer it back.
#pragma once
#include <windows.h>

#include "app/app_state.h"

// Posted by the window's initialisation: the offer comes before any input is taken.
constexpr UINT kOfferLeftBehind = WM_APP + 2;

// Creates the window's own empty voice file in the temporary folder and holds it. False when
// none could be made: tempPath stays empty and every Record reports it.
bool MakeOwnVoiceFile(AppState* state);
// Lets go of the voice file, so that it can be deleted, or found by the next start.
void ReleaseVoiceFile(AppState* state);

// A voice file that no running Kestrune holds, repaired, and held by us alone until offered.
struct LeftBehind {
    char path[MAX_PATH];
    HANDLE file;
    FILETIME written;  // when it was last recorded into
    DWORD dataBytes;   // the whole frames after its header
};

// At most this many are offered at one start; the rest wait for the next.
constexpr int kMostLeftBehind = 32;

// Looks at every kes*.tmp in `folder` (which ends in a backslash) but `ownPath`. A file of ours
// too short to hold a frame is deleted; one with audio is repaired and put into `found`, newest
// first, up to `capacity`; anything else (taken, or not ours) is left exactly as it was.
// Returns how many were found.
int FindLeftBehind(const char* folder, const char* ownPath, LeftBehind* found, int capacity);

// Offers each file left behind with a box owned by the main window. True when one became the
// current recording; the caller then shows Ready.
bool OfferLeftBehind(AppState* state);
