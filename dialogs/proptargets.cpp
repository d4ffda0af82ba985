// The FTP and drive target pages of the item properties sheet: one procedure for both.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"
#include "dialogs/properties.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/store.h"

#include <commctrl.h>
#include <prsht.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

char g_targetPagePath[TK_PATH_SIZE] = "";

namespace {

// The targets the two pages show: 0 while the fields hold a new, unsaved one.
// Main thread only; reset by each page's first list rebuild.
DWORD g_currentFtpId = 0;
DWORD g_currentHdId = 0;

const char kAnonymousPrompt[] = "Enter E-Mail Address Here";

struct PageIds {
    int kind, enable, list, quick, addNew, remove, storage;
};
const PageIds kFtpPage = {KIND_FTP, IDC_FTP_ENABLE, IDC_FTP_LIST, IDC_FTP_QUICK, IDC_FTP_ADDNEW, IDC_FTP_REMOVE, IDC_FTP_STORAGE};
const PageIds kHdPage = {KIND_HD, IDC_HD_ENABLE, IDC_HD_LIST, IDC_HD_QUICK, IDC_HD_ADDNEW, IDC_HD_REMOVE, IDC_HD_STORAGE};

const int kFtpFields[] = {IDC_FTP_NAME, IDC_FTP_ADDRESS, IDC_FTP_PORT, IDC_FTP_FOLDER,
                          IDC_FTP_USER, IDC_FTP_PASSWORD, IDC_FTP_ANONYMOUS, IDC_FTP_STORAGE};
const int kHdFields[] = {IDC_HD_FOLDER, IDC_HD_STORAGE};

bool IsFtpPage(HWND page)
{
    return GetDlgItem(page, IDC_FTP_ADDRESS) != NULL;
}

const PageIds& Ids(HWND page)
{
    return IsFtpPage(page) ? kFtpPage : kHdPage;
}

DWORD& CurrentId(HWND page)
{
    return IsFtpPage(page) ? g_currentFtpId : g_currentHdId;
}

bool Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void Warn(HWND page, const char* text, const char* caption)
{
    ShowMessageBox(page, text, caption, MB_OK | MB_ICONEXCLAMATION);
}

// Loads the item's settings; NULL when they cannot be loaded (the caller frees).
ItemSettings* LoadSettings()
{
    ItemSettings* settings = NewItemSettings(g_targetPagePath);
    if (settings && LoadItemSettings(g_targetPagePath, settings) != 1) {
        FreeItemSettings(settings);
        return NULL;
    }
    return settings;
}

void EnableFields(HWND page)
{
    bool ftp = IsFtpPage(page);
    BOOL on = Checked(page, Ids(page).enable);
    const int* fields = ftp ? kFtpFields : kHdFields;
    size_t count = ftp ? sizeof kFtpFields / sizeof *kFtpFields : sizeof kHdFields / sizeof *kHdFields;
    for (size_t i = 0; i < count; ++i)
        EnableWindow(GetDlgItem(page, fields[i]), on);
    if (ftp && on && Checked(page, IDC_FTP_ANONYMOUS))
        EnableWindow(GetDlgItem(page, IDC_FTP_USER), FALSE);
}

// The password field shows an anonymous login's e-mail address unmasked.
void ShowAnonymousState(HWND page)
{
    bool anonymous = Checked(page, IDC_FTP_ANONYMOUS);
    SendDlgItemMessageA(page, IDC_FTP_PASSWORD, EM_SETPASSWORDCHAR, anonymous ? 0 : '*', 0);
    InvalidateRect(GetDlgItem(page, IDC_FTP_PASSWORD), NULL, TRUE);
    EnableWindow(GetDlgItem(page, IDC_FTP_USER), !anonymous && Checked(page, IDC_FTP_ENABLE));
}

void LoadFields(HWND page, const TargetRecord* target)
{
    if (IsFtpPage(page)) {
        SetDlgItemTextA(page, IDC_FTP_NAME, target->name);
        SetDlgItemTextA(page, IDC_FTP_ADDRESS, target->address);
        SetDlgItemInt(page, IDC_FTP_PORT, target->port, FALSE);
        CheckDlgButton(page, IDC_FTP_ANONYMOUS, target->anonymous ? BST_CHECKED : BST_UNCHECKED);
        SetDlgItemTextA(page, IDC_FTP_USER, target->userName);
        SetDlgItemTextA(page, IDC_FTP_PASSWORD, target->password);
        SetDlgItemTextA(page, IDC_FTP_FOLDER, target->folder);
        SendDlgItemMessageA(page, IDC_FTP_STORAGE, CB_SETCURSEL, StoragePosition(target->storageType), 0);
        ShowAnonymousState(page);
    } else {
        SetDlgItemTextA(page, IDC_HD_FOLDER, target->folder);
        SendDlgItemMessageA(page, IDC_HD_STORAGE, CB_SETCURSEL, StoragePosition(target->storageType), 0);
    }
}

void ClearFields(HWND page)
{
    if (IsFtpPage(page)) {
        const int ids[] = {IDC_FTP_NAME, IDC_FTP_ADDRESS, IDC_FTP_PORT, IDC_FTP_FOLDER, IDC_FTP_USER, IDC_FTP_PASSWORD};
        for (int id : ids)
            SetDlgItemTextA(page, id, "");
        CheckDlgButton(page, IDC_FTP_ANONYMOUS, BST_UNCHECKED);
        ShowAnonymousState(page);
    } else {
        SetDlgItemTextA(page, IDC_HD_FOLDER, "");
    }
}

TargetRecord* TargetAt(ItemSettings* settings, int kind, DWORD index)
{
    if (kind == KIND_FTP)
        return index < settings->switches->ftpCount ? settings->ftpTargets[index] : NULL;
    return index < settings->switches->hdCount ? settings->hdTargets[index] : NULL;
}

TargetRecord* TargetById(ItemSettings* settings, int kind, DWORD id)
{
    return kind == KIND_FTP ? FindFtpTargetById(settings, id) : FindDiskTargetById(settings, id);
}

// The text a list entry matches: the name (FTP) or the folder (drive).
void KeyFieldText(HWND page, char* out, int size)
{
    GetDlgItemTextA(page, IsFtpPage(page) ? IDC_FTP_NAME : IDC_HD_FOLDER, out, size);
}

// UM_RELOADTARGETS: wParam 0 keeps the fields and selects the entry that
// matches them; otherwise the list position to select and load (-1 for 0).
void OnReloadTargets(HWND page, WPARAM wParam)
{
    const PageIds& ids = Ids(page);
    HWND list = GetDlgItem(page, ids.list);
    ItemSettings* settings = LoadSettings();
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    DWORD count = 0;
    if (settings) {
        count = ids.kind == KIND_FTP ? settings->switches->ftpCount : settings->switches->hdCount;
        for (DWORD i = 0; i < count; ++i) {
            TargetRecord* t = TargetAt(settings, ids.kind, i);
            LRESULT at = SendMessageA(list, CB_ADDSTRING, 0,
                                      reinterpret_cast<LPARAM>(ids.kind == KIND_FTP ? t->name : t->folder));
            if (at >= 0)
                SendMessageA(list, CB_SETITEMDATA, at, t->id);
        }
    }
    DWORD& current = CurrentId(page);
    if (count == 0) {
        ClearFields(page);
        current = 0;
        if (settings)
            FreeItemSettings(settings);
        return;
    }
    int entries = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    int selected = -1;
    if (wParam != 0) {
        int position = static_cast<int>(wParam) == -1 ? 0 : static_cast<int>(wParam);
        if (position >= entries)
            position = 0;
        selected = position;
        DWORD id = static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, position, 0));
        TargetRecord* t = TargetById(settings, ids.kind, id);
        if (t)
            LoadFields(page, t);
    } else {
        // The entry of the target being edited; by its id first, since two
        // existing targets may carry the same name.
        char key[TK_PATH_SIZE] = "";
        KeyFieldText(page, key, sizeof key);
        char text[TK_PATH_SIZE];
        for (int i = 0; i < entries && selected < 0; ++i)
            if (current != 0 && static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, i, 0)) == current)
                selected = i;
        for (int i = 0; i < entries && selected < 0; ++i) {
            if (SendMessageA(list, CB_GETLBTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof text))
                continue;
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            if (strcmp(text, key) == 0)
                selected = i;
        }
        if (selected < 0)
            selected = 0;
    }
    SendMessageA(list, CB_SETCURSEL, selected, 0);
    current = static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, selected, 0));
    FreeItemSettings(settings);
}

