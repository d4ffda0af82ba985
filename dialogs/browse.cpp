// Shared dialog helpers: the folder and file browsers, the selected row of a list view, the web
// browser.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"

#include "common/seams.h"
#include "store/layout.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <string.h>

namespace {
// The folder of the last file chosen with BrowseForFile; empty at start.
// Main thread only.
char g_lastDirectory[TK_PATH_SIZE] = "";
}  // namespace

int BrowseForFolder(HWND owner, char* path)
{
    if (!path)
        return 0;
    char display[MAX_PATH] = "";
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pszDisplayName = display;
    info.lpszTitle = "Browse Folders...";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list)
        return 0;
    char chosen[MAX_PATH] = "";
    BOOL ok = SHGetPathFromIDListA(list, chosen);
    CoTaskMemFree(list);
    if (!ok)
        return 0;
    lstrcpynA(path, chosen, TK_PATH_SIZE);
    return 1;
}

int BrowseForFile(HWND owner, char* path)
{
    if (!path)
        return 0;
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "All Files (*.*)\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = TK_PATH_SIZE;
    ofn.lpstrInitialDir = g_lastDirectory[0] ? g_lastDirectory : NULL;
    // The current directory of the process stays where it was.
    ofn.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&ofn))
        return 0;
    LastDirectoryOf(path, g_lastDirectory, sizeof g_lastDirectory);
    return 1;
}

int GetSelectedRowText(HWND list, char* buffer, int size)
{
    int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0)
        return -1;
    if (buffer && size > 0) {
        buffer[0] = '\0';
        ListView_GetItemText(list, row, 0, buffer, size);
        // A text longer than the buffer is not always terminated by the control.
        buffer[size - 1] = '\0';
    }
    return row;
}

int OpenInBrowser(const char* address)
{
    if (!address)
        return 0;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 0;
    char command[257] = "";
    DWORD size = sizeof command - 1;
    DWORD type = 0;
    LONG rc = RegQueryValueExA(key, NULL, NULL, &type, reinterpret_cast<BYTE*>(command), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return 0;
    command[size < sizeof command ? size : sizeof command - 1] = '\0';
    char program[sizeof command];
    BrowserProgram(command, program, sizeof program);
    if (!*program)
        return 0;
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.lpVerb = "open";
    info.lpFile = program;
    info.lpParameters = address;
    info.nShow = SW_SHOWNORMAL;
    RunShellExecute(&info);
    return 1;
}
