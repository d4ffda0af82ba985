// The notification-area icon: one icon, ID 0, whose image shows transfer activity.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "common/messages.h"

enum { TRAY_ADD = 0, TRAY_MODIFY = 1, TRAY_DELETE = 2 };

// Adds, modifies or deletes the icon with the image of index and the tip
// (cut to 63 characters; "Tandemkeep v1.21" when tip is NULL). Returns the
// shell's result.
BOOL SetTrayIcon(HWND window, int index, const char* tip, int action);

// UM_TRAYSTATE: the icon of index with the plain tip, or with "Tandemkeep
// v1.21 - Transferring file %s" for path. The shell is asked only when the
// icon or its tip changes. The idle icon also puts the caption back.
BOOL OnTrayState(HWND window, int index, const char* path);

// The count of copies waiting to be retried ("" for none), which the plain
// tip shows after the title; shown at once when the plain tip stands.
void SetTrayWaitingText(HWND window, const char* text);

typedef BOOL (*TrayHook)(DWORD action, NOTIFYICONDATAA* data);
// Lets tests see every call; NULL restores the shell.
TrayHook SetTrayHook(TrayHook hook);
