// Add File or Folder: the dialog that checks a typed or browsed path, and the main window's
// handling of its result.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"
#include "dialogs/fieldrules.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/store.h"

#include <string>

namespace {

// The dialog's record: the path it leaves when it ends with 1 or 2.
struct AddItemDialog {
    char path[TK_PATH_SIZE];
};

void Warn(HWND owner, FieldProblem problem)
{
    ShowMessageBox(owner, FieldProblemText(FieldVerdict{problem, NULL, 0}, std::string()).c_str(),
                   FieldProblemCaption(problem), MB_OK | MB_ICONEXCLAMATION);
}

std::string FieldText(HWND dlg, int id)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(dlg, id))) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetDlgItemTextA(dlg, id, &text[0], static_cast<int>(text.size()))));
    return text;
}

bool Confirm(HWND dlg, const char* text)
{
    return ShowMessageBox(dlg, text, "Continue?", MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

void OnAddFileToggled(HWND dlg)
{
    BOOL file = IsDlgButtonChecked(dlg, IDC_ADD_ISFILE) == BST_CHECKED;
    EnableWindow(GetDlgItem(dlg, IDC_ADD_FILE), file);
    EnableWindow(GetDlgItem(dlg, IDC_ADD_BROWSEFILES), file);
    EnableWindow(GetDlgItem(dlg, IDC_ADD_FOLDER), !file);
    EnableWindow(GetDlgItem(dlg, IDC_ADD_BROWSEFOLDERS), !file);
}

void OnOk(HWND dlg, AddItemDialog* d)
{
    bool isFile = IsDlgButtonChecked(dlg, IDC_ADD_ISFILE) == BST_CHECKED;
    char windowsDir[TK_PATH_SIZE] = "";
    UINT got = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (got == 0 || got >= sizeof windowsDir)
        windowsDir[0] = '\0';
    AddItemPlan plan =
        PlanAddItem(FieldText(dlg, isFile ? IDC_ADD_FILE : IDC_ADD_FOLDER), isFile, windowsDir);
    if (plan.askRoot &&
        !Confirm(dlg, "You have chosen to monitor a root directory.  You should not monitor your "
                      "entire drive, just the folders you want to synchronize or backup.  Do you "
                      "want to continue?")) {
        EndDialog(dlg, 0);
        return;
    }
    if (plan.askWindows &&
        !Confirm(dlg, "You have chosen to monitor your Windows directory.  This may be unwise, as "
                      "the files in your Windows directory will be constantly changing, and few "
                      "will be of importance.  Do you want to continue?")) {
        EndDialog(dlg, 0);
        return;
    }
    if (plan.problem != FIELD_OK) {
        Warn(dlg, plan.problem);
        return;
    }
    lstrcpynA(d->path, plan.path.c_str(), sizeof d->path);
    EndDialog(dlg, plan.result);
}

// A browser's choice replaces the field; a cancelled browser leaves what
// the user typed there.
void BrowseInto(HWND dlg, int field, int (*browse)(HWND, char*))
{
    char path[TK_PATH_SIZE] = "";
    if (GetWindowTextLengthA(GetDlgItem(dlg, field)) <= MAX_PATH_TEXT)
        GetDlgItemTextA(dlg, field, path, sizeof path);
    if (browse(dlg, path))
        SetDlgItemTextA(dlg, field, path);
}

void OnCommand(HWND dlg, AddItemDialog* d, int id)
{
    switch (id) {
    case IDC_ADD_ISFILE:
        OnAddFileToggled(dlg);
        break;
    case IDC_ADD_BROWSEFOLDERS:
        BrowseInto(dlg, IDC_ADD_FOLDER, BrowseForFolder);
        break;
    case IDC_ADD_BROWSEFILES:
        BrowseInto(dlg, IDC_ADD_FILE, BrowseForFile);
        break;
    case IDOK:
        OnOk(dlg, d);
        break;
    case IDCANCEL:
        EndDialog(dlg, 0);
        break;
    }
}

INT_PTR CALLBACK AddItemProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(dlg, DWLP_USER, lParam);
    AddItemDialog* d = reinterpret_cast<AddItemDialog*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (!d)
        return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, d, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

bool IsOpenableFile(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool IsExistingFolder(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

int RunAddItemDialog(HWND owner, char* path)
{
    if (!path)
        return 0;
    AddItemDialog d = {};
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(NULL), "ADDFILEFOLDER", owner, AddItemProc,
                                     reinterpret_cast<LPARAM>(&d));
    if (result != 1 && result != 2)
        return 0;
    lstrcpynA(path, d.path, TK_PATH_SIZE);
    return static_cast<int>(result);
}

int AddCheckedItem(HWND mainWindow, int result, const char* path)
{
    if ((result != 1 && result != 2) || !path)
        return 0;
    // The folder is asked about, never created: creating it to test for it
    // leaves it behind when a parent is missing too.
    FieldProblem problem = CheckNewItem(result, path, result == 1 && IsOpenableFile(path),
                                        result == 2 && IsExistingFolder(path));
    if (problem != FIELD_OK) {
        Warn(mainWindow, problem);
        return 0;
    }
    if (!CreateItemKey(path)) {
        ShowMessageBox(mainWindow, "Tandemkeep could not store the new item in its settings.",
                       "Error", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    PostMessageA(mainWindow, UM_RELOADITEMS, 0, 0);
    return result;
}

int AddItemFromDialog(HWND mainWindow)
{
    char path[TK_PATH_SIZE] = "";
    int result = RunAddItemDialog(mainWindow, path);
    return AddCheckedItem(mainWindow, result, path);
}