// Reads an edit field into out; false (with a message) when the text is
// longer than the design's buffer holds.
bool ReadField(HWND page, int id, char* out, int maxChars, const char* what)
{
    int len = GetWindowTextLengthA(GetDlgItem(page, id));
    if (len > maxChars) {
        char text[256];
        snprintf(text, sizeof text,
                 "The %s field is too long.  It can hold at most %d characters.  Please shorten it and try again.",
                 what, maxChars);
        Warn(page, text, "Field Too Long");
        return false;
    }
    GetDlgItemTextA(page, id, out, maxChars + 1);
    return true;
}

struct FtpFields {
    char name[TK_FTPTEXT_SIZE], address[TK_FTPTEXT_SIZE], user[TK_FTPTEXT_SIZE], password[TK_FTPTEXT_SIZE];
    char folder[TK_PATH_SIZE], port[16];
};

bool ReadFtpFields(HWND page, FtpFields* f)
{
    return ReadField(page, IDC_FTP_NAME, f->name, MAX_FTP_TEXT, "FTP name")
        && ReadField(page, IDC_FTP_ADDRESS, f->address, MAX_FTP_TEXT, "FTP address")
        && ReadField(page, IDC_FTP_PORT, f->port, 15, "FTP port")
        && ReadField(page, IDC_FTP_USER, f->user, MAX_FTP_TEXT, "FTP username")
        && ReadField(page, IDC_FTP_PASSWORD, f->password, MAX_FTP_TEXT, "FTP password")
        && ReadField(page, IDC_FTP_FOLDER, f->folder, MAX_PATH_TEXT, "Folder");
}

