// Add File or Folder: the dialog that checks a typed or browsed path, and the main window's handling of its result.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/store.h"

#include <string.h>

namespace {

const char kPathTooLong[] =
    "The path you entered is too long.  A file or folder path can have at most 259 characters.";

// The dialog's parameter: the caller's 260-byte path buffer.
char* g_path = NULL;

void ShowBlankField(HWND dlg, const char* text)
{
    ShowMessageBox(dlg, text, "Blank Field", MB_OK | MB_ICONEXCLAMATION);
}

// Reads an edit control's whole text into the 260-byte result buffer; a text
// that does not fit is refused rather than cut into another path.
bool ReadPathField(HWND dlg, int id, char* out)
{
    int len = GetWindowTextLengthA(GetDlgItem(dlg, id));
    if (len > MAX_PATH_TEXT) {
        ShowMessageBox(dlg, kPathTooLong, "Path Too Long", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    GetDlgItemTextA(dlg, id, out, TK_PATH_SIZE);
    return true;
}

void OnAddFileToggled(HWND dlg)
{
    BOOL file = IsDlgButtonChecked(dlg, IDC_ADD_ISFILE) == BST_CHECKED;
    EnableWindow(GetDlgItem(dlg, IDC_ADD_FILE), file);
    EnableWindow(GetDlgItem(dlg, IDC_ADD_BROWSEFILES), file);
    EnableWindow(GetDlgItem(dlg, IDC_ADD_FOLDER), !file);
    EnableWindow(GetDlgItem(dlg, IDC_ADD_BROWSEFOLDERS), !file);
}

bool Confirm(HWND dlg, const char* text)
{
    return ShowMessageBox(dlg, text, "Continue?", MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

void OnOk(HWND dlg)
{
    char text[TK_PATH_SIZE];
    if (IsDlgButtonChecked(dlg, IDC_ADD_ISFILE) == BST_CHECKED) {
        if (!ReadPathField(dlg, IDC_ADD_FILE, text))
            return;
        if (!*text) {
            ShowBlankField(dlg, "You must fill in the file name field.");
            return;
        }
        StripOneSeparator(text, 1);
        lstrcpynA(g_path, text, TK_PATH_SIZE);
        EndDialog(dlg, 1);
        return;
    }
    if (!ReadPathField(dlg, IDC_ADD_FOLDER, text))
        return;
    if (!*text) {
        ShowBlankField(dlg, "You must fill in the folder name field.");
        return;
    }
    if (IsDriveRootText(text)
        && !Confirm(dlg, "You have chosen to monitor a root directory.  You should not monitor your "
                         "entire drive, just the folders you want to synchronize or backup.  Do you "
                         "want to continue?")) {
        EndDialog(dlg, 0);
        return;
    }
    char windowsDir[TK_PATH_SIZE] = "";
    UINT got = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    if (got == 0 || got >= sizeof windowsDir)
        windowsDir[0] = '\0';
    if (IsWindowsDirText(text, windowsDir)
        && !Confirm(dlg, "You have chosen to monitor your Windows directory.  This may be unwise, as "
                         "the files in your Windows directory will be constantly changing, and few "
                         "will be of importance.  Do you want to continue?")) {
        EndDialog(dlg, 0);
        return;
    }
    if (!EndsWithSeparator(text)) {
        size_t len = strlen(text);
        if (len + 1 > MAX_PATH_TEXT) {
            ShowMessageBox(dlg, kPathTooLong, "Path Too Long", MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        text[len] = '\\';
        text[len + 1] = '\0';
    }
    lstrcpynA(g_path, text, TK_PATH_SIZE);
    EndDialog(dlg, 2);
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

void OnCommand(HWND dlg, int id)
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
        OnOk(dlg);
        break;
    case IDCANCEL:
        EndDialog(dlg, 0);
        break;
    }
}

INT_PTR CALLBACK AddItemProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void ShowAddError(HWND owner, const char* text)
{
    ShowMessageBox(owner, text, "Error", MB_OK | MB_ICONEXCLAMATION);
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

} // namespace

int RunAddItemDialog(HWND owner, char* path)
{
    if (!path)
        return 0;
    g_path = path;
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(NULL), "ADDFILEFOLDER", owner, AddItemProc, 0);
    g_path = NULL;
    return result == 1 || result == 2 ? static_cast<int>(result) : 0;
}

int AddCheckedItem(HWND mainWindow, int result, const char* path)
{
    if (result == 1 && !IsOpenableFile(path)) {
        ShowAddError(mainWindow, "The file you entered cannot be found.  Click Add File again and "
                                 "enter an existing filename.");
        return 0;
    }
    // The folder is asked about, never created: creating it to test for it
    // leaves it behind when a parent is missing too.
    if (result == 2 && !IsExistingFolder(path)) {
        ShowAddError(mainWindow, "The folder you've entered does not exist.  Click \"Add\" again and try again.");
        return 0;
    }
    if (result != 1 && result != 2)
        return 0;
    if (strlen(path) > TK_MAX_ITEM_PATH) {
        ShowAddError(mainWindow, "This path is too long for Tandemkeep's list.  A file or folder "
                                 "path can have at most 229 characters; choose a shorter path.");
        return 0;
    }
    if (!CreateItemKey(path)) {
        ShowAddError(mainWindow, "Tandemkeep could not store the new item in its settings.");
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
