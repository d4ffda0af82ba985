// Control-call dispatch between the real driver and the built-in monitor, and the handle guard.
#include "monitor/device.h"

#include "monitor/builtin.h"
#include "monitor/codes.h"

namespace {

// Handles with calls in flight. A handful at most: the notification thread
// makes one call at a time, the main thread's calls need no guard.
struct DeviceUse {
    HANDLE device;
    int calls;
    bool closePending;
};

enum { MAX_USES = 16 };

struct Guard {
    CRITICAL_SECTION lock;
    DeviceUse uses[MAX_USES];
    Guard() : uses() { InitializeCriticalSection(&lock); }
};

Guard& TheGuard()
{
    static Guard guard;
    return guard;
}

DeviceUse* FindUse(Guard& g, HANDLE device)
{
    for (DeviceUse& u : g.uses)
        if (u.calls > 0 && u.device == device)
            return &u;
    return NULL;
}

}  // namespace

BOOL MonitorControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                    DWORD* returned)
{
    // A report posted by the built-in monitor stays its own memory whatever
    // handle the caller holds now (monitoring may have been switched since).
    if (code == MONITOR9X_RELEASE && ReleaseBuiltinReport(in))
        return TRUE;
    if (IsBuiltinMonitor(device))
        return BuiltinMonitorControl(device, code, in, inLength, out, outLength, returned);
    if (device == INVALID_HANDLE_VALUE || device == NULL)
        return FALSE;
    DWORD scratch = 0;
    return DeviceIoControl(device, code, in, inLength, out, outLength,
                           returned ? returned : &scratch, NULL);
}

void CloseMonitorDevice(HANDLE device)
{
    if (device == INVALID_HANDLE_VALUE || device == NULL)
        return;
    if (IsBuiltinMonitor(device))
        CloseBuiltinMonitor(device);
    else
        CloseHandle(device);
}

HANDLE BeginDeviceCall(HANDLE* cell)
{
    Guard& g = TheGuard();
    EnterCriticalSection(&g.lock);
    HANDLE device = *cell;
    if (device != INVALID_HANDLE_VALUE && device != NULL) {
        DeviceUse* use = FindUse(g, device);
        if (!use) {
            for (DeviceUse& u : g.uses) {
                if (u.calls == 0) {
                    u.device = device;
                    u.closePending = false;
                    use = &u;
                    break;
                }
            }
        }
        if (use)
            ++use->calls;
        else
            device = INVALID_HANDLE_VALUE;  // table full: skip this call rather than risk it
    }
    LeaveCriticalSection(&g.lock);
    return device;
}

void EndDeviceCall(HANDLE device)
{
    Guard& g = TheGuard();
    bool closeNow = false;
    EnterCriticalSection(&g.lock);
    DeviceUse* use = FindUse(g, device);
    if (use && --use->calls == 0) {
        closeNow = use->closePending;
        use->closePending = false;
        use->device = NULL;
    }
    LeaveCriticalSection(&g.lock);
    if (closeNow)
        CloseMonitorDevice(device);
}

void SetGuardedDevice(HANDLE* cell, HANDLE device)
{
    Guard& g = TheGuard();
    EnterCriticalSection(&g.lock);
    *cell = device;
    LeaveCriticalSection(&g.lock);
}

void CloseGuardedDevice(HANDLE device)
{
    Guard& g = TheGuard();
    EnterCriticalSection(&g.lock);
    DeviceUse* use = FindUse(g, device);
    if (use)
        use->closePending = true;
    LeaveCriticalSection(&g.lock);
    if (!use)
        CloseMonitorDevice(device);
}

int DeviceCallsInFlight(HANDLE device)
{
    Guard& g = TheGuard();
    EnterCriticalSection(&g.lock);
    DeviceUse* use = FindUse(g, device);
    int calls = use ? use->calls : 0;
    LeaveCriticalSection(&g.lock);
    return calls;
}
