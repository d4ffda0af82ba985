// The worker threads that serve request queues.
#pragma once

#include "transfer/queue.h"

// Thread procedure (for _beginthread): start is a heap WorkerStart that the
// worker copies and frees at once. The live worker (mode 1) runs until the
// process ends; a folder worker (mode 2) ends when its queue is empty.
void __cdecl TransferWorker(void* start);
