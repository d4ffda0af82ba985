// The main window's dialog procedure: one handler per message.
#include "app/mainwnd.h"

#include "app/appstate.h"
#include "app/missed.h"
#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "monitor/monitor.h"
#include "transfer/folder.h"
#include "resources/resource.h"
#include "transfer/ftp/ftp.h"

#include <dbt.h>
#include <winsock2.h>

namespace {

// The shell broadcasts this after it restarts; the icon must be added again.
UINT TaskbarCreatedMessage()
{
    static UINT message = RegisterWindowMessageA("TaskbarCreated");
    return message;
}

BOOL SetResult(HWND wnd, LRESULT result)
{
    SetWindowLongPtrA(wnd, DWLP_MSGRESULT, result);
    return TRUE;
}

BOOL OnSysCommand(HWND wnd, WPARAM command)
{
    if ((command & 0xFFF0) == SC_CLOSE)
        return OnMainCloseBox(wnd);
    return FALSE;
}

BOOL OnStopTransfer(HWND wnd, WPARAM half, HWND progressWindow)
{
    if (half == 1) {
        // The transfer's queued FTP requests first, so that no new batch
        // starts for them; then the batches already running.
        StopFtpHalf(progressWindow);
        StopFtpBatches(progressWindow);
    } else if (half == 2) {
        StopDiskHalf(wnd, progressWindow);
    }
    return TRUE;
}

BOOL OnStatusText(const char* text)
{
    if (text)
        SetStatusText(text);
    else
        SetStatusString(IDS_READY);
    return TRUE;
}

BOOL OnReportError(HWND wnd, const ErrorReport* report)
{
    if (report)
        ReportError(report);
    return SetResult(wnd, 1);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == TaskbarCreatedMessage() && msg != 0) {
        SetTrayIcon(wnd, TRAY_IDLE, NULL, TRAY_ADD);
        return TRUE;
    }
    switch (msg) {
    case WM_INITDIALOG:
        return OnMainInitDialog(wnd, static_cast<int>(lParam));
    case WM_CLOSE:
        return OnMainClose(wnd);
    case WM_SYSCOMMAND:
        return OnSysCommand(wnd, wParam);
    case WM_SIZE:
        return LayoutMainWindow(wnd);
    case WM_NOTIFY:
        return OnListNotify(wnd, reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        return OnMainCommand(wnd, LOWORD(wParam));
    case UM_RELOADITEMS:
        ReloadItemList(wnd, TRUE);
        NoteItemsListed(wnd);
        return FALSE;
    case WM_DEVICECHANGE:
        if (wParam == DBT_DEVICEARRIVAL)
            WakeRetries();
        return FALSE;
    case UM_FTPCONTROL:
    case UM_FTPDATA:
    case UM_FTPRETIRED:
    case UM_FTPCONTINUE:
        return OnFtpClientMessage(msg, wParam, lParam);
    case UM_TRAYSTATE:
        return OnTrayState(wnd, static_cast<int>(wParam), reinterpret_cast<const char*>(lParam));
    case UM_STATUSTEXT:
        return OnStatusText(reinterpret_cast<const char*>(lParam));
    case UM_TRAYNOTIFY:
        return OnTrayNotify(wnd, wParam, lParam);
    case UM_STOPTRANSFER:
        return OnStopTransfer(wnd, wParam, reinterpret_cast<HWND>(lParam));
    case UM_MONITORNOTIFY:
        return SetResult(wnd, OnMonitorMessage(wnd, g_app.device, &g_app.live, wParam, lParam));
    case UM_REPORTERROR:
        return OnReportError(wnd, reinterpret_cast<const ErrorReport*>(lParam));
    case UM_BROWSETARGET:
        return OnBrowseTarget(wParam, reinterpret_cast<const char*>(lParam));
    }
    return FALSE;
}
