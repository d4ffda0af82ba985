// Restore records: one value per stored copy of a file, under the item's FTP or HD key.
#include "store/store.h"
#include "store/regvalue.h"
#include "store/scoped.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// "%s*%s" must fit the design's 260-byte record name; never cut it.
bool RecordName(const char* path, const char* storedPath, char* out, size_t size)
{
    int n = snprintf(out, size, "%s*%s", path, storedPath);
    return n >= 0 && n <= TK_MAX_RECORD_TEXT && static_cast<size_t>(n) < size;
}

// Writes the record under the HD key below parent (an item key, or the
// product key's "Files\<key name>\HD" itself when subkey says so).
bool PutDiskRecord(HKEY parent, const char* subkey, const char* valueName)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(parent, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    WriteRegText(key, valueName, HD_RECORD_DATA);
    RegCloseKey(key);
    return true;
}

// A disk record: its data is the same text whatever the item's settings say,
// so they are not loaded for it (some thirty registry calls for each stored
// file). Its writer has just loaded them to make the copy. As when the
// settings cannot be loaded, a path that no item covers gets no record and
// the result 1.
int WriteDiskRecord(const char* path, const char* valueName)
{
    HKEY item = NULL;
    if (!OpenItemKey(path, NULL, &item))
        return STORE_OK;
    bool written = PutDiskRecord(item, "HD", valueName);
    RegCloseKey(item);
    return written ? STORE_OK : STORE_FAILED;
}

// The covering item's FTP or HD key, which holds the records of that kind;
// NULL when no item covers path or the key is missing.
HKEY OpenRecordKey(const char* path, int kind)
{
    HKEY item = NULL;
    if (!OpenItemKey(path, NULL, &item))
        return NULL;
    HKEY key = NULL;
    if (RegOpenKeyExA(item, kind == KIND_FTP ? "FTP" : "HD", 0, KEY_ALL_ACCESS, &key) !=
        ERROR_SUCCESS)
        key = NULL;
    RegCloseKey(item);
    return key;
}

// The record data of a copy made as userName at address:port; false when it
// is longer than a record may be.
bool FormatFtpRecord(char* data, size_t size, const char* userName, const char* address, WORD port)
{
    int n = snprintf(data, size, "%s:<password>@%s:%d", userName, address, static_cast<int>(port));
    return n >= 0 && n <= TK_MAX_RECORD_TEXT && static_cast<size_t>(n) < size;
}

// Writes data as the record valueName under the covering item's FTP or HD
// key, or removes the record when data is NULL.
int PutRecord(const char* path, const char* valueName, int kind, const char* data)
{
    HKEY key = OpenRecordKey(path, kind);
    if (!key)
        return STORE_FAILED;
    if (data)
        WriteRegText(key, valueName, data);
    else
        RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    return STORE_OK;
}

// The FTP record of a copy on the target with targetId of the loaded
// settings, made as userName at address:port. The record says where the copy
// went, whatever the item's switches say now: a copy that was made can always
// be restored.
int PutFtpRecord(ItemSettings* settings, const char* path, const char* valueName, int targetId,
                 const char* userName, const char* address, WORD port)
{
    if (!FindFtpTargetById(settings, static_cast<DWORD>(targetId)))
        return STORE_OK;
    char data[TK_PATH_SIZE];
    if (!FormatFtpRecord(data, sizeof data, userName, address, port))
        return STORE_FAILED;
    return PutRecord(path, valueName, KIND_FTP, data);
}

bool CopyText(char* out, int size, const char* text, size_t length)
{
    if (length + 1 > static_cast<size_t>(size))
        return false;
    memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

}  // namespace

