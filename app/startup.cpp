// Start-up and shut-down of the main window, and the shared state it creates for the threads.
#include "app/mainwnd.h"

#include "app/appstate.h"
#include "app/missed.h"
#include "common/messages.h"
#include "common/seams.h"
#include "app/tray.h"
#include "dialogs/dialogs.h"
#include "log/errors.h"
#include "monitor/monitor.h"
#include "resources/brand.h"
#include "resources/resource.h"
#include "store/regvalue.h"
#include "store/store.h"
#include "transfer/ftp/ftp.h"
#include "transfer/ftp/ftpbatch.h"
#include "transfer/worker.h"

#include <commctrl.h>
#include <process.h>
#include <stdlib.h>
#include <string.h>
#include <winsock2.h>

namespace {

enum { FIRST_RUN_WIDTH = 620, FIRST_RUN_HEIGHT = 460 };

const char kCannotLoad[] =
    "An error has occurred and Tandemkeep cannot load the Tandemkeep system.  Make sure all your "
    "installation files are in the proper place and contact support at " TK_SUPPORT_ADDRESS
    ".  This error will arise if you did not restart after the installation.  Tandemkeep will "
    "now close.";

// The live worker's master start record: events, queue and batch list.
bool CreateSharedState(HWND wnd)
{
    WorkerStart& live = g_app.live;
    memset(&live, 0, sizeof live);
    live.batches = NewBatchList();
    live.workEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    live.shutdownEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    live.liveStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    live.mainWindow = wnd;
    live.queue = NewRequestQueue();
    live.mode = WORKER_LIVE;
    // The FTP client knows its window and lists before any worker can start a batch.
    FtpClientSetup client = {wnd,        live.batches,   NULL,
                             live.queue, live.workEvent, live.liveStopEvent};
    InitFtpClient(client);
    return live.batches && live.queue && live.workEvent && live.shutdownEvent && live.liveStopEvent;
}

// A stored rectangle that no monitor shows (saved from another screen
// layout, say) moves onto the primary monitor's work area.
void MoveOntoScreen(LONG rect[4])
{
    RECT r = {rect[0], rect[1], rect[2], rect[3]};
    if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL))
        return;
    RECT work;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    OffsetRect(&r, work.left - r.left, work.top - r.top);
    rect[0] = r.left, rect[1] = r.top, rect[2] = r.right, rect[3] = r.bottom;
}

// The window's normal (restored) rectangle in screen coordinates, also while
// it is minimized, maximized or hidden.
void NormalRectangle(HWND wnd, LONG rect[4])
{
    WINDOWPLACEMENT place = {};
    place.length = sizeof place;
    RECT r;
    if (!GetWindowPlacement(wnd, &place)) {
        GetWindowRect(wnd, &r);
    } else {
        // The placement is in work-area coordinates of its monitor.
        r = place.rcNormalPosition;
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (GetMonitorInfoA(MonitorFromRect(&r, MONITOR_DEFAULTTOPRIMARY), &info))
            OffsetRect(&r, info.rcWork.left - info.rcMonitor.left,
                       info.rcWork.top - info.rcMonitor.top);
    }
    rect[0] = r.left, rect[1] = r.top, rect[2] = r.right, rect[3] = r.bottom;
}

// Saved rectangle, splash and first run. Returns whether this is the first run.
bool ApplyStoredWindowState(HWND wnd)
{
    HKEY key = OpenProductKey();
    LONG rect[4];
    if (key && ReadRegBinary(key, "size", rect, sizeof rect)) {
        MoveOntoScreen(rect);
        MoveWindow(wnd, rect[0], rect[1], rect[2] - rect[0], rect[3] - rect[1], TRUE);
    } else {
        PostMessageA(wnd, WM_SIZE, 0, 0);
    }

    DWORD splash = 0;
    bool showSplash = key && ReadRegDword(key, "splash", &splash) && splash != 0;
    bool firstRun =
        key && RegQueryValueExA(key, "firsttime", NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    if (showSplash)
        ShowSplash(wnd);
    if (firstRun) {
        RECT outer;
        GetWindowRect(wnd, &outer);
        MoveWindow(wnd, outer.left, outer.top, FIRST_RUN_WIDTH, FIRST_RUN_HEIGHT, TRUE);
        WriteRegDword(key, "splash", 0);
    }
    if (key)
        RegCloseKey(key);
    return firstRun;
}

void SubclassControls(HWND wnd)
{
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    LONG_PTR old = GetWindowLongPtrA(list, GWLP_WNDPROC);
    WatermarkListProc(list, UM_SETOLDPROC, 0, old);
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatermarkListProc));
    SetWindowLongPtrA(GetDlgItem(wnd, IDC_MAIN_PANEL), GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(PanelWindowProc));
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
}

}  // namespace

