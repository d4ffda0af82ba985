// The notification-area icon.
#include "app/tray.h"

#include "common/messages.h"
#include "resources/brand.h"

#include <shellapi.h>
#include <stdio.h>
#include <string.h>

namespace {
TrayHook g_trayHook = NULL;
const char* const kIcons[] = {"SMALLICON", "SMALLUPLOAD", "SMALLDOWNLOAD"};
}

TrayHook SetTrayHook(TrayHook hook)
{
    TrayHook old = g_trayHook;
    g_trayHook = hook;
    return old;
}

BOOL SetTrayIcon(HWND window, int index, const char* tip, int action)
{
    NOTIFYICONDATAA data;
    memset(&data, 0, sizeof data);
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = 0;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = UM_TRAYNOTIFY;
    if (index < 0 || index > 2)
        index = 0;
    // Shared: the system keeps one handle per icon instead of a new one per call.
    data.hIcon = static_cast<HICON>(LoadImageA(GetModuleHandleA(NULL), kIcons[index], IMAGE_ICON,
                                               16, 16, LR_SHARED));
    // The tip field holds 64 bytes on every shell version this runs on.
    lstrcpynA(data.szTip, tip ? tip : TK_TITLE, 64);
    DWORD message = action == 0 ? NIM_ADD : action == 1 ? NIM_MODIFY : NIM_DELETE;
    if (g_trayHook)
        return g_trayHook(message, &data);
    return Shell_NotifyIconA(message, &data);
}

BOOL SetTrayTransferring(HWND window, int index, const char* path)
{
    char tip[300];
    snprintf(tip, sizeof tip, "%s - Transferring file %s", TK_TITLE, path ? path : "");
    return SetTrayIcon(window, index, tip, 1);
}
