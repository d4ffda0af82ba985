// The stored versions: per (target, file) the size and last-write time of the version last
// stored there, and which targets have their record started; kept in memory and in a
// crash-safe file beside the logs, for the catch-up at start.
#pragma once
#include <windows.h>

#include <functional>

#include "store/layout.h"

#define TK_STORED_FILE "storedstate.dat"

// A file's version as its folder listing gives it.
struct FileVersion {
    ULONGLONG size;
    ULONGLONG lastWrite;  // FILETIME (UTC)
};

struct StoredState;

// Reads the record from file (a full path; NULL or "" keeps it in memory only); a damaged or
// wasteful file is compacted at once. NULL only when memory runs out.
StoredState* OpenStoredState(const char* file);
// Writes out what is buffered and frees the record. No other call may run meanwhile.
void CloseStoredState(StoredState* state);

// Size and last-write time of path from FindFirstFile, so the file is never opened (a file
// another program holds without sharing still answers). 1 for a file, 0 otherwise.
int ReadFileVersion(const char* path, FileVersion* out);

// Records the version that a copy of path to target (kind, id) sent; itemLength is the length
// of the covering item's key name. Written to the file at once but not flushed: an update
// lost to a power cut makes the catch-up send the file once more, nothing worse. 0 for a
// path or target the record cannot hold, or when memory runs out. Any thread.
int RecordStoredVersion(StoredState* state, const char* path, BYTE kind, DWORD id, WORD itemLength,
                        const FileVersion& version);

// 1 with the version in *out when one is recorded for (path, kind, id) under the item of
// itemLength; a version recorded under another item does not count.
int FindStoredVersion(StoredState* state, const char* path, BYTE kind, DWORD id, WORD itemLength,
                      FileVersion* out);

// One file's comparison for the catch-up.
struct VersionCheck {
    const char* path;
    WORD itemLength;
    FileVersion version;
    BYTE kind;
    DWORD id;
    bool changed;  // out: no version recorded for this item, or another one
};

// Compares a chunk of files under one hold of the lock, marking each entry met as seen. With
// record set, each version found is recorded instead (and none counts as changed): the first
// look at a target. Any thread; meant for a worker, in chunks of some hundred files.
void CheckStoredVersions(StoredState* state, VersionCheck* checks, size_t count, bool record);

// Whether the record of target (kind, id) of the item at itemPath has been started, marking
// it seen; and starting it (written and flushed at once).
int IsTargetRecorded(StoredState* state, const char* itemPath, BYTE kind, DWORD id);
int MarkTargetRecorded(StoredState* state, const char* itemPath, BYTE kind, DWORD id);

// Forgetting what is gone: BeginStoredSweep clears every seen mark; after the catch-up has
// looked at everything, ForgetUnseen removes each version and each started target not seen
// since, except those of items for which keepItem(item key, length) says true (an item that
// could not be looked at whole, such as a share that is offline).
void BeginStoredSweep(StoredState* state);
void ForgetUnseen(StoredState* state, const std::function<bool(const char*, size_t)>& keepItem);

// Versions held (for tests and the benchmark).
size_t CountStoredVersions(StoredState* state);
