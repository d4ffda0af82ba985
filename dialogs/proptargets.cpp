// The FTP and drive target pages of the item properties sheet: one procedure for both.
#include "dialogs/dialogs.h"
#include "dialogs/dlgtext.h"
#include "dialogs/fieldrules.h"
#include "dialogs/properties.h"

#include "common/messages.h"
#include "common/seams.h"
#include "resources/resource.h"
#include "store/scoped.h"
#include "store/store.h"
#include "transfer/ftp/ftptlsrules.h"

#include <commctrl.h>
#include <prsht.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

const char kAnonymousPrompt[] = "Enter E-Mail Address Here";

struct PageIds {
    int enable, list, quick, addNew, remove, storage;
    const int* fields;  // enabled and disabled with the enable box
    size_t fieldCount;
};
const int kFtpFields[] = {IDC_FTP_NAME,      IDC_FTP_ADDRESS,        IDC_FTP_PORT,
                          IDC_FTP_FOLDER,    IDC_FTP_USER,           IDC_FTP_PASSWORD,
                          IDC_FTP_ANONYMOUS, IDC_FTP_PASSIVE,        IDC_FTP_SAFEUPLOAD,
                          IDC_FTP_TLS,       IDC_FTP_TLSFINGERPRINT, IDC_FTP_STORAGE};
const int kHdFields[] = {IDC_HD_FOLDER, IDC_HD_STORAGE};
const PageIds kFtpPage = {
    IDC_FTP_ENABLE, IDC_FTP_LIST,    IDC_FTP_QUICK, IDC_FTP_ADDNEW,
    IDC_FTP_REMOVE, IDC_FTP_STORAGE, kFtpFields,    sizeof kFtpFields / sizeof *kFtpFields};
const PageIds kHdPage = {
    IDC_HD_ENABLE, IDC_HD_LIST,    IDC_HD_QUICK, IDC_HD_ADDNEW,
    IDC_HD_REMOVE, IDC_HD_STORAGE, kHdFields,    sizeof kHdFields / sizeof *kHdFields};

bool IsFtp(const TargetPage* p)
{
    return p->kind == KIND_FTP;
}

const PageIds& Ids(const TargetPage* p)
{
    return IsFtp(p) ? kFtpPage : kHdPage;
}

bool Checked(HWND page, int id)
{
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

void SetCheck(HWND page, int id, bool on)
{
    CheckDlgButton(page, id, on ? BST_CHECKED : BST_UNCHECKED);
}

// The whole text of a field, however long the user made it.
std::string FieldText(HWND page, int id)
{
    std::string text(static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(page, id))) + 1, '\0');
    text.resize(
        static_cast<size_t>(GetDlgItemTextA(page, id, &text[0], static_cast<int>(text.size()))));
    return text;
}

// The certificate the target refused last, unless the Certificate field
// trusts it already; "Trust It" only while there is one to trust.
void ShowRefusal(HWND page, const TargetPage* p)
{
    bool open = p->refused[0] &&
                !SameFingerprint(FieldText(page, IDC_FTP_TLSFINGERPRINT).c_str(), p->refused);
    SetDlgItemTextA(page, IDC_FTP_TLSREFUSED, open ? p->refusedText : "");
    EnableWindow(GetDlgItem(page, IDC_FTP_TLSTRUST), open && Checked(page, IDC_FTP_ENABLE));
}

void EnableFields(HWND page, const TargetPage* p)
{
    const PageIds& ids = Ids(p);
    BOOL on = Checked(page, ids.enable);
    for (size_t i = 0; i < ids.fieldCount; ++i)
        EnableWindow(GetDlgItem(page, ids.fields[i]), on);
    if (IsFtp(p) && on && Checked(page, IDC_FTP_ANONYMOUS))
        EnableWindow(GetDlgItem(page, IDC_FTP_USER), FALSE);
    if (IsFtp(p))
        ShowRefusal(page, p);
}

