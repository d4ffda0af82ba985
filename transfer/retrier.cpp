// The retrier thread: due copies onto the live queue, at the worker's pace.
#include "transfer/retrier.h"

#include "transfer/outcome.h"

#include <stdlib.h>
#include <string.h>

#include <new>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Requests the retrier leaves on the live queue at most: the worker gathers an item's FTP
// requests by walking all of it.
const int kQueueHigh = 256;
// After a wake-up the retrier lets further ones gather: a burst of failures sets the wake
// event once per failure, and each look walks the whole list.
const DWORD kSettleMs = 250;

// Queues the due copies in one step, so that the worker gathers the FTP ones of a target into
// one batch. A copy that a queued request makes already (a change of the file, which goes to
// every target, or the same retry) is left to it; it stays handed out until that request's
// outcome is noted.
void QueueDueCopies(const RetrierStart& start, const std::vector<DueCopy>& due)
{
    typedef std::tuple<BYTE, DWORD, std::string> Copy;
    std::set<Copy> queued;
    LockQueue(start.queue);
    for (TransferRequest* r = start.queue->first; r; r = r->next)
        queued.insert(Copy(r->kind, r->targetId, r->path));
    UnlockQueue(start.queue);
    TransferRequest* first = NULL;
    TransferRequest** tail = &first;
    for (const DueCopy& d : due) {
        if (queued.count(Copy(d.kind, 0, d.path)) || queued.count(Copy(d.kind, d.targetId, d.path)))
            continue;
        TransferRequest* r = NewRequest(d.path.c_str());
        if (!r)
            continue;  // handed out again after the hour, or at the next start
        r->mainWindow = start.mainWindow;
        r->abortEvent = start.liveStopEvent;
        r->kind = d.kind;
        r->targetId = d.targetId;
        *tail = r;
        tail = &r->next;
    }
    if (first && AppendRequests(start.queue, first) && start.workEvent)
        SetEvent(start.workEvent);
}

// Changes of the machine's addresses (a network that comes back) set event, where the system
// tells of them; false where it does not.
typedef DWORD(WINAPI* NotifyAddrChangeFn)(HANDLE*, OVERLAPPED*);

bool WatchAddresses(NotifyAddrChangeFn notify, OVERLAPPED* overlapped)
{
    HANDLE ignored = NULL;
    return notify && notify(&ignored, overlapped) == ERROR_IO_PENDING;
}

}  // namespace

unsigned __stdcall RetrierThread(void* arg)
{
    if (!arg)
        return 0;
    RetrierStart start = *static_cast<RetrierStart*>(arg);
    free(arg);
    if (!start.schedule || !start.queue)
        return 0;
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    HMODULE iphlpapi = LoadLibraryA("iphlpapi.dll");
    NotifyAddrChangeFn notify =
        iphlpapi ? reinterpret_cast<NotifyAddrChangeFn>(
                       reinterpret_cast<void*>(GetProcAddress(iphlpapi, "NotifyAddrChange")))
                 : NULL;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    bool watching = overlapped.hEvent && WatchAddresses(notify, &overlapped);
    HANDLE events[3] = {start.shutdownEvent, RetryWakeEvent(start.schedule), overlapped.hEvent};
    std::vector<DueCopy> due;
    for (;;) {
        DWORD wait = INFINITE;
        if (ActiveRetries() != start.schedule) {
            // Switched off: the list waits as it is.
        } else if (CountQueuedRequests(start.queue, kQueueHigh) > kQueueHigh) {
            wait = kSettleMs;
        } else {
            due.clear();
            try {
                TakeDueCopies(start.schedule, kQueueHigh, &due, &wait);
                QueueDueCopies(start, due);
            } catch (const std::bad_alloc&) {
                wait = kSettleMs;  // what was handed out comes again after the hour
            }
        }
        DWORD woken = WaitForMultipleObjects(watching ? 3 : 2, events, FALSE, wait);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED)
            break;
        if (woken == WAIT_OBJECT_0 + 2) {
            WakeWaitingTargets(start.schedule);
            watching = WatchAddresses(notify, &overlapped);
        }
        if (woken != WAIT_TIMEOUT &&
            WaitForSingleObject(start.shutdownEvent, kSettleMs) == WAIT_OBJECT_0)
            break;
    }
    if (overlapped.hEvent)
        CloseHandle(overlapped.hEvent);
    return 0;
}
