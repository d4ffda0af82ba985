// FTP batch records, the batch list and the state changes of a batch.
#include "transfer/ftp/ftpbatch.h"
#include "transfer/ftp/ftptls.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>

namespace {

const char* const kStateNames[FTP_STATE_COUNT] = {
    "NEW",         "PORT",       "CWD",         "TYPE",      "USER", "PASS", "RETR", "STOR",
    "FOLDERS",     "DATA_ENDED", "REPLY_ENDED", "QUIT",      "PASV", "SIZE", "RNFR", "RNTO",
    "DELE_STORED", "DELE_TEMP",  "AUTH",        "HANDSHAKE", "PBSZ", "PROT",
};

bool Tracing()
{
    static const bool on = getenv("TK_FTP_TRACE") != NULL;
    return on;
}

}  // namespace

const char* FtpStateName(WORD state)
{
    return state < FTP_STATE_COUNT ? kStateNames[state] : "?";
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

void LockBatches(BatchList* list)
{
    EnterCriticalSection(&list->lock);
}
void UnlockBatches(BatchList* list)
{
    LeaveCriticalSection(&list->lock);
}

FtpJob* NewFtpJob(const char* path)
{
    if (!path)
        return NULL;
    FtpJob* job = static_cast<FtpJob*>(calloc(1, sizeof(FtpJob)));
    if (!job)
        return NULL;
    size_t length = strlen(path);
    job->localPath = static_cast<char*>(malloc(length + 1));
    if (!job->localPath) {
        free(job);
        return NULL;
    }
    memcpy(job->localPath, path, length + 1);
    return job;
}

void FreeFtpJob(FtpJob* job)
{
    if (!job)
        return;
    free(job->localPath);
    free(job);
}

FtpBatch* NewFtpBatch(const char* path, DWORD targetId, BYTE direction, BYTE mode,
                      HWND progressWindow)
{
    if (!path || strlen(path) >= MAX_PATH)
        return NULL;
    FtpBatch* batch = new (std::nothrow) FtpBatch();
    if (!batch)
        return NULL;
    lstrcpynA(batch->localPath, path, sizeof batch->localPath);
    batch->targetId = targetId;
    batch->direction = direction;
    batch->mode = mode;
    batch->progressWindow = progressWindow;
    batch->control = INVALID_SOCKET;
    batch->state = FTP_STATE_NEW;
    batch->folderCut = -1;
    batch->lastProgress = GetTickCount();
    batch->current.listener = INVALID_SOCKET;
    batch->current.data = INVALID_SOCKET;
    batch->current.file = INVALID_HANDLE_VALUE;
    batch->current.lastPercent = -1;
    return batch;
}

void FreeFtpBatch(FtpBatch* batch)
{
    if (!batch)
        return;
    while (batch->files) {
        FtpJob* next = batch->files->next;
        FreeFtpJob(batch->files);
        batch->files = next;
    }
    if (batch->current.file != INVALID_HANDLE_VALUE)
        CloseHandle(batch->current.file);
    FreeFtpLink(batch->current.link);
    FreeFtpLink(batch->controlLink);
    // However the batch ends (the client's shutdown frees it mid-transfer),
    // no part file of ours stays in the user's folder.
    if (batch->partPath[0])
        DeleteFileA(batch->partPath);
    delete batch;
}

void AddFileJob(FtpBatch* batch, FtpJob* job)
{
    if (!batch || !job)
        return;
    job->next = NULL;
    FtpJob** tail = &batch->files;
    while (*tail)
        tail = &(*tail)->next;
    *tail = job;
}

bool ListBatch(BatchList* list, FtpBatch* batch)
{
    batch->next = NULL;
    LockBatches(list);
    bool stopped = batch->stopEvent && WaitForSingleObject(batch->stopEvent, 0) == WAIT_OBJECT_0;
    batch->stopEvent = NULL;  // the requests that keep it open leave the queue next
    if (!stopped) {
        FtpBatch** tail = &list->first;
        while (*tail)
            tail = &(*tail)->next;
        *tail = batch;
    }
    UnlockBatches(list);
    return !stopped;
}

bool RemoveBatch(BatchList* list, FtpBatch* batch)
{
    LockBatches(list);
    FtpBatch** link = &list->first;
    while (*link && *link != batch)
        link = &(*link)->next;
    bool found = *link != NULL;
    if (found)
        *link = batch->next;
    UnlockBatches(list);
    if (found)
        FreeFtpBatch(batch);
    return found;
}

void DropFirstFileJob(BatchList* list, FtpBatch* batch)
{
    LockBatches(list);
    FtpJob* first = batch->files;
    if (first)
        batch->files = first->next;
    UnlockBatches(list);
    FreeFtpJob(first);
}

void ClearBatches(BatchList* list)
{
    if (!list)
        return;
    LockBatches(list);
    FtpBatch* first = list->first;
    list->first = NULL;
    UnlockBatches(list);
    while (first) {
        FtpBatch* next = first->next;
        FreeFtpBatch(first);
        first = next;
    }
}

FtpBatch* FindBatchBySocket(BatchList* list, SOCKET socket)
{
    if (socket == INVALID_SOCKET)
        return NULL;
    for (FtpBatch* b = list->first; b; b = b->next)
        if (b->control == socket || b->current.listener == socket || b->current.data == socket)
            return b;
    return NULL;
}

bool HasBatches(BatchList* list)
{
    LockBatches(list);
    bool any = list->first != NULL;
    UnlockBatches(list);
    return any;
}

int CountFileJobs(const FtpBatch* batch)
{
    int n = 0;
    for (const FtpJob* j = batch->files; j; j = j->next)
        ++n;
    return n;
}

void SetFtpState(FtpBatch* batch, WORD state)
{
    if (batch->state != state)
        batch->lastProgress = GetTickCount();
    if (Tracing()) {
        char line[MAX_PATH + 80];
        snprintf(line, sizeof line, "FTP %p %s -> %s (%s)\n", static_cast<void*>(batch),
                 FtpStateName(batch->state), FtpStateName(state), batch->localPath);
        OutputDebugStringA(line);
    }
    batch->state = state;
}
