// Transfer requests, FTP batches and file jobs, worker start records, and the lists that hold them.
#pragma once
#include <windows.h>
#include <winsock2.h>

// One file to be sent to the targets of one kind; a node of a request queue.
struct TransferRequest {
    TransferRequest* next;
    HWND mainWindow;      // receives error reports; notification window of FTP sockets
    HWND progressWindow;  // folder-transfer progress window, or NULL for live requests
    HANDLE abortEvent;    // manual-reset; NULL for "Synchronize" of a single file
    BYTE kind;            // KIND_FTP or KIND_HD
    char* path;           // full local path, heap, exactly its length + 1
    // 0: every target of the kind. Otherwise the one target with this id: a
    // copy retried after it failed there, which the other targets have.
    DWORD targetId;
};

struct FolderWalk;

// A request queue: the head cell with its lock. The lock is held only while
// links are read or changed, never while a window message is sent.
struct RequestQueue {
    TransferRequest* first;
    CRITICAL_SECTION lock;
    // A folder transfer's queue: the rest of its folder, which its worker
    // queues as it goes and ends with itself. NULL for the live queue.
    FolderWalk* walk;
};

enum { WORKER_LIVE = 1, WORKER_FOLDER = 2 };

// The program's list of FTP batches (transfer/ftp/ftpbatch.h).
struct BatchList;

// What a worker thread is started with; the starter allocates it, the worker
// copies it and frees it at once.
struct WorkerStart {
    HANDLE shutdownEvent;  // manual-reset, set when the main window closes
    HANDLE workEvent;      // auto-reset, set after each append to the queue
    HANDLE liveStopEvent;  // live worker only: set by Stop All Transfers
    RequestQueue* queue;
    BatchList* batches;
    HWND mainWindow;
    BYTE mode;  // WORKER_LIVE or WORKER_FOLDER
};

// Queues are created empty with their lock, and live until freed with
// everything in them.
RequestQueue* NewRequestQueue(void);
void FreeRequestQueue(RequestQueue* queue);

void LockQueue(RequestQueue* queue);
void UnlockQueue(RequestQueue* queue);

// Requests. NewRequest returns a zeroed request with a copy of path, or NULL.
TransferRequest* NewRequest(const char* path);
void FreeRequest(TransferRequest* request);
// Appends at the tail (locks). 1, or 0 for a missing argument.
int AppendNode(RequestQueue* queue, TransferRequest* request);
// Unlinks *node from the queue and frees it; when it was the first, *node
// becomes NULL too. 1, or 0 when missing or not found. Caller holds no lock.
int RemoveRequest(RequestQueue* queue, TransferRequest** node);
// Removes and frees every request; returns how many there were.
int ClearRequests(RequestQueue* queue);
int CountNodes(const TransferRequest* first);
// The requests on the queue, counted under the lock up to limit + 1: enough to tell a queue
// that is longer than limit without walking all of it.
int CountQueuedRequests(RequestQueue* queue, int limit);
// The links, read under the lock. Only the owning worker removes requests, so
// a request it holds stays valid without the lock; others only append.
TransferRequest* FirstRequest(RequestQueue* queue);
TransferRequest* NextRequest(RequestQueue* queue, const TransferRequest* request);
// Appends a chain of requests (linked through next, the last one's next
// NULL) in one locked step; 1, or 0 for a missing argument.
int AppendRequests(RequestQueue* queue, TransferRequest* first);
// Unlinks and frees every request of the kind that carries the event;
// returns how many went.
int RemoveRequests(RequestQueue* queue, BYTE kind, HANDLE event);
// Unlinks and frees the count requests listed (all of this queue) in one pass.
int RemoveListedRequests(RequestQueue* queue, TransferRequest* const* requests, size_t count);
// Unlinks and frees every request for one target only (retried copies);
// returns how many went.
int RemoveRetriedRequests(RequestQueue* queue);
// Resets the event when the queue is empty, deciding under the lock so that
// no append comes between the look and the reset. 1 when it was reset.
int ResetEventWhenEmpty(RequestQueue* queue, HANDLE event);
// Appends a new request (kind, windows, abort event) for path and sets the
// work event; 1, or 0 when it could not be allocated.
int QueueRequest(RequestQueue* queue, HANDLE workEvent, const char* path, BYTE kind,
                 HWND mainWindow, HWND progressWindow, HANDLE abortEvent);
