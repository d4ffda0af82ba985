// Item store: settings records of monitored items and every operation on their registry keys.
#pragma once
#include <windows.h>

#include "store/layout.h"

// Enable switches, target counts and the targets a property page shows.
struct TargetSwitches {
    BYTE ftpEnabled;     // item_ftpenabled
    BYTE hdEnabled;      // item_hdenabled
    DWORD ftpCount;      // FTP records in use
    DWORD hdCount;       // disk records in use
    DWORD currentFtpId;  // never stored
    DWORD currentHdId;   // never stored
};

struct ItemOptions {
    BYTE deleteStored;  // advanced_deletestored
    BYTE excludeTemp;   // advanced_excludetemp
    BYTE includeSubs;   // advanced_includesubs
    DWORD sizeLimit;    // advanced_sizelimit, kilobytes, 0 = none
};

// One target. FTP targets use every field; disk targets have the same shape
// but only folder, id and storage type (the other buffers stay unallocated).
struct TargetRecord {
    char* name;        // ftp_name, 256 bytes
    char* folder;      // ftp_directory / hd_directory, 260 bytes
    char* userName;    // ftp_username, 256 bytes
    char* password;    // ftp_password, 256 bytes
    char* address;     // ftp_address, 256 bytes
    DWORD id;          // ftp_serverid / hd_driveid; 0 = not stored yet
    WORD port;         // ftp_port
    BYTE storageType;  // ftp_exists / hd_exists
    BYTE anonymous;    // ftp_anonymous
    BYTE passive;      // ftp_passive: 1 = passive-mode data connections
    BYTE safeUpload;   // ftp_safeupload: 1 = upload under a temporary name, then rename
    BYTE tls;          // ftp_tls: 1 = explicit FTPS (AUTH TLS), every connection encrypted
    // ftp_tlsfingerprint, TK_FINGERPRINT_TEXT_SIZE bytes: the one server certificate
    // accepted (SHA-256 of its DER bytes); empty: the system's trust decides.
    char* fingerprint;
};
typedef TargetRecord FtpTarget;
typedef TargetRecord DiskTarget;

// One item's settings. Each array holds at least one record; the counts in
// switches say how many are in use, the slot counts how many exist.
struct ItemSettings {
    TargetSwitches* switches;
    DiskTarget** hdTargets;
    FtpTarget** ftpTargets;
    ItemOptions* options;
    DWORD hdSlots;
    DWORD ftpSlots;
};

// Key names: every '\' and '/' written as '*', and back.
int EncodeKeyName(char* text);
int DecodeKeyName(char* text);

// Finds the item covering path (the longest key name equal to the encoded
// path or to a prefix of it ending in '*'). nameOut (260 bytes) and keyOut are
// optional; the caller closes a key handed out. Returns the matched name's
// length, 0 when no item covers the path.
int OpenItemKey(const char* path, char* nameOut, HKEY* keyOut);

// 1 when the item key exists afterwards (its subkeys and values are written
// as far as they can be); 0 for no path, a path over 229 characters, or an
// item key that could not be created.
int CreateItemKey(const char* path);
int DeleteItemKey(const char* path);

ItemSettings* NewItemSettings(const char* path);
int FreeItemSettings(ItemSettings* settings);
TargetRecord* NewTarget(int kind);
int FreeTarget(TargetRecord* target, int kind);
int LoadItemSettings(const char* path, ItemSettings* settings);
// NewItemSettings and LoadItemSettings of path in one pass over the item's
// keys: the item is looked up, and its targets counted, once. 1 with *out set
// (free it with FreeItemSettings); 0 when no item covers path or its settings
// cannot be loaded, 6 for no path, 8 when memory runs out. nameOut (260 bytes,
// optional) gets the item's key name as OpenItemKey gives it.
int NewLoadedItemSettings(const char* path, ItemSettings** out, char* nameOut);
// What NewLoadedItemSettings and FindFtpTargetById together would say of the
// FTP target id (true: the settings load and hold it), from the targets' ids
// alone; *itemOut gets the item's key, open (close it), when true.
bool ItemHoldsFtpTarget(const char* path, DWORD id, HKEY* itemOut);
int SaveItemSettings(const char* path, ItemSettings* settings, int parts);

int CountTargets(const char* path, int kind);
int NextTargetId(const char* path, int kind);
int FindTargetId(const char* path, const char* text, int kind);
int DeleteTarget(const char* path, int id, int kind);
int WriteRestoreRecord(const char* path, int targetId, const char* storedPath, int kind,
                       int remove);
// Writes the FTP restore record of a copy stored on the target with targetId
// as the upload reached it: userName at address:port, which may differ from
// the target's values by now. 1 when written, and when the item or the target
// is gone (nothing to restore from); 0 when the record's name or data would
// not fit, no item covers path, or its restore key cannot be opened.
int WriteFtpRestoreRecord(const char* path, int targetId, const char* storedPath,
                          const char* userName, const char* address, WORD port);
// The server certificate an FTP target refused last (ftp_tlsrefused), kept
// so that its page can offer to trust it.
struct RefusedCertificate {
    char fingerprint[65];  // 64 upper-case hexadecimal digits
    char subject[128];
    char expiry[32];
};
// Remembers a refused certificate for the FTP target id of the item covering
// path. 0 when the same one was refused before; 1 when it is news (none kept,
// or another certificate) or cannot be kept.
int NoteRefusedCertificate(const char* path, DWORD targetId, const RefusedCertificate* cert);
// 1 with the certificate the target refused last, 0 when none is kept.
int ReadRefusedCertificate(const char* path, DWORD targetId, RefusedCertificate* out);
// Deletes the restore record of the copy of path stored as storedPath on a target of kind.
// 1 when there was one and it is gone; 0 when there was none or it could not be deleted.
int DeleteRestoreRecord(const char* path, const char* storedPath, int kind);
// The one reading of an FTP restore record's data "user:<password>@address:port":
// the address is what follows the last '@' (user names such as user@domain
// hold one too) up to the next ':', the port what follows that ':' (0 when
// absent or not a port). 1, or 0 when ':' or '@' is missing or the address
// does not fit size.
int ParseFtpLocation(const char* location, char* address, int size, WORD* port);
// WriteRestoreRecord of a disk copy (kind 2, write) by one who has just
// looked up the item that covers path (keyName, as OpenItemKey gave it): the
// record goes under that item without a second lookup. Same results.
int WriteItemDiskRecord(const char* keyName, const char* path, const char* storedPath);

int IsMonitoringEnabled(void);
// 1 when the global switch (TK_VALUE_RETRYFAILED, TK_VALUE_CATCHUP) is on: a value whose first
// byte is nonzero. 0 when it is 0, missing or unreadable.
int ReadGlobalSwitch(const char* name);
// 1 with installdir in buffer; 0 with buffer empty when the value is missing,
// empty, of another type or does not fit.
int GetInstallDir(char* buffer, DWORD size);
// The folder restored files go to: restorefolder, or installdir when that is
// missing or empty. 1 with the folder in buffer; 0 with buffer empty when
// neither names one (an empty folder would mean the root of the current
// drive) or the product key cannot be opened.
int GetRestoreFolder(char* buffer, DWORD size);

// Looks a target up by id among the records in use; NULL when none has it.
FtpTarget* FindFtpTargetById(ItemSettings* settings, DWORD id);
DiskTarget* FindDiskTargetById(ItemSettings* settings, DWORD id);
