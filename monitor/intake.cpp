// The change intake: the NT notification thread, the filters, and the Windows 9x message handler.
#include "monitor/intake.h"

#include <stdio.h>

#include "common/filenames.h"
#include "log/log.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/monitor.h"
#include "store/layout.h"
#include "store/scoped.h"
#include "store/store.h"
#include "transfer/ftp/ftp.h"
#include "transfer/worker.h"

namespace {

enum { CHANGE_QUEUED = 1, CHANGE_DROPPED = 2 };

void LogPath(const char* format, const char* path, int selector)
{
    char line[TK_PATH_SIZE + 128];
    snprintf(line, sizeof line, format, path);
    WriteLog(line, 0, selector);
}

// One changed path read from the monitor, and when it was read.
struct ReadPath {
    char path[MONITOR_PATH_SIZE];
    LARGE_INTEGER readAt;
};

// Reads one changed path (control code 0x22E018). The main thread may switch
// or close the device meanwhile; the guard keeps this handle open until the
// call is over.
bool ReadChangedPath(IntakeContext* context, ReadPath* out)
{
    HANDLE device = BeginDeviceCall(&context->device);
    DWORD got = 0;
    BOOL ok = device != INVALID_HANDLE_VALUE &&
              MonitorControl(device, MONITOR_READ_PATH, NULL, 0, out->path, sizeof out->path, &got);
    EndDeviceCall(device);
    out->path[sizeof out->path - 1] = 0;
    QueryPerformanceCounter(&out->readAt);
    return ok != FALSE;
}

// Sleeps until INTAKE_SETTLE_MS have passed since the path was read.
void WaitOutSettle(const ReadPath& read)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    LONGLONG passedMs = (now.QuadPart - read.readAt.QuadPart) * 1000 / frequency.QuadPart;
    if (passedMs < INTAKE_SETTLE_MS)
        Sleep(static_cast<DWORD>(INTAKE_SETTLE_MS - passedMs));
}

// The rest of the road of a path read on the NT family: its long form, the
// drive in upper case, and the intake.
void HandleReadPath(IntakeContext* context, char* path)
{
    ResolveLongPath(path, path);
    UpperCaseDrivePart(path);
    context->path = path;
    context->resolved = true;
    HandleChange(context);
    context->path = NULL;
    context->resolved = false;
}

}  // namespace

int HandleChange(IntakeContext* context)
{
    if (!context || !context->path)
        return 0;
    char received[TK_PATH_SIZE];
    lstrcpynA(received, context->path, sizeof received);
    LogPath("Received request to back up file %s", received, LOG_BACKUP);

    // Windows 9x: the path is the monitor's memory until handed back. It is
    // handed back as soon as it is copied, whatever happens to the change,
    // so that a dropped change does not keep the monitor's buffer for ever.
    if (!IsNtPlatform())
        MonitorControl(context->device, MONITOR9X_RELEASE, context->path, 0, NULL, 0, NULL);

    if (!IsMonitoringEnabled())
        return CHANGE_DROPPED;

    char resolved[TK_PATH_SIZE];
    if (context->resolved)
        lstrcpynA(resolved, received, sizeof resolved);
    else
        ResolveLongPath(received, resolved);

    ScopedItemSettings settings(resolved);
    if (!settings.loaded())
        return CHANGE_DROPPED;

    if (settings->options->excludeTemp && IsSuspectedTempFile(resolved)) {
        LogPath("Filtered out suspected temporary file %s", resolved, LOG_BACKUP);
        return CHANGE_DROPPED;
    }

    // Without an installation folder there is nothing of ours to protect.
    char installDir[TK_PATH_SIZE];
    if (GetInstallDir(installDir, sizeof installDir) && IsInInstallDir(resolved, installDir)) {
        LogPath("Cannot transfer file %s, it's in the Tandemkeep directory", resolved, LOG_ERROR);
        return CHANGE_DROPPED;
    }

    // The item whose settings were loaded a moment ago, with nothing said
    // to anyone since: looking it up once more would find the same.
    char itemPath[TK_PATH_SIZE];
    lstrcpynA(itemPath, settings.keyName(), sizeof itemPath);
    DecodeKeyName(itemPath);
    if (!settings->options->includeSubs && IsInItemSubfolder(resolved, itemPath))
        return CHANGE_DROPPED;

    // A name with characters outside the code page: no copy could open the
    // file by it, so instead of a silent nothing the user hears of it.
    if (IsUnshowablePath(resolved)) {
        ReportUnshowableName(context->mainWindow, resolved);
        return CHANGE_DROPPED;
    }

    // Disk targets first, FTP targets right behind; the worker decides what
    // each item actually serves. A file an upload is sending right now keeps
    // its FTP request back: that upload queues it again when it ends.
    const BYTE kinds[] = {KIND_HD, KIND_FTP};
    int queued = 0;
    for (BYTE kind : kinds) {
        if (kind == KIND_FTP && context->batches &&
            NoteChangeDuringUpload(context->batches, resolved)) {
            ++queued;
            continue;
        }
        TransferRequest* request = NewRequest(resolved);
        if (!request)
            continue;
        request->mainWindow = context->mainWindow;
        request->progressWindow = NULL;
        request->abortEvent = context->liveStopEvent;
        request->kind = kind;
        if (AppendNode(context->queue, request))
            ++queued;
        else
            FreeRequest(request);
    }
    if (queued && context->workEvent)
        SetEvent(context->workEvent);
    return queued ? CHANGE_QUEUED : CHANGE_DROPPED;
}

unsigned __stdcall NotificationThread(void* arg)
{
    IntakeContext* context = static_cast<IntakeContext*>(arg);
    ReadPath reads[2];
    ReadPath* current = NULL;  // read, and waiting its turn
    for (;;) {
        if (!current) {
            WaitForSingleObject(context->monitorEvent, INFINITE);
            ResetEvent(context->monitorEvent);
            if (!ReadChangedPath(context, &reads[0]))
                continue;
            current = &reads[0];
        }
        WaitOutSettle(*current);
        // The next path, when the monitor has one, is read before this one is
        // handled, so that its wait runs while this one goes through the
        // intake: in a burst each path costs its wait, not its wait and the
        // intake's work. Paths are still handled one by one, in order.
        ReadPath* next = current == &reads[0] ? &reads[1] : &reads[0];
        if (WaitForSingleObject(context->monitorEvent, 0) != WAIT_OBJECT_0)
            next = NULL;
        else if (ResetEvent(context->monitorEvent), !ReadChangedPath(context, next))
            next = NULL;
        HandleReadPath(context, current->path);
        current = next;
    }
}

LRESULT OnMonitorMessage(HWND mainWindow, HANDLE device, WorkerStart* start, WPARAM wParam,
                         LPARAM lParam)
{
    if (wParam != 1042 || !lParam)
        return 0;  // 1041 is ignored, anything else is not ours
    IntakeContext context = {};
    context.device = device;
    context.mainWindow = mainWindow;
    if (start) {
        context.workEvent = start->workEvent;
        context.liveStopEvent = start->liveStopEvent;
        context.batches = start->batches;
        context.queue = start->queue;
    }
    context.path = reinterpret_cast<char*>(lParam);
    return HandleChange(&context);
}