// The checks of the FTP page, in the order the user meets them.
bool CheckFtpFields(HWND page, FtpFields* f)
{
    bool anonymous = Checked(page, IDC_FTP_ANONYMOUS);
    if (!*f->name) {
        Warn(page, "You didn't enter anything in the FTP name field.  You need to supply a name with which to "
                   "reference this particular ftp site (eg. \"My Web Page\").", "Name Blank");
        return false;
    }
    if (g_currentFtpId == 0 && FindTargetId(g_targetPagePath, f->name, KIND_FTP) != 0) {
        char text[512];
        snprintf(text, sizeof text,
                 "You have already added an FTP site called %s.  Please choose another name, or remove the old "
                 "site from the list by selecting it, then clicking \"Remove\".", f->name);
        Warn(page, text, "Site Already Exists");
        return false;
    }
    if (!*f->address) {
        Warn(page, "You didn't enter anything in the FTP address field.  Tandemkeep needs this field to find the "
                   "FTP site.  Alternately, you can uncheck FTP synchronization (top).  Please fill in the field "
                   "and try again.", "Address Blank");
        return false;
    }
    if (!*f->port) {
        Warn(page, "You didn't enter anything in the FTP port field.  Tandemkeep needs the port to know how to "
                   "connect to the FTP site.  Please fill in the field and try again.", "Port Blank");
        return false;
    }
    unsigned long port = strtoul(f->port, NULL, 10);
    if (port == 0 || port > 65535 || strspn(f->port, "0123456789") != strlen(f->port)) {
        Warn(page, "The FTP port must be a number from 1 to 65535.  Please change the field and try again.",
             "Invalid Port");
        return false;
    }
    if (!*f->user && !anonymous) {
        Warn(page, "You didn't enter anything in the FTP username field.  Tandemkeep needs your username to login "
                   "to the FTP server.  Alternately, you can check the \"Login Anonymously\" checkbox.  Please "
                   "fill in the field and try again.", "Username Blank");
        return false;
    }
    if (!*f->password && !anonymous) {
        Warn(page, "You didn't enter anything in the FTP password field.  Tandemkeep needs your password to login "
                   "to the FTP server.  Alternately, you can check the \"Login Anonymously\" checkbox.  Please "
                   "fill in the field and try again.", "Password Blank");
        return false;
    }
    if (!*f->folder) {
        lstrcpyA(f->folder, "/");
        SetDlgItemTextA(page, IDC_FTP_FOLDER, f->folder);
    }
    if (!IsValidFtpFolder(f->folder)) {
        Warn(page, "The Folder field must begin with a forward-slash (ie. \"/myfolder\").  To specify a specific "
                   "drive, type the path with this format: /<drive>/<path> (eg. /c/myfolder).  For certain "
                   "situations, you may want to begin with a double dot (..).  Please the change the field or "
                   "leave it blank, then try again.", "Invalid Field");
        return false;
    }
    return true;
}

