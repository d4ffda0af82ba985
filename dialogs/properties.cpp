// The item properties sheet: three pages over one item's registry key.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"
#include "dialogs/properties.h"

#include "common/seams.h"
#include "resources/resource.h"
#include "store/layout.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

void RunPropertiesSheet(HWND owner, const char* itemPath)
{
    if (!itemPath)
        return;
    if (strlen(itemPath) > MAX_PATH_TEXT) {
        ShowMessageBox(owner, "This item's path is too long to be edited.", "Error",
                       MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    // The pages' records, alive for the modal run of the sheet.
    char path[TK_PATH_SIZE];
    lstrcpynA(path, itemPath, sizeof path);
    TargetPage ftpPage = {path, KIND_FTP, 0, "", ""};
    TargetPage hdPage = {path, KIND_HD, 0, "", ""};
    OptionsPage optionsPage = {path};
    bool folder = EndsWithSeparator(path);

    PROPSHEETPAGEA pages[3] = {};
    const char* templates[3] = {"FTPPROPERTIES", "HDPROPERTIES",
                                folder ? "FOLDEROPTIONS" : "FILEOPTIONS"};
    const char* titles[3] = {"FTP Synchronization", "Drive Synchronization", "Options"};
    const char* icons[3] = {"FTPBACKUPSM", "HDBACKUPSM", "OPTIONSSM"};
    void* records[3] = {&ftpPage, &hdPage, &optionsPage};
    for (int i = 0; i < 3; ++i) {
        pages[i].dwSize = sizeof pages[i];
        pages[i].dwFlags = PSP_USETITLE | PSP_USEICONID;
        pages[i].hInstance = GetModuleHandleA(NULL);
        pages[i].pszTemplate = templates[i];
        pages[i].pszIcon = icons[i];
        pages[i].pszTitle = titles[i];
        pages[i].pfnDlgProc = i < 2 ? TargetPageProc : OptionsPageProc;
        pages[i].lParam = reinterpret_cast<LPARAM>(records[i]);
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
