// Worker and folder transfer not written yet: the worker only waits for the
// end of the program, and folder transfers start nothing.
#include "transfer/folder.h"
#include "transfer/worker.h"

#include <stdlib.h>

void __cdecl TransferWorker(void* start)
{
    WorkerStart copy = *static_cast<WorkerStart*>(start);
    free(start);
    WaitForSingleObject(copy.shutdownEvent, INFINITE);
}

