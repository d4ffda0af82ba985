// Creating and deleting item keys, and the global values the store itself reads.
#include "store/store.h"
#include "store/regvalue.h"

#include <stdio.h>
#include <string.h>

namespace {

// Builds "SOFTWARE\Tandemkeep\Files\<key name>" for an item path; false when
// the path does not fit the design's limits.
bool ItemKeyPath(const char* path, char* out, size_t size)
{
    size_t len = strlen(path);
    if (len == 0 || len > TK_MAX_ITEM_PATH)
        return false;
    char name[TK_PATH_SIZE];
    memcpy(name, path, len + 1);
    EncodeKeyName(name);
    return snprintf(out, size, "%s\\%s", TK_FILES_KEY, name) < static_cast<int>(size);
}

void CreateSubkey(HKEY parent, const char* name)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(parent, name, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) ==
        ERROR_SUCCESS)
        RegCloseKey(key);
}

}  // namespace

int CreateItemKey(const char* path)
{
    if (!path)
        return 0;
    char keyPath[TK_PATH_SIZE + 32];
    if (!ItemKeyPath(path, keyPath, sizeof keyPath))
        return 0;
    HKEY key = NULL;
    // Without the item key itself there is no item: the caller must know.
    // Failures of the steps below leave an item that works and are not reported.
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS)
        return STORE_FAILED;
    CreateSubkey(key, "FTP");
    CreateSubkey(key, "HD");
    CreateSubkey(key, "Targets");
    CreateSubkey(key, "Targets\\FTP");
    CreateSubkey(key, "Targets\\HD");
    const BYTE one = 1;
    WriteRegBinary(key, "advanced_includesubs", &one, 1);
    WriteRegBinary(key, "advanced_excludetemp", &one, 1);

    // Without a short form (the path does not exist, say) the path itself
    // stands in, so the monitor is still told something it can watch.
    char shortName[TK_PATH_SIZE];
    DWORD got = GetShortPathNameA(path, shortName, sizeof shortName);
    if (got == 0 || got >= sizeof shortName)
        lstrcpynA(shortName, path, sizeof shortName);
    WriteRegFixedText(key, "shortname", shortName, TK_PATH_SIZE);
    RegCloseKey(key);
    return STORE_OK;
}

int DeleteItemKey(const char* path)
{
    if (!path)
        return 0;
    char keyPath[TK_PATH_SIZE + 32];
    if (!ItemKeyPath(path, keyPath, sizeof keyPath))
        return 0;
    DeleteKeyTree(HKEY_LOCAL_MACHINE, keyPath);
    return 1;
}

int IsMonitoringEnabled(void)
{
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    LONG rc = RegQueryValueExA(key, "enabled", NULL, NULL, NULL, NULL);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 1 : 0;
}

int ReadGlobalSwitch(const char* name)
{
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    BYTE value = 0;
    BOOL read = ReadRegBinary(key, name, &value, 1);
    RegCloseKey(key);
    return read && value ? 1 : 0;
}

int GetInstallDir(char* buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    HKEY key = OpenProductKey();
    if (!key)
        return 0;
    BOOL ok = ReadRegText(key, "installdir", buffer, size);
    RegCloseKey(key);
    // An empty text names no folder: taken as one, it would put the logs in
    // the root of the current drive.
    if (!ok || !buffer[0]) {
        buffer[0] = '\0';
        return 0;
    }
    return 1;
}
