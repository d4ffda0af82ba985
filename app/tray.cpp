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
// What the icon shows now (main thread), so that a repeat changes nothing.
int g_shownIndex = -1;
char g_shownTip[64];
bool g_shownPlain = true;  // the tip shown is the plain one, not a transfer's
char g_waiting[64];

// The plain tip: the title, and the waiting copies when there are any.
void PlainTip(char* tip, size_t size)
{
    if (g_waiting[0])
        snprintf(tip, size, "%s - %s", TK_TITLE, g_waiting);
    else
        lstrcpynA(tip, TK_TITLE, static_cast<int>(size));
}
}  // namespace

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
    data.hIcon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(NULL), kIcons[index], IMAGE_ICON, 16, 16, LR_SHARED));
    // The tip field holds 64 bytes on every shell version this runs on.
    lstrcpynA(data.szTip, tip ? tip : TK_TITLE, 64);
    DWORD message = action == 0 ? NIM_ADD : action == 1 ? NIM_MODIFY : NIM_DELETE;
    // A new tip on the icon that shows already: the shell need not be
    // handed the picture again.
    if (message == NIM_MODIFY && index == g_shownIndex)
        data.uFlags = NIF_TIP;
    BOOL done = g_trayHook ? g_trayHook(message, &data) : Shell_NotifyIconA(message, &data);
    g_shownIndex = action == TRAY_DELETE || !done ? -1 : index;
    lstrcpynA(g_shownTip, data.szTip, sizeof g_shownTip);
    return done;
}

BOOL OnTrayState(HWND window, int index, const char* path)
{
    char tip[300];
    if (path)
        snprintf(tip, sizeof tip, "%s - Transferring file %s", TK_TITLE, path);
    else
        PlainTip(tip, sizeof tip);
    g_shownPlain = path == NULL;
    // Only when it differs: each change of the title is a trip to the display.
    char title[sizeof TK_TITLE + 1];
    if (index == TRAY_IDLE && (GetWindowTextA(window, title, sizeof title) != sizeof TK_TITLE - 1 ||
                               strcmp(title, TK_TITLE) != 0))
        SetWindowTextA(window, TK_TITLE);
    if (index == g_shownIndex && strncmp(tip, g_shownTip, sizeof g_shownTip - 1) == 0)
        return TRUE;
    return SetTrayIcon(window, index, tip, TRAY_MODIFY);
}

void SetTrayWaitingText(HWND window, const char* text)
{
    lstrcpynA(g_waiting, text ? text : "", sizeof g_waiting);
    if (!g_shownPlain || g_shownIndex < 0)
        return;
    char tip[128];
    PlainTip(tip, sizeof tip);
    SetTrayIcon(window, g_shownIndex, tip, TRAY_MODIFY);
}
