// Restore records: one value per stored copy of a file, under the item's FTP or HD key.
#include "store/store.h"
#include "store/regvalue.h"
#include "store/scoped.h"

#include <stdio.h>
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

}  // namespace

int WriteRestoreRecord(const char* path, int targetId, const char* storedPath, int kind, int remove)
{
    char valueName[TK_PATH_SIZE];
    if (!path || !storedPath || !RecordName(path, storedPath, valueName, sizeof valueName))
        return 0;
    if (kind != KIND_FTP && !remove)
        return WriteDiskRecord(path, valueName);

    ScopedItemSettings s(path);
    if (!s.loaded())
        return STORE_OK;
    FtpTarget* ftp = NULL;
    if (kind == KIND_FTP && !remove) {
        ftp = FindFtpTargetById(s.get(), static_cast<DWORD>(targetId));
        if (!ftp)
            return STORE_OK;
    }

    char itemName[TK_PATH_SIZE];
    if (!OpenItemKey(path, itemName, NULL))
        return STORE_FAILED;
    char keyPath[TK_PATH_SIZE + 32];
    snprintf(keyPath, sizeof keyPath, "%s\\%s\\%s", TK_FILES_KEY, itemName,
             kind == KIND_FTP ? "FTP" : "HD");
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return STORE_FAILED;

    int result = STORE_OK;
    if (remove) {
        RegDeleteValueA(key, valueName);
    } else {
        // The record says where the copy went, whatever the item's switches
        // say now: a copy that was made can always be restored.
        char data[TK_PATH_SIZE];
        int dataLen;
        if (kind == KIND_FTP)
            dataLen = snprintf(data, sizeof data, "%s:<password>@%s:%d", ftp->userName,
                               ftp->address, static_cast<int>(ftp->port));
        else
            dataLen = snprintf(data, sizeof data, "%s", HD_RECORD_DATA);
        if (dataLen < 0 || dataLen > TK_MAX_RECORD_TEXT)
            result = STORE_FAILED;
        else
            WriteRegText(key, valueName, data);
    }
    RegCloseKey(key);
    return result;
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
