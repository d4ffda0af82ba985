// The About box with the title panel.
#include "dialogs/dialogs.h"

#include "resources/resource.h"

namespace {

// The title panel paints itself through the panel procedure (user data 0: the title picture).
void OnInitDialog(HWND dlg)
{
    HWND panel = GetDlgItem(dlg, IDC_ABOUT_PANEL);
    SetWindowLongPtrA(panel, GWLP_USERDATA, 0);
    SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PanelWindowProc));
}

void OnCommand(HWND dlg, int id)
{
    if (id == IDCANCEL || id == IDOK)
        EndDialog(dlg, 0);
}

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
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

void RunAboutDialog(HWND owner)
{
    DialogBoxParamA(GetModuleHandleA(NULL), "ABOUT", owner, AboutProc, 0);
}
