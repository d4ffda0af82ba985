// What comes of each copy to one target: a stored copy records the version it sent and ends
// any wait to be retried; a failure that may pass waits to be retried. Disk copies, FTP uploads
// and folder transfers all tell it here, from any thread.
#pragma once
#include <windows.h>

#include "store/storedstate.h"
#include "transfer/retry.h"

// Where outcomes go: the retry schedule (NULL while retrying is off: failures are only
// reported) and the stored versions (NULL while nothing records them). Set by the main window
// before the workers start and whenever the user switches retrying on or off.
void SetCopyOutcomes(RetrySchedule* retries, StoredState* stored);
RetrySchedule* ActiveRetries(void);
// Whether a copy should read its source's version (ReadFileVersion) before it starts.
bool RecordsVersions(void);

// A copy of path went through to target (kind, id), named name (its folder or its server) in
// the log; itemLength is the length of the covering item's key name, version the source as
// read before the copy (NULL when not read). The version is recorded, and a copy that had
// waited to be retried leaves the list with a backup-log line that says how long it waited.
void NoteCopyStored(const char* path, BYTE kind, DWORD id, WORD itemLength, const char* name,
                    const FileVersion* version);

// A copy failed with code (systemError: the system's error when known). True when the user is
// to hear of it: always while retrying is off, else for the first failure of that copy and one
// of another kind than the last.
bool NoteCopyFailed(const char* path, BYTE kind, DWORD id, WORD itemLength, int code,
                    DWORD systemError);
// The same for the files of an FTP batch that failed together, written to disk once; true
// when the user is to hear of any of them (for no files: while retrying is off).
bool NoteCopiesFailed(CopyFailure* failures, size_t count);

// The file has gone: its copy waiting for target (kind, id), if any, leaves the list with a
// backup-log line naming the target's name.
void NoteSourceGone(const char* path, BYTE kind, DWORD id, const char* name);
// A retried copy that can no longer be made (its item or target is gone or switched off, or
// the file is over the target's size limit) leaves the list without a word.
void ForgetPendingCopy(const char* path, BYTE kind, DWORD id);

// "1 h 05 min", "3 min 20 s", "45 s": how long a copy waited. Pure.
void FormatWaitTime(ULONGLONG seconds, char* out, size_t size);