bool CheckHdFolder(HWND page, const char* folder)
{
    if (!*folder) {
        Warn(page, "You didn't enter anything in the hard drive folder field.  Tandemkeep needs this field to know "
                   "where to store the sync'd/backed up files.  Alternately, you can check off hard drive "
                   "sync/backup.  Please fill in the field and try again.", "Address Blank");
        return false;
    }
    if (g_currentHdId == 0 && FindTargetId(g_targetPagePath, folder, KIND_HD) != 0) {
        char text[512];
        snprintf(text, sizeof text,
                 "You have already added the location %s.  Rename it to something else, or remove the old one "
                 "by selecting it from the list, and clicking \"Remove\".", folder);
        Warn(page, text, "Already Defined");
        return false;
    }
    CreateFolderLevels(folder);
    return true;
}

// UM_SAVETARGET: checks the fields and writes the enable flag and the one
// target they describe. Returns 0 when saved, 1 when a check failed.
int SaveTarget(HWND page)
{
    bool ftp = IsFtpPage(page);
    bool enabled = Checked(page, Ids(page).enable);
    FtpFields f = {};
    if (ftp) {
        if (!ReadFtpFields(page, &f))
            return 1;
        if (enabled && !CheckFtpFields(page, &f))
            return 1;
    } else {
        if (!ReadField(page, IDC_HD_FOLDER, f.folder, MAX_PATH_TEXT, "hard drive folder"))
            return 1;
        // Stored without a trailing separator, so compared that way too.
        StripOneSeparator(f.folder, 2);
        if (enabled && !CheckHdFolder(page, f.folder))
            return 1;
    }
    ItemSettings* settings = NewItemSettings(g_targetPagePath);
    if (!settings)
        return 1;
    DWORD& current = CurrentId(page);
    TargetRecord* t = ftp ? settings->ftpTargets[0] : settings->hdTargets[0];
    StripOneSeparator(f.folder, 2);
    lstrcpynA(t->folder, f.folder, TK_PATH_SIZE);
    t->id = current;
    int position = static_cast<int>(SendDlgItemMessageA(page, Ids(page).storage, CB_GETCURSEL, 0, 0));
    t->storageType = StorageValue(position, !ftp);
    if (ftp) {
        settings->switches->ftpEnabled = enabled ? 1 : 0;
        settings->switches->ftpCount = 1;
        lstrcpynA(t->name, f.name, TK_FTPTEXT_SIZE);
        lstrcpynA(t->address, f.address, TK_FTPTEXT_SIZE);
        lstrcpynA(t->userName, f.user, TK_FTPTEXT_SIZE);
        lstrcpynA(t->password, f.password, TK_FTPTEXT_SIZE);
        unsigned long port = strtoul(f.port, NULL, 10);
        t->port = static_cast<WORD>(port <= 65535 ? port : 0);
        t->anonymous = Checked(page, IDC_FTP_ANONYMOUS) ? 1 : 0;
    } else {
        settings->switches->hdEnabled = enabled ? 1 : 0;
        settings->switches->hdCount = 1;
    }
    int saved = SaveItemSettings(g_targetPagePath, settings, ftp ? SAVE_FTP : SAVE_HD);
    // A new target now has its id: later saves of these fields update it
    // instead of meeting it as a name that already exists.
    if (saved == 1 && t->id != 0 && (ftp ? *t->name : *t->folder))
        current = t->id;
    FreeItemSettings(settings);
    return 0;
}

