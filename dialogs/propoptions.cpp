// The Options page of the item properties sheet: filters and limits of a folder or a file.
#include "dialogs/dialogs.h"
#include "dialogs/fieldrules.h"
#include "dialogs/properties.h"

#include "common/seams.h"
#include "resources/resource.h"
#include "store/scoped.h"
#include "store/store.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>

namespace {

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

void OnInitPage(HWND page, const OptionsPage* p)
{
    ScopedItemSettings settings(p->itemPath);
    if (!settings.loaded())
        return;
    const ItemOptions* o = settings->options;
    SetCheck(page, IDC_OPT_INCLUDESUBS, o->includeSubs);
    SetCheck(page, IDC_OPT_EXCLUDETEMP, o->excludeTemp);
    SetCheck(page, IDC_OPT_DELETESTORED, o->deleteStored);
    SetDlgItemInt(page, IDC_OPT_SIZELIMIT, o->sizeLimit, FALSE);
}

INT_PTR ApplyResult(HWND page, LONG_PTR result)
{
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR OnApply(HWND page, const OptionsPage* p)
{
    ScopedItemSettings settings(p->itemPath);
    if (!settings.loaded())
        return ApplyResult(page, PSNRET_NOERROR);
    ItemOptions* o = settings->options;
    HWND limitField = GetDlgItem(page, IDC_OPT_SIZELIMIT);
    if (limitField) {
        std::string text(static_cast<size_t>(GetWindowTextLengthA(limitField)) + 1, '\0');
        text.resize(static_cast<size_t>(
            GetWindowTextA(limitField, &text[0], static_cast<int>(text.size()))));
        // A number over 32 bits is refused rather than cut to another limit.
        if (!ParseSizeLimit(text, &o->sizeLimit)) {
            ShowMessageBox(
                page,
                "The file size limit is too large.  Enter a number of kilobytes up to 4294967295, "
                "or 0 for no limit.",
                "Invalid Field", MB_OK | MB_ICONEXCLAMATION);
            return ApplyResult(page, PSNRET_INVALID_NOCHANGEPAGE);
        }
    }
    TakeCheck(page, IDC_OPT_INCLUDESUBS, &o->includeSubs);
    TakeCheck(page, IDC_OPT_EXCLUDETEMP, &o->excludeTemp);
    TakeCheck(page, IDC_OPT_DELETESTORED, &o->deleteStored);
    SaveItemSettings(p->itemPath, settings.get(), SAVE_OPTIONS);
    return ApplyResult(page, PSNRET_NOERROR);
}

void OnDeleteStoredClicked(HWND page)
{
    if (IsDlgButtonChecked(page, IDC_OPT_DELETESTORED) != BST_CHECKED)
        return;
    int answer = ShowMessageBox(
        page,
        "Enabling this option deletes all the files in your target directory (the directory you're "
        "transferring to) every time you transfer a folder.  This is to keep a fresh new set of "
        "files and "
        "eliminate files that no longer exist.  Are you sure you want to do this?",
        "Continue?", MB_YESNO | MB_ICONEXCLAMATION);
    if (answer != IDYES)
        CheckDlgButton(page, IDC_OPT_DELETESTORED, BST_UNCHECKED);
}

void OnCommand(HWND page, int id, int code)
{
    if (id == IDC_OPT_DELETESTORED && code == BN_CLICKED)
        OnDeleteStoredClicked(page);
}

INT_PTR OnNotify(HWND page, const OptionsPage* p, const NMHDR* header)
{
    return header->code == PSN_APPLY ? OnApply(page, p) : FALSE;
}

}  // namespace

INT_PTR CALLBACK OptionsPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
    const OptionsPage* p = reinterpret_cast<const OptionsPage*>(GetWindowLongPtrA(page, DWLP_USER));
    if (!p)
        return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        OnInitPage(page, p);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, p, reinterpret_cast<const NMHDR*>(lParam));
    }
    return FALSE;
}
