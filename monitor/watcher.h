// The built-in monitor's folder watcher: one thread that watches folders with
// ReadDirectoryChangesW and reports changed files.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

struct Watcher;

// Called on the watcher's thread with the full path of a changed file, in the
// code page, '?' standing for each character it cannot show.
typedef void (*ChangeReporter)(const char* path);

// Starts the thread; NULL when it cannot be started.
Watcher* StartWatcher(ChangeReporter report);
// Hands over a new list of watched paths (folders end with '\'; a path that
// is a file watches just that file; any case, long or 8.3 form). Returns at
// once; the thread applies the latest list when it next wakes.
void SetWatcherPaths(Watcher* watcher, const std::vector<std::string>& paths);
// Waits until the thread has applied the latest list; FALSE on time-out.
BOOL WaitWatcherReady(Watcher* watcher, DWORD timeoutMs);
// Ends the thread, closes every watch and frees the watcher.
void StopWatcher(Watcher* watcher);
// Size of the notification buffer of watches opened from now on (tests use a
// tiny one to provoke lost bursts).
void SetWatchBufferSize(DWORD bytes);

// Names in the order of their upper-case forms, equal when those are.
struct UpperCaseLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// What a folder looked like when last scanned: name as found -> stamp. The
// name is looked up without case, so any case of it finds the entry, and it
// is kept once (a watched tree of 100,000 files held 7.7 MiB of second copies).
struct FileStamp {
    FILETIME written;
    ULONGLONG size;
    bool folder;
};
typedef std::map<std::wstring, FileStamp, UpperCaseLess> FolderSnapshot;

// Compares a fresh scan with the previous one: files that are new or whose
// write time or size changed go to changedFiles (their names as found), new
// subfolders to newFolders, vanished subfolders (upper case) to goneFolders.
void CompareSnapshots(const FolderSnapshot& before, const FolderSnapshot& now,
                      std::vector<std::wstring>* changedFiles,
                      std::vector<std::wstring>* newFolders,
                      std::vector<std::wstring>* goneFolders);

std::string UpperText(const std::string& text);
