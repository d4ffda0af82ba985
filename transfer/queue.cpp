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

void LockQueue(RequestQueue* queue) { EnterCriticalSection(&queue->lock); }
void UnlockQueue(RequestQueue* queue) { LeaveCriticalSection(&queue->lock); }

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
    LockQueue(queue);
    TransferRequest** tail = &queue->first;
    while (*tail)
        tail = &(*tail)->next;
    *tail = request;
    UnlockQueue(queue);
    return 1;
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
