// Error reporting: the error log line and the modeless error windows, at most six at once.
#include "log/errors.h"
#include "log/log.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/regvalue.h"
#include "store/store.h"

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

const int kMaxErrorWindows = 6;
const char kTooMany[] =
    "There are too many of these error windows open.  No more will be displayed until you close "
    "this window.  All errors are logged to the error log.";

HWND g_owner = NULL;
int g_openWindows = 0;  // main thread only

void OnInitDialog(HWND dlg, const ErrorReport* report)
{
    if (!report) {
        DestroyWindow(dlg);
        return;
    }
    int stringId = MapErrorCode(report->code);
    if (g_openWindows > kMaxErrorWindows - 1) {
        DestroyWindow(dlg);
        return;
    }
    char message[1280];
    LoadProgramString(stringId, message, sizeof message);
    if (report->detail) {
        std::string text = std::string(message) + "\r\n\r\n" + report->detail;
        SetDlgItemTextA(dlg, IDC_ERROR_MESSAGE, text.c_str());
    } else {
        SetDlgItemTextA(dlg, IDC_ERROR_MESSAGE, message);
    }

    char subject[ERROR_SUBJECT_SIZE];
    lstrcpynA(subject, report->subject, sizeof subject);
    char heading[ERROR_SUBJECT_SIZE + 64];
    snprintf(heading, sizeof heading, "In regards to %s, there was the following error:", subject);
    SetDlgItemTextA(dlg, IDC_ERROR_HEADING, heading);

    DWORD show = 1;
    if (!ShowErrorsSetting(&show, 0) || show == 0) {
        DestroyWindow(dlg);
        return;
    }
    if (g_openWindows == kMaxErrorWindows - 1)
        SetDlgItemTextA(dlg, IDC_ERROR_NOTICE, kTooMany);

    // The cascade starts at the primary screen's work area, not at the main
    // window: while that is minimized or hidden its rectangle lies off
    // screen, and windows placed from it would be seen by no one.
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        SetRect(&area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    int n = g_openWindows;
    SetWindowPos(dlg, NULL, area.left + 40 + 20 * n, area.top + 60 + 20 * n, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ++g_openWindows;
    ShowWindow(dlg, SW_SHOWNORMAL);
    CheckDlgButton(dlg, IDC_ERROR_NOQUIET, BST_UNCHECKED);
    // Remember that this window counts, so its close gives the place back.
    SetWindowLongPtrA(dlg, GWLP_USERDATA, 1);
}

void OnOk(HWND dlg)
{
    DWORD show = IsDlgButtonChecked(dlg, IDC_ERROR_NOQUIET) == BST_CHECKED ? 0 : 1;
    ShowErrorsSetting(&show, 1);
    PostMessageA(dlg, WM_CLOSE, 0, 0);
}

void OnClose(HWND dlg)
{
    if (GetWindowLongPtrA(dlg, GWLP_USERDATA) && g_openWindows > 0)
        --g_openWindows;
    SetWindowLongPtrA(dlg, GWLP_USERDATA, 0);
    DestroyWindow(dlg);
}

INT_PTR CALLBACK ErrorDialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg, reinterpret_cast<const ErrorReport*>(lParam));
        // A long message is read from its start: showing the window put the
        // focus in it, which selected the whole text and scrolled to its end.
        if (IsWindow(dlg)) {
            SetFocus(GetDlgItem(dlg, IDOK));
            SendDlgItemMessageA(dlg, IDC_ERROR_MESSAGE, EM_SETSEL, 0, 0);
            SendDlgItemMessageA(dlg, IDC_ERROR_MESSAGE, EM_SCROLLCARET, 0, 0);
        }
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dlg);
            return TRUE;
        case IDC_ERROR_VIEWLOG:
            ViewLogInNotepad(dlg, LOG_ERROR);
            return TRUE;
        }
        break;
    case WM_CLOSE:
        OnClose(dlg);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ViewLogInNotepad(HWND owner, int selector)
{
    char windowsDir[1280];
    UINT got = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (got == 0 || got >= sizeof windowsDir)
        return;
    char notepad[1300];
    snprintf(notepad, sizeof notepad, "%s\\notepad.exe", windowsDir);
    char logPath[MAX_PATH];
    if (!GetLogPath(selector, logPath, sizeof logPath))
        logPath[0] = '\0';
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpFile = notepad;
    info.lpParameters = logPath;
    info.nShow = SW_SHOWNORMAL;
    RunShellExecute(&info);
}

