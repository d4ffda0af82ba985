// Request queues, FTP batches and file jobs: allocation and the locked list operations.
#include "transfer/queue.h"

#include <stdlib.h>
#include <string.h>

RequestQueue* NewRequestQueue(void)
{
    RequestQueue* q = static_cast<RequestQueue*>(calloc(1, sizeof(RequestQueue)));
    if (q)
        InitializeCriticalSection(&q->lock);
    return q;
}

void FreeRequestQueue(RequestQueue* queue)
{
    if (!queue)
        return;
    ClearRequests(queue);
    DeleteCriticalSection(&queue->lock);
    free(queue);
}

BatchList* NewBatchList(void)
{
    BatchList* list = static_cast<BatchList*>(calloc(1, sizeof(BatchList)));
    if (list)
        InitializeCriticalSection(&list->lock);
    return list;
}

void FreeBatchList(BatchList* list)
{
    if (!list)
        return;
    ClearBatches(list);
    DeleteCriticalSection(&list->lock);
    free(list);
}

void LockQueue(RequestQueue* queue) { EnterCriticalSection(&queue->lock); }
void UnlockQueue(RequestQueue* queue) { LeaveCriticalSection(&queue->lock); }
void LockBatches(BatchList* list) { EnterCriticalSection(&list->lock); }
void UnlockBatches(BatchList* list) { LeaveCriticalSection(&list->lock); }

TransferRequest* NewRequest(const char* path)
{
    if (!path)
        return NULL;
    TransferRequest* r = static_cast<TransferRequest*>(calloc(1, sizeof(TransferRequest)));
    if (!r)
        return NULL;
    size_t len = strlen(path);
    r->path = static_cast<char*>(malloc(len + 1));
    if (!r->path) {
        free(r);
        return NULL;
    }
    memcpy(r->path, path, len + 1);
    return r;
}

void FreeRequest(TransferRequest* request)
{
    if (!request)
        return;
    free(request->path);
    free(request);
}

int AppendNode(RequestQueue* queue, TransferRequest* request)
{
    if (!queue || !request)
        return 0;
    request->next = NULL;
    return AppendRequests(queue, request);
}

int RemoveRequest(RequestQueue* queue, TransferRequest** node)
{
    if (!queue || !node || !*node)
        return 0;
    TransferRequest* victim = *node;
    LockQueue(queue);
    TransferRequest** link = &queue->first;
    while (*link && *link != victim)
        link = &(*link)->next;
    bool found = *link != NULL;
    if (found)
        *link = victim->next;
    UnlockQueue(queue);
    if (!found)
        return 0;
    if (node != link)
        *node = NULL;
    FreeRequest(victim);
    return 1;
}

int ClearRequests(RequestQueue* queue)
{
    if (!queue)
        return 0;
    LockQueue(queue);
    TransferRequest* r = queue->first;
    queue->first = NULL;
    UnlockQueue(queue);
    int n = 0;
    while (r) {
        TransferRequest* next = r->next;
        FreeRequest(r);
        r = next;
        ++n;
    }
    return n;
}

int CountNodes(const TransferRequest* first)
{
    int n = 0;
    for (; first; first = first->next)
        ++n;
    return n;
}

TransferRequest* FirstRequest(RequestQueue* queue)
{
    LockQueue(queue);
    TransferRequest* first = queue->first;
    UnlockQueue(queue);
    return first;
}

TransferRequest* NextRequest(RequestQueue* queue, const TransferRequest* request)
{
    LockQueue(queue);
    TransferRequest* next = request->next;
    UnlockQueue(queue);
    return next;
}

int AppendRequests(RequestQueue* queue, TransferRequest* first)
{
    if (!queue || !first)
        return 0;
    LockQueue(queue);
    TransferRequest** tail = &queue->first;
    while (*tail)
        tail = &(*tail)->next;
    *tail = first;
    UnlockQueue(queue);
    return 1;
}

int RemoveRequests(RequestQueue* queue, BYTE kind, HANDLE event)
{
    if (!queue)
        return 0;
    TransferRequest* removed = NULL;
    LockQueue(queue);
    TransferRequest** link = &queue->first;
    while (*link) {
        TransferRequest* r = *link;
        if (r->kind == kind && r->abortEvent == event) {
            *link = r->next;
            r->next = removed;
            removed = r;
        } else {
            link = &r->next;
        }
    }
    UnlockQueue(queue);
    int n = 0;
    for (; removed; ++n) {
        TransferRequest* next = removed->next;
        FreeRequest(removed);
        removed = next;
    }
    return n;
}

int ResetEventWhenEmpty(RequestQueue* queue, HANDLE event)
{
    if (!queue || !event)
        return 0;
    LockQueue(queue);
    bool empty = queue->first == NULL;
    if (empty)
        ResetEvent(event);
    UnlockQueue(queue);
    return empty ? 1 : 0;
}

