// The close box that hides the main window, and the tray icon that brings it back.
#include "app/mainwnd.h"

#include "app/appstate.h"
#include "app/missed.h"
#include "common/seams.h"
#include "monitor/monitor.h"
#include "resources/resource.h"
#include "store/store.h"

namespace {

// Remembers in the window's user data whether it was open, and hides it.
void HideRemembering(HWND wnd)
{
    if (!wnd || !IsWindow(wnd))
        return;
    SetWindowLongPtrA(wnd, GWLP_USERDATA, IsWindowVisible(wnd) ? 1 : 0);
    ShowWindow(wnd, SW_HIDE);
}

void ShowIfRemembered(HWND wnd)
{
    if (wnd && IsWindow(wnd) && GetWindowLongPtrA(wnd, GWLP_USERDATA))
        ShowWindow(wnd, SW_SHOWNORMAL);
}

void OnTrayLeftClick(HWND wnd)
{
    ShowWindow(wnd, SW_SHOWNORMAL);
    ShowIfRemembered(g_app.tipsWindow);
    ShowIfRemembered(g_app.repliesWindow);
    SetForegroundWindow(wnd);
    SetFocus(wnd);
}

void OnTrayRightClick(HWND wnd)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), "TRAYPOPUP");
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    POINT cursor;
    GetCursorPos(&cursor);
    SetForegroundWindow(wnd);
    CheckMenuItem(popup, IDM_TRAY_ENABLED,
                  MF_BYCOMMAND | (IsMonitoringEnabled() ? MF_CHECKED : MF_UNCHECKED));
    FitRetryCommand(popup);
    UINT chosen = TrackMenu(popup, TPM_RETURNCMD, cursor.x, cursor.y, wnd);
    DestroyMenu(menu);
    if (chosen == IDM_TRAY_ENABLED) {
        SwitchMonitoring(wnd, !IsMonitoringEnabled());
    } else if (chosen == IDM_TRAY_EXIT) {
        PostMessageA(wnd, WM_CLOSE, 0, 0);
    } else if (chosen == IDM_RETRY_NOW) {
        RetryWaitingNow();
    }
}

}  // namespace

void ShowMonitoringState(HWND wnd, int enabled)
{
    SendDlgItemMessageA(wnd, IDC_MAIN_ENABLED, BM_SETCHECK, enabled ? BST_CHECKED : BST_UNCHECKED,
                        0);
    SendDlgItemMessageA(wnd, IDC_MAIN_DISABLED, BM_SETCHECK, enabled ? BST_UNCHECKED : BST_CHECKED,
                        0);
}

void SwitchMonitoring(HWND wnd, int enable)
{
    // A switch-on that failed leaves monitoring off, whatever the button said.
    int done = SetMonitoring(wnd, &g_app.device, &g_app.live, enable);
    ShowMonitoringState(wnd, enable && done);
    if (enable && done)
        CatchUpWhenMonitoring(wnd);
}

BOOL OnMainCloseBox(HWND wnd)
{
    ShowWindow(wnd, SW_HIDE);
    HideRemembering(g_app.tipsWindow);
    HideRemembering(g_app.repliesWindow);
    return TRUE;
}

BOOL OnTrayNotify(HWND wnd, WPARAM iconId, LPARAM mouseMessage)
{
    if (iconId != 0)
        return TRUE;
    if (mouseMessage == WM_LBUTTONDOWN)
        OnTrayLeftClick(wnd);
    else if (mouseMessage == WM_RBUTTONDOWN)
        OnTrayRightClick(wnd);
    return TRUE;
}
