// Copies of the voice file as it is at one moment, for Send and Copy: the mail program or the
// desktop may read them long after, when the voice file already holds a new recording or is
// gone. Each copy stays until a later copy or start-up finds it more than a day old.
#pragma once
#include <windows.h>

// Copies the voice file `from` to `to` byte for byte. `disposition` as for CreateFileW: CREATE_NEW
// fails on a name that is taken (last error ERROR_FILE_EXISTS), CREATE_ALWAYS replaces. A copy that
// fails after `to` was opened removes it, so nothing half-written stays.
bool CopyWholeFile(const WCHAR* from, const WCHAR* to, DWORD disposition);

// Copies the voice file to %TEMP%\Kestrune\<name>, or <name> with "-2", "-3" ... before its
// extension when that name is taken, after removing the old copies. False when no copy could
// be made; nothing is left behind then.
bool MakeSnapshot(const WCHAR* voicePath, const WCHAR* name, WCHAR (&snapshot)[MAX_PATH]);

// Deletes the copies in %TEMP%\Kestrune that were last written more than a day ago.
void RemoveOldSnapshots();

// "Failed to copy temporary file", owned by the main window like the voice file's own errors.
void ReportSnapshotFailed();
