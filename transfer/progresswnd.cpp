// The progress window of a folder transfer: a disk half and an FTP half, each with its bars and
// Stop button.
#include "transfer/folder.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/scoped.h"

#include <commctrl.h>
#include <initializer_list>
#include <stdio.h>

namespace {

// Main thread only, like every window of the program.
int g_openWindows = 0;

// DWLP_USER holds this flag once the window has counted itself as open, so
// that it is counted down exactly once however it ends.
const LONG_PTR kCounted = 1;

// The controls of one half.
struct Half {
    int stop;
    int totalBar;
    int fileBar;
    int currentFile;
    int greyed[5];  // group box and labels, disabled with the Stop button
    WPARAM stopRequest;
};

const Half kDisk = {IDC_PROGRESS_DISK_STOP,
                    IDC_PROGRESS_DISK_TOTAL,
                    IDC_PROGRESS_DISK_BAR,
                    IDC_PROGRESS_DISK_FILE,
                    {IDC_PROGRESS_DISK_GROUP, IDC_PROGRESS_DISK_FILE, IDC_PROGRESS_DISK_FILELABEL,
                     IDC_PROGRESS_DISK_BARLABEL, IDC_PROGRESS_DISK_TOTALLABEL},
                    2};
const Half kFtp = {IDC_PROGRESS_FTP_STOP,
                   IDC_PROGRESS_FTP_TOTAL,
                   IDC_PROGRESS_FTP_BAR,
                   IDC_PROGRESS_FTP_FILE,
                   {IDC_PROGRESS_FTP_GROUP, IDC_PROGRESS_FTP_FILE, IDC_PROGRESS_FTP_FILELABEL,
                    IDC_PROGRESS_FTP_BARLABEL, IDC_PROGRESS_FTP_TOTALLABEL},
                   1};

// The window property that holds the transfer's stop switches. A property
// rather than the user data: only a progress window has one, so a stop
// request naming any other window finds nothing.
const char kStopsProperty[] = "TkFolderStops";

const char kCloseQuestion[] =
    "Closing this window will stop all transfers.  Do you want to continue?";

HWND Owner(HWND wnd)
{
    return GetWindow(wnd, GW_OWNER);
}

bool IsRunning(HWND wnd, const Half& half)
{
    return IsWindowEnabled(GetDlgItem(wnd, half.stop)) != FALSE;
}

bool IsDone(HWND wnd, const Half& half)
{
    HWND bar = GetDlgItem(wnd, half.totalBar);
    LRESULT pos = SendMessageA(bar, PBM_GETPOS, 0, 0);
    LRESULT high = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
    return pos == high;
}

void RequestStop(HWND wnd, const Half& half)
{
    SendMessageA(Owner(wnd), UM_STOPTRANSFER, half.stopRequest, reinterpret_cast<LPARAM>(wnd));
}

// The Stop button of a half: grey the half out and ask the main window to stop it.
void Progress_OnStop(HWND wnd, const Half& half)
{
    if (!IsRunning(wnd, half))
        return;
    for (int id : half.greyed)
        EnableWindow(GetDlgItem(wnd, id), FALSE);
    EnableWindow(GetDlgItem(wnd, half.stop), FALSE);
    RequestStop(wnd, half);
}

// files: how many are done (a worker tells of several at once), 0 for one.
void Progress_OnFileDone(HWND wnd, const Half& half, WPARAM files)
{
    // A full bar would start over from 0 on a further step.
    HWND bar = GetDlgItem(wnd, half.totalBar);
    LRESULT pos = SendMessageA(bar, PBM_GETPOS, 0, 0);
    LRESULT high = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
    LRESULT steps = files ? static_cast<LRESULT>(files) : 1;
    if (pos < high)
        SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(high - pos < steps ? high : pos + steps),
                     0);
    PostMessageA(wnd, UM_CHECKDONE, 0, 0);
    if (IsDone(wnd, half))
        EnableWindow(GetDlgItem(wnd, half.stop), FALSE);
}

