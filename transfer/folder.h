// Whole-folder transfers on request, with their progress windows.
#pragma once
#include <windows.h>

#include "transfer/queue.h"

// The parameter block of one folder transfer, built by the main window.
struct FolderTransfer {
    const char* folder;      // the folder item's path, ending with '\'
    HWND mainWindow;
    HWND progressWindow;
    int includeSubfolders;
    BatchList* batches;
    HANDLE shutdownEvent;
    RequestQueue* queue;     // created by StartFolderTransfer
};

// Runs on the main window's thread: clears the disk targets when the item
// asks for it, announces the totals to the progress window, queues every file
// and starts a folder worker on the queue, which from then on owns the queue
// and its work event. 1 when the transfer was started (or there was nothing
// to do), else 0.
int StartFolderTransfer(FolderTransfer* block);

// Queues two requests (disk, then FTP) for every file of block->folder, depth
// first in listing order, entering subfolders only when includeSubfolders is
// set and never those whose names begin with '.'. abortEvent NULL makes a new
// manual-reset abort event, which ends up in the progress window's user data
// once something is queued. 1, or 0 when the folder cannot be listed.
int WalkFolder(FolderTransfer* block, HANDLE abortEvent);

// The number of files WalkFolder queues for folder under the same subfolder
// rules (a subfolder that cannot be listed adds nothing), or -1 when folder
// itself cannot be listed.
int CountFolderFiles(const char* folder, int includeSubfolders);

// Deletes every file and subfolder inside folder, which stays. Only full
// paths (drive or UNC) are accepted. 1 when the folder could be listed,
// else 0; failures of single deletions are not detected.
int DeleteFolderContents(const char* folder);

// The progress window TRANSFERDIRECTORY for a folder path (modeless, visible).
HWND CreateProgressWindow(HWND owner, const char* folder);

// The main window's answer to UM_STOPTRANSFER with wParam 2: sets the abort
// event kept in the progress window's user data (when the walk has stored one)
// and shows "Hard Drive/Network Transfer Stopped" in the status line.
void StopDiskHalf(HWND progressWindow);

// Progress windows open now; they cascade by this count.
int OpenProgressWindowCount(void);
