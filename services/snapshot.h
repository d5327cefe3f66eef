// The copies that Send and Copy hand over, in %TEMP%\Kestrune: the mail program or the desktop
// may read them long after, when the voice file already holds a new recording or is gone. Each
// stays until a later Send, Copy or start-up finds it more than a day old.
#pragma once
#include <windows.h>

// %TEMP%\Kestrune, made when missing, without a trailing backslash. False when it cannot be.
bool MakeSnapshotFolder(WCHAR (&folder)[MAX_PATH]);

// Creates %TEMP%\Kestrune\<name>, or <name> with "-2", "-3" ... before its extension when that
// name is taken, after removing the old copies: open for writing and deletion, shared with
// nobody, its place in `path`. INVALID_HANDLE_VALUE, with the system's last error, when none
// could be made.
HANDLE CreateSnapshot(const WCHAR* name, WCHAR (&path)[MAX_PATH]);

// Copies the rest of `from` to `to`, from where each stands; false when a read or write failed,
// with the system's last error.
bool CopyFileBytes(HANDLE from, HANDLE to);

// Copies the voice file `from` to `to` byte for byte. `disposition` as for CreateFileW. A copy
// that fails after `to` was opened removes it, so nothing half-written stays; the system's last
// error then says why it failed.
bool CopyWholeFile(const WCHAR* from, const WCHAR* to, DWORD disposition);

// Deletes the copies in %TEMP%\Kestrune that were last written more than a day ago.
void RemoveOldSnapshots();