// Reads what the target with id refused last into the page's record.
void LoadRefusal(TargetPage* p, DWORD id)
{
    RefusedCertificate c;
    p->refused[0] = p->refusedText[0] = '\0';
    if (!id || !ReadRefusedCertificate(p->itemPath, id, &c))
        return;
    lstrcpynA(p->refused, c.fingerprint, sizeof p->refused);
    snprintf(p->refusedText, sizeof p->refusedText,
             "Refused: %s, valid until %.10s\r\nSHA-256 %.32s\r\n%s", c.subject, c.expiry,
             c.fingerprint, strlen(c.fingerprint) > 32 ? c.fingerprint + 32 : "");
}

// The password field shows an anonymous login's e-mail address unmasked.
void ShowAnonymousState(HWND page)
{
    bool anonymous = Checked(page, IDC_FTP_ANONYMOUS);
    SendDlgItemMessageA(page, IDC_FTP_PASSWORD, EM_SETPASSWORDCHAR, anonymous ? 0 : '*', 0);
    InvalidateRect(GetDlgItem(page, IDC_FTP_PASSWORD), NULL, TRUE);
    EnableWindow(GetDlgItem(page, IDC_FTP_USER), !anonymous && Checked(page, IDC_FTP_ENABLE));
}

void LoadFields(HWND page, TargetPage* p, const TargetRecord* target)
{
    if (IsFtp(p)) {
        SetCheck(page, IDC_FTP_TLS, target->tls != 0);
        SetDlgItemTextA(page, IDC_FTP_TLSFINGERPRINT, target->fingerprint);
        LoadRefusal(p, target->id);
        ShowRefusal(page, p);
        SetDlgItemTextA(page, IDC_FTP_NAME, target->name);
        SetDlgItemTextA(page, IDC_FTP_ADDRESS, target->address);
        SetDlgItemInt(page, IDC_FTP_PORT, target->port, FALSE);
        SetCheck(page, IDC_FTP_ANONYMOUS, target->anonymous != 0);
        SetCheck(page, IDC_FTP_PASSIVE, target->passive != 0);
        SetCheck(page, IDC_FTP_SAFEUPLOAD, target->safeUpload != 0);
        SetDlgItemTextA(page, IDC_FTP_USER, target->userName);
        SetDlgItemTextA(page, IDC_FTP_PASSWORD, target->password);
        SetDlgItemTextA(page, IDC_FTP_FOLDER, target->folder);
        SendDlgItemMessageA(page, IDC_FTP_STORAGE, CB_SETCURSEL,
                            StoragePosition(target->storageType), 0);
        ShowAnonymousState(page);
    } else {
        SetDlgItemTextA(page, IDC_HD_FOLDER, target->folder);
        SendDlgItemMessageA(page, IDC_HD_STORAGE, CB_SETCURSEL,
                            StoragePosition(target->storageType), 0);
    }
}

// Empty fields; an FTP page gets the name, port and folder given, and the
// temporary-name upload when safeUpload (never encryption: a server must
// offer it).
void ClearFields(HWND page, TargetPage* p, const char* name, const char* port, const char* folder,
                 bool safeUpload)
{
    if (!IsFtp(p)) {
        SetDlgItemTextA(page, IDC_HD_FOLDER, "");
        return;
    }
    SetDlgItemTextA(page, IDC_FTP_NAME, name);
    SetDlgItemTextA(page, IDC_FTP_ADDRESS, "");
    SetDlgItemTextA(page, IDC_FTP_PORT, port);
    SetDlgItemTextA(page, IDC_FTP_FOLDER, folder);
    SetDlgItemTextA(page, IDC_FTP_USER, "");
    SetDlgItemTextA(page, IDC_FTP_PASSWORD, "");
    SetCheck(page, IDC_FTP_ANONYMOUS, false);
    SetCheck(page, IDC_FTP_PASSIVE, false);
    SetCheck(page, IDC_FTP_SAFEUPLOAD, safeUpload);
    SetCheck(page, IDC_FTP_TLS, false);
    SetDlgItemTextA(page, IDC_FTP_TLSFINGERPRINT, "");
    LoadRefusal(p, 0);
    ShowRefusal(page, p);
    ShowAnonymousState(page);
}

