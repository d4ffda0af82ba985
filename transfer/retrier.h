// The retrier: the one thread that puts pending copies on the live queue as they fall due.
#pragma once
#include <windows.h>

#include "transfer/queue.h"
#include "transfer/retry.h"

// What RetrierThread needs; the starter allocates it (calloc), the thread frees it.
struct RetrierStart {
    RetrySchedule* schedule;
    RequestQueue* queue;  // the live queue
    HANDLE workEvent;     // the live worker's
    HANDLE liveStopEvent;
    HANDLE shutdownEvent;
    HWND mainWindow;
};

// Thread procedure (_beginthreadex). Queues each copy that falls due as a request for its one
// target, with the live-stop event, unless a queued request makes it already; keeps the live
// queue short, so that the worker sets the pace; queues nothing while the schedule is not the
// active one (retrying switched off). A change of the machine's network addresses wakes the
// targets that wait as a whole. Ends at shutdown.
unsigned __stdcall RetrierThread(void* start);
