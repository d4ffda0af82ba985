// The first-run tutorial: seven pages, and what to show at the next start.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/regvalue.h"

namespace {

const DWORD kTipsOff = 65535;

// The page shown; kept for the whole run.
int g_page = 0;

void OnInitDialog(HWND dlg)
{
    HWND main = GetWindow(dlg, GW_OWNER);
    RECT mainRect = {0, 0, 0, 0}, mainClient = {0, 0, 0, 0}, own;
    if (main) {
        GetWindowRect(main, &mainRect);
        GetClientRect(main, &mainClient);
    }
    GetClientRect(dlg, &own);
    SetWindowPos(dlg, HWND_TOPMOST, mainRect.left + mainClient.right - 100, mainRect.top - 50, own.right,
                 own.bottom + 20, 0);
    DWORD tip = 0;
    HKEY key = OpenProductKey();
    if (key) {
        ReadRegDword(key, "tip", &tip);
        RegCloseKey(key);
    }
    CheckDlgButton(dlg, IDC_TUT_SHOWTIPS, tip != kTipsOff ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dlg, IDC_TUT_SHOWAGAIN, BST_UNCHECKED);
    SendMessageA(dlg, UM_SHOWTUTORIALPAGE, 0, 0);
}

void OnShowPage(HWND dlg)
{
    char text[1024];
    LoadProgramString(IDS_TUTORIAL_FIRST + g_page, text, sizeof text);
    SetDlgItemTextA(dlg, IDC_TUT_TEXT, text);
}

void OnClose(HWND dlg)
{
    HKEY key = OpenProductKey();
    if (key) {
        WriteRegDword(key, "tip", IsDlgButtonChecked(dlg, IDC_TUT_SHOWTIPS) == BST_CHECKED ? 0 : kTipsOff);
        if (IsDlgButtonChecked(dlg, IDC_TUT_SHOWAGAIN) != BST_CHECKED)
            RegDeleteValueA(key, "firsttime");
        RegCloseKey(key);
    }
    DestroyWindow(dlg);
}

void OnCommand(HWND dlg, int id)
{
    switch (id) {
    case IDC_TUT_NEXT:
        g_page = NextTutorialPage(g_page);
        SendMessageA(dlg, UM_SHOWTUTORIALPAGE, 0, 0);
        break;
    case IDC_TUT_BACK:
        g_page = PreviousTutorialPage(g_page);
        SendMessageA(dlg, UM_SHOWTUTORIALPAGE, 0, 0);
        break;
    case IDC_TUT_CLOSE:
        OnClose(dlg);
        break;
    }
}

INT_PTR CALLBACK TutorialProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        OnClose(dlg);
        return TRUE;
    case UM_SHOWTUTORIALPAGE:
        OnShowPage(dlg);
        return TRUE;
    }
    return FALSE;
}

} // namespace

HWND CreateTutorialWindow(HWND owner)
{
    HWND tutorial = CreateDialogParamA(GetModuleHandleA(NULL), "TUTORIAL", owner, TutorialProc, 0);
    if (tutorial)
        ShowWindow(tutorial, SW_SHOWNORMAL);
    return tutorial;
}

int TutorialPage(void)
{
    return g_page;
}