bool SaveFields(HWND page)
{
    int failed = 1;
    SendMessageA(page, UM_SAVETARGET, 0, reinterpret_cast<LPARAM>(&failed));
    return failed == 0;
}

void OnEnableClicked(HWND page)
{
    EnableFields(page);
    ItemSettings* settings = LoadSettings();
    if (!settings)
        return;
    FreeItemSettings(settings);
    if (IsFtpPage(page)) {
        if (GetWindowTextLengthA(GetDlgItem(page, IDC_FTP_ADDRESS)) == 0) {
            SetDlgItemTextA(page, IDC_FTP_PORT, "21");
            SetDlgItemTextA(page, IDC_FTP_FOLDER, "/");
            SendDlgItemMessageA(page, IDC_FTP_STORAGE, CB_SETCURSEL, 0, 0);
        }
    } else if (GetWindowTextLengthA(GetDlgItem(page, IDC_HD_FOLDER)) == 0) {
        SendDlgItemMessageA(page, IDC_HD_STORAGE, CB_SETCURSEL, 0, 0);
    }
}

void OnAnonymousClicked(HWND page)
{
    if (!Checked(page, IDC_FTP_ENABLE))
        return;
    if (Checked(page, IDC_FTP_ANONYMOUS))
        SetDlgItemTextA(page, IDC_FTP_PASSWORD, kAnonymousPrompt);
    ShowAnonymousState(page);
}

void OnListSelected(HWND page)
{
    HWND list = GetDlgItem(page, Ids(page).list);
    int chosen = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (chosen < 0)
        return;
    DWORD id = static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, chosen, 0));
    if (!SaveFields(page)) {
        SendMessageA(page, UM_RELOADTARGETS, 0, 0);  // back to the entry being edited
        return;
    }
    CurrentId(page) = id;
    ItemSettings* settings = LoadSettings();
    if (settings) {
        TargetRecord* t = TargetById(settings, Ids(page).kind, id);
        if (t)
            LoadFields(page, t);
        FreeItemSettings(settings);
    }
    SendMessageA(page, UM_RELOADTARGETS, 0, 0);
}

void OnAddNew(HWND page)
{
    bool ftp = IsFtpPage(page);
    if (!Checked(page, Ids(page).enable)) {
        if (ftp)
            Warn(page, "You must enable FTP synchronization to add a new server to the list.  Click on the checkbox "
                       "at the top of this window.  If you have no servers defined, you don't have to click \"Add "
                       "New\" - just type the information into the above fields.", "Enable FTP");
        else
            Warn(page, "You must enable hard drive/network synchronization to add a new synchronization target.  "
                       "Click on the checkbox at the top of this window.  If you have no target folders defined, "
                       "you don't have to click \"Add New\" - just type the information into the above fields and "
                       "click \"OK.\"", "Enable Hard Drive/Network");
        return;
    }
    if (!SaveFields(page))
        return;
    SendMessageA(page, UM_RELOADTARGETS, 0, 0);
    if (ftp) {
        SetDlgItemTextA(page, IDC_FTP_NAME, "New FTP Server");
        SetDlgItemTextA(page, IDC_FTP_ADDRESS, "");
        SetDlgItemTextA(page, IDC_FTP_PORT, "21");
        SetDlgItemTextA(page, IDC_FTP_FOLDER, "/www");
        SetDlgItemTextA(page, IDC_FTP_USER, "");
        SetDlgItemTextA(page, IDC_FTP_PASSWORD, "");
        CheckDlgButton(page, IDC_FTP_ANONYMOUS, BST_UNCHECKED);
        ShowAnonymousState(page);
    } else {
        SetDlgItemTextA(page, IDC_HD_FOLDER, "");
    }
    CurrentId(page) = 0;
}

