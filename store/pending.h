// The pending copies: each (file, target) whose copy failed for a reason that may pass, kept
// in memory and in a crash-safe file beside the logs until the copy goes through.
#pragma once
#include <windows.h>

#include <functional>

#include "store/layout.h"

#define TK_PENDING_FILE "pendingcopies.dat"

// What is known of one pending copy. The first four fields are kept on disk; dueTick and
// takenTick belong to this run only and start at 0 when the list is read.
struct PendingState {
    ULONGLONG firstFailure;  // FILETIME (UTC) of the first failure
    int code;                // error code of the last failure
    DWORD attempts;          // failed attempts, the first one included
    WORD itemLength;         // length of the covering item's key name: the item is the path's
                             // first itemLength characters
    BYTE scope;              // the failure's class (transfer/retry.h), kept with its code
    DWORD dueTick;           // GetTickCount value before which the file itself does not retry
    DWORD takenTick;         // when a retry was handed out and has not ended; 0 when none
};

// One pending copy as the list hands it to a visitor (valid during the call only).
struct PendingEntry {
    const char* path;
    size_t length;
    BYTE kind;  // KIND_FTP or KIND_HD
    DWORD targetId;
    PendingState* state;
};

struct PendingList;

// Reads the list from file (a full path; NULL or "" keeps it in memory only). A damaged or
// wasteful file is compacted at once. NULL only when memory runs out. Any thread, once.
PendingList* OpenPendingList(const char* file);
// Writes out what is buffered and frees the list. No other call may run meanwhile.
void ClosePendingList(PendingList* list);

// Full path of one of the state files in the installation folder; 0 when installdir is
// unknown or the path would not fit.
int GetStateFilePath(const char* name, char* out, DWORD size);

// Results of NotePendingFailure.
enum { PENDING_NEW = 1, PENDING_CHANGED = 2, PENDING_REPEATED = 3, PENDING_NOT_KEPT = 0 };

// One failed copy of path to target (kind, id), for NotePendingFailures.
struct PendingFailure {
    const char* path;
    BYTE kind;
    DWORD id;
    WORD itemLength;
    int code;
    BYTE scope;
    DWORD dueTick;
    int result;  // out: PENDING_NEW, PENDING_CHANGED, PENDING_REPEATED or PENDING_NOT_KEPT
};

// Records failures: each makes a new entry (PENDING_NEW), or meets one whose last code was
// another (PENDING_CHANGED) or the same (PENDING_REPEATED). attempts counts up and the entry
// takes code, scope and dueTick, while firstFailure stays the time of the first failure
// (now, a FILETIME, for a new entry). New and changed entries are written with one write and
// one flush, on disk before this returns; a repeat changes nothing a restart needs. A path
// the list cannot hold (empty, 260 characters or more, an item length beyond it) or a lack of
// memory gives PENDING_NOT_KEPT.
void NotePendingFailures(PendingList* list, PendingFailure* failures, size_t count, ULONGLONG now);

// Removes the entry of (path, kind, id); 1 when there was one, its state then copied to *was
// (may be NULL). Written to disk at once.
int RemovePendingCopy(PendingList* list, const char* path, BYTE kind, DWORD id, PendingState* was);

// 1 with the entry's state in *out when (path, kind, id) is pending.
int FindPendingCopy(PendingList* list, const char* path, BYTE kind, DWORD id, PendingState* out);

// Calls visit for every entry, in no particular order, holding the list's lock: the visitor
// may change the state's dueTick and takenTick, returns false to have the entry removed (the
// removal is written to disk), and must not call into the list.
void ForEachPendingCopy(PendingList* list, const std::function<bool(PendingEntry&)>& visit);

// Number of entries; reads no lock, for the status line.
long CountPendingCopies(const PendingList* list);

// 0 when the file could not be opened or a write to it failed since it was last written whole
// (a full disk, say): what is pending then lives in memory only. 1 otherwise, and for a list
// kept in memory by choice.
int IsPendingFileHealthy(PendingList* list);
