// The item properties sheet: three pages over one item's registry key.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"
#include "dialogs/properties.h"

#include "common/seams.h"
#include "resources/resource.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

void CreateFolderLevels(const char* folder)
{
    char level[TK_PATH_SIZE];
    size_t len = strlen(folder);
    if (len >= sizeof level)
        return;
    for (size_t i = 0; i < len; ++i) {
        if (folder[i] != '\\')
            continue;
        size_t end = i + 1;
        while (end < len && folder[end] != '\\')
            ++end;
        memcpy(level, folder, end);
        level[end] = '\0';
        CreateDirectoryA(level, NULL);
    }
}

void RunPropertiesSheet(HWND owner, const char* itemPath)
{
    if (!itemPath)
        return;
    if (strlen(itemPath) > MAX_PATH_TEXT) {
        ShowMessageBox(owner, "This item's path is too long to be edited.", "Error",
                       MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    char path[TK_PATH_SIZE];
    lstrcpynA(path, itemPath, sizeof path);
    bool folder = EndsWithSeparator(path);

    PROPSHEETPAGEA pages[3] = {};
    const char* templates[3] = {"FTPPROPERTIES", "HDPROPERTIES", folder ? "FOLDEROPTIONS" : "FILEOPTIONS"};
    const char* titles[3] = {"FTP Synchronization", "Drive Synchronization", "Options"};
    const char* icons[3] = {"FTPBACKUPSM", "HDBACKUPSM", "OPTIONSSM"};
    for (int i = 0; i < 3; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_USETITLE | PSP_USEICONID;
        pages[i].hInstance = GetModuleHandleA(NULL);
        pages[i].pszTemplate = templates[i];
        pages[i].pszIcon = icons[i];
        pages[i].pszTitle = titles[i];
        pages[i].pfnDlgProc = i < 2 ? TargetPageProc : OptionsPageProc;
        pages[i].lParam = reinterpret_cast<LPARAM>(path);
    }
    char caption[TK_PATH_SIZE + 32];
    FormatSheetCaption(path, caption, sizeof caption);

    PROPSHEETHEADERA header = {};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE;
    header.hwndParent = owner;
    header.hInstance = GetModuleHandleA(NULL);
    header.pszCaption = caption;
    header.nPages = 3;
    header.nStartPage = 0;
    header.ppsp = pages;
    PropertySheetA(&header);
}
