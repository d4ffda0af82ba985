// The link to the file-change monitor and the intake that turns changes into requests.
#pragma once
#include <windows.h>

#include "common/messages.h"
#include "transfer/queue.h"

struct IntakeContext;

// Switches monitoring on (enable nonzero) or off; *device is the monitor
// handle the main window keeps. Switching on while *device is open keeps that
// monitor, with the changes it has not yet handed over. 1 on success, 0 when
// the product key or the monitor cannot be opened.
int SetMonitoring(HWND mainWindow, HANDLE* device, WorkerStart* start, int enable);

// Renews the monitor's watch list from the item keys.
int SendWatchList(HANDLE device);

// Closes the monitor handle at shut-down (leaves the enabled value alone).
void CloseMonitor(HANDLE* device);

// 1 on the NT family, 0 on Windows 9x (tested anew each call).
int IsNtPlatform(void);

// The main window's handler of UM_MONITORNOTIFY (Windows 9x monitor).
LRESULT OnMonitorMessage(HWND mainWindow, HANDLE device, WorkerStart* start, WPARAM wParam,
                         LPARAM lParam);

// Starts the NT driver service when it is not running; no result.
void StartMonitorService(const char* name);

// The NT family's intake context (its thread field is set once the
// notification thread runs).
IntakeContext* GetIntakeContext(void);