DWORD TargetCount(const ItemSettings* settings, const TargetPage* p)
{
    return IsFtp(p) ? settings->switches->ftpCount : settings->switches->hdCount;
}

TargetRecord* TargetById(ItemSettings* settings, const TargetPage* p, DWORD id)
{
    return IsFtp(p) ? FindFtpTargetById(settings, id) : FindDiskTargetById(settings, id);
}

void LoadTargetById(HWND page, TargetPage* p, ItemSettings* settings, DWORD id)
{
    TargetRecord* t = settings ? TargetById(settings, p, id) : NULL;
    if (t)
        LoadFields(page, p, t);
}

// UM_RELOADTARGETS: wParam 0 keeps the fields and selects the entry that
// matches them; otherwise the list position to select and load (-1 for 0).
void OnReloadTargets(HWND page, TargetPage* p, WPARAM wParam)
{
    HWND list = GetDlgItem(page, Ids(p).list);
    ScopedItemSettings settings(p->itemPath);
    SendMessageA(list, CB_RESETCONTENT, 0, 0);
    DWORD count = settings.loaded() ? TargetCount(settings.get(), p) : 0;
    for (DWORD i = 0; i < count; ++i) {
        TargetRecord* t = IsFtp(p) ? settings->ftpTargets[i] : settings->hdTargets[i];
        LRESULT at = SendMessageA(list, CB_ADDSTRING, 0,
                                  reinterpret_cast<LPARAM>(IsFtp(p) ? t->name : t->folder));
        if (at >= 0)
            SendMessageA(list, CB_SETITEMDATA, at, t->id);
    }
    if (count == 0) {
        ClearFields(page, p, "", "", "", false);
        p->currentId = 0;
        return;
    }
    int entries = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
    int selected = -1;
    if (wParam != 0) {
        int position = static_cast<int>(wParam) == -1 ? 0 : static_cast<int>(wParam);
        selected = position < entries ? position : 0;
        LoadTargetById(page, p, settings.get(),
                       static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, selected, 0)));
    } else {
        // The entry of the target being edited; by its id first, since two
        // existing targets may carry the same name.
        for (int i = 0; i < entries && selected < 0 && p->currentId != 0; ++i)
            if (static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, i, 0)) == p->currentId)
                selected = i;
        std::string key = FieldText(page, IsFtp(p) ? IDC_FTP_NAME : IDC_HD_FOLDER);
        char text[TK_PATH_SIZE];
        for (int i = 0; i < entries && selected < 0; ++i) {
            if (SendMessageA(list, CB_GETLBTEXTLEN, i, 0) >= static_cast<LRESULT>(sizeof text))
                continue;
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            if (key == text)
                selected = i;
        }
        if (selected < 0)
            selected = 0;
    }
    SendMessageA(list, CB_SETCURSEL, selected, 0);
    p->currentId = static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, selected, 0));
}

void Warn(HWND page, const FieldVerdict& verdict, const std::string& subject)
{
    ShowMessageBox(page, FieldProblemText(verdict, subject).c_str(),
                   FieldProblemCaption(verdict.problem), MB_OK | MB_ICONEXCLAMATION);
}