int CountNodes(const FtpJob* first)
{
    int n = 0;
    for (; first; first = first->next)
        ++n;
    return n;
}

int QueueRequest(RequestQueue* queue, HANDLE workEvent, const char* path, BYTE kind,
                 HWND mainWindow, HWND progressWindow, HANDLE abortEvent)
{
    TransferRequest* r = NewRequest(path);
    if (!r)
        return 0;
    r->kind = kind;
    r->mainWindow = mainWindow;
    r->progressWindow = progressWindow;
    r->abortEvent = abortEvent;
    AppendNode(queue, r);
    if (workEvent)
        SetEvent(workEvent);
    return 1;
}

FtpJob* NewFtpJob(const char* path, DWORD targetId)
{
    FtpJob* job = static_cast<FtpJob*>(calloc(1, sizeof(FtpJob)));
    if (!job)
        return NULL;
    job->localPath = static_cast<char*>(calloc(1, FTP_BUFFER_SIZE));
    job->remotePath = static_cast<char*>(calloc(1, FTP_BUFFER_SIZE));
    job->userName = static_cast<char*>(calloc(1, FTP_BUFFER_SIZE));
    job->password = static_cast<char*>(calloc(1, FTP_BUFFER_SIZE));
    if (!job->localPath || !job->remotePath || !job->userName || !job->password) {
        FreeFtpJob(job);
        return NULL;
    }
    job->socket = INVALID_SOCKET;
    job->file = INVALID_HANDLE_VALUE;
    job->targetId = targetId;
    job->lastActivity = GetTickCount();
    if (path)
        lstrcpynA(job->localPath, path, FTP_BUFFER_SIZE);
    return job;
}

void FreeFtpJob(FtpJob* job)
{
    if (!job)
        return;
    if (job->file != INVALID_HANDLE_VALUE && job->file != NULL)
        CloseHandle(job->file);
    free(job->localPath);
    free(job->remotePath);
    free(job->userName);
    free(job->password);
    free(job);
}

int AppendNode(BatchList* list, FtpJob* batch)
{
    if (!list || !batch)
        return 0;
    batch->next = NULL;
    LockBatches(list);
    FtpJob** tail = &list->first;
    while (*tail)
        tail = &(*tail)->next;
    *tail = batch;
    UnlockBatches(list);
    return 1;
}

int AppendFileJob(BatchList* list, FtpJob* batch, FtpJob* job)
{
    if (!list || !batch || !job)
        return 0;
    job->next = NULL;
    job->batch = batch;
    LockBatches(list);
    FtpJob** tail = &batch->files;
    while (*tail)
        tail = &(*tail)->next;
    *tail = job;
    UnlockBatches(list);
    return 1;
}

FtpJob* FindFtpJob(FtpJob* first, SOCKET socket, HWND window, const char* path)
{
    for (FtpJob* job = first; job; job = job->next) {
        if (path && job->files && strcmp(job->files->localPath, path) == 0)
            return job;
        if (socket != INVALID_SOCKET && socket != 0 && job->socket == socket)
            return job;
        if (window && job->progressWindow == window)
            return job;
        if (job->files) {
            FtpJob* inner = FindFtpJob(job->files, socket, window, path);
            if (inner)
                return inner;
        }
    }
    return NULL;
}

FtpJob* FindFtpJobLocked(BatchList* list, SOCKET socket, HWND window, const char* path)
{
    if (!list)
        return NULL;
    LockBatches(list);
    FtpJob* found = FindFtpJob(list->first, socket, window, path);
    UnlockBatches(list);
    return found;
}

int RemoveFtpJob(BatchList* list, FtpJob* job)
{
    if (!list || !job)
        return 0;
    LockBatches(list);
    FtpJob** link = job->batch ? &job->batch->files : &list->first;
    while (*link && *link != job)
        link = &(*link)->next;
    bool found = *link != NULL;
    if (found)
        *link = job->next;
    FtpJob* files = job->batch ? NULL : job->files;
    job->files = NULL;
    UnlockBatches(list);
    if (!found)
        return 0;
    FreeFtpJobs(files);
    FreeFtpJob(job);
    return 1;
}

void FreeFtpJobs(FtpJob* first)
{
    while (first) {
        FtpJob* next = first->next;
        FreeFtpJobs(first->files);
        FreeFtpJob(first);
        first = next;
    }
}

void ClearBatches(BatchList* list)
{
    if (!list)
        return;
    LockBatches(list);
    FtpJob* first = list->first;
    list->first = NULL;
    UnlockBatches(list);
    FreeFtpJobs(first);
}
