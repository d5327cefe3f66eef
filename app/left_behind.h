// Recordings that outlive their Kestrune: a crash, End task, a power cut or a log-off leaves the
// voice file in the temporary folder (voice/voice_store.h finds and repairs them). The next
// start offers each one back, newest first.
#pragma once
#include <windows.h>

#include "app/app_state.h"

// Posted by the window's initialisation: the offer comes before any input is taken.
constexpr UINT kOfferLeftBehind = WM_APP + 2;

// Offers each file left behind with a box owned by the main window: Yes opens it, No deletes
// it, Cancel keeps it for later. True when one became the current recording; the caller then
// shows Ready.
bool OfferLeftBehind(AppState* state);
