// The worker threads that serve request queues.
#pragma once

#include "transfer/queue.h"

#include <vector>

// Thread procedure (for _beginthread): start is a heap WorkerStart that the
// worker copies and frees at once. The live worker (mode 1) runs until the
// process ends; a folder worker (mode 2) ends when its queue is empty.
void __cdecl TransferWorker(void* start);

// Appends to batch a file job for every queued FTP request of the item with
// this key name, from head to the end of the queue, in queue order, and
// records those requests in gathered; the queue is left as it was. Worker
// thread only (it alone removes requests, so the records stay valid).
void GatherBatchFiles(const WorkerStart& worker, TransferRequest* head, const char* keyName,
                      FtpJob* batch, std::vector<TransferRequest*>* gathered);
