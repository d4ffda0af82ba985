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

// 1 when the transfer was started (or there was nothing to do), else 0.
int StartFolderTransfer(FolderTransfer* block);

// The progress window TRANSFERDIRECTORY for a folder path (modeless).
HWND CreateProgressWindow(HWND owner, const char* folder);
