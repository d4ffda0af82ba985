// The Settings dialog: logging, error windows, the restore folder, tips, the splash picture, and
// retrying failed copies and catching up at start.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/seams.h"
#include "log/errors.h"
#include "log/log.h"
#include "resources/resource.h"
#include "store/regvalue.h"
#include "store/store.h"

#include <stdio.h>
#include <string.h>

namespace {

const DWORD kTipsOff = 65535;

void SetCheck(HWND dlg, int id, bool on)
{
    CheckDlgButton(dlg, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool Checked(HWND dlg, int id)
{
    return IsDlgButtonChecked(dlg, id) == BST_CHECKED;
}

void OnInitDialog(HWND dlg)
{
    HKEY key = OpenProductKey();
    if (!key)
        return;
    DWORD value = 0;
    SetCheck(dlg, IDC_SET_LOGGING, ReadRegDword(key, "logging", &value) && value != 0);
    value = 0;
    SetCheck(dlg, IDC_SET_TIPS, ReadRegDword(key, "tip", &value) && value != kTipsOff);
    value = 0;
    SetCheck(dlg, IDC_SET_SPLASH, ReadRegDword(key, "splash", &value) && value != 0);
    BYTE on = 0;
    SetCheck(dlg, IDC_SET_RETRYFAILED, ReadRegBinary(key, TK_VALUE_RETRYFAILED, &on, 1) && on);
    on = 0;
    SetCheck(dlg, IDC_SET_CATCHUP, ReadRegBinary(key, TK_VALUE_CATCHUP, &on, 1) && on);
    char folder[TK_PATH_SIZE] = "";
    if (ReadRegText(key, "restorefolder", folder, sizeof folder))
        SetDlgItemTextA(dlg, IDC_SET_RESTOREFOLDER, folder);
    RegCloseKey(key);
    DWORD show = 1;
    if (ShowErrorsSetting(&show, 0))
        SetCheck(dlg, IDC_SET_NOERRORS, show == 0);
}

void OnOk(HWND dlg)
{
    HWND edit = GetDlgItem(dlg, IDC_SET_RESTOREFOLDER);
    if (GetWindowTextLengthA(edit) > MAX_PATH_TEXT) {
        ShowMessageBox(
            dlg, "The restore folder is too long.  A folder path can have at most 259 characters.",
            "Path Too Long", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    HKEY key = OpenProductKey();
    if (!key) {
        EndDialog(dlg, IDCANCEL);
        return;
    }
    WriteRegDword(key, "logging", Checked(dlg, IDC_SET_LOGGING) ? 1 : 0);
    char folder[TK_PATH_SIZE] = "";
    GetWindowTextA(edit, folder, sizeof folder);
    StripOneSeparator(folder, 1);
    WriteRegText(key, "restorefolder", folder);
    DWORD show = Checked(dlg, IDC_SET_NOERRORS) ? 0 : 1;
    WriteRegDword(key, "tip", Checked(dlg, IDC_SET_TIPS) ? 0 : kTipsOff);
    WriteRegDword(key, "splash", Checked(dlg, IDC_SET_SPLASH) ? 1 : 0);
    // One byte each, as the other switches of the program.
    BYTE retry = Checked(dlg, IDC_SET_RETRYFAILED) ? 1 : 0;
    BYTE catchUp = Checked(dlg, IDC_SET_CATCHUP) ? 1 : 0;
    WriteRegBinary(key, TK_VALUE_RETRYFAILED, &retry, 1);
    WriteRegBinary(key, TK_VALUE_CATCHUP, &catchUp, 1);
    RegCloseKey(key);
    ShowErrorsSetting(&show, 1);
    EndDialog(dlg, IDOK);
}

void ClearLog(HWND dlg, int selector)
{
    if (ShowMessageBox(dlg, "Are you sure you want to delete the log file?", "Are You Sure?",
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    char log[TK_PATH_SIZE + 32];
    if (GetLogPath(selector, log, sizeof log)) {
        CloseLogFiles();  // a log kept open during transfers could not be deleted
        DeleteFileA(log);
    }
}

void OnBrowse(HWND dlg)
{
    char folder[TK_PATH_SIZE] = "";
    if (BrowseForFolder(dlg, folder))
        SetDlgItemTextA(dlg, IDC_SET_RESTOREFOLDER, folder);
}

// The main window keeps its top-left corner and gets the first-run size.
void OnResetSize(HWND dlg)
{
    HWND main = GetWindow(dlg, GW_OWNER);
    if (!main)
        return;
    RECT r;
    GetWindowRect(main, &r);
    MoveWindow(main, r.left, r.top, 620, 460, TRUE);
}

void OnCommand(HWND dlg, int id)
{
    switch (id) {
    case IDOK:
        OnOk(dlg);
        break;
    case IDCANCEL:
        EndDialog(dlg, IDCANCEL);
        break;
    case IDC_SET_VIEWBACKUP:
        ViewLogInNotepad(dlg, LOG_BACKUP);
        break;
    case IDC_SET_VIEWERROR:
        ViewLogInNotepad(dlg, LOG_ERROR);
        break;
    case IDC_SET_CLEARBACKUP:
        ClearLog(dlg, LOG_BACKUP);
        break;
    case IDC_SET_CLEARERROR:
        ClearLog(dlg, LOG_ERROR);
        break;
    case IDC_SET_BROWSE:
        OnBrowse(dlg);
        break;
    case IDC_SET_RESETSIZE:
        OnResetSize(dlg);
        break;
    }
}

INT_PTR CALLBACK SettingsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void RunSettingsDialog(HWND owner)
{
    DialogBoxParamA(GetModuleHandleA(NULL), "SETTINGS", owner, SettingsProc, 0);
}
