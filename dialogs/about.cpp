// The About box with the title panel.
#include "dialogs/dialogs.h"

#include "resources/resource.h"

namespace {

INT_PTR CALLBACK AboutProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        HWND panel = GetDlgItem(dlg, IDC_ABOUT_PANEL);
        SetWindowLongPtrA(panel, GWLP_USERDATA, 0);
        SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PanelWindowProc));
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)
            EndDialog(dlg, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void RunAboutDialog(HWND owner)
{
    DialogBoxParamA(GetModuleHandleA(NULL), "ABOUT", owner, AboutProc, 0);
}
