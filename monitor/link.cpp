// The link to the file-change monitor: choosing and opening it, the watch list, on/off state.
#include "monitor/monitor.h"

#include <process.h>
#include <stdlib.h>
#include <string.h>

#include "monitor/builtin.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/intake.h"
#include "monitor/watchlist.h"
#include "store/layout.h"
#include "store/regvalue.h"

namespace {

// The NT family's one intake context; its thread field says whether the
// notification thread runs. Written by the main thread only, except the
// device field, which goes through the device guard.
IntakeContext g_intake = {NULL, NULL, INVALID_HANDLE_VALUE, NULL, NULL, NULL, NULL, NULL, NULL};

// Closes the handle the cell holds, first taking it from the notification
// thread so that it is never used after it is closed (or its value reused).
void CloseCell(HANDLE* device)
{
    if (*device == INVALID_HANDLE_VALUE || *device == NULL)
        return;
    if (g_intake.thread) {
        HANDLE current = BeginDeviceCall(&g_intake.device);
        EndDeviceCall(current);
        if (current == *device)
            SetGuardedDevice(&g_intake.device, INVALID_HANDLE_VALUE);
    }
    CloseGuardedDevice(*device);
    *device = INVALID_HANDLE_VALUE;
}

// Hands the notification event to the monitor: the input length carries the
// handle's value, and the input names that many readable bytes.
void SendNotificationEvent(HANDLE device, HANDLE event)
{
    DWORD value = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(event));
    void* scratch = calloc(value ? value : 1, 1);
    if (!scratch)
        return;
    DWORD returned = 0;
    MonitorControl(device, MONITOR_SET_EVENT, scratch, value, NULL, 0, &returned);
    free(scratch);
}

bool StartNotificationThread(HANDLE device, WorkerStart* start, HWND mainWindow)
{
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (!event)
        return false;
    g_intake.monitorEvent = event;
    SetGuardedDevice(&g_intake.device, device);
    g_intake.mainWindow = mainWindow;
    if (start) {
        g_intake.workEvent = start->workEvent;
        g_intake.liveStopEvent = start->liveStopEvent;
        g_intake.queue = start->queue;
        g_intake.batches = start->batches;
    }
    unsigned id = 0;
    g_intake.thread =
        reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, NotificationThread, &g_intake, 0, &id));
    if (!g_intake.thread) {
        CloseHandle(event);
        g_intake.monitorEvent = NULL;
        SetGuardedDevice(&g_intake.device, INVALID_HANDLE_VALUE);
        return false;
    }
    SendNotificationEvent(device, event);
    return true;
}

HANDLE OpenNtMonitor(void)
{
    StartMonitorService("TANDEM");
    HANDLE device = CreateFileA("\\\\.\\TNDM01", GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return device != INVALID_HANDLE_VALUE ? device : OpenBuiltinMonitor();
}

HANDLE Open9xMonitor(void)
{
    char system[TK_PATH_SIZE];
    UINT n = GetSystemDirectoryA(system, sizeof system);
    HANDLE device = INVALID_HANDLE_VALUE;
    if (n > 0 && n < sizeof system && n + 16 < TK_PATH_SIZE) {
        char path[TK_PATH_SIZE];
        lstrcpyA(path, "\\\\.\\");
        lstrcatA(path, system);
        lstrcatA(path, "\\tandem.vxd");
        // The system loads the driver on open and unloads it with the last handle.
        device = CreateFileA(path, 0, 0, NULL, 0, FILE_FLAG_DELETE_ON_CLOSE, NULL);
    }
    return device != INVALID_HANDLE_VALUE ? device : OpenBuiltinMonitor();
}

void SendWatchPath(const char* path, void* context)
{
    HANDLE device = *static_cast<HANDLE*>(context);
    DWORD returned = 0;
    MonitorControl(device, MONITOR_WATCH_PATH, const_cast<char*>(path),
                   static_cast<DWORD>(strlen(path)), NULL, 0, &returned);
}

}  // namespace

int IsNtPlatform(void)
{
    return (GetVersion() & 0x80000000u) == 0;
}

void StartMonitorService(const char* name)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (!manager)
        return;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (service) {
        StartServiceA(service, 0, NULL);  // already running (1056) or failing: the open tells
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
}

int SetMonitoring(HWND mainWindow, HANDLE* device, WorkerStart* start, int enable)
{
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    if (!enable) {
        CloseCell(device);
        RegDeleteValueA(key, "enabled");
        RegCloseKey(key);
        return 1;
    }
    // Switched on while on: the open monitor goes on as it is. Closed and
    // opened again, it would drop the changes it holds and has not yet
    // handed over, and an exclusive device would refuse the second open.
    if (*device != INVALID_HANDLE_VALUE && *device != NULL) {
        WriteRegBinary(key, "enabled", "", 0);
        RegCloseKey(key);
        return 1;
    }

    HANDLE opened;
    if (IsNtPlatform()) {
        opened = OpenNtMonitor();
        if (opened == INVALID_HANDLE_VALUE) {
            RegCloseKey(key);
            return 0;
        }
        *device = opened;
        if (!g_intake.thread) {
            if (!StartNotificationThread(opened, start, mainWindow)) {
                CloseCell(device);
                RegCloseKey(key);
                return 0;
            }
        } else {
            SetGuardedDevice(&g_intake.device, opened);
        }
    } else {
        opened = Open9xMonitor();
        if (opened == INVALID_HANDLE_VALUE) {
            RegCloseKey(key);
            return 0;
        }
        *device = opened;
        MonitorControl(opened, MONITOR9X_SET_WINDOW, NULL,
                       static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(mainWindow)), NULL,
                       UM_MONITORNOTIFY, NULL);
    }
    // A newly opened monitor may know nothing of the items yet (monitoring
    // was off at start-up, or the driver was unloaded): tell it now.
    SendWatchList(opened);

    WriteRegBinary(key, "enabled", "", 0);
    RegCloseKey(key);
    return 1;
}

int SendWatchList(HANDLE device)
{
    if (!IsNtPlatform())
        return MonitorControl(device, MONITOR9X_RENEW, NULL, 0, NULL, 0, NULL) ? 1 : 0;
    HKEY files = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TK_FILES_KEY, 0, KEY_ALL_ACCESS, &files) != ERROR_SUCCESS)
        return 0;
    RegCloseKey(files);
    DWORD returned = 0;
    MonitorControl(device, MONITOR_FORGET_ALL, NULL, 0, NULL, 0, &returned);
    return ForEachWatchPath(SendWatchPath, &device);
}

void CloseMonitor(HANDLE* device)
{
    if (device)
        CloseCell(device);
}

IntakeContext* GetIntakeContext(void)
{
    return &g_intake;
}
