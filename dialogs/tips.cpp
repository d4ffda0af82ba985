// The tip of the day: shows the next tip at start-up and counts on to the following one.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/seams.h"
#include "resources/resource.h"
#include "store/regvalue.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

const DWORD kTipsOff = 65535;
const int kTipTextSize = 16384;

// Shows the stored tip; false when the window is to close unseen.
bool OnInitDialog(HWND dlg, int showCommand)
{
    HKEY key = OpenProductKey();
    if (!key)
        return false;
    DWORD stored = 0;
    ReadRegDword(key, "tip", &stored);
    if (stored == kTipsOff || static_cast<LONG>(stored) < 0) {
        RegCloseKey(key);
        return false;
    }
    // A number outside the table starts the tips again from the first.
    int number = TipIsShown(stored) ? static_cast<int>(stored) : 0;
    SetWindowLongPtrA(dlg, GWLP_USERDATA, 1);
    char* text = static_cast<char*>(malloc(kTipTextSize));
    if (!text) {
        RegCloseKey(key);
        return false;
    }
    char title[64];
    snprintf(title, sizeof title, "Tandemkeep Tip #%d", number + 1);
    SetWindowTextA(dlg, title);
    LoadProgramString(TipStringId(number), text, kTipTextSize);
    SetDlgItemTextA(dlg, IDC_TIPS_TEXT, text);
    free(text);
    WriteRegDword(key, "tip", static_cast<DWORD>(NextTipNumber(number)));
    RegCloseKey(key);
    ShowWindow(dlg, showCommand);
    return true;
}

void OnOk(HWND dlg)
{
    if (IsDlgButtonChecked(dlg, IDC_TIPS_DONTSHOW) == BST_CHECKED) {
        HKEY key = OpenProductKey();
        if (key) {
            WriteRegDword(key, "tip", kTipsOff);
            RegCloseKey(key);
        }
    }
    ShowWindow(dlg, SW_HIDE);
}

void OnCommand(HWND dlg, int id)
{
    switch (id) {
    case IDOK:
        OnOk(dlg);
        break;
    case IDCANCEL:
        ShowWindow(dlg, SW_HIDE);
        break;
    }
}

INT_PTR CALLBACK TipsProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        if (!OnInitDialog(dlg, static_cast<int>(lParam)))
            DestroyWindow(dlg);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        ShowWindow(dlg, SW_HIDE);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

HWND CreateTipsWindow(HWND owner, int showCommand)
{
    HWND tips = CreateDialogParamA(GetModuleHandleA(NULL), "TIPS", owner, TipsProc, showCommand);
    return tips && IsWindow(tips) ? tips : NULL;
}
