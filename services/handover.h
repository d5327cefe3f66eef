// What Send, Copy and Save As hand over: the recording as it is at the command, converted into
// the µ-law WAV that plays everywhere (voice/playable_copy.h) on a worker thread, so that the
// window goes on working meanwhile. The window's thread only copies the voice file's bytes into
// a private file first (about 100 KB a minute): the user may record anew at once, and a
// conversion reading the voice file itself would keep Record from opening it.
//
// A copy being made is marked for deletion until it is complete and taken: a conversion that
// fails, a result nobody takes, or a process that ends halfway leaves no half-written file.
#pragma once
#include <windows.h>

#include "app/app_state.h"
#include "services/attachment_name.h"
#include "voice/playable_copy.h"

enum class HandoverUse { kSend, kCopy, kSaveAs };

// Posted by a worker to the main window, the long parameter its HandoverJob: no mail program
// took a Send's message (ShowMailNotTaken takes it); or a Copy's or Save As's conversion is done,
// or any conversion failed (FinishHandover takes it).
constexpr UINT kMailNotTaken = WM_APP + 1;
constexpr UINT kHandoverDone = WM_APP + 3;

// Everything a worker touches, its own: nothing of it changes or goes away under it.
struct HandoverJob {
    HandoverUse use;
    // The private copy of the voice file, which the system deletes once it is closed;
    // INVALID_HANDLE_VALUE when closed.
    HANDLE recording;
    DWORD dataBytes;  // its GSM data, in whole frames
    // The copy being made, marked for deletion until kept; INVALID_HANDLE_VALUE when closed.
    HANDLE target;
    bool marked;     // the mark is set: the system deletes the target when it is closed
    bool kept;       // the copy is complete and stays
    bool converted;  // EndConversion was called: the program need not wait for this job
    WCHAR name[kAttachmentNameChars];  // what it is called where it goes
    // Where the copy is: the user's choice for Save As, for Send and Copy the place the worker
    // found in %TEMP%\Kestrune.
    WCHAR path[MAX_PATH];
    WORD fileOffset;  // Save As: where the file's name starts in path
    // A failure, where it happened, and its Win32 error.
    bool failed;
    bool converting;  // in the conversion or in keeping its result, not in making a file
    DWORD error;
};

// On the window's thread: copies the voice file privately and makes the job (a heap block) to
// hand it over as `name`, to `path` for Save As (else null). Null, after telling the user, when
// that could not be done.
HandoverJob* PrepareHandover(const WCHAR* voicePath, HandoverUse use, const WCHAR* name,
                             const WCHAR* path = nullptr);
// A worker running `body` with the job, which it owns from then on; returns at once. False,
// after telling the user and ending the job, when no thread could be started.
using HandoverBody = unsigned(__stdcall*)(void* job);
bool StartHandoverWorker(HandoverJob* job, HandoverBody body);
// Copy and Save As: a worker converts and posts kHandoverDone.
void StartHandover(HandoverJob* job);
// The job's files are settled: kept, or marked to go with the process. From PrepareHandover
// until then, the program waits for the job at its end; the job may go on (Send's, to the mail
// program). Once per job; EndHandover calls it when nobody did.
void EndConversion(HandoverJob* job);
// How long the program waits at its end for conversions under way (WaitForHandovers).
constexpr DWORD kHandoverEndBoundMs = 10000;
// At the end of the program: waits at most `boundMs` for the conversions under way, so that a
// Save As the user asked for before closing completes. False when the bound ran out first.
bool WaitForHandovers(DWORD boundMs);

// On a worker: makes the target (marked for deletion), converts the private copy into it and
// closes the private copy. False, with the failure in the job and the target gone, when any of
// it failed.
bool ConvertForHandover(HandoverJob* job);
// The converted target stays: its mark is taken off and it is closed. False, with the failure
// in the job and the target gone, when that failed.
bool KeepHandedOver(HandoverJob* job);

// The main window that takes the workers' results, from its creation to its end. Closing it
// ends every job posted to it and not yet taken; a worker whose result then finds no window
// ends its job itself.
void OpenHandoverMailbox(HWND window);
void CloseHandoverMailbox(HWND window);
// Posts `message` with the job to the window; false when no window takes it any more.
bool PostToWindow(UINT message, HandoverJob* job);

// On the window's thread: kHandoverDone. A failure is told in a box; a Copy's file goes on the
// clipboard; a Save As's folder is remembered. While the window is going, nothing is shown
// and an unkept copy goes. Ends the job.
void FinishHandover(AppState* state, HandoverJob* job);
// Closes what the job holds (an unkept copy goes) and frees it.
void EndHandover(HandoverJob* job);

// The box of a failed hand-over, owned by the main window: "The disk is full ..." for a full
// disk; "... could not be made ready ..." for a failed conversion; else, where no file could be
// made, what a failed copy (Send, Copy) or save (Save As) has always said.
void ReportHandoverFailed(HandoverUse use, bool converting, DWORD error);
