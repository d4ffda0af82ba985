// Whole-folder transfers on request, with their progress windows.
#pragma once
#include <windows.h>

#include "transfer/queue.h"

// The parameter block of one folder transfer, built by the main window.
struct FolderTransfer {
    const char* folder;  // the folder item's path, ending with '\'
    HWND mainWindow;
    HWND progressWindow;
    int includeSubfolders;
    BatchList* batches;
    HANDLE shutdownEvent;
    RequestQueue* queue;  // created by StartFolderTransfer
};

// Runs on the main window's thread: clears the disk targets when the item
// asks for it and starts a folder worker on a new queue, which from then on
// owns the queue, its work event and the walk (BeginFolderWalk). 1 when the
// transfer was started, else 0.
int StartFolderTransfer(FolderTransfer* block);

// The number of files the transfer queues for folder: every file, depth
// first, entering subfolders only when includeSubfolders is set and never
// those whose names begin with '.', leaving out paths of 260 characters or
// more, and with the files whose names the code page cannot show (which
// count as done at once); -1 when folder itself cannot be listed.
int CountFolderFiles(const char* folder, int includeSubfolders);

// Deletes every file and subfolder inside folder, which stays. Only full
// paths (drive or UNC) are accepted. 1 when the folder could be listed,
// else 0; failures of single deletions are not detected.
int DeleteFolderContents(const char* folder);

// Files the walk queues at a time: the queue holds no more than this many
// files ahead of the worker, whatever the size of the folder.
enum { FOLDER_WALK_CHUNK = 256, FOLDER_WALK_ALL = 0x7FFFFFFF };

// Folder worker only, first: counts the folder, announces the totals to the
// progress window, and queues the first FOLDER_WALK_CHUNK files. Returns how
// many; 0 when there is nothing to serve (the folder cannot be listed, which
// sends no totals, or holds no file).
int BeginFolderWalk(FolderWalk* walk, RequestQueue* queue);
// Folder worker only. Queues up to files more files of the walk (disk request,
// then FTP request, each carrying its half's stop event; a stopped half gets
// none) and returns how many; 0 once the walk is done. A file or folder whose
// name the code page cannot show is reported (ReportUnshowableName) instead;
// such a file counts among the files, as done on each half. When it ends with
// another number of files than the totals announced, the totals are sent
// again, so that the window's bars can still fill.
int ContinueFolderWalk(FolderWalk* walk, RequestQueue* queue, int files);
// Frees the walk with the worker that owns it; NULL is ignored.
void EndFolderWalk(FolderWalk* walk);

// The progress window TRANSFERDIRECTORY for a folder path (modeless, visible).
HWND CreateProgressWindow(HWND owner, const char* folder);

// The main window's answers to UM_STOPTRANSFER, for the progress window that
// asked. The disk half (wParam 2): no further disk copy of the transfer
// starts and the one under way ends at its next look at its events; the
// status line says "Hard Drive/Network Transfer Stopped". The FTP half
// (wParam 1): the transfer's FTP requests are no longer handed to batches
// (the batches already running are the FTP client's to stop).
void StopDiskHalf(HWND mainWindow, HWND progressWindow);
void StopFtpHalf(HWND progressWindow);

// Progress windows open now; they cascade by this count.
int OpenProgressWindowCount(void);

// The stop switches of one folder transfer, one manual-reset event per half,
// made by its progress window (or by the transfer, when it has none). The
// window, the transfer's walk and the requests share them; they are closed
// when the last holder lets go.
struct FolderStops {
    volatile LONG holders;
    HANDLE disk;
    HANDLE ftp;
};
// A new record with one holder, or NULL when out of memory or handles.
FolderStops* NewFolderStops(void);
void HoldFolderStops(FolderStops* stops);
void ReleaseFolderStops(FolderStops* stops);
// The record a progress window keeps (NULL for any other window).
FolderStops* ProgressWindowStops(HWND progressWindow);
