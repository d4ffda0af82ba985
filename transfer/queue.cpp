// Request queues, FTP batches and file jobs: allocation and the locked list operations.
#include "transfer/queue.h"

#include <stdlib.h>
#include <string.h>

#include <unordered_set>

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

void LockQueue(RequestQueue* queue)
{
    EnterCriticalSection(&queue->lock);
}
void UnlockQueue(RequestQueue* queue)
{
    LeaveCriticalSection(&queue->lock);
}

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

int CountQueuedRequests(RequestQueue* queue, int limit)
{
    LockQueue(queue);
    int n = 0;
    for (TransferRequest* r = queue->first; r && n <= limit; r = r->next)
        ++n;
    UnlockQueue(queue);
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

namespace {

// Unlinks, in one locked pass, every request for which leaves() holds, and
// frees them after the lock; returns how many went.
template <typename Leaves>
int RemoveWhere(RequestQueue* queue, Leaves leaves)
{
    TransferRequest* removed = NULL;
    LockQueue(queue);
    TransferRequest** link = &queue->first;
    while (*link) {
        TransferRequest* r = *link;
        if (leaves(r)) {
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

}  // namespace

int RemoveRequests(RequestQueue* queue, BYTE kind, HANDLE event)
{
    if (!queue)
        return 0;
    return RemoveWhere(
        queue, [&](const TransferRequest* r) { return r->kind == kind && r->abortEvent == event; });
}

int RemoveListedRequests(RequestQueue* queue, TransferRequest* const* requests, size_t count)
{
    if (!queue || !requests || count == 0)
        return 0;
    std::unordered_set<const TransferRequest*> listed(requests, requests + count);
    return RemoveWhere(queue, [&](const TransferRequest* r) { return listed.count(r) != 0; });
}

int RemoveRetriedRequests(RequestQueue* queue)
{
    if (!queue)
        return 0;
    return RemoveWhere(queue, [](const TransferRequest* r) { return r->targetId != 0; });
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
