// The first-run tutorial: seven pages, and what to show at the next start.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/regvalue.h"

#include <new>

namespace {

const DWORD kTipsOff = 65535;

// The window's record, created with it and freed when it goes. The window
// is made once a run, so its page is the run's page.
struct TutorialWindow {
    int page;  // 0 to 6
};

void OnInitDialog(HWND dlg)
{
    HWND main = GetWindow(dlg, GW_OWNER);
    RECT mainRect = {0, 0, 0, 0}, mainClient = {0, 0, 0, 0}, own;
    if (main) {
        GetWindowRect(main, &mainRect);
        GetClientRect(main, &mainClient);
    }
    GetClientRect(dlg, &own);
    SetWindowPos(dlg, HWND_TOPMOST, mainRect.left + mainClient.right - 100, mainRect.top - 50,
                 own.right, own.bottom + 20, 0);
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

void OnShowPage(HWND dlg, const TutorialWindow* t)
{
    char text[1024];
    LoadProgramString(IDS_TUTORIAL_FIRST + t->page, text, sizeof text);
    SetDlgItemTextA(dlg, IDC_TUT_TEXT, text);
}

void OnClose(HWND dlg)
{
    HKEY key = OpenProductKey();
    if (key) {
        WriteRegDword(key, "tip",
                      IsDlgButtonChecked(dlg, IDC_TUT_SHOWTIPS) == BST_CHECKED ? 0 : kTipsOff);
        if (IsDlgButtonChecked(dlg, IDC_TUT_SHOWAGAIN) != BST_CHECKED)
            RegDeleteValueA(key, "firsttime");
        RegCloseKey(key);
    }
    DestroyWindow(dlg);
}

void OnDestroy(HWND dlg, TutorialWindow* t)
{
    SetWindowLongPtrA(dlg, DWLP_USER, 0);
    delete t;
}

void OnCommand(HWND dlg, TutorialWindow* t, int id)
{
    switch (id) {
    case IDC_TUT_NEXT:
        t->page = NextTutorialPage(t->page);
        SendMessageA(dlg, UM_SHOWTUTORIALPAGE, 0, 0);
        break;
    case IDC_TUT_BACK:
        t->page = PreviousTutorialPage(t->page);
        SendMessageA(dlg, UM_SHOWTUTORIALPAGE, 0, 0);
        break;
    case IDC_TUT_CLOSE:
        OnClose(dlg);
        break;
    }
}

INT_PTR CALLBACK TutorialProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    TutorialWindow* t = reinterpret_cast<TutorialWindow*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (!t)
        return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog(dlg);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, t, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        OnClose(dlg);
        return TRUE;
    case UM_SHOWTUTORIALPAGE:
        OnShowPage(dlg, t);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(dlg, t);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

HWND CreateTutorialWindow(HWND owner)
{
    TutorialWindow* t = new (std::nothrow) TutorialWindow();
    if (!t)
        return NULL;
    // WM_INITDIALOG is the last step of a successful creation: without a
    // window the record was never taken.
    HWND tutorial = CreateDialogParamA(GetModuleHandleA(NULL), "TUTORIAL", owner, TutorialProc,
                                       reinterpret_cast<LPARAM>(t));
    if (!tutorial) {
        delete t;
        return NULL;
    }
    ShowWindow(tutorial, SW_SHOWNORMAL);
    return tutorial;
}
