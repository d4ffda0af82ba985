// One road to the monitor for every control call, and the guard that keeps a
// handle open while another thread is inside a call with it.
#pragma once
#include <windows.h>

// Sends a control code to the monitor behind device: the built-in monitor
// when device is one of its handles, the real driver (DeviceIoControl)
// otherwise. Synchronous; TRUE on success.
BOOL MonitorControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out, DWORD outLength,
                    DWORD* returned);

// Closes a monitor handle of either kind.
void CloseMonitorDevice(HANDLE device);

// The guard. Every read of a shared device cell by a thread that then makes a
// control call goes through BeginDeviceCall/EndDeviceCall; every change of
// such a cell goes through SetGuardedDevice. A handle closed with
// CloseGuardedDevice while a call is in flight is closed by the last
// EndDeviceCall instead, so a call never runs on a closed (or reused) handle.
HANDLE BeginDeviceCall(HANDLE* cell);
void EndDeviceCall(HANDLE device);
void SetGuardedDevice(HANDLE* cell, HANDLE device);
void CloseGuardedDevice(HANDLE device);
// How many calls are in flight on device (for tests).
int DeviceCallsInFlight(HANDLE device);
