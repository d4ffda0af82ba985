// The worker threads that serve request queues.
#pragma once

#include "store/store.h"
#include "transfer/queue.h"

// Thread procedure (for _beginthread): start is a heap WorkerStart that the
// worker copies and frees at once. The live worker (mode 1) runs until the
// process ends; a folder worker (mode 2) ends when its queue is empty.
void __cdecl TransferWorker(void* start);

// A file whose name the system's code page cannot show (IsUnshowablePath):
// the ANSI functions cannot open it, so it is not copied anywhere. Writes
// "Cannot transfer file %s, its name has characters outside the system's
// code page" to the error log and reports ERR_NAME_NOT_SHOWN with the path to
// mainWindow (an error window, unless they are switched off). Any thread.
void ReportUnshowableName(HWND mainWindow, const char* path);

// Whether a file of size bytes may go to the item's targets of kind: the
// file size limit (kilobytes, 0 for none) keeps larger files from disk
// targets; FTP targets take every file. Pure.
bool FitsSizeLimit(const ItemSettings* settings, BYTE kind, ULONGLONG size);
