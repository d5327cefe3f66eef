// Room services/: handing the recording over (Send, Copy, Save As); Help, About, home page.
//
// Send: the recording converted as it is now (services/handover.h) and handed to the Simple
// MAPI mail program, both on a worker thread of its own.
#pragma once
#include <windows.h>

#include "app/app_state.h"
#include "services/handover.h"

// On the UI thread: copies the recording privately and makes the worker's job. Null, after
// telling the user, when that could not be done.
HandoverJob* PrepareMail(AppState* state);
// PrepareMail, then a worker running SendByMail; returns at once.
void StartMailWorker(AppState* state);
// The worker's body: converts, then calls the mail program; owns the job and ends it, or hands
// it to the window (kHandoverDone when the conversion failed, kMailNotTaken when no mail
// program took the message).
void SendByMail(HandoverJob* job);
// On the UI thread: says that no mail program took the message, shows its file in its folder
// and ends the job.
void ShowMailNotTaken(HandoverJob* job);