void OnRemove(HWND page)
{
    const PageIds& ids = Ids(page);
    HWND list = GetDlgItem(page, ids.list);
    DWORD id = CurrentId(page);
    if (ids.kind == KIND_HD) {
        int selected = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
        id = selected >= 0 ? static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, selected, 0)) : 0;
    }
    if (id != 0)
        DeleteTarget(g_targetPagePath, static_cast<int>(id), ids.kind);
    SendMessageA(page, UM_RELOADTARGETS, static_cast<WPARAM>(-1), 0);
    if (CountTargets(g_targetPagePath, ids.kind) == 0) {
        CheckDlgButton(page, ids.enable, BST_UNCHECKED);
        OnEnableClicked(page);
    }
}

void OnSaveChanges(HWND page)
{
    if (SaveFields(page))
        SendMessageA(page, UM_RELOADTARGETS, 0, 0);
}

void OnGo(HWND page)
{
    const PageIds& ids = Ids(page);
    char text[TK_PATH_SIZE] = "";
    GetDlgItemTextA(page, ids.quick, text, sizeof text);
    LRESULT found = SendDlgItemMessageA(page, ids.list, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text));
    if (found == CB_ERR)
        return;
    SendDlgItemMessageA(page, ids.list, CB_SETCURSEL, found, 0);
    SetDlgItemTextA(page, ids.quick, "");
    SendMessageA(page, UM_RELOADTARGETS, found == 0 ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(found), 0);
}

void OnBrowse(HWND page)
{
    char folder[TK_PATH_SIZE] = "";
    if (BrowseForFolder(page, folder))
        SetDlgItemTextA(page, IDC_HD_FOLDER, folder);
}

void OnInitPage(HWND page, const PROPSHEETPAGEA* sheetPage)
{
    lstrcpynA(g_targetPagePath, reinterpret_cast<const char*>(sheetPage->lParam), sizeof g_targetPagePath);
    bool ftp = IsFtpPage(page);
    const PageIds& ids = Ids(page);
    CurrentId(page) = 0;
    HWND storage = GetDlgItem(page, ids.storage);
    SendMessageA(storage, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Sync File (Overwrite Existing)"));
    SendMessageA(storage, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Backup (Auto-Rename To Another File)"));
    if (!ftp)
        SendMessageA(storage, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Append To Existing"));
    ItemSettings* settings = LoadSettings();
    if (settings) {
        BYTE on = ftp ? settings->switches->ftpEnabled : settings->switches->hdEnabled;
        CheckDlgButton(page, ids.enable, on ? BST_CHECKED : BST_UNCHECKED);
    }
    EnableFields(page);
    PostMessageA(page, UM_RELOADTARGETS, 0, 0);
    if (settings) {
        TargetRecord* first = TargetAt(settings, ids.kind, 0);
        if (first)
            LoadFields(page, first);
        FreeItemSettings(settings);
    }
}

void OnCommand(HWND page, int id, int code)
{
    const PageIds& ids = Ids(page);
    if (id == ids.list) {
        if (code == CBN_SELCHANGE)
            OnListSelected(page);
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (id == ids.enable)
        OnEnableClicked(page);
    else if (id == ids.addNew)
        OnAddNew(page);
    else if (id == ids.remove)
        OnRemove(page);
    else if (id == IDC_TARGET_SAVE)
        OnSaveChanges(page);
    else if (id == IDC_TARGET_GO)
        OnGo(page);
    else if (IsFtpPage(page) && id == IDC_FTP_ANONYMOUS)
        OnAnonymousClicked(page);
    else if (!IsFtpPage(page) && id == IDC_HD_BROWSE)
        OnBrowse(page);
}

INT_PTR OnNotify(HWND page, const NMHDR* header)
{
    if (header->code != PSN_APPLY)
        return FALSE;
    bool saved = SaveFields(page);
    if (saved)
        SendMessageA(page, UM_RELOADTARGETS, 0, 0);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, saved ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK TargetPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        OnInitPage(page, reinterpret_cast<const PROPSHEETPAGEA*>(lParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case UM_RELOADTARGETS:
        OnReloadTargets(page, wParam);
        return TRUE;
    case UM_SAVETARGET:
        if (lParam)
            *reinterpret_cast<int*>(lParam) = SaveTarget(page);
        return TRUE;
    }
    return FALSE;
}
