// Counting, numbering, finding and deleting the targets of an item.
#include "store/store.h"
#include "store/scoped.h"
#include "store/regvalue.h"

#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

// Opens the covering item's Targets\FTP or Targets\HD key.
HKEY OpenItemTargets(const char* path, int kind)
{
    if (kind != KIND_FTP && kind != KIND_HD)
        return NULL;
    HKEY item = NULL;
    if (!OpenItemKey(path, NULL, &item))
        return NULL;
    HKEY key = NULL;
    LONG rc = RegOpenKeyExA(item, kind == KIND_FTP ? "Targets\\FTP" : "Targets\\HD", 0,
                            KEY_ALL_ACCESS, &key);
    RegCloseKey(item);
    return rc == ERROR_SUCCESS ? key : NULL;
}

const char* IdValueName(int kind)
{
    return kind == KIND_FTP ? "ftp_serverid" : "hd_driveid";
}

// Calls visit(subkey) for each target subkey in enumeration order until it
// returns false.
template <typename Visit>
void ForEachTarget(HKEY targets, Visit visit)
{
    char sub[TK_PATH_SIZE];
    for (DWORD i = 0;; ++i) {
        DWORD len = sizeof sub;
        LONG rc = RegEnumKeyExA(targets, i, sub, &len, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        HKEY key = NULL;
        if (RegOpenKeyExA(targets, sub, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            continue;
        bool more = visit(key);
        RegCloseKey(key);
        if (!more)
            break;
    }
}

}  // namespace

int CountTargets(const char* path, int kind)
{
    if (!path)
        return 0;
    HKEY targets = OpenItemTargets(path, kind);
    if (!targets)
        return 0;
    DWORD count = 0;
    if (RegQueryInfoKeyA(targets, NULL, NULL, NULL, &count, NULL, NULL, NULL, NULL, NULL, NULL,
                         NULL) != ERROR_SUCCESS)
        count = 0;
    RegCloseKey(targets);
    return static_cast<int>(count);
}

int NextTargetId(const char* path, int kind)
{
    if (!path || (kind != KIND_FTP && kind != KIND_HD))
        return 0;
    HKEY targets = OpenItemTargets(path, kind);
    if (!targets)
        return 1;
    int largest = 0;
    ForEachTarget(targets, [&](HKEY key) {
        DWORD id = 0;
        if (ReadRegBinary(key, IdValueName(kind), &id, 4) && static_cast<int>(id) > largest)
            largest = static_cast<int>(id);
        return true;
    });
    RegCloseKey(targets);
    return largest + 1;
}

int FindTargetId(const char* path, const char* text, int kind)
{
    if (!path || !text)
        return 0;
    HKEY targets = OpenItemTargets(path, kind);
    if (!targets)
        return 0;
    const char* valueName = kind == KIND_FTP ? "ftp_name" : "hd_directory";
    int found = 0;
    ForEachTarget(targets, [&](HKEY key) {
        char value[2 * TK_PATH_SIZE];
        if (!ReadRegText(key, valueName, value, sizeof value) || strcmp(value, text) != 0)
            return true;
        DWORD id = 0;
        ReadRegBinary(key, IdValueName(kind), &id, 4);
        found = static_cast<int>(id);
        return false;
    });
    RegCloseKey(targets);
    return found;
}

int DeleteTarget(const char* path, int id, int kind)
{
    if (!path || (kind != KIND_FTP && kind != KIND_HD))
        return 0;
    char sub[16];
    snprintf(sub, sizeof sub, "%d", id);
    if (kind == KIND_HD) {
        HKEY targets = OpenItemTargets(path, KIND_HD);
        if (targets) {
            DeleteKeyTree(targets, sub);
            RegCloseKey(targets);
        }
        return 1;
    }

    ScopedItemSettings s(path);
    FtpTarget* target = FindFtpTargetById(s.get(), static_cast<DWORD>(id));
    if (!target)
        return STORE_FAILED;

    // Restore records are matched by the server address alone.
    HKEY item = NULL;
    if (OpenItemKey(path, NULL, &item)) {
        HKEY records = NULL;
        if (RegOpenKeyExA(item, "FTP", 0, KEY_ALL_ACCESS, &records) == ERROR_SUCCESS) {
            std::vector<std::string> doomed;
            for (DWORD i = 0;; ++i) {
                char name[2 * TK_PATH_SIZE];
                char data[2 * TK_PATH_SIZE];
                DWORD nameLen = sizeof name;
                DWORD dataLen = sizeof data - 1;
                DWORD type = 0;
                LONG rc = RegEnumValueA(records, i, name, &nameLen, NULL, &type,
                                        reinterpret_cast<BYTE*>(data), &dataLen);
                if (rc == ERROR_MORE_DATA)
                    continue;
                if (rc != ERROR_SUCCESS)
                    break;
                if (type != REG_SZ)
                    continue;
                data[dataLen] = '\0';
                char address[TK_FTPTEXT_SIZE];
                WORD port = 0;
                if (ParseFtpLocation(data, address, sizeof address, &port) &&
                    strcmp(address, target->address) == 0)
                    doomed.push_back(name);
            }
            for (const std::string& name : doomed)
                RegDeleteValueA(records, name.c_str());
            RegCloseKey(records);
        }
        HKEY targets = NULL;
        if (RegOpenKeyExA(item, "Targets\\FTP", 0, KEY_ALL_ACCESS, &targets) == ERROR_SUCCESS) {
            DeleteKeyTree(targets, sub);
            RegCloseKey(targets);
        }
        RegCloseKey(item);
    }
    return STORE_OK;
}