int StartShowCommand(const char* commandLine, int showCommand)
{
    return commandLine && strcmp(commandLine, "HIDE") == 0 ? SW_HIDE : showCommand;
}

HWND CreateMainWindow(int showCommand)
{
    HWND wnd = CreateDialogParamA(GetModuleHandleA(NULL), "MAINDIALOG", NULL, MainDialogProc,
                                  static_cast<LPARAM>(showCommand));
    return wnd && IsWindow(wnd) ? wnd : NULL;
}

BOOL OnMainInitDialog(HWND wnd, int showCommand)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    g_app.mainWindow = wnd;
    g_app.device = INVALID_HANDLE_VALUE;
    g_app.statusBar = NULL;
    g_app.repliesWindow = NULL;
    g_app.tipsWindow = NULL;
    SetErrorWindowOwner(wnd);

    WorkerStart* block = static_cast<WorkerStart*>(malloc(sizeof(WorkerStart)));
    if (!block || !CreateSharedState(wnd)) {
        free(block);
        ShowMessageBox(wnd, "There is not enough memory to start Tandemkeep.", "Error",
                       MB_ICONHAND);
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        return TRUE;
    }

    if (!SetMonitoring(wnd, &g_app.device, &g_app.live, IsMonitoringEnabled())) {
        free(block);
        SendDlgItemMessageA(wnd, IDC_MAIN_DISABLED, BM_SETCHECK, BST_CHECKED, 0);
        ShowMessageBox(wnd, kCannotLoad, "Error", MB_ICONHAND);
        WSACleanup();
        PostQuitMessage(0);
        SetErrorWindowOwner(NULL);
        g_app.mainWindow = NULL;
        DestroyWindow(wnd);
        return TRUE;
    }

    // The worker tells every copy's outcome to what the switches open.
    OpenMissedChanges();
    // The worker owns the block from here and frees it. Without a worker
    // nothing would ever be copied: that ends the start like no memory does.
    *block = g_app.live;
    if (_beginthread(TransferWorker, 0, block) == static_cast<uintptr_t>(-1L)) {
        free(block);
        ShowMessageBox(wnd, "There is not enough memory to start Tandemkeep.", "Error",
                       MB_ICONHAND);
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        return TRUE;
    }

    bool firstRun = ApplyStoredWindowState(wnd);
    if (firstRun)
        CreateTutorialWindow(wnd);
    else
        g_app.tipsWindow = CreateTipsWindow(wnd, showCommand);

    ShowMonitoringState(wnd, IsMonitoringEnabled());
    SendMessageA(wnd, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(
                     LoadImageA(GetModuleHandleA(NULL), "SMALLICON", IMAGE_ICON, 16, 16, 0)));
    SetTrayIcon(wnd, TRAY_IDLE, NULL, TRAY_ADD);
    char ready[256];
    LoadProgramString(IDS_READY, ready, sizeof ready);
    g_app.statusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, ready, wnd, IDC_MAIN_STATUS);
    g_app.repliesWindow = CreateRepliesWindow(wnd);
    SetFtpRepliesWindow(g_app.repliesWindow);
    SetForegroundWindow(wnd);
    SubclassControls(wnd);
    ShowWindow(wnd, firstRun ? SW_SHOWNORMAL : showCommand);
    ReloadItemList(wnd, FALSE);
    StartMissedChanges(wnd);
    return FALSE;
}

BOOL OnMainClose(HWND wnd)
{
    if (g_app.live.shutdownEvent)
        SetEvent(g_app.live.shutdownEvent);

    // The rectangle of the moment, also while the window is hidden; the
    // normal one while it is minimized, so the next start shows it.
    LONG rect[4];
    NormalRectangle(wnd, rect);
    HKEY key = OpenProductKey();
    if (key) {
        WriteRegBinary(key, "size", rect, sizeof rect);
        RegCloseKey(key);
    }

    SetTrayIcon(wnd, TRAY_IDLE, NULL, TRAY_DELETE);
    ShutDownFtpClient();
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL);
    if (images) {
        ListView_SetImageList(list, NULL, LVSIL_SMALL);
        ImageList_Destroy(images);
    }
    WSACleanup();
    CloseMonitor(&g_app.device);

    SetErrorWindowOwner(NULL);
    DestroyWindow(wnd);
    g_app.mainWindow = NULL;
    g_app.statusBar = NULL;
    g_app.repliesWindow = NULL;
    g_app.tipsWindow = NULL;
    PostQuitMessage(0);
    return TRUE;
}
