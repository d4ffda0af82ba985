// The Restore dialog: one item's restore records, copied back from a drive or downloaded from FTP.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/messages.h"
#include "common/seams.h"
#include "log/errors.h"
#include "resources/brand.h"
#include "resources/resource.h"
#include "store/regvalue.h"
#include "store/store.h"
#include "transfer/ftp/ftp.h"

#include <commctrl.h>
#include <stdio.h>
#include <string.h>

namespace {

// Record texts: two paths of up to 259 characters with a '*' between.
enum { RECORD_TEXT_SIZE = 520 };

// The dialog's record: the item whose records it lists.
struct RestoreDialog {
    char itemPath[TK_PATH_SIZE];
};

// What an FTP restore calls; a test may put another function in its place.
FtpDownloadStarter g_starter = StartFtpDownload;

const char* const kColumns[3] = {"Original Filename", "Now Stored As", "At Location"};

void ShowError(HWND dlg, const char* text, UINT icon)
{
    ShowMessageBox(dlg, text, "Error", MB_OK | icon);
}

// Adds the records of one restore key ("FTP" or "HD") at the top of the
// list; false when the key cannot be opened.
bool AddRecords(HWND list, const char* itemPath, const char* keyName, int kind)
{
    char name[TK_PATH_SIZE];
    lstrcpynA(name, itemPath, sizeof name);
    EncodeKeyName(name);
    char keyPath[TK_PATH_SIZE + 64];
    int n = snprintf(keyPath, sizeof keyPath, "%s\\%s\\%s", TK_FILES_KEY, name, keyName);
    HKEY key = NULL;
    if (n < 0 || n >= static_cast<int>(sizeof keyPath) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    int row = 0;
    for (DWORD index = 0;; ++index) {
        char valueName[RECORD_TEXT_SIZE];
        char data[RECORD_TEXT_SIZE + 1];
        DWORD nameSize = sizeof valueName;
        DWORD dataSize = sizeof data - 1;
        DWORD type = 0;
        LONG rc = RegEnumValueA(key, index, valueName, &nameSize, NULL, &type,
                                reinterpret_cast<BYTE*>(data), &dataSize);
        if (rc == ERROR_MORE_DATA)
            continue;  // longer than any record this program writes
        if (rc != ERROR_SUCCESS)
            break;
        if (type != REG_SZ)
            continue;
        data[dataSize < sizeof data ? dataSize : sizeof data - 1] = '\0';
        char* star = strchr(valueName, '*');
        if (!star)
            continue;
        *star = '\0';
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = valueName;
        item.lParam = kind;
        int at = ListView_InsertItem(list, &item);
        if (at < 0)
            continue;
        ListView_SetItemText(list, at, 1, star + 1);
        ListView_SetItemText(list, at, 2, data);
        ++row;
    }
    RegCloseKey(key);
    return true;
}

void OnReloadRecords(HWND dlg, const RestoreDialog* d)
{
    HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
    ListView_DeleteAllItems(list);
    while (ListView_DeleteColumn(list, 0)) {
    }
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 200;
        column.pszText = const_cast<char*>(kColumns[i]);
        ListView_InsertColumn(list, i, &column);
    }
    if (!AddRecords(list, d->itemPath, "FTP", KIND_FTP) ||
        !AddRecords(list, d->itemPath, "HD", KIND_HD))
        ShowError(dlg,
                  "Cannot access crucial Tandemkeep restore data.  Please contact " TK_MAKER_NAME
                  " support at " TK_WEB_ADDRESS ".",
                  MB_ICONSTOP);
}

void OnSize(HWND dlg)
{
    RECT outer;
    GetWindowRect(dlg, &outer);
    HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
    RestoreLayout l = LayoutRestore(outer.right - outer.left, outer.bottom - outer.top, -1, -1);
    MoveWindow(list, l.list.left, l.list.top, l.list.right, l.list.bottom, TRUE);
    RECT got;
    GetWindowRect(list, &got);
    l = LayoutRestore(outer.right - outer.left, outer.bottom - outer.top, got.right - got.left,
                      got.bottom - got.top);
    const struct {
        int id;
        RECT r;
    } buttons[] = {{IDC_RESTORE_RESTORE, l.restore},
                   {IDC_RESTORE_REMOVE, l.remove},
                   {IDC_RESTORE_REMOVEALL, l.removeAll},
                   {IDCANCEL, l.close}};
    for (const auto& b : buttons)
        MoveWindow(GetDlgItem(dlg, b.id), b.r.left, b.r.top, b.r.right, b.r.bottom, TRUE);
    InvalidateRect(dlg, NULL, TRUE);
}

struct Record {
    char original[RECORD_TEXT_SIZE];
    char stored[RECORD_TEXT_SIZE];
    char location[RECORD_TEXT_SIZE];
    int kind;
};

bool ReadRow(HWND list, int row, Record* r)
{
    ListView_GetItemText(list, row, 0, r->original, sizeof r->original);
    ListView_GetItemText(list, row, 1, r->stored, sizeof r->stored);
    ListView_GetItemText(list, row, 2, r->location, sizeof r->location);
    r->original[sizeof r->original - 1] = '\0';
    r->stored[sizeof r->stored - 1] = '\0';
    r->location[sizeof r->location - 1] = '\0';
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(list, &item))
        return false;
    r->kind = static_cast<int>(item.lParam);
    return true;
}

