// The Options page of the item properties sheet: filters and limits of a folder or a file.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"
#include "dialogs/properties.h"

#include "common/seams.h"
#include "resources/resource.h"
#include "store/store.h"

#include <commctrl.h>
#include <prsht.h>
#include <stdlib.h>
#include <string.h>

namespace {

char g_optionsPath[TK_PATH_SIZE] = "";

ItemSettings* LoadOptions()
{
    ItemSettings* settings = NewItemSettings(g_optionsPath);
    if (settings && LoadItemSettings(g_optionsPath, settings) != 1) {
        FreeItemSettings(settings);
        return NULL;
    }
    return settings;
}

void SetCheck(HWND page, int id, BYTE value)
{
    CheckDlgButton(page, id, value ? BST_CHECKED : BST_UNCHECKED);
}

// A control the page does not have keeps the stored value (the file page
// has only the temporary-file filter).
void TakeCheck(HWND page, int id, BYTE* value)
{
    if (GetDlgItem(page, id))
        *value = IsDlgButtonChecked(page, id) == BST_CHECKED ? 1 : 0;
}

void OnInitPage(HWND page, const PROPSHEETPAGEA* sheetPage)
{
    lstrcpynA(g_optionsPath, reinterpret_cast<const char*>(sheetPage->lParam), sizeof g_optionsPath);
    ItemSettings* settings = LoadOptions();
    if (!settings)
        return;
    const ItemOptions* o = settings->options;
    SetCheck(page, IDC_OPT_INCLUDESUBS, o->includeSubs);
    SetCheck(page, IDC_OPT_EXCLUDETEMP, o->excludeTemp);
    SetCheck(page, IDC_OPT_DELETESTORED, o->deleteStored);
    SetDlgItemInt(page, IDC_OPT_SIZELIMIT, o->sizeLimit, FALSE);
    FreeItemSettings(settings);
}

// Text that is not a number reads as 0; a number over 32 bits is refused
// rather than cut to another limit.
bool ReadSizeLimit(HWND page, DWORD* limit)
{
    char text[64] = "";
    if (GetWindowTextLengthA(GetDlgItem(page, IDC_OPT_SIZELIMIT)) >= static_cast<int>(sizeof text))
        return false;
    GetDlgItemTextA(page, IDC_OPT_SIZELIMIT, text, sizeof text);
    if (!*text || strspn(text, "0123456789") != strlen(text)) {
        *limit = 0;
        return true;
    }
    unsigned long long value = strtoull(text, NULL, 10);
    if (value > 0xFFFFFFFFull)
        return false;
    *limit = static_cast<DWORD>(value);
    return true;
}

INT_PTR OnApply(HWND page)
{
    ItemSettings* settings = LoadOptions();
    if (!settings) {
        SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
    }
    ItemOptions* o = settings->options;
    DWORD limit = o->sizeLimit;
    if (GetDlgItem(page, IDC_OPT_SIZELIMIT) && !ReadSizeLimit(page, &limit)) {
        FreeItemSettings(settings);
        ShowMessageBox(page, "The file size limit is too large.  Enter a number of kilobytes up to 4294967295, "
                             "or 0 for no limit.", "Invalid Field", MB_OK | MB_ICONEXCLAMATION);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
        return TRUE;
    }
    TakeCheck(page, IDC_OPT_INCLUDESUBS, &o->includeSubs);
    TakeCheck(page, IDC_OPT_EXCLUDETEMP, &o->excludeTemp);
    TakeCheck(page, IDC_OPT_DELETESTORED, &o->deleteStored);
    o->sizeLimit = limit;
    SaveItemSettings(g_optionsPath, settings, SAVE_OPTIONS);
    FreeItemSettings(settings);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
    return TRUE;
}

void OnDeleteStoredClicked(HWND page)
{
    if (IsDlgButtonChecked(page, IDC_OPT_DELETESTORED) != BST_CHECKED)
        return;
    int answer = ShowMessageBox(page,
        "Enabling this option deletes all the files in your target directory (the directory you're "
        "transferring to) every time you transfer a folder.  This is to keep a fresh new set of files and "
        "eliminate files that no longer exist.  Are you sure you want to do this?",
        "Continue?", MB_YESNO | MB_ICONEXCLAMATION);
    if (answer != IDYES)
        CheckDlgButton(page, IDC_OPT_DELETESTORED, BST_UNCHECKED);
}

} // namespace

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitPage(page, reinterpret_cast<const PROPSHEETPAGEA*>(lParam));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_OPT_DELETESTORED && HIWORD(wParam) == BN_CLICKED)
            OnDeleteStoredClicked(page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == PSN_APPLY)
            return OnApply(page);
        return FALSE;
    }
    return FALSE;
}
