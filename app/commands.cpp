// The main window's commands: buttons, menus and popups all arrive here.
#include "app/mainwnd.h"

#include "app/appstate.h"
#include "app/missed.h"
#include "common/messages.h"
#include "common/seams.h"
#include "dialogs/dialogs.h"
#include "log/errors.h"
#include "monitor/monitor.h"
#include "resources/brand.h"
#include "resources/resource.h"
#include "store/scoped.h"
#include "store/store.h"
#include "transfer/folder.h"
#include "transfer/ftp/ftp.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

namespace {

enum { ITEM_PATH_SIZE = 4096 };
const UINT kWarn = MB_OK | MB_ICONEXCLAMATION;
const char kNoFile[] = "You didn't select a file";

HWND ItemList(HWND wnd)
{
    return GetDlgItem(wnd, IDC_MAIN_LIST);
}

bool IsFolderPath(const char* path)
{
    size_t len = strlen(path);
    return len > 0 && (path[len - 1] == '\\' || path[len - 1] == '/');
}

// The selected row's path for commands that act on exactly one item; shows
// the refusal and answers false otherwise.
bool GetSingleSelection(HWND wnd, char* path, const char* tooMany)
{
    HWND list = ItemList(wnd);
    if (GetSelectedRowText(list, path, ITEM_PATH_SIZE) < 0) {
        ShowMessageBox(wnd, kNoFile, "Error", kWarn);
        return false;
    }
    if (ListView_GetSelectedCount(list) > 1) {
        ShowMessageBox(wnd, tooMany, "Error", kWarn);
        return false;
    }
    return true;
}

void OnAddItem(HWND wnd)
{
    AddItemFromDialog(wnd);
}

void OnRemoveItems(HWND wnd)
{
    HWND list = ItemList(wnd);
    if (ListView_GetNextItem(list, -1, LVNI_SELECTED) < 0) {
        ShowMessageBox(wnd, kNoFile, "Error", kWarn);
        return;
    }
    if (ShowMessageBox(wnd,
                       "Are you sure you want to remove the selected item(s)?  You will have to "
                       "manually restore any files you have backed up - you won't be able to "
                       "restore them with Tandemkeep.",
                       "Continue?", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
        return;
    char path[ITEM_PATH_SIZE];
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
        path[0] = '\0';
        ListView_GetItemText(list, row, 0, path, sizeof path);
        DeleteItemKey(path);
    }
    PostMessageA(wnd, UM_RELOADITEMS, 0, 0);
}

void OnProperties(HWND wnd)
{
    char path[ITEM_PATH_SIZE];
    if (GetSingleSelection(wnd, path,
                           "You cannot edit more than one file at time.  Select just one file "
                           "from the list.")) {
        RunPropertiesSheet(wnd, path);
        CatchUpItem(wnd, path);
    }
}

void OnRestore(HWND wnd)
{
    char path[ITEM_PATH_SIZE];
    if (GetSingleSelection(wnd, path,
                           "You cannot restore more than one file/folder at time.  Select just "
                           "one file/folder from the list."))
        RunRestoreDialog(wnd, path);
}

void OnHelp(HWND wnd)
{
    char path[4096];
    if (!GetInstallDir(path, sizeof path) || !path[0]) {
        ShowMessageBox(wnd, "Cannot find help file - please contact customer support",
                       "Can't find help", kWarn);
        return;
    }
    const char kHelp[] = "\\help\\tandem_help.html";
    size_t len = strlen(path);
    if (len + sizeof kHelp > sizeof path)
        return;
    memcpy(path + len, kHelp, sizeof kHelp);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.hwnd = wnd;
    info.lpVerb = "Open";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    RunShellExecute(&info);
}

void OnSupport(HWND wnd)
{
    if (!OpenInBrowser(TK_SUPPORT_ADDRESS))
        ShowMessageBox(
            wnd,
            "Tandemkeep could not launch your Internet browser.  Please visit " TK_SUPPORT_ADDRESS
            " manually.  Thank you.",
            "Error Launching Browser", kWarn);
}

void OnBrowseFolder(HWND wnd)
{
    char path[ITEM_PATH_SIZE];
    if (GetSelectedRowText(ItemList(wnd), path, sizeof path) < 0)
        return;
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.lpVerb = "Explore";
    info.lpFile = path;
    info.nShow = SW_SHOWNORMAL;
    RunShellExecute(&info);
}

void OnStopAll(void)
{
    StopAllTransfers();
    StopRetries();
    SetStatusString(IDS_READY);
}

// A folder item: its own transfer with a progress window. Returns false
// when the command must end here.
bool SynchronizeFolder(HWND wnd, const char* path)
{
    ScopedItemSettings settings(path);
    if (!settings.loaded())
        return false;
    if (!settings->switches->ftpEnabled && !settings->switches->hdEnabled) {
        ShowMessageBox(wnd,
                       "You must have FTP or drive synchronization enabled in order to back up "
                       "this item.  Select the item, click the Properties button, and then enable "
                       "FTP backup or drive backup and fill in the necessary fields.",
                       "Error", kWarn);
        return true;
    }
    FolderTransfer block = {};
    block.folder = path;
    block.mainWindow = wnd;
    block.progressWindow = CreateProgressWindow(wnd, path);
    block.includeSubfolders = static_cast<int>(settings->options->includeSubs);
    block.batches = g_app.live.batches;
    block.shutdownEvent = g_app.live.shutdownEvent;
    int result = StartFolderTransfer(&block);
    if (result != ERR_SUCCESS) {
        ErrorReport report;
        FillErrorReport(&report, result, path);
        SendMessageA(wnd, UM_REPORTERROR, 0, reinterpret_cast<LPARAM>(&report));
    }
    return true;
}

void OnSynchronize(HWND wnd)
{
    HWND list = ItemList(wnd);
    if (ListView_GetNextItem(list, -1, LVNI_SELECTED) < 0) {
        ShowMessageBox(wnd, "You didn't select an item from the list.", "No Item Selected", kWarn);
        return;
    }
    char path[ITEM_PATH_SIZE];
    for (int row = 0; row < ListView_GetItemCount(list); ++row) {
        if (!(ListView_GetItemState(list, row, LVIS_SELECTED) & LVIS_SELECTED))
            continue;
        path[0] = '\0';
        ListView_GetItemText(list, row, 0, path, sizeof path);
        if (IsFolderPath(path)) {
            if (!SynchronizeFolder(wnd, path))
                return;
            continue;
        }
        QueueRequest(g_app.live.queue, g_app.live.workEvent, path, KIND_HD, wnd, NULL, NULL);
        QueueRequest(g_app.live.queue, g_app.live.workEvent, path, KIND_FTP, wnd, NULL, NULL);
    }
}

}  // namespace

BOOL OnMainCommand(HWND wnd, UINT id)
{
    switch (id) {
    case IDM_EXIT:
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        return TRUE;
    case IDM_SETTINGS:
        RunSettingsDialog(wnd);
        FollowMissedSwitches(wnd);
        return TRUE;
    case IDM_ADD:
        OnAddItem(wnd);
        return TRUE;
    case IDM_REMOVE:
        OnRemoveItems(wnd);
        return TRUE;
    case IDM_PROPERTIES:
        OnProperties(wnd);
        return TRUE;
    case IDC_MAIN_ENABLED:
    case IDC_MAIN_DISABLED:
        SwitchMonitoring(wnd, id == IDC_MAIN_ENABLED);
        return TRUE;
    case IDM_RESTORE:
        OnRestore(wnd);
        return TRUE;
    case IDM_HIDE:
        SendMessageA(wnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        return TRUE;
    case IDM_ABOUT:
        RunAboutDialog(wnd);
        return TRUE;
    case IDM_HELP:
        OnHelp(wnd);
        return TRUE;
    case IDM_SYNCHRONIZE:
        OnSynchronize(wnd);
        return TRUE;
    case IDM_SHOW_REPLIES:
        if (g_app.repliesWindow)
            ShowWindow(g_app.repliesWindow, SW_SHOWNORMAL);
        return TRUE;
    case IDM_SUPPORT:
        OnSupport(wnd);
        return TRUE;
    case IDM_BROWSE_FOLDER:
        OnBrowseFolder(wnd);
        return TRUE;
    case IDM_STOP_ALL:
        OnStopAll();
        return TRUE;
    case IDM_RETRY_NOW:
        RetryWaitingNow();
        return TRUE;
    }
    return FALSE;
}