// The selected record; false (with a message) when no row is selected.
bool SelectedRecord(HWND dlg, Record* r)
{
    HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
    int row = GetSelectedRowText(list, r->original, sizeof r->original);
    if (row < 0 || !ReadRow(list, row, r)) {
        ShowError(dlg, "You didn't select a file", MB_ICONEXCLAMATION);
        return false;
    }
    return true;
}

// The folder restored files go to (restorefolder, or the installation
// folder); false, with a message, when neither names one. Both kinds of
// restore stop here, so that none writes into the root of the current drive.
bool RestoreFolder(HWND dlg, char* folder, DWORD size)
{
    if (GetRestoreFolder(folder, size))
        return true;
    ShowError(dlg, "Could not find Tandemkeep settings for folder to restore to.",
              MB_ICONEXCLAMATION);
    return false;
}

void RestoreFromDrive(HWND dlg, const Record& r, const char* folder)
{
    char target[RECORD_TEXT_SIZE];
    char text[3 * RECORD_TEXT_SIZE];
    if (!BuildRestoreTarget(folder, r.original, target, sizeof target) ||
        strlen(target) > MAX_PATH_TEXT) {
        snprintf(text, sizeof text,
                 "The file %s cannot be restored into %s: the path would be too long.", r.original,
                 folder);
        ShowMessageBox(dlg, text, "Restore Failed", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!CopyFileA(r.stored, target, FALSE)) {
        snprintf(text, sizeof text, "The stored copy %s could not be copied to %s.", r.stored,
                 target);
        ShowMessageBox(dlg, text, "Restore Failed", MB_OK | MB_ICONEXCLAMATION);
    }
}

// A download that cannot start is told with the reason, as the FTP session
// tells the failures that come later.
void RestoreFromFtp(const RestoreDialog* d, const Record& r)
{
    int code = g_starter(d->itemPath, r.stored, r.location);
    if (code == ERR_SUCCESS)
        return;
    char subject[ERROR_SUBJECT_SIZE];
    RestoreErrorSubject(code, r.stored, r.location, subject, sizeof subject);
    ErrorReport report;
    FillErrorReport(&report, code, subject);
    ReportError(&report);
}

void OnRestore(HWND dlg, const RestoreDialog* d)
{
    Record r;
    char folder[TK_RESTORE_FOLDER_SIZE];
    if (!SelectedRecord(dlg, &r) || !RestoreFolder(dlg, folder, sizeof folder))
        return;
    if (r.kind == KIND_FTP)
        RestoreFromFtp(d, r);
    else
        RestoreFromDrive(dlg, r, folder);
}

void OnRemove(HWND dlg)
{
    Record r;
    if (!SelectedRecord(dlg, &r))
        return;
    WriteRestoreRecord(r.original, 0, r.stored, r.kind, 1);
    PostMessageA(dlg, UM_RELOADRECORDS, 0, 0);
}

void OnRemoveAll(HWND dlg)
{
    if (ShowMessageBox(
            dlg,
            "Are you sure you want to remove all the files from this window?  This will not "
            "delete the files, it will just clear them from this window.",
            "Confirm", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
    int rows = ListView_GetItemCount(list);
    for (int row = 0; row < rows; ++row) {
        Record r;
        if (!ReadRow(list, row, &r))
            continue;
        WriteRestoreRecord(r.original, 0, r.stored, KIND_FTP, 1);
        WriteRestoreRecord(r.original, 0, r.stored, KIND_HD, 1);
    }
    PostMessageA(dlg, UM_RELOADRECORDS, 0, 0);
}

void OnInitDialog(HWND dlg, const RestoreDialog* d)
{
    HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    OnReloadRecords(dlg, d);
    PostMessageA(dlg, WM_SIZE, 0, 0);
}

void OnCommand(HWND dlg, const RestoreDialog* d, int id)
{
    switch (id) {
    case IDC_RESTORE_RESTORE:
        OnRestore(dlg, d);
        break;
    case IDC_RESTORE_REMOVE:
        OnRemove(dlg);
        break;
    case IDC_RESTORE_REMOVEALL:
        OnRemoveAll(dlg);
        break;
    case IDCANCEL:
        EndDialog(dlg, 0);
        break;
    }
}

INT_PTR CALLBACK RestoreProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    const RestoreDialog* d =
        reinterpret_cast<const RestoreDialog*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (!d)
        return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg, d);
        return TRUE;
    case WM_SIZE:
        OnSize(dlg);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, d, LOWORD(wParam));
        return TRUE;
    case UM_RELOADRECORDS:
        OnReloadRecords(dlg, d);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

FtpDownloadStarter SetFtpDownloadStarter(FtpDownloadStarter starter)
{
    FtpDownloadStarter old = g_starter;
    g_starter = starter ? starter : StartFtpDownload;
    return old;
}

void RunRestoreDialog(HWND owner, const char* itemPath)
{
    if (!itemPath)
        return;
    if (strlen(itemPath) > MAX_PATH_TEXT) {
        ShowError(owner, "This item's path is too long for its restore records.",
                  MB_ICONEXCLAMATION);
        return;
    }
    RestoreDialog d;
    lstrcpynA(d.itemPath, itemPath, sizeof d.itemPath);
    DialogBoxParamA(GetModuleHandleA(NULL), "RESTORE", owner, RestoreProc,
                    reinterpret_cast<LPARAM>(&d));
}