void Progress_OnSetTotal(HWND wnd, const Half& half, WPARAM total)
{
    // The full 32-bit range: a 16-bit one would wrap a large total and show
    // the transfer complete while copies go on.
    SendDlgItemMessageA(wnd, half.totalBar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
    // A half with nothing to do is finished from the start.
    if (IsDone(wnd, half))
        EnableWindow(GetDlgItem(wnd, half.stop), FALSE);
    PostMessageA(wnd, UM_CHECKDONE, 0, 0);
}

void Progress_OnFileStart(HWND wnd, const Half& half, LPARAM path)
{
    if (path)
        SetDlgItemTextA(wnd, half.currentFile, reinterpret_cast<const char*>(path));
}

void Progress_OnCheckDone(HWND wnd)
{
    if (!IsDone(wnd, kFtp) || !IsDone(wnd, kDisk))
        return;
    SetWindowTextA(wnd, "Folder Transfer Complete");
    SendMessageA(Owner(wnd), UM_TRAYSTATE, TRAY_IDLE, 0);
}

void CountDown(HWND wnd)
{
    if (GetWindowLongPtrA(wnd, DWLP_USER) == kCounted) {
        SetWindowLongPtrA(wnd, DWLP_USER, 0);
        --g_openWindows;
    }
}

// The window lets go of the stop switches; the transfer may hold them longer.
void Progress_OnDestroy(HWND wnd)
{
    CountDown(wnd);
    ReleaseFolderStops(static_cast<FolderStops*>(RemovePropA(wnd, kStopsProperty)));
}

// Closing: ask while a half runs (unless shutdown already ended the
// transfer), then stop what still runs, disk first.
void Progress_OnClose(HWND wnd, bool ask)
{
    bool disk = IsRunning(wnd, kDisk), ftp = IsRunning(wnd, kFtp);
    if (ask && (disk || ftp) &&
        ShowMessageBox(wnd, kCloseQuestion, "Stop Transfers?", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    CountDown(wnd);
    if (disk)
        RequestStop(wnd, kDisk);
    if (ftp)
        RequestStop(wnd, kFtp);
    DestroyWindow(wnd);
}

void PlaceWindow(HWND wnd, int count)
{
    RECT owner = {0, 0, 0, 0};
    if (Owner(wnd))
        GetWindowRect(Owner(wnd), &owner);
    SetWindowPos(wnd, NULL, owner.left + 30 + 20 * count, owner.top + 50 + 20 * count, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Progress_OnInit(HWND wnd, const char* folder)
{
    if (!folder)
        return;
    // Made before anything can stop a half, so that no stop is lost, not even
    // one that comes before the transfer has queued anything.
    FolderStops* stops = NewFolderStops();
    if (stops && !SetPropA(wnd, kStopsProperty, stops))
        ReleaseFolderStops(stops);
    ScopedItemSettings settings(folder);
    if (settings.loaded()) {
        if (!settings->switches->hdEnabled)
            Progress_OnStop(wnd, kDisk);
        if (!settings->switches->ftpEnabled)
            Progress_OnStop(wnd, kFtp);
    }

    SetWindowLongPtrA(wnd, DWLP_USER, kCounted);
    PlaceWindow(wnd, ++g_openWindows);

    char caption[MAX_PATH + 32];
    snprintf(caption, sizeof caption, "Folder Transfer - %s", folder);
    SetWindowTextA(wnd, caption);

    for (int id : {kDisk.fileBar, kDisk.totalBar, kFtp.fileBar, kFtp.totalBar})
        SendDlgItemMessageA(wnd, id, PBM_SETSTEP, 1, 0);
    HICON icon = static_cast<HICON>(
        LoadImageA(GetModuleHandleA(NULL), "SMALLUPLOAD", IMAGE_ICON, 16, 16, LR_SHARED));
    SendMessageA(wnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

INT_PTR CALLBACK ProgressProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        Progress_OnInit(wnd, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case UM_FTPFILEDONE:
        Progress_OnFileDone(wnd, kFtp, wParam);
        return TRUE;
    case UM_DISKFILEDONE:
        Progress_OnFileDone(wnd, kDisk, wParam);
        return TRUE;
    case UM_FTPFILESTART:
        Progress_OnFileStart(wnd, kFtp, lParam);
        return TRUE;
    case UM_DISKFILESTART:
        Progress_OnFileStart(wnd, kDisk, lParam);
        return TRUE;
    case UM_FTPSETTOTAL:
        Progress_OnSetTotal(wnd, kFtp, wParam);
        return TRUE;
    case UM_DISKSETTOTAL:
        Progress_OnSetTotal(wnd, kDisk, wParam);
        return TRUE;
    case UM_FTPPERCENT:
        SendDlgItemMessageA(wnd, kFtp.fileBar, PBM_SETPOS, wParam, 0);
        return TRUE;
    case UM_DISKPERCENT:
        SendDlgItemMessageA(wnd, kDisk.fileBar, PBM_SETPOS, wParam, 0);
        return TRUE;
    case UM_SETCAPTION:
        if (lParam)
            SetWindowTextA(wnd, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case UM_CHECKDONE:
        Progress_OnCheckDone(wnd);
        return TRUE;
    case UM_TRANSFERSTOPPED:
        Progress_OnClose(wnd, false);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDisk.stop)
            Progress_OnStop(wnd, kDisk);
        else if (LOWORD(wParam) == kFtp.stop)
            Progress_OnStop(wnd, kFtp);
        return TRUE;
    case WM_CLOSE:
        Progress_OnClose(wnd, true);
        return TRUE;
    case WM_DESTROY:
        // Destroyed with its owner at shutdown: the transfer ends with the program.
        Progress_OnDestroy(wnd);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

HWND CreateProgressWindow(HWND owner, const char* folder)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    return CreateDialogParamA(GetModuleHandleA(NULL), "TRANSFERDIRECTORY", owner, ProgressProc,
                              reinterpret_cast<LPARAM>(folder));
}

FolderStops* ProgressWindowStops(HWND progressWindow)
{
    if (!progressWindow || !IsWindow(progressWindow))
        return NULL;
    return static_cast<FolderStops*>(GetPropA(progressWindow, kStopsProperty));
}

void StopDiskHalf(HWND mainWindow, HWND progressWindow)
{
    FolderStops* stops = ProgressWindowStops(progressWindow);
    if (stops)
        SetEvent(stops->disk);
    if (mainWindow)
        SendMessageA(mainWindow, UM_STATUSTEXT, 0,
                     reinterpret_cast<LPARAM>("Hard Drive/Network Transfer Stopped"));
}

void StopFtpHalf(HWND progressWindow)
{
    FolderStops* stops = ProgressWindowStops(progressWindow);
    if (stops)
        SetEvent(stops->ftp);
}

int OpenProgressWindowCount(void)
{
    return g_openWindows;
}
