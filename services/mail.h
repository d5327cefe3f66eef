// Room services/: handing the recording over (Send, Copy, Save As); Help, About, home page.
//
// Send: copies the voice file as it is now and hands the copy to the Simple MAPI mail program
// on a worker thread of its own.
#pragma once
#include <windows.h>

#include "app/app_state.h"
#include "services/attachment_name.h"

// Posted by a worker to the main window when no mail program took the message; the long
// parameter is the worker's MailJob, which ShowMailNotTaken frees.
constexpr UINT kMailNotTaken = WM_APP + 1;

// Everything a worker reads, its own: nothing of it changes or goes away under it.
struct MailJob {
    HWND window;  // told when no mail program took the message
    WCHAR snapshot[MAX_PATH];
    WCHAR attachmentName[kAttachmentNameChars];
};

// On the UI thread: makes the copy and the worker's job (a heap block). Null, after telling
// the user, when the copy or the block could not be made.
MailJob* PrepareMail(AppState* state);
// PrepareMail, then a worker running SendByMail; returns at once.
void StartMailWorker(AppState* state);
// The worker's body; owns the job and frees it, or hands it to the window.
void SendByMail(MailJob* job);
// On the UI thread: says that no mail program took the message, shows its file in its folder
// and frees the job.
void ShowMailNotTaken(MailJob* job);
