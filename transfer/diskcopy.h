// Copies to disk/network targets: target names, backup names and the copy itself.
#pragma once
#include <windows.h>

#include "transfer/queue.h"

enum {
    DISK_COPY_BLOCK = 65536,
    BACKUP_STAMP_SIZE = 80,
};

// Copies request->path to the disk target targetId of its item. The copy is
// written beside the stored copy and replaces it only once complete (append
// storage cuts a failed append back), so a stored copy is never lost.
// Returns 1 when copied, when stopped by the request's abort event or the
// worker's shutdown event, and when the source no longer exists; only a
// finished copy gives its target path back in targetPath (260 bytes), which is
// empty otherwise. Other results: 2, 6, 7 (read or write failed), 8, 11, 12.
int CopyToDiskTarget(const TransferRequest* request, const WorkerStart* start, DWORD targetId,
                     char* targetPath);

// The path with " <stamp>" inserted before its extension (out: 260 bytes).
// 1, or 0 for a missing argument, no stamp, or a result that does not fit.
int MakeBackupName(const char* path, char* out);
// "<short date> <time>" with '/' as '-' and ':' as ' ' (out: BACKUP_STAMP_SIZE).
int MakeBackupStamp(char* out);

// Where the stamp takes its time from; tests set a fixed clock. NULL restores
// the local time. Returns the previous clock.
typedef void (*BackupClock)(SYSTEMTIME* now);
BackupClock SetBackupClock(BackupClock clock);

// Text after the last '\' or '/'; the whole path when there is none.
const char* FileNamePart(const char* path);
// 1 when the last character is '\' or '/'.
int EndsWithSeparator(const char* path);

// Pure helpers of the above, taking every input as an argument.

// Joins the formatted date and time into a stamp (trailing blanks of the time
// dropped, '/' to '-', ':' to ' '). 1, or 0 when it does not fit size.
int FormatBackupStamp(const char* date, const char* time, char* out, int size);
// Inserts " <stamp>" before the extension of the file name: a '.' among the
// last four characters that lies in the name, not in a folder. 1, or 0 when
// the result does not fit size.
int InsertBackupStamp(const char* path, const char* stamp, char* out, int size);
// The stored copy's path for a file: path is the changed file, nameSource the
// path or its backup name, keyName the covering item's key name, folder the
// target's folder. A file below a folder item keeps its place under the item;
// a single-file item's copy goes straight into the folder. 1, or 0 when the
// arguments do not fit together or the result does not fit size.
int MakeDiskTargetPath(const char* path, const char* nameSource, const char* keyName,
                       const char* folder, char* out, int size);
// Lengths of the folders to create, outermost first, for a file path: every
// prefix that ends just before a separator, after the first separator (after
// the leading "\\" of a network name). Returns how many were written to ends.
int FolderChainPrefixes(const char* filePath, int* ends, int maxEnds);
