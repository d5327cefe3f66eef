#include "services/mail.h"

#include <mapi.h>

#include "base/mapi_wide.h"
#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "services/shell_links.h"

namespace {

unsigned __stdcall MailWorker(void* param) {
    SendByMail(static_cast<HandoverJob*>(param));
    return 0;
}

template <typename Fn>
Fn FindEntry(HMODULE module, const char* name) {
    // Through void* because FARPROC has no parameters.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// `wide` in the ANSI code page, only when every character survives.
bool ConvertsWithoutLoss(const WCHAR* wide, char (&ansi)[MAX_PATH]) {
    BOOL lost = FALSE;
    const int converted =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, MAX_PATH, nullptr, &lost);
    return converted > 0 && !lost;
}

// The path as the ANSI code page can hold it: as it is, else its short (8.3) name. False when
// neither survives: a path with '?' in it would name no file.
bool AnsiPath(const WCHAR* path, char (&ansi)[MAX_PATH]) {
    if (ConvertsWithoutLoss(path, ansi)) {
        return true;
    }
    WCHAR shortPath[MAX_PATH];
    const DWORD length = GetShortPathNameW(path, shortPath, MAX_PATH);
    return length > 0 && length < MAX_PATH && ConvertsWithoutLoss(shortPath, ansi);
}

// Simple MAPI before Windows 8 knows only the ANSI form.
ULONG SendMailAnsi(LPMAPISENDMAIL sendMail, HandoverJob* job) {
    char path[MAX_PATH];
    char name[MAX_PATH];
    if (!AnsiPath(job->path, path) || !ConvertsWithoutLoss(job->name, name)) {
        return MAPI_E_FAILURE;
    }
    MapiFileDesc file = {};
    file.nPosition = 0xFFFFFFFF;
    file.lpszPathName = path;
    file.lpszFileName = name;
    MapiMessage message = {};
    message.nFileCount = 1;
    message.lpFiles = &file;
    return sendMail(0, 0, &message, MAPI_DIALOG, 0);
}

// The library's answer, or MAPI_E_FAILURE when there is no library or no entry to ask.
ULONG CallSendMail(HandoverJob* job) {
    // Loaded by name at each Send and never released: the program runs without a mail client,
    // and another worker may still be inside the compose dialog.
    HMODULE mapi = LoadLibraryW(L"MAPI32.DLL");
    if (mapi == nullptr) {
        return MAPI_E_FAILURE;
    }
    const auto sendMailWide = FindEntry<LPMAPISENDMAILW>(mapi, "MAPISendMailW");
    if (sendMailWide == nullptr) {
        const auto sendMail = FindEntry<LPMAPISENDMAIL>(mapi, "MAPISendMail");
        return sendMail != nullptr ? SendMailAnsi(sendMail, job) : MAPI_E_FAILURE;
    }

    MapiFileDescW file = {};
    file.ulReserved = 0;
    file.flFlags = 0;
    file.nPosition = 0xFFFFFFFF;
    file.lpszPathName = job->path;
    file.lpszFileName = job->name;
    file.lpFileType = nullptr;

    MapiMessageW message = {};
    message.nFileCount = 1;
    message.lpFiles = &file;

    // The compose dialog runs inside this call; what the user does there is the mail
    // program's business.
    return sendMailWide(0, 0, &message, MAPI_DIALOG, 0);
}

}  // namespace

HandoverJob* PrepareMail(AppState* state) {
    WCHAR name[kAttachmentNameChars];
    FormatAttachmentNameNow(name);
    return PrepareHandover(state->voicePath, HandoverUse::kSend, name);
}

void StartMailWorker(AppState* state) {
    HandoverJob* job = PrepareMail(state);
    if (job != nullptr) {
        StartHandoverWorker(job, MailWorker);
    }
}

void SendByMail(HandoverJob* job) {
    const bool ready = ConvertForHandover(job) && KeepHandedOver(job);
    // The copy is whole or gone; the compose dialog may stay open for as long as the user likes.
    EndConversion(job);
    if (!ready) {
        // The window owns the box; a worker never does. Without a window nobody is told.
        if (!PostToWindow(kHandoverDone, job)) {
            EndHandover(job);
        }
        return;
    }
    const ULONG result = CallSendMail(job);
    if (result == SUCCESS_SUCCESS || result == MAPI_USER_ABORT ||
        !PostToWindow(kMailNotTaken, job)) {
        EndHandover(job);
    }
}

void ShowMailNotTaken(HandoverJob* job) {
    ShowMessageBox(g_mainWindow, LoadText(IDS_MAIL_NOT_TAKEN).chars, kBoxCaption,
                   MB_ICONINFORMATION);
    ShowFileInFolder(job->path);
    EndHandover(job);
}