// Checks the FTP fields; false (with the message) when a rule refuses them.
// *fingerprint: the Certificate field as it is to be stored.
bool CheckFtpPage(HWND page, const TargetPage* p, bool enabled, FtpFields* f,
                  std::string* fingerprint)
{
    f->name = FieldText(page, IDC_FTP_NAME);
    f->address = FieldText(page, IDC_FTP_ADDRESS);
    f->port = FieldText(page, IDC_FTP_PORT);
    f->user = FieldText(page, IDC_FTP_USER);
    f->password = FieldText(page, IDC_FTP_PASSWORD);
    f->folder = FieldText(page, IDC_FTP_FOLDER);
    f->anonymous = Checked(page, IDC_FTP_ANONYMOUS);
    bool isNew = p->currentId == 0;
    bool exists = enabled && isNew && !f->name.empty() && f->name.size() <= MAX_FTP_TEXT &&
                  FindTargetId(p->itemPath, f->name.c_str(), KIND_FTP) != 0;
    bool wasEmpty = f->folder.empty();
    FieldVerdict verdict = CheckFtpFields(f, enabled, isNew, exists);
    if (wasEmpty && !f->folder.empty())
        SetDlgItemTextA(page, IDC_FTP_FOLDER, f->folder.c_str());
    *fingerprint = FieldText(page, IDC_FTP_TLSFINGERPRINT);
    if (verdict.problem == FIELD_OK) {
        verdict = CheckFingerprintField(fingerprint, enabled);
        if (verdict.problem == FIELD_OK && enabled)  // as stored
            SetDlgItemTextA(page, IDC_FTP_TLSFINGERPRINT, fingerprint->c_str());
    }
    if (verdict.problem != FIELD_OK)
        Warn(page, verdict, f->name);
    return verdict.problem == FIELD_OK;
}

// Checks the drive folder and creates its missing levels; false (with the
// message) when a rule refuses it. Failures to create a level are left to
// the copy, which reports a destination it cannot open.
bool CheckDrivePage(HWND page, const TargetPage* p, bool enabled, std::string* folder)
{
    std::string typed = FieldText(page, IDC_HD_FOLDER);
    *folder = StoredFolder(typed);
    bool isNew = p->currentId == 0;
    bool exists = enabled && isNew && !folder->empty() && folder->size() <= MAX_PATH_TEXT &&
                  FindTargetId(p->itemPath, folder->c_str(), KIND_HD) != 0;
    FieldVerdict verdict = CheckDriveFolder(typed, enabled, isNew, exists);
    if (verdict.problem != FIELD_OK) {
        Warn(page, verdict, *folder);
        return false;
    }
    if (enabled)
        for (const std::string& level : FolderLevels(*folder))
            CreateDirectoryA(level.c_str(), NULL);
    return true;
}

// UM_SAVETARGET: checks the fields and writes the enable flag and the one
// target they describe. Returns 0 when saved, 1 when a check failed.
int SaveTarget(HWND page, TargetPage* p)
{
    bool ftp = IsFtp(p);
    bool enabled = Checked(page, Ids(p).enable);
    FtpFields f = {};
    std::string fingerprint;
    if (ftp ? !CheckFtpPage(page, p, enabled, &f, &fingerprint)
            : !CheckDrivePage(page, p, enabled, &f.folder))
        return 1;
    ItemSettings* settings = NewItemSettings(p->itemPath);
    if (!settings)
        return 1;
    TargetRecord* t = ftp ? settings->ftpTargets[0] : settings->hdTargets[0];
    lstrcpynA(t->folder, StoredFolder(f.folder).c_str(), TK_PATH_SIZE);
    t->id = p->currentId;
    int position = static_cast<int>(SendDlgItemMessageA(page, Ids(p).storage, CB_GETCURSEL, 0, 0));
    t->storageType = StorageValue(position, !ftp);
    if (ftp) {
        settings->switches->ftpEnabled = enabled ? 1 : 0;
        settings->switches->ftpCount = 1;
        lstrcpynA(t->name, f.name.c_str(), TK_FTPTEXT_SIZE);
        lstrcpynA(t->address, f.address.c_str(), TK_FTPTEXT_SIZE);
        lstrcpynA(t->userName, f.user.c_str(), TK_FTPTEXT_SIZE);
        lstrcpynA(t->password, f.password.c_str(), TK_FTPTEXT_SIZE);
        t->port = PortValue(f.port);
        t->anonymous = f.anonymous ? 1 : 0;
        t->passive = Checked(page, IDC_FTP_PASSIVE) ? 1 : 0;
        t->safeUpload = Checked(page, IDC_FTP_SAFEUPLOAD) ? 1 : 0;
        t->tls = Checked(page, IDC_FTP_TLS) ? 1 : 0;
        lstrcpynA(t->fingerprint, fingerprint.c_str(), TK_FINGERPRINT_TEXT_SIZE);
    } else {
        settings->switches->hdEnabled = enabled ? 1 : 0;
        settings->switches->hdCount = 1;
    }
    int saved = SaveItemSettings(p->itemPath, settings, ftp ? SAVE_FTP : SAVE_HD);
    // A new target now has its id: later saves of these fields update it
    // instead of meeting it as a name that already exists.
    if (saved == STORE_OK && t->id != 0 && (ftp ? *t->name : *t->folder))
        p->currentId = t->id;
    FreeItemSettings(settings);
    return 0;
}

