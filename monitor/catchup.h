// The catch-up at start: every monitored item's files compared with what was last stored for
// them, so that changes made while the program was not running are sent as live ones would be.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "store/storedstate.h"
#include "store/store.h"
#include "transfer/queue.h"

// A file that changed or appeared since it was last stored, and the kinds of target it is due
// for (a bit per kind: 1 << KIND_FTP, 1 << KIND_HD).
struct CatchUpChange {
    std::string path;
    BYTE kinds;
};

// Whether a file of size bytes may go to the item's targets of kind (the disk targets' size
// limit, say); NULL takes every file. Runs on the scanning thread.
typedef bool (*CatchUpSizeFilter)(const ItemSettings* settings, BYTE kind, ULONGLONG size);

struct CatchUpOptions {
    const char* onlyItem;  // NULL for every monitored item, else the path of one item
    CatchUpSizeFilter sizeFilter;
};

struct CatchUpScan;

// Starts a scan; nothing is read until ContinueCatchUp. NULL when memory runs out.
CatchUpScan* BeginCatchUp(StoredState* state, const CatchUpOptions& options);

// Looks at up to budget folder entries (at least one) and appends the changes found. Each file
// is compared, by size and last-write time from its folder listing, with the version last
// stored for each target of its item whose kind is switched on; the item's temporary-file,
// installation-folder and subfolder rules apply as in the intake. A target whose record was
// never started (the first start with the catch-up on, an item or target added since) gets
// it started instead: its files are recorded as they are and none counts as changed. Returns 1
// while work remains, 0 when done. The lock of the stored state is held once per call.
int ContinueCatchUp(CatchUpScan* scan, unsigned budget, std::vector<CatchUpChange>* changes);

// Frees the scan. One over every item that ran to its end also forgets the versions and
// targets it no longer met, except those of items it could not look at whole.
void EndCatchUp(CatchUpScan* scan);

// What CatchUpThread needs; the starter allocates it (calloc), the thread frees it.
struct CatchUpStart {
    StoredState* state;
    RequestQueue* queue;  // the live queue
    HANDLE workEvent;     // the live worker's
    HANDLE liveStopEvent;
    HANDLE shutdownEvent;
    HWND mainWindow;
    CatchUpSizeFilter sizeFilter;
    char onlyItem[TK_PATH_SIZE];  // "" for every item
};

// Thread procedure (_beginthreadex): runs a scan below normal priority and queues each change
// as the intake queues a live one (disk request, then FTP request, with the live-stop event),
// a chunk at a time and only while the live queue is short, so that the worker sets the pace
// and the window never waits. Ends when done or at shutdown; does nothing while monitoring is
// switched off.
unsigned __stdcall CatchUpThread(void* start);
