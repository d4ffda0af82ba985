// The worker threads: each serves its request queue, copying to disk targets
// itself and handing FTP targets to batches that run on the main thread.
#include "transfer/worker.h"

#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "store/store.h"
#include "transfer/diskcopy.h"
#include "transfer/ftp.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

namespace {

bool IsSet(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Only the owning worker removes requests; other threads only append. So a
// request the worker holds stays valid without the lock, and only the links,
// which an append changes at the tail, are read under it.
TransferRequest* FirstRequest(RequestQueue* queue)
{
    LockQueue(queue);
    TransferRequest* first = queue->first;
    UnlockQueue(queue);
    return first;
}

TransferRequest* NextRequest(RequestQueue* queue, TransferRequest* request)
{
    LockQueue(queue);
    TransferRequest* next = request->next;
    UnlockQueue(queue);
    return next;
}

void SendReport(HWND window, int code, const char* subject)
{
    ErrorReport report;
    FillErrorReport(&report, code, subject);
    if (window)
        SendMessageA(window, UM_REPORTERROR, 0, reinterpret_cast<LPARAM>(&report));
}

// Unlinks every disk request that carries the event (the head among them)
// and frees them outside the lock.
void DropStoppedDiskRequests(RequestQueue* queue, HANDLE event)
{
    TransferRequest* dropped = NULL;
    LockQueue(queue);
    TransferRequest** link = &queue->first;
    while (*link) {
        TransferRequest* r = *link;
        if (r->kind == KIND_HD && r->abortEvent == event) {
            *link = r->next;
            r->next = dropped;
            dropped = r;
        } else {
            link = &r->next;
        }
    }
    UnlockQueue(queue);
    while (dropped) {
        TransferRequest* next = dropped->next;
        FreeRequest(dropped);
        dropped = next;
    }
}

// Copies the head request to each disk target in list order. Returns true
// when the head left the queue because the user stopped its transfer.
bool ServeDiskTargets(const WorkerStart& worker, TransferRequest* head, ItemSettings* settings)
{
    char keyName[TK_PATH_SIZE];
    if (!OpenItemKey(head->path, keyName, NULL))
        lstrcpynA(keyName, head->path, sizeof keyName);
    DWORD count = settings->switches->hdCount;
    for (DWORD i = 0; i < count && i < settings->hdSlots; ++i) {
        if (IsSet(head->abortEvent)) {
            ResetEvent(head->abortEvent);
            DropStoppedDiskRequests(worker.queue, head->abortEvent);
            return true;
        }
        DWORD id = settings->hdTargets[i]->id;
        if (head->progressWindow)
            SendMessageA(head->progressWindow, UM_DISKFILESTART, 0,
                         reinterpret_cast<LPARAM>(head->path));
        char targetPath[TK_PATH_SIZE];
        int result = CopyToDiskTarget(head, &worker, id, targetPath);
        if (result != ERR_SUCCESS)
            SendReport(head->mainWindow, result, keyName);
        if (head->progressWindow)
            SendMessageA(head->progressWindow, UM_DISKFILEDONE, 0, 0);
        if (result == ERR_SUCCESS && targetPath[0])
            WriteRestoreRecord(head->path, static_cast<int>(id), targetPath, KIND_HD, 0);
    }
    return false;
}

// The FTP requests of the item with this key name, from head to the end of
// the queue, in queue order. Only this worker removes requests, so the
// records stay valid without the lock.
std::vector<TransferRequest*> GatherFtpRequests(const WorkerStart& worker, TransferRequest* head,
                                                const char* keyName)
{
    std::vector<TransferRequest*> gathered;
    for (TransferRequest* r = head; r; r = NextRequest(worker.queue, r)) {
        char name[TK_PATH_SIZE];
        if (r->kind == KIND_FTP && OpenItemKey(r->path, name, NULL) && strcmp(name, keyName) == 0)
            gathered.push_back(r);
    }
    return gathered;
}

// One batch per FTP target, in list order, each carrying the same files:
// the requests are gathered once, before the first batch is made, and
// exactly those leave the queue at the end (a request queued meanwhile waits
// for the next round, for every target alike). Each batch is filled before
// it is listed, so the main thread never meets it without its files. A
// target whose connection cannot be started is reported with its address
// and does not stop the others.
void ServeFtpTargets(const WorkerStart& worker, TransferRequest* head, ItemSettings* settings)
{
    char keyName[TK_PATH_SIZE];
    std::vector<TransferRequest*> gathered;
    try {
        if (OpenItemKey(head->path, keyName, NULL))
            gathered = GatherFtpRequests(worker, head, keyName);
        if (gathered.empty())
            gathered.push_back(head);
    } catch (...) {
        // Out of memory: the requests stay queued for a later round.
        return;
    }
    DWORD count = settings->switches->ftpCount;
    if (count > settings->ftpSlots)
        count = settings->ftpSlots;
    for (DWORD i = 0; i < count; ++i) {
        FtpTarget* target = settings->ftpTargets[i];
        FtpBatch* batch = NewFtpBatch(head->path, target->id, FTP_UPLOAD, worker.mode,
                                      head->progressWindow);
        if (!batch)
            continue;
        for (TransferRequest* r : gathered)
            AddFileJob(batch, NewFtpJob(r->path));
        int result = StartFtpConnection(batch);
        if (result != ERR_SUCCESS) {
            FreeFtpBatch(batch);
            SendReport(head->mainWindow, result, target->address);
        }
    }
    for (TransferRequest* r : gathered)
        RemoveRequest(worker.queue, &r);
}

bool ServesFtp(const ItemSettings* s, const TransferRequest* r)
{
    return r->kind == KIND_FTP && s->switches->ftpEnabled && s->switches->ftpCount > 0;
}

bool ServesDisk(const ItemSettings* s, const TransferRequest* r)
{
    return r->kind == KIND_HD && s->switches->hdEnabled && s->switches->hdCount > 0;
}

// Serves the head request and takes it off the queue.
void ServeHead(const WorkerStart& worker, TransferRequest* head)
{
    ItemSettings* settings = NewItemSettings(head->path);
    if (!settings || LoadItemSettings(head->path, settings) != 1) {
        FreeItemSettings(settings);
        RemoveRequest(worker.queue, &head);
        return;
    }
    SetTrayIcon(worker.mainWindow, TRAY_UPLOAD, NULL, TRAY_MODIFY);
    if (ServesFtp(settings, head)) {
        ServeFtpTargets(worker, head, settings);
    } else if (ServesDisk(settings, head)) {
        if (!ServeDiskTargets(worker, head, settings))
            RemoveRequest(worker.queue, &head);
    } else {
        RemoveRequest(worker.queue, &head);
    }
    FreeItemSettings(settings);
}

// At shutdown the queue is dropped; a folder transfer's progress window is
// told to close without asking.
void DropQueueAtShutdown(const WorkerStart& worker)
{
    TransferRequest* head = FirstRequest(worker.queue);
    if (head && head->progressWindow)
        PostMessageA(head->progressWindow, UM_TRANSFERSTOPPED, 0, 0);
    ClearRequests(worker.queue);
}

// A folder worker owns its queue and work event and releases them as it ends.
void EndFolderWorker(const WorkerStart& worker)
{
    FreeRequestQueue(worker.queue);
    if (worker.workEvent)
        CloseHandle(worker.workEvent);
}

} // namespace

void __cdecl TransferWorker(void* start)
{
    if (!start)
        return;
    WorkerStart worker = *static_cast<WorkerStart*>(start);
    free(start);

    for (;;) {
        if (!FirstRequest(worker.queue)) {
            SetTrayIcon(worker.mainWindow, TRAY_IDLE, NULL, TRAY_MODIFY);
            if (worker.mode == WORKER_FOLDER) {
                HANDLE events[2] = {worker.workEvent, worker.shutdownEvent};
                WaitForMultipleObjects(2, events, FALSE, INFINITE);
            } else {
                WaitForSingleObject(worker.workEvent, INFINITE);
                // A Stop All Transfers while the queue was empty had nothing
                // to stop; left set, it would drop the next change's copy and
                // end its upload at the first block.
                if (worker.liveStopEvent)
                    ResetEvent(worker.liveStopEvent);
            }
        }
        if (IsSet(worker.shutdownEvent)) {
            DropQueueAtShutdown(worker);
            if (worker.mode == WORKER_FOLDER) {
                EndFolderWorker(worker);
                return;
            }
        }
        TransferRequest* head = FirstRequest(worker.queue);
        if (!head) {
            ResetEvent(worker.workEvent);
            continue;
        }
        ServeHead(worker, head);
        if (worker.mode == WORKER_FOLDER && !FirstRequest(worker.queue)) {
            SetTrayIcon(worker.mainWindow, TRAY_IDLE, NULL, TRAY_MODIFY);
            EndFolderWorker(worker);
            return;
        }
    }
}