void FillErrorReport(ErrorReport* report, int code, const char* subject)
{
    if (!report)
        return;
    report->code = code;
    lstrcpynA(report->subject, subject ? subject : "", sizeof report->subject);
    report->detail = NULL;
}

int MapErrorCode(int code)
{
    switch (code) {
    case ERR_SUCCESS:
        return IDS_SUCCESS;
    case ERR_NO_SETTINGS:
        return IDS_NO_SETTINGS;
    case ERR_FTP_NOT_ENABLED:
        return IDS_FTP_NOT_ENABLED;
    case ERR_TCPIP:
        return IDS_TCPIP;
    case ERR_HOST_NOT_RESOLVED:
        return IDS_HOST_NOT_RESOLVED;
    case ERR_FTP_REJECTED:
        return IDS_FTP_REJECTED;
    case ERR_FILE_OPERATION:
        return IDS_FILE_OPERATION;
    case ERR_NO_MEMORY:
        return IDS_NO_MEMORY;
    case ERR_CANNOT_CONNECT:
        return IDS_CANNOT_CONNECT;
    case ERR_SOURCE_OPEN:
        return IDS_SOURCE_OPEN;
    case ERR_DEST_OPEN:
        return IDS_DEST_OPEN;
    case ERR_NAME_NOT_SHOWN:
        return IDS_NAME_NOT_SHOWN;
    case ERR_RENAME_REFUSED:
        return IDS_RENAME_REFUSED;
    case ERR_TLS_REFUSED:
        return IDS_TLS_REFUSED;
    case ERR_TLS_FAILED:
        return IDS_TLS_FAILED;
    case 332:
        return IDS_LOGIN_FAILED;
    case 421:
        return IDS_NO_SERVICE;
    case 452:
        return IDS_NO_ACCOUNT_SPACE;
    case 530:
        return IDS_LOGIN_FAILED;
    case 532:
        return IDS_NEED_ACCOUNT;
    case 552:
        return IDS_NO_SERVER_SPACE;
    case 553:
        return IDS_NAME_NOT_ALLOWED;
    default:
        return IDS_GENERIC;
    }
}

int ShowErrorsSetting(DWORD* value, int write)
{
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    if (write)
        WriteRegDword(key, "showerrors", *value);
    else
        ReadRegDword(key, "showerrors", value);
    RegCloseKey(key);
    return 1;
}

void SetErrorWindowOwner(HWND owner)
{
    g_owner = owner;
}

int OpenErrorWindowCount(void)
{
    return g_openWindows;
}

void LogErrorReport(const ErrorReport* report)
{
    if (!report)
        return;
    WriteLog(NULL, report->code, LOG_ERROR);
    if (!report->detail)
        return;
    // One line in the log: the window's line breaks become spaces.
    std::string line;
    for (const char* c = report->detail; *c; ++c) {
        if (*c != '\r' && *c != '\n')
            line += *c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    WriteLog(line.c_str(), 0, LOG_ERROR);
}

void ReportError(const ErrorReport* report)
{
    if (!report)
        return;
    LogErrorReport(report);
    DWORD show = 1;
    if (ShowErrorsSetting(&show, 0) && show == 0)
        return;
    CreateDialogParamA(GetModuleHandleA(NULL), "ERRORDLG", g_owner, ErrorDialogProc,
                       reinterpret_cast<LPARAM>(report));
}
