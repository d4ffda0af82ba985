// Copies to disk/network targets: target names, backup names and the copy itself.
#pragma once
#include <windows.h>

#include "store/layout.h"
#include "transfer/queue.h"

enum {
    DISK_COPY_BLOCK = 65536,
    // Blocks of a large file grow up to this while each takes under 2 ms.
    DISK_COPY_LARGEST_BLOCK = 1024 * 1024,
    BACKUP_STAMP_SIZE = 80,
    // The stop events are looked at no more often than this while bytes flow:
    // each look is a call into the system, and a block takes far less time.
    DISK_STOP_POLL_MS = 20,
    // Copies done are told to the progress window at most this often.
    DISK_DONE_POST_MS = 20,
};

// Disk copies a progress window has not been told of yet. They go in one
// UM_DISKFILEDONE (wParam: how many) at most every DISK_DONE_POST_MS, and
// always before anything else is said to the window, which so hears all in
// the order it happened; each message is painted, and small files go by far
// faster than a window can paint.
struct DoneCount {
    HWND window;
    WPARAM files;
    DWORD postedAt;
};
// Counts one copy done for window (posted when due).
void CountFileDone(DoneCount* done, HWND window);
// Posts what is counted, if anything; NULL is ignored.
void PostFilesDone(DoneCount* done);

// One copy of a request's file to one disk target whose settings are at hand.
struct DiskCopy {
    const TransferRequest* request;  // its path, progress window and abort event
    HANDLE shutdownEvent;            // the worker's, or NULL
    const char* keyName;             // the covering item's key name (OpenItemKey)
    const char* folder;              // the target's folder
    BYTE storageType;                // the target's storage type
    // In and out: the progress window does not show the file's path yet.
    // A copy that runs DISK_STOP_POLL_MS or longer shows it and clears this.
    bool showPath;
    // In: the caller has just looked at the abort and shutdown events, so the
    // copy does not look again before its first block.
    bool stopsLooked;
    // In and out: the percentage the progress window's file bar shows, -1
    // when not known. A percentage it shows already is not posted again.
    int shownPercent;
    // Copies done that the progress window does not know of yet: told before
    // the copy says anything to the window (NULL when none are kept).
    DoneCount* done;
    // Out: the stored copy's path once the copy finished, "" otherwise.
    char targetPath[TK_PATH_SIZE];
    // Out: what a failure is reported with: the key name, or for a target
    // folder that cannot be used the target path (the item's path when the
    // folder is empty).
    char subject[TK_PATH_SIZE];
    // Out: the system's error of a failure when one is known, else 0; a
    // name that cannot fit is ERROR_FILENAME_EXCED_RANGE.
    DWORD systemError;
    // Out: the source has gone since its change was seen (result 1).
    bool gone;
};

// Copies copy->request->path under the target's storage type. The copy is
// written beside the stored copy and replaces it only once complete (append
// storage cuts a failed append back), so a stored copy is never lost.
// Returns 1 when copied, when stopped by the request's abort event or the
// worker's shutdown event, and when the source no longer exists. Other
// results: 7 (a target folder that is not a full drive or network path, or
// a read or write that failed), 8, 11, 12.
int CopyToDiskFolder(DiskCopy* copy);

// A source that could not be opened because it has gone since its change was
// seen (error: GetLastError() of the open) needs no copy on any target, disk
// or FTP, and no report: one backup-log line names it, and true comes back.
// False for any other error.
bool NoteVanishedSource(const char* path, DWORD error);

// The same for the disk target targetId of the request's item, whose settings
// it loads. Only a finished copy gives its target path back in targetPath
// (260 bytes), which is empty otherwise. Results as above, and 2 when the
// item or the target is not found, 6 for a missing argument.
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

// 1 for a path of a drive ("C:\...") or a network share ("\\server\..."): a
// relative or empty folder would put files into the current folder or drive.
int IsFullFolderPath(const char* path);
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
// The temporary file a copy is written to before it replaces the stored copy:
// "tk<4 hex digits>.tmp" in the stored copy's folder. 1, or 0 when it does not
// fit size.
int MakeTempCopyName(const char* targetPath, unsigned number, char* out, int size);
// Percentage of done bytes of size, 0 to 100, for sizes of any width.
int CopyPercent(ULONGLONG done, ULONGLONG size);
