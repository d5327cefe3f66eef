// Send: hands the voice file to the Simple MAPI mail client on a worker thread of its own.
#pragma once
#include "app/app_state.h"

// Starts a worker running SendByMail and returns at once.
void StartMailWorker(AppState* state);
// The worker's body; reads nothing of the record but tempPath.
void SendByMail(AppState* state);
