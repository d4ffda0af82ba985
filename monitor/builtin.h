// The built-in file-change monitor: takes the driver's place where the driver
// cannot be opened, and speaks the same control codes.
#pragma once
#include <windows.h>

// Opens a handle to the built-in monitor. The monitor is one per process, as
// a driver is one per system: the watch list and the notification event it
// was given outlive its handles, and it watches while any handle is open.
// INVALID_HANDLE_VALUE when it cannot start.
HANDLE OpenBuiltinMonitor(void);
BOOL IsBuiltinMonitor(HANDLE device);
// The control codes of the NT and the Windows 9x monitor (monitor/codes.h).
BOOL BuiltinMonitorControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out,
                           DWORD outLength, DWORD* returned);
void CloseBuiltinMonitor(HANDLE device);
// Frees a path posted with WM_USER+15 when it is one of ours; FALSE otherwise.
BOOL ReleaseBuiltinReport(const void* report);

// For tests and benchmarks: waits until the latest watch list is in force.
BOOL WaitBuiltinMonitorReady(DWORD timeoutMs);
// Paths queued and not yet read (NT) or posted and not yet released (9x).
int BuiltinPendingReports(void);
