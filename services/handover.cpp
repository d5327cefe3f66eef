#include "services/handover.h"

#include <process.h>

#include <cstring>

#include "base/disk.h"
#include "base/heap.h"
#include "base/message_box.h"
#include "base/text.h"
#include "res/texts.h"
#include "services/clipboard_copy.h"
#include "services/save_as.h"
#include "services/snapshot.h"
#include "voice/voice_store.h"
#include "voice/wave_device.h"

namespace {

// Guards the window and the count below; the window's thread holds it only for a moment.
SRWLOCK g_handoverLock = SRWLOCK_INIT;
CONDITION_VARIABLE g_conversionEnded = CONDITION_VARIABLE_INIT;
HWND g_resultWindow;  // takes the workers' results; null while there is none
int g_conversions;    // jobs made and not yet past EndConversion

// Sets or takes off the mark that has the system delete the file once it is closed, even when
// the process ends first.
bool MarkForDeletion(HANDLE file, bool mark) {
    FILE_DISPOSITION_INFO disposition = {static_cast<BOOLEAN>(mark ? TRUE : FALSE)};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                      sizeof disposition) != FALSE;
}

// The voice file's bytes in a file of the job's own in %TEMP%\Kestrune, which the system deletes
// once it is closed (kept in memory where it can: it is short-lived). The GSM data it holds in
// *dataBytes. INVALID_HANDLE_VALUE, with the system's last error, when it could not be made.
HANDLE CopyRecordingPrivately(const WCHAR* voicePath, DWORD* dataBytes) {
    WCHAR folder[MAX_PATH];
    WCHAR path[MAX_PATH];
    if (!MakeSnapshotFolder(folder) || GetTempFileNameW(folder, L"rec", 0, path) == 0) {
        return INVALID_HANDLE_VALUE;
    }
    HANDLE copy =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (copy == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        DeleteFileW(path);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE voice = OpenVoiceFile(voicePath, VoiceFileUse::Copy);
    LARGE_INTEGER size = {};
    const bool copied =
        voice != INVALID_HANDLE_VALUE && CopyFileBytes(voice, copy) && GetFileSizeEx(copy, &size);
    const DWORD error = copied ? 0 : GetLastError();
    if (voice != INVALID_HANDLE_VALUE) {
        CloseHandle(voice);
    }
    if (!copied) {
        CloseHandle(copy);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    // The audio is what the file holds, in whole frames.
    const LONGLONG audio = size.QuadPart - kHeaderBytes;
    *dataBytes =
        audio <= 0 ? 0 : WholeFrameBytes(audio < MAXDWORD ? static_cast<DWORD>(audio) : MAXDWORD);
    return copy;
}

void Fail(HandoverJob* job, bool converting, DWORD error) {
    job->failed = true;
    job->converting = converting;
    job->error = error != 0 ? error : ERROR_GEN_FAILURE;
}

void CloseRecording(HandoverJob* job) {
    if (job->recording != INVALID_HANDLE_VALUE) {
        CloseHandle(job->recording);
        job->recording = INVALID_HANDLE_VALUE;
    }
}

// Closes the unkept target, which goes.
void DropTarget(HandoverJob* job) {
    if (job->target == INVALID_HANDLE_VALUE) {
        return;
    }
    CloseHandle(job->target);
    job->target = INVALID_HANDLE_VALUE;
    // The system deleted a marked one; deleting by name then might hit another's new file.
    if (!job->marked) {
        DeleteFileW(job->path);
    }
    job->marked = false;
}

// Send and Copy: a new file in %TEMP%\Kestrune; Save As: the user's, replaced.
HANDLE OpenTarget(HandoverJob* job) {
    if (job->use != HandoverUse::kSaveAs) {
        return CreateSnapshot(job->name, job->path);
    }
    return CreateFileW(job->path, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

unsigned __stdcall ConvertWorker(void* param) {
    auto* job = static_cast<HandoverJob*>(param);
    // The user's file stays, even when the window has gone meanwhile; a Copy's is kept by the
    // window that puts it on the clipboard.
    if (ConvertForHandover(job) && job->use == HandoverUse::kSaveAs) {
        KeepHandedOver(job);
    }
    EndConversion(job);
    if (!PostToWindow(kHandoverDone, job)) {
        EndHandover(job);
    }
    return 0;
}

}  // namespace

HandoverJob* PrepareHandover(const WCHAR* voicePath, HandoverUse use, const WCHAR* name,
                             const WCHAR* path) {
    DWORD dataBytes = 0;
    HANDLE recording = CopyRecordingPrivately(voicePath, &dataBytes);
    if (recording == INVALID_HANDLE_VALUE) {
        ReportHandoverFailed(use, false, GetLastError());
        return nullptr;
    }
    auto* job = static_cast<HandoverJob*>(AllocateBlock(sizeof(HandoverJob)));
    if (job == nullptr) {
        CloseHandle(recording);
        ShowCallFailed(L"malloc()");
        return nullptr;
    }
    std::memset(job, 0, sizeof *job);
    job->use = use;
    job->recording = recording;
    job->dataBytes = dataBytes;
    job->target = INVALID_HANDLE_VALUE;
    lstrcpynW(job->name, name, kAttachmentNameChars);
    if (path != nullptr) {
        lstrcpynW(job->path, path, MAX_PATH);
    }
    AcquireSRWLockExclusive(&g_handoverLock);
    ++g_conversions;
    ReleaseSRWLockExclusive(&g_handoverLock);
    return job;
}

bool StartHandoverWorker(HandoverJob* job, HandoverBody body) {
    // Default stack; nobody waits for the worker, so its handle goes at once.
    const uintptr_t thread = _beginthreadex(nullptr, 0, body, job, 0, nullptr);
    if (thread == 0) {
        Fail(job, true, GetLastError());
        ReportHandoverFailed(job->use, job->converting, job->error);
        EndHandover(job);
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    return true;
}

void StartHandover(HandoverJob* job) {
    StartHandoverWorker(job, ConvertWorker);
}

void EndConversion(HandoverJob* job) {
    if (job->converted) {
        return;
    }
    job->converted = true;
    AcquireSRWLockExclusive(&g_handoverLock);
    --g_conversions;
    ReleaseSRWLockExclusive(&g_handoverLock);
    WakeAllConditionVariable(&g_conversionEnded);
}

bool WaitForHandovers(DWORD boundMs) {
    const DWORD start = GetTickCount();
    AcquireSRWLockExclusive(&g_handoverLock);
    while (g_conversions > 0) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= boundMs ||
            !SleepConditionVariableSRW(&g_conversionEnded, &g_handoverLock, boundMs - waited, 0)) {
            break;
        }
    }
    const bool done = g_conversions <= 0;
    ReleaseSRWLockExclusive(&g_handoverLock);
    return done;
}

bool ConvertForHandover(HandoverJob* job) {
    job->target = OpenTarget(job);
    if (job->target == INVALID_HANDLE_VALUE) {
        Fail(job, false, GetLastError());
        CloseRecording(job);
        return false;
    }
    // Should the mark not take, an unkept target is still deleted by name.
    job->marked = MarkForDeletion(job->target, true);
    PlayableCopy copy = {};
    const PlayableResult result =
        ConvertToPlayable(job->recording, job->dataBytes, job->target, &copy);
    CloseRecording(job);
    if (result != PlayableResult::kConverted) {
        Fail(job, true, copy.error);
        DropTarget(job);
        return false;
    }
    return true;
}

bool KeepHandedOver(HandoverJob* job) {
    if (job->marked && !MarkForDeletion(job->target, false)) {
        Fail(job, true, GetLastError());
        DropTarget(job);
        return false;
    }
    job->marked = false;
    HANDLE target = job->target;
    job->target = INVALID_HANDLE_VALUE;
    // A close can be where a full disk shows.
    if (!CloseHandle(target)) {
        Fail(job, true, GetLastError());
        DeleteFileW(job->path);
        return false;
    }
    job->kept = true;
    return true;
}

void OpenHandoverMailbox(HWND window) {
    AcquireSRWLockExclusive(&g_handoverLock);
    g_resultWindow = window;
    ReleaseSRWLockExclusive(&g_handoverLock);
}

void CloseHandoverMailbox(HWND window) {
    AcquireSRWLockExclusive(&g_handoverLock);
    if (g_resultWindow == window) {
        g_resultWindow = nullptr;
    }
    ReleaseSRWLockExclusive(&g_handoverLock);
    // Nothing is posted to the window from now on; what was is ended here, unseen.
    const UINT results[] = {kMailNotTaken, kHandoverDone};
    for (const UINT posted : results) {
        MSG message;
        while (PeekMessageW(&message, window, posted, posted, PM_REMOVE)) {
            EndHandover(reinterpret_cast<HandoverJob*>(message.lParam));
        }
    }
}

bool PostToWindow(UINT message, HandoverJob* job) {
    AcquireSRWLockExclusive(&g_handoverLock);
    const bool posted = g_resultWindow != nullptr &&
                        PostMessageW(g_resultWindow, message, 0, reinterpret_cast<LPARAM>(job));
    ReleaseSRWLockExclusive(&g_handoverLock);
    return posted;
}

void FinishHandover(AppState* state, HandoverJob* job) {
    if (!state->leaving) {
        if (job->failed) {
            ReportHandoverFailed(job->use, job->converting, job->error);
        } else if (job->use == HandoverUse::kCopy) {
            // Kept first: the clipboard must never name a file that goes.
            if (!KeepHandedOver(job)) {
                ReportHandoverFailed(job->use, job->converting, job->error);
            } else if (!PlaceFileOnClipboard(state->dialog, job->path)) {
                DeleteFileW(job->path);  // nothing names it
            }
        } else if (job->use == HandoverUse::kSaveAs) {
            RememberSaveFolder(job->path, job->fileOffset);
        }
    }
    EndHandover(job);
}

void EndHandover(HandoverJob* job) {
    CloseRecording(job);
    DropTarget(job);
    EndConversion(job);
    FreeBlock(job);
}

void ReportHandoverFailed(HandoverUse use, bool converting, DWORD error) {
    UINT text = use == HandoverUse::kSaveAs ? IDS_ERROR_SAVE : IDS_ERROR_COPY_FILE;
    if (IsDiskFullError(error)) {
        text = IDS_DISK_FULL_HANDOVER;
    } else if (converting) {
        text = IDS_CONVERT_FAILED;
    }
    const Text caption = LoadText(IDS_CAPTION_ERROR);
    ShowMessageBox(g_mainWindow, LoadText(text).chars,
                   use == HandoverUse::kSaveAs ? caption.chars : nullptr, MB_OK);
}