bool SaveFields(HWND page)
{
    int failed = 1;
    SendMessageA(page, UM_SAVETARGET, 0, reinterpret_cast<LPARAM>(&failed));
    return failed == 0;
}

void OnEnableClicked(HWND page, const TargetPage* p)
{
    EnableFields(page, p);
    ScopedItemSettings settings(p->itemPath);
    if (!settings.loaded())
        return;
    if (IsFtp(p)) {
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

void OnListSelected(HWND page, TargetPage* p)
{
    HWND list = GetDlgItem(page, Ids(p).list);
    int chosen = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
    if (chosen < 0)
        return;
    DWORD id = static_cast<DWORD>(SendMessageA(list, CB_GETITEMDATA, chosen, 0));
    if (SaveFields(page)) {
        p->currentId = id;
        ScopedItemSettings settings(p->itemPath);
        LoadTargetById(page, p, settings.get(), id);
    }
    // Back to the entry being edited when the check failed.
    SendMessageA(page, UM_RELOADTARGETS, 0, 0);
}

void OnAddNew(HWND page, TargetPage* p)
{
    if (!Checked(page, Ids(p).enable)) {
        if (IsFtp(p))
            ShowMessageBox(
                page,
                "You must enable FTP synchronization to add a new server to the list.  Click on "
                "the checkbox at the top of this window.  If you have no servers defined, you "
                "don't "
                "have to click \"Add New\" - just type the information into the above fields.",
                "Enable FTP", MB_OK | MB_ICONEXCLAMATION);
        else
            ShowMessageBox(
                page,
                "You must enable hard drive/network synchronization to add a new synchronization "
                "target.  Click on the checkbox at the top of this window.  If you have no target "
                "folders defined, you don't have to click \"Add New\" - just type the information "
                "into the above fields and click \"OK.\"",
                "Enable Hard Drive/Network", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (!SaveFields(page))
        return;
    SendMessageA(page, UM_RELOADTARGETS, 0, 0);
    // A new target never leaves a partial file unless the user says so.
    ClearFields(page, p, "New FTP Server", "21", "/www", true);
    p->currentId = 0;
}

void OnRemove(HWND page, TargetPage* p)
{
    const PageIds& ids = Ids(p);
    DWORD id = p->currentId;
    if (!IsFtp(p)) {
        int selected = static_cast<int>(SendDlgItemMessageA(page, ids.list, CB_GETCURSEL, 0, 0));
        id = selected >= 0 ? static_cast<DWORD>(
                                 SendDlgItemMessageA(page, ids.list, CB_GETITEMDATA, selected, 0))
                           : 0;
    }
    if (id != 0)
        DeleteTarget(p->itemPath, static_cast<int>(id), p->kind);
    SendMessageA(page, UM_RELOADTARGETS, static_cast<WPARAM>(-1), 0);
    if (CountTargets(p->itemPath, p->kind) == 0) {
        SetCheck(page, ids.enable, false);
        OnEnableClicked(page, p);
    }
}

void OnSaveChanges(HWND page)
{
    if (SaveFields(page))
        SendMessageA(page, UM_RELOADTARGETS, 0, 0);
}

// "Trust It": the certificate the target refused becomes the one it
// accepts, and is saved at once, as "Save Changes" would.
void OnTrustRefused(HWND page, const TargetPage* p)
{
    if (!p->refused[0])
        return;
    SetDlgItemTextA(page, IDC_FTP_TLSFINGERPRINT, p->refused);
    SetCheck(page, IDC_FTP_TLS, true);
    OnSaveChanges(page);
}

void OnGo(HWND page, const TargetPage* p)
{
    const PageIds& ids = Ids(p);
    std::string text = FieldText(page, ids.quick);
    LRESULT found = SendDlgItemMessageA(page, ids.list, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                        reinterpret_cast<LPARAM>(text.c_str()));
    if (found == CB_ERR)
        return;
    SendDlgItemMessageA(page, ids.list, CB_SETCURSEL, found, 0);
    SetDlgItemTextA(page, ids.quick, "");
    SendMessageA(page, UM_RELOADTARGETS,
                 found == 0 ? static_cast<WPARAM>(-1) : static_cast<WPARAM>(found), 0);
}

void OnBrowse(HWND page)
{
    char folder[TK_PATH_SIZE] = "";
    if (BrowseForFolder(page, folder))
        SetDlgItemTextA(page, IDC_HD_FOLDER, folder);
}

void OnInitPage(HWND page, TargetPage* p)
{
    const PageIds& ids = Ids(p);
    p->currentId = 0;
    HWND storage = GetDlgItem(page, ids.storage);
    SendMessageA(storage, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>("Sync File (Overwrite Existing)"));
    SendMessageA(storage, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>("Backup (Auto-Rename To Another File)"));
    if (!IsFtp(p))
        SendMessageA(storage, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Append To Existing"));
    ScopedItemSettings settings(p->itemPath);
    if (settings.loaded())
        SetCheck(page, ids.enable,
                 IsFtp(p) ? settings->switches->ftpEnabled : settings->switches->hdEnabled);
    EnableFields(page, p);
    PostMessageA(page, UM_RELOADTARGETS, 0, 0);
    if (settings.loaded() && TargetCount(settings.get(), p) > 0)
        LoadFields(page, p, IsFtp(p) ? settings->ftpTargets[0] : settings->hdTargets[0]);
}

void OnCommand(HWND page, TargetPage* p, int id, int code)
{
    const PageIds& ids = Ids(p);
    if (id == ids.list) {
        if (code == CBN_SELCHANGE)
            OnListSelected(page, p);
        return;
    }
    if (IsFtp(p) && id == IDC_FTP_TLSFINGERPRINT && code == EN_CHANGE)
        ShowRefusal(page, p);
    if (code != BN_CLICKED)
        return;
    if (id == ids.enable)
        OnEnableClicked(page, p);
    else if (id == ids.addNew)
        OnAddNew(page, p);
    else if (id == ids.remove)
        OnRemove(page, p);
    else if (id == IDC_TARGET_SAVE)
        OnSaveChanges(page);
    else if (id == IDC_TARGET_GO)
        OnGo(page, p);
    else if (IsFtp(p) && id == IDC_FTP_ANONYMOUS)
        OnAnonymousClicked(page);
    else if (IsFtp(p) && id == IDC_FTP_TLSTRUST)
        OnTrustRefused(page, p);
    else if (!IsFtp(p) && id == IDC_HD_BROWSE)
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

}  // namespace

INT_PTR CALLBACK TargetPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEA*>(lParam)->lParam);
    TargetPage* p = reinterpret_cast<TargetPage*>(GetWindowLongPtrA(page, DWLP_USER));
    if (!p)
        return FALSE;
    switch (msg) {
    case WM_INITDIALOG:
        OnInitPage(page, p);
        return TRUE;
    case WM_COMMAND:
        OnCommand(page, p, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, reinterpret_cast<const NMHDR*>(lParam));
    case UM_RELOADTARGETS:
        OnReloadTargets(page, p, wParam);
        return TRUE;
    case UM_SAVETARGET:
        if (lParam)
            *reinterpret_cast<int*>(lParam) = SaveTarget(page, p);
        return TRUE;
    }
    return FALSE;
}
