// The change intake: the NT notification thread, the filters, and the Windows 9x message handler.
#include "monitor/intake.h"

#include <stdio.h>

#include "log/log.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/monitor.h"
#include "store/layout.h"
#include "store/scoped.h"
#include "store/store.h"

namespace {

enum { CHANGE_QUEUED = 1, CHANGE_DROPPED = 2 };

void LogPath(const char* format, const char* path, int selector)
{
    char line[TK_PATH_SIZE + 128];
    snprintf(line, sizeof line, format, path);
    WriteLog(line, 0, selector);
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

    char itemPath[TK_PATH_SIZE];
    if (!OpenItemKey(resolved, itemPath, NULL))
        return CHANGE_DROPPED;
    DecodeKeyName(itemPath);
    if (!settings->options->includeSubs && IsInItemSubfolder(resolved, itemPath))
        return CHANGE_DROPPED;

    // Disk targets first, FTP targets right behind; the worker decides what
    // each item actually serves.
    const BYTE kinds[] = {KIND_HD, KIND_FTP};
    int queued = 0;
    for (BYTE kind : kinds) {
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
    char buffer[MONITOR_PATH_SIZE];
    for (;;) {
        WaitForSingleObject(context->monitorEvent, INFINITE);
        ResetEvent(context->monitorEvent);

        // The main thread may switch or close the device meanwhile; the
        // guard keeps this handle open until the call is over.
        HANDLE device = BeginDeviceCall(&context->device);
        DWORD got = 0;
        BOOL ok = device != INVALID_HANDLE_VALUE &&
                  MonitorControl(device, MONITOR_READ_PATH, NULL, 0, buffer, sizeof buffer, &got);
        EndDeviceCall(device);
        if (!ok)
            continue;
        buffer[sizeof buffer - 1] = 0;

        Sleep(INTAKE_SETTLE_MS);
        ResolveLongPath(buffer, buffer);
        UpperCaseDrivePart(buffer);
        // A file an FTP batch is sending: the change is our own doing.
        if (context->batches && FindFtpJobLocked(context->batches, INVALID_SOCKET, NULL, buffer))
            continue;
        context->path = buffer;
        HandleChange(context);
        context->path = NULL;
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
