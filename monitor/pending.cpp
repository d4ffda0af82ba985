// Monitor link not written yet: monitoring switches only the registry value,
// and no change is ever reported.
#include "monitor/monitor.h"

#include "store/regvalue.h"

int SetMonitoring(HWND, HANDLE*, WorkerStart*, int enable)
{
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    if (enable)
        WriteRegBinary(key, "enabled", "", 0);
    else
        RegDeleteValueA(key, "enabled");
    RegCloseKey(key);
    return 1;
}

int SendWatchList(HANDLE) { return 1; }

void CloseMonitor(HANDLE* device)
{
    if (device && *device != INVALID_HANDLE_VALUE) {
        CloseHandle(*device);
        *device = INVALID_HANDLE_VALUE;
    }
}

int IsNtPlatform(void) { return (GetVersion() & 0x80000000u) == 0; }

LRESULT OnMonitorMessage(HWND, HANDLE, WorkerStart*, WPARAM, LPARAM) { return 0; }
