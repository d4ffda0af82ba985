// Settings records of one item: allocation, loading from and saving to its key.
#include "store/store.h"
#include "store/regvalue.h"

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

char* NewText(size_t size)
{
    return static_cast<char*>(calloc(1, size));
}

// Allocates an array of at least one record of the kind.
TargetRecord** NewTargetArray(int kind, int count, DWORD* slots)
{
    DWORD n = count > 0 ? static_cast<DWORD>(count) : 1;
    TargetRecord** array = static_cast<TargetRecord**>(calloc(n, sizeof(TargetRecord*)));
    if (!array)
        return NULL;
    for (DWORD i = 0; i < n; ++i) {
        array[i] = NewTarget(kind);
        if (!array[i]) {
            for (DWORD j = 0; j < i; ++j)
                FreeTarget(array[j], kind);
            free(array);
            return NULL;
        }
    }
    *slots = n;
    return array;
}

void FreeTargetArray(TargetRecord** array, DWORD slots, int kind)
{
    if (!array)
        return;
    for (DWORD i = 0; i < slots; ++i)
        FreeTarget(array[i], kind);
    free(array);
}

// Opens "Targets\FTP" or "Targets\HD" below an open item key.
HKEY OpenTargetsKey(HKEY item, int kind)
{
    HKEY key = NULL;
    const char* name = kind == KIND_FTP ? "Targets\\FTP" : "Targets\\HD";
    if (RegOpenKeyExA(item, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return NULL;
    return key;
}

void ReadFtpTarget(HKEY key, FtpTarget* t)
{
    ReadRegBinary(key, "ftp_port", &t->port, 2);
    ReadRegBinary(key, "ftp_anonymous", &t->anonymous, 1);
    ReadRegBinary(key, "ftp_passive", &t->passive, 1);
    ReadRegBinary(key, "ftp_safeupload", &t->safeUpload, 1);
    ReadRegBinary(key, "ftp_tls", &t->tls, 1);
    // A fingerprint that is there but cannot be read (too long, another
    // type) still pins: to nothing, so that no certificate passes.
    if (!ReadRegText(key, "ftp_tlsfingerprint", t->fingerprint, TK_FINGERPRINT_TEXT_SIZE) &&
        RegQueryValueExA(key, "ftp_tlsfingerprint", NULL, NULL, NULL, NULL) == ERROR_SUCCESS)
        lstrcpynA(t->fingerprint, "?", TK_FINGERPRINT_TEXT_SIZE);
    ReadRegBinary(key, "ftp_exists", &t->storageType, 1);
    ReadRegBinary(key, "ftp_serverid", &t->id, 4);
    ReadRegText(key, "ftp_address", t->address, TK_FTPTEXT_SIZE);
    ReadRegText(key, "ftp_username", t->userName, TK_FTPTEXT_SIZE);
    ReadRegText(key, "ftp_password", t->password, TK_FTPTEXT_SIZE);
    ReadRegText(key, "ftp_name", t->name, TK_FTPTEXT_SIZE);
    ReadRegText(key, "ftp_directory", t->folder, TK_PATH_SIZE);
}

void ReadDiskTarget(HKEY key, DiskTarget* t)
{
    ReadRegText(key, "hd_directory", t->folder, TK_PATH_SIZE);
    ReadRegBinary(key, "hd_exists", &t->storageType, 1);
    ReadRegBinary(key, "hd_driveid", &t->id, 4);
}

// Number of target subkeys below an open Targets key; 0 when it cannot be asked.
DWORD CountSubkeys(HKEY targets)
{
    DWORD count = 0;
    if (RegQueryInfoKeyA(targets, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL,
                         NULL) != ERROR_SUCCESS)
        return 0;
    return count;
}

// Target subkeys of one kind below an open item key; 0 without a Targets key.
DWORD CountItemTargets(HKEY item, int kind)
{
    HKEY targets = OpenTargetsKey(item, kind);
    if (!targets)
        return 0;
    DWORD count = CountSubkeys(targets);
    RegCloseKey(targets);
    return count;
}

// Sets *count to the number of target subkeys (never more than the array's
// slots) and fills that many records, in enumeration order.
bool LoadTargets(HKEY item, int kind, TargetRecord** array, DWORD slots, DWORD* count);

// The same from the open Targets key of the kind, whose subkeys are n.
bool LoadOpenTargets(HKEY targets, int kind, DWORD n, TargetRecord** array, DWORD slots,
                     DWORD* count)
{
    *count = n < slots ? n : slots;
    bool ok = true;
    char sub[TK_PATH_SIZE];
    for (DWORD i = 0; i < *count; ++i) {
        DWORD len = sizeof sub;
        if (RegEnumKeyExA(targets, i, sub, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        HKEY key = NULL;
        if (RegOpenKeyExA(targets, sub, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
            ok = false;
            break;
        }
        if (kind == KIND_FTP)
            ReadFtpTarget(key, array[i]);
        else
            ReadDiskTarget(key, array[i]);
        RegCloseKey(key);
    }
    return ok;
}

bool LoadTargets(HKEY item, int kind, TargetRecord** array, DWORD slots, DWORD* count)
{
    HKEY targets = OpenTargetsKey(item, kind);
    if (!targets) {
        *count = 0;
        return false;
    }
    bool ok = LoadOpenTargets(targets, kind, CountSubkeys(targets), array, slots, count);
    RegCloseKey(targets);
    return ok;
}

// The switches and options of an open item key (a value that is absent
// leaves its field as it was).
void ReadItemValues(HKEY item, ItemSettings* settings)
{
    TargetSwitches* sw = settings->switches;
    ItemOptions* opt = settings->options;
    ReadRegBinary(item, "item_ftpenabled", &sw->ftpEnabled, 1);
    ReadRegBinary(item, "item_hdenabled", &sw->hdEnabled, 1);
    ReadRegBinary(item, "advanced_deletestored", &opt->deleteStored, 1);
    ReadRegBinary(item, "advanced_excludetemp", &opt->excludeTemp, 1);
    ReadRegBinary(item, "advanced_includesubs", &opt->includeSubs, 1);
    ReadRegBinary(item, "advanced_sizelimit", &opt->sizeLimit, 4);
}

// A record with arrays for the given numbers of targets; NULL without memory.
ItemSettings* AllocItemSettings(DWORD hdCount, DWORD ftpCount)
{
    ItemSettings* s = static_cast<ItemSettings*>(calloc(1, sizeof(ItemSettings)));
    if (!s)
        return NULL;
    s->switches = static_cast<TargetSwitches*>(calloc(1, sizeof(TargetSwitches)));
    s->options = static_cast<ItemOptions*>(calloc(1, sizeof(ItemOptions)));
    if (s->switches && s->options) {
        s->hdTargets = NewTargetArray(KIND_HD, static_cast<int>(hdCount), &s->hdSlots);
        if (s->hdTargets)
            s->ftpTargets = NewTargetArray(KIND_FTP, static_cast<int>(ftpCount), &s->ftpSlots);
    }
    if (!s->switches || !s->options || !s->hdTargets || !s->ftpTargets) {
        FreeItemSettings(s);
        return NULL;
    }
    return s;
}

// Text of a record's buffer, bounded even if a caller left it unterminated.
const char* Bounded(char* text, size_t size)
{
    text[size - 1] = '\0';
    return text;
}

void WriteFtpTarget(HKEY key, FtpTarget* t)
{
    WriteRegFixedText(key, "ftp_address", Bounded(t->address, TK_FTPTEXT_SIZE), TK_FTPTEXT_SIZE);
    WriteRegFixedText(key, "ftp_username", Bounded(t->userName, TK_FTPTEXT_SIZE), TK_FTPTEXT_SIZE);
    WriteRegFixedText(key, "ftp_password", Bounded(t->password, TK_FTPTEXT_SIZE), TK_FTPTEXT_SIZE);
    WriteRegFixedText(key, "ftp_name", Bounded(t->name, TK_FTPTEXT_SIZE), TK_FTPTEXT_SIZE);
    WriteRegFixedText(key, "ftp_directory", Bounded(t->folder, TK_PATH_SIZE), TK_PATH_SIZE);
    WriteRegBinary(key, "ftp_port", &t->port, 2);
    WriteRegBinary(key, "ftp_anonymous", &t->anonymous, 1);
    WriteRegBinary(key, "ftp_passive", &t->passive, 1);
    WriteRegBinary(key, "ftp_safeupload", &t->safeUpload, 1);
    WriteRegBinary(key, "ftp_tls", &t->tls, 1);
    const char* pin = Bounded(t->fingerprint, TK_FINGERPRINT_TEXT_SIZE);
    WriteRegFixedText(key, "ftp_tlsfingerprint", pin, static_cast<DWORD>(strlen(pin) + 1));
    WriteRegBinary(key, "ftp_exists", &t->storageType, 1);
    WriteRegBinary(key, "ftp_serverid", &t->id, 4);
}

void WriteDiskTarget(HKEY key, DiskTarget* t)
{
    WriteRegFixedText(key, "hd_directory", Bounded(t->folder, TK_PATH_SIZE), TK_PATH_SIZE);
    WriteRegBinary(key, "hd_exists", &t->storageType, 1);
    WriteRegBinary(key, "hd_driveid", &t->id, 4);
}

// Writes the enable switch and the records in use of one kind. A record whose
// name (FTP) or folder (disk) is empty is skipped; a record with id 0 gets
// the next free id.
bool SaveTargets(const char* path, HKEY item, ItemSettings* s, int kind)
{
    HKEY targets = OpenTargetsKey(item, kind);
    if (!targets)
        return false;
    const bool ftp = kind == KIND_FTP;
    WriteRegBinary(item, ftp ? "item_ftpenabled" : "item_hdenabled",
                   ftp ? &s->switches->ftpEnabled : &s->switches->hdEnabled, 1);
    DWORD count = ftp ? s->switches->ftpCount : s->switches->hdCount;
    DWORD slots = ftp ? s->ftpSlots : s->hdSlots;
    TargetRecord** array = ftp ? s->ftpTargets : s->hdTargets;
    if (count > slots)
        count = slots;
    for (DWORD i = 0; i < count; ++i) {
        TargetRecord* t = array[i];
        const char* key_text =
            ftp ? Bounded(t->name, TK_FTPTEXT_SIZE) : Bounded(t->folder, TK_PATH_SIZE);
        if (!*key_text)
            continue;
        if (t->id == 0)
            t->id = static_cast<DWORD>(NextTargetId(path, kind));
        char sub[16];
        snprintf(sub, sizeof sub, "%d", static_cast<int>(t->id));
        HKEY key = NULL;
        if (RegCreateKeyExA(targets, sub, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) !=
            ERROR_SUCCESS)
            continue;
        if (ftp)
            WriteFtpTarget(key, t);
        else
            WriteDiskTarget(key, t);
        RegCloseKey(key);
    }
    RegCloseKey(targets);
    return true;
}

}  // namespace

TargetRecord* NewTarget(int kind)
{
    if (kind != KIND_FTP && kind != KIND_HD)
        return NULL;
    TargetRecord* t = static_cast<TargetRecord*>(calloc(1, sizeof(TargetRecord)));
    if (!t)
        return NULL;
    t->folder = NewText(TK_PATH_SIZE);
    bool ok = t->folder != NULL;
    if (ok && kind == KIND_FTP) {
        t->name = NewText(TK_FTPTEXT_SIZE);
        t->userName = NewText(TK_FTPTEXT_SIZE);
        t->password = NewText(TK_FTPTEXT_SIZE);
        t->address = NewText(TK_FTPTEXT_SIZE);
        t->fingerprint = NewText(TK_FINGERPRINT_TEXT_SIZE);
        ok = t->name && t->userName && t->password && t->address && t->fingerprint;
    }
    if (!ok) {
        FreeTarget(t, kind);
        return NULL;
    }
    return t;
}

int FreeTarget(TargetRecord* target, int kind)
{
    if (!target || (kind != KIND_FTP && kind != KIND_HD))
        return 0;
    free(target->name);
    free(target->folder);
    free(target->userName);
    free(target->password);
    free(target->address);
    free(target->fingerprint);
    free(target);
    return 1;
}

ItemSettings* NewItemSettings(const char* path)
{
    // One lookup of the item for both counts: every lookup is several
    // registry calls, and this runs for every change reported.
    DWORD hdCount = 0, ftpCount = 0;
    HKEY item = NULL;
    if (path && OpenItemKey(path, NULL, &item)) {
        hdCount = CountItemTargets(item, KIND_HD);
        ftpCount = CountItemTargets(item, KIND_FTP);
        RegCloseKey(item);
    }
    return AllocItemSettings(hdCount, ftpCount);
}

int NewLoadedItemSettings(const char* path, ItemSettings** out, char* nameOut)
{
    *out = NULL;
    if (!path)
        return STORE_MISSING_ARGUMENT;
    HKEY item = NULL;
    if (!OpenItemKey(path, nameOut, &item))
        return STORE_FAILED;
    HKEY ftp = OpenTargetsKey(item, KIND_FTP), hd = OpenTargetsKey(item, KIND_HD);
    DWORD ftpCount = ftp ? CountSubkeys(ftp) : 0, hdCount = hd ? CountSubkeys(hd) : 0;
    ItemSettings* s = AllocItemSettings(hdCount, ftpCount);
    int result = s ? STORE_OK : 8;  // as ERR_NO_MEMORY
    if (s) {
        ReadItemValues(item, s);
        TargetSwitches* sw = s->switches;
        bool ok = ftp && LoadOpenTargets(ftp, KIND_FTP, ftpCount, s->ftpTargets, s->ftpSlots,
                                         &sw->ftpCount);
        ok = ok && hd &&
             LoadOpenTargets(hd, KIND_HD, hdCount, s->hdTargets, s->hdSlots, &sw->hdCount);
        if (ok)
            *out = s;
        else
            FreeItemSettings(s), result = STORE_FAILED;
    }
    if (ftp)
        RegCloseKey(ftp);
    if (hd)
        RegCloseKey(hd);
    RegCloseKey(item);
    return result;
}

int FreeItemSettings(ItemSettings* settings)
{
    if (!settings)
        return 0;
    FreeTargetArray(settings->hdTargets, settings->hdSlots, KIND_HD);
    FreeTargetArray(settings->ftpTargets, settings->ftpSlots, KIND_FTP);
    free(settings->switches);
    free(settings->options);
    free(settings);
    return 1;
}

int LoadItemSettings(const char* path, ItemSettings* settings)
{
    if (!path || !settings)
        return STORE_MISSING_ARGUMENT;
    HKEY item = NULL;
    if (!OpenItemKey(path, NULL, &item))
        return STORE_FAILED;
    TargetSwitches* sw = settings->switches;
    ReadItemValues(item, settings);

    bool ok = LoadTargets(item, KIND_FTP, settings->ftpTargets, settings->ftpSlots, &sw->ftpCount);
    if (ok)
        ok = LoadTargets(item, KIND_HD, settings->hdTargets, settings->hdSlots, &sw->hdCount);
    RegCloseKey(item);
    return ok ? STORE_OK : STORE_FAILED;
}

int SaveItemSettings(const char* path, ItemSettings* settings, int parts)
{
    if (!path || !settings)
        return STORE_MISSING_ARGUMENT;
    if (!(parts & (SAVE_FTP | SAVE_HD | SAVE_OPTIONS)))
        return 0;
    HKEY item = NULL;
    if (!OpenItemKey(path, NULL, &item))
        return 0;
    bool ok = true;
    if (parts & SAVE_OPTIONS) {
        ItemOptions* opt = settings->options;
        WriteRegBinary(item, "advanced_deletestored", &opt->deleteStored, 1);
        WriteRegBinary(item, "advanced_excludetemp", &opt->excludeTemp, 1);
        WriteRegBinary(item, "advanced_includesubs", &opt->includeSubs, 1);
        WriteRegBinary(item, "advanced_sizelimit", &opt->sizeLimit, 4);
    }
    if (ok && (parts & SAVE_HD))
        ok = SaveTargets(path, item, settings, KIND_HD);
    if (ok && (parts & SAVE_FTP))
        ok = SaveTargets(path, item, settings, KIND_FTP);
    RegCloseKey(item);
    return ok ? 1 : 0;
}

bool ItemHoldsFtpTarget(const char* path, DWORD id, HKEY* itemOut)
{
    HKEY item = NULL;
    if (!path || !OpenItemKey(path, NULL, &item))
        return false;
    HKEY ftp = OpenTargetsKey(item, KIND_FTP), hd = OpenTargetsKey(item, KIND_HD);
    bool loads = ftp && hd, found = false;
    if (loads) {
        // As LoadOpenTargets walks them: a record the enumeration stops
        // before stays counted, with id 0; a subkey that cannot be opened
        // fails the load.
        DWORD n = CountSubkeys(ftp), hdCount = CountSubkeys(hd);
        bool listed = true;
        char sub[TK_PATH_SIZE];
        for (DWORD i = 0; i < n && loads; ++i) {
            DWORD len = sizeof sub, targetId = 0;
            listed =
                listed && RegEnumKeyExA(ftp, i, sub, &len, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
            if (listed) {
                HKEY key = NULL;
                loads = RegOpenKeyExA(ftp, sub, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
                if (!loads)
                    break;
                ReadRegBinary(key, "ftp_serverid", &targetId, 4);
                RegCloseKey(key);
            }
            found = found || targetId == id;
        }
        for (DWORD i = 0; i < hdCount && loads; ++i) {
            DWORD len = sizeof sub;
            if (RegEnumKeyExA(hd, i, sub, &len, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            HKEY key = NULL;
            loads = RegOpenKeyExA(hd, sub, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
            if (loads)
                RegCloseKey(key);
        }
    }
    if (ftp)
        RegCloseKey(ftp);
    if (hd)
        RegCloseKey(hd);
    if (loads && found && itemOut)
        *itemOut = item;
    else
        RegCloseKey(item);
    return loads && found;
}

FtpTarget* FindFtpTargetById(ItemSettings* s, DWORD id)
{
    if (!s)
        return NULL;
    for (DWORD i = 0; i < s->switches->ftpCount && i < s->ftpSlots; ++i)
        if (s->ftpTargets[i]->id == id)
            return s->ftpTargets[i];
    return NULL;
}

DiskTarget* FindDiskTargetById(ItemSettings* s, DWORD id)
{
    if (!s)
        return NULL;
    for (DWORD i = 0; i < s->switches->hdCount && i < s->hdSlots; ++i)
        if (s->hdTargets[i]->id == id)
            return s->hdTargets[i];
    return NULL;
}

namespace {

// The subkey of the FTP target id of the item covering path; NULL when there is none.
HKEY OpenFtpTargetKey(const char* path, DWORD targetId)
{
    HKEY item = NULL, key = NULL;
    if (!path || !OpenItemKey(path, NULL, &item))
        return NULL;
    char sub[32];
    snprintf(sub, sizeof sub, "Targets\\FTP\\%lu", static_cast<unsigned long>(targetId));
    if (RegOpenKeyExA(item, sub, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        key = NULL;
    RegCloseKey(item);
    return key;
}

// A text of the certificate as a field of ftp_tlsrefused: tabs and line
// breaks would run into the next field.
void CopyField(char* out, size_t size, const char* text)
{
    lstrcpynA(out, text, static_cast<int>(size));
    for (char* c = out; *c; ++c)
        if (static_cast<unsigned char>(*c) < 0x20)
            *c = ' ';
}

}  // namespace

int NoteRefusedCertificate(const char* path, DWORD targetId, const RefusedCertificate* cert)
{
    HKEY key = cert ? OpenFtpTargetKey(path, targetId) : NULL;
    if (!key)
        return 1;
    RefusedCertificate before;
    bool news = true;
    if (ReadRefusedCertificate(path, targetId, &before))
        news = strcmp(before.fingerprint, cert->fingerprint) != 0;
    RefusedCertificate c;
    CopyField(c.fingerprint, sizeof c.fingerprint, cert->fingerprint);
    CopyField(c.subject, sizeof c.subject, cert->subject);
    CopyField(c.expiry, sizeof c.expiry, cert->expiry);
    char text[sizeof c + 4];
    snprintf(text, sizeof text, "%s\t%s\t%s", c.fingerprint, c.expiry, c.subject);
    bool written = WriteRegText(key, "ftp_tlsrefused", text) != FALSE;
    RegCloseKey(key);
    return news || !written ? 1 : 0;
}

int ReadRefusedCertificate(const char* path, DWORD targetId, RefusedCertificate* out)
{
    if (!out)
        return 0;
    memset(out, 0, sizeof *out);
    HKEY key = OpenFtpTargetKey(path, targetId);
    if (!key)
        return 0;
    char text[sizeof *out + 4] = "";
    bool read = ReadRegText(key, "ftp_tlsrefused", text, sizeof text) != FALSE;
    RegCloseKey(key);
    char* expiry = read ? strchr(text, '\t') : NULL;
    char* subject = expiry ? strchr(expiry + 1, '\t') : NULL;
    if (!subject || expiry - text >= static_cast<ptrdiff_t>(sizeof out->fingerprint))
        return 0;
    *expiry++ = '\0';
    *subject++ = '\0';
    lstrcpynA(out->fingerprint, text, sizeof out->fingerprint);
    lstrcpynA(out->expiry, expiry, sizeof out->expiry);
    lstrcpynA(out->subject, subject, sizeof out->subject);
    return out->fingerprint[0] ? 1 : 0;
}
