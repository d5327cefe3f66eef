#include "services/mail.h"

#include <process.h>

#include <mapi.h>

#include "base/heap.h"
#include "base/message_box.h"
#include "services/shell_links.h"
#include "services/snapshot.h"

namespace {

unsigned __stdcall MailWorker(void* param) {
    SendByMail(static_cast<MailJob*>(param));
    return 0;
}

// The library's answer, or MAPI_E_FAILURE when there is no library or no entry to ask.
ULONG CallSendMail(MailJob* job) {
    // Loaded by name at each Send and never released: the program runs without a mail client,
    // and another worker may still be inside the compose dialog.
    HMODULE mapi = LoadLibraryA("MAPI32.DLL");
    if (mapi == nullptr) {
        return MAPI_E_FAILURE;
    }
    FARPROC entry = GetProcAddress(mapi, "MAPISendMail");
    if (entry == nullptr) {
        return MAPI_E_FAILURE;
    }
    auto sendMail = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(entry));

    MapiFileDesc file = {};
    file.ulReserved = 0;
    file.flFlags = 0;
    file.nPosition = 0xFFFFFFFF;
    file.lpszPathName = job->snapshot;
    file.lpszFileName = job->attachmentName;
    file.lpFileType = nullptr;

    MapiMessage message = {};
    message.nFileCount = 1;
    message.lpFiles = &file;

    // The compose dialog runs inside this call; what the user does there is the mail
    // program's business.
    return sendMail(0, 0, &message, MAPI_DIALOG, 0);
}

}  // namespace

MailJob* PrepareMail(AppState* state) {
    char name[kAttachmentNameBytes];
    FormatAttachmentNameNow(name);
    char snapshot[MAX_PATH];
    if (!MakeSnapshot(state->voicePath, name, snapshot)) {
        ReportSnapshotFailed();
        return nullptr;
    }
    auto* job = static_cast<MailJob*>(AllocateBlock(sizeof(MailJob)));
    if (job == nullptr) {
        DeleteFileA(snapshot);
        ShowMessageBox(nullptr, "malloc() failed", "Error", MB_OK);
        return nullptr;
    }
    job->window = g_mainWindow;
    lstrcpynA(job->snapshot, snapshot, MAX_PATH);
    lstrcpynA(job->attachmentName, name, kAttachmentNameBytes);
    return job;
}

void StartMailWorker(AppState* state) {
    MailJob* job = PrepareMail(state);
    if (job == nullptr) {
        return;
    }
    // Default stack; nobody waits for the worker, so its handle goes at once.
    uintptr_t thread = _beginthreadex(nullptr, 0, MailWorker, job, 0, nullptr);
    if (thread == 0) {
        FreeBlock(job);
        return;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void SendByMail(MailJob* job) {
    const ULONG result = CallSendMail(job);
    if (result == SUCCESS_SUCCESS || result == MAPI_USER_ABORT) {
        FreeBlock(job);
        return;
    }
    // The window owns the box; a worker never does. Without a window nobody is told.
    if (job->window == nullptr ||
        !PostMessageA(job->window, kMailNotTaken, 0, reinterpret_cast<LPARAM>(job))) {
        FreeBlock(job);
    }
}

void ShowMailNotTaken(MailJob* job) {
    ShowMessageBox(g_mainWindow,
                   "No mail program took the message.\n\nIts file is shown in its folder, so "
                   "that you can attach it yourself.",
                   "Kestrune", MB_ICONINFORMATION);
    ShowFileInFolder(job->snapshot);
    FreeBlock(job);
}