int WriteRestoreRecord(const char* path, int targetId, const char* storedPath, int kind, int remove)
{
    char valueName[TK_PATH_SIZE];
    if (!path || !storedPath || !RecordName(path, storedPath, valueName, sizeof valueName))
        return STORE_FAILED;
    if (kind != KIND_FTP && !remove)
        return WriteDiskRecord(path, valueName);
    ScopedItemSettings s(path);
    if (!s.loaded())
        return STORE_OK;
    if (remove)
        return PutRecord(path, valueName, kind, NULL);
    const FtpTarget* ftp = FindFtpTargetById(s.get(), static_cast<DWORD>(targetId));
    if (!ftp)
        return STORE_OK;
    return PutFtpRecord(s.get(), path, valueName, targetId, ftp->userName, ftp->address, ftp->port);
}

int WriteFtpRestoreRecord(const char* path, int targetId, const char* storedPath,
                          const char* userName, const char* address, WORD port)
{
    char valueName[TK_PATH_SIZE];
    if (!path || !storedPath || !userName || !address ||
        !RecordName(path, storedPath, valueName, sizeof valueName))
        return STORE_FAILED;
    // Written after every stored file: the settings are not loaded for it
    // (some thirty registry calls), only the targets' ids are looked at.
    HKEY item = NULL;
    if (!ItemHoldsFtpTarget(path, static_cast<DWORD>(targetId), &item))
        return STORE_OK;
    char data[TK_PATH_SIZE];
    HKEY key = NULL;
    bool opened = FormatFtpRecord(data, sizeof data, userName, address, port) &&
                  RegOpenKeyExA(item, "FTP", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS;
    RegCloseKey(item);
    if (!opened)
        return STORE_FAILED;
    WriteRegText(key, valueName, data);
    RegCloseKey(key);
    return STORE_OK;
}

int ParseFtpLocation(const char* location, char* address, int size, WORD* port)
{
    if (!location || !address || !port || size <= 0)
        return 0;
    const char* at = strrchr(location, '@');
    const char* colon = strchr(location, ':');
    if (!at || !colon || colon > at)
        return 0;
    const char* addressEnd = strchr(at + 1, ':');
    size_t addressLen = addressEnd ? static_cast<size_t>(addressEnd - at - 1) : strlen(at + 1);
    if (!CopyText(address, size, at + 1, addressLen))
        return 0;
    *port = 0;
    if (addressEnd) {
        char* end = NULL;
        long value = strtol(addressEnd + 1, &end, 10);
        if (end != addressEnd + 1 && *end == '\0' && value > 0 && value <= 65535)
            *port = static_cast<WORD>(value);
    }
    return 1;
}

int GetRestoreFolder(char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = '\0';
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    if (!ReadRegText(key, "restorefolder", buffer, size))
        buffer[0] = '\0';
    RegCloseKey(key);
    return buffer[0] || GetInstallDir(buffer, size) ? 1 : 0;
}

int DeleteRestoreRecord(const char* path, const char* storedPath, int kind)
{
    char valueName[TK_PATH_SIZE];
    if (!path || !storedPath || !RecordName(path, storedPath, valueName, sizeof valueName))
        return 0;
    HKEY key = OpenRecordKey(path, kind);
    if (!key)
        return 0;
    LONG rc = RegDeleteValueA(key, valueName);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int WriteItemDiskRecord(const char* keyName, const char* path, const char* storedPath)
{
    char valueName[TK_PATH_SIZE];
    if (!keyName || !path || !storedPath ||
        !RecordName(path, storedPath, valueName, sizeof valueName))
        return WriteRestoreRecord(path, 0, storedPath, KIND_HD, 0);
    char keyPath[TK_PATH_SIZE + 32];
    if (snprintf(keyPath, sizeof keyPath, "%s\\%s\\HD", TK_FILES_KEY, keyName) <
            static_cast<int>(sizeof keyPath) &&
        PutDiskRecord(HKEY_LOCAL_MACHINE, keyPath, valueName))
        return STORE_OK;
    // The item has gone since, or has no HD key: the path is looked up again.
    return WriteRestoreRecord(path, 0, storedPath, KIND_HD, 0);
}
