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

enum { FTP_BUFFER_SIZE = 260 };
enum { FTP_UPLOAD = 0, FTP_DOWNLOAD = 1 };
enum { WORKER_LIVE = 1, WORKER_FOLDER = 2 };

// An FTP batch (one control connection to one target, with the files to send
// over it) or a file job (one file of a batch, with its data connection).
struct FtpJob {
    FtpJob* next;
    SOCKET socket;        // batch: control connection; file job: listener, then data
    char* localPath;      // 260 bytes
    char* remotePath;     // 260 bytes
    char* userName;       // 260 bytes; restore batches only
    char* password;       // 260 bytes; restore batches only
    char* folderCursor;   // into remotePath while the folder chain is made
    WORD state;           // batch: position in the command sequence
    BYTE direction;       // FTP_UPLOAD or FTP_DOWNLOAD
    BYTE mode;            // WORKER_LIVE or WORKER_FOLDER
    FtpJob* files;        // batch: first file job
    FtpJob* batch;        // file job: its batch
    HANDLE file;          // local file of the data connection, or INVALID_HANDLE_VALUE
    LONG bytesDone;
    DWORD fileSize;
    DWORD targetId;
    HWND progressWindow;
    DWORD lastActivity;   // GetTickCount() of the last reply or data progress
};

// The program's one list of FTP batches. One lock guards the batch links and
// the file-job links of every batch: workers append while the main thread
// walks and removes.
struct BatchList {
    FtpJob* first;
    CRITICAL_SECTION lock;
};

// What a worker thread is started with; the starter allocates it, the worker
// copies it and frees it at once.
struct WorkerStart {
    HANDLE shutdownEvent;  // manual-reset, set when the main window closes
    HANDLE workEvent;      // auto-reset, set after each append to the queue
    HANDLE liveStopEvent;  // live worker only: set by Stop All Transfers
    RequestQueue* queue;
    BatchList* batches;
    HWND mainWindow;
    BYTE mode;             // WORKER_LIVE or WORKER_FOLDER
};

// Queues and batch lists are created empty with their lock, and live until
// freed with everything in them.
RequestQueue* NewRequestQueue(void);
void FreeRequestQueue(RequestQueue* queue);
BatchList* NewBatchList(void);
void FreeBatchList(BatchList* list);

void LockQueue(RequestQueue* queue);
void UnlockQueue(RequestQueue* queue);
void LockBatches(BatchList* list);
void UnlockBatches(BatchList* list);

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
// Resets the event when the queue is empty, deciding under the lock so that
// no append comes between the look and the reset. 1 when it was reset.
int ResetEventWhenEmpty(RequestQueue* queue, HANDLE event);
int CountNodes(const FtpJob* first);
// Appends a new request (kind, windows, abort event) for path and sets the
// work event; 1, or 0 when it could not be allocated.
int QueueRequest(RequestQueue* queue, HANDLE workEvent, const char* path, BYTE kind,
                 HWND mainWindow, HWND progressWindow, HANDLE abortEvent);

// FTP batches and file jobs.
FtpJob* NewFtpJob(const char* path, DWORD targetId);
void FreeFtpJob(FtpJob* job);
// Appends a batch to the list, or a file job to a batch's files (locks).
int AppendNode(BatchList* list, FtpJob* batch);
int AppendFileJob(BatchList* list, FtpJob* batch, FtpJob* job);
// Depth-first over batches and their file jobs: a record matches when the
// local path of the first file job of its files equals path (exact), or its
// socket equals socket, or its progress window equals window; NULL, 0 and
// INVALID_SOCKET arguments take no part. Caller holds the lock.
FtpJob* FindFtpJob(FtpJob* first, SOCKET socket, HWND window, const char* path);
// The same with the lock taken, starting at the list's first batch.
FtpJob* FindFtpJobLocked(BatchList* list, SOCKET socket, HWND window, const char* path);
// Unlinks job from the batch list (a batch) or from its batch's files (a file
// job) and frees it (closing its file, not its socket). 1, or 0 when not found.
int RemoveFtpJob(BatchList* list, FtpJob* job);
// Frees every record of a list of jobs and, first, the file jobs of each.
void FreeFtpJobs(FtpJob* first);
// Empties a batch list, freeing every batch with its file jobs.
void ClearBatches(BatchList* list);
