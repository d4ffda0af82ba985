// Item set-up through the item store.
#include "tests/support/seed.h"

#include "store/regvalue.h"
#include "store/store.h"

#include <gtest/gtest.h>

namespace {

void FillTarget(TargetRecord* t, const FtpSpec& f)
{
    const std::string& name = f.name.empty() ? f.address : f.name;
    lstrcpynA(t->name, name.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(t->address, f.address.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(t->userName, f.user.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(t->password, f.password.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(t->folder, f.folder.c_str(), TK_PATH_SIZE);
    t->port = static_cast<WORD>(f.port);
    t->storageType = f.storage;
    t->anonymous = f.anonymous;
    t->passive = f.passive;
    t->safeUpload = f.safeUpload;
    t->tls = f.tls;
    lstrcpynA(t->fingerprint, f.fingerprint.c_str(), TK_FINGERPRINT_TEXT_SIZE);
}

}  // namespace

SeededIds SeedItem(const std::string& path, const ItemSpec& spec)
{
    SeededIds ids;
    EXPECT_TRUE(CreateItemKey(path.c_str())) << path;
    // One target of each kind per save: a record with id 0 is stored as new.
    for (const DiskSpec& d : spec.disks) {
        ItemSettings* s = NewItemSettings(path.c_str());
        if (!s)
            return ids;  // no item key: failed above
        s->switches->hdEnabled = spec.diskOn;
        s->switches->hdCount = 1;
        lstrcpynA(s->hdTargets[0]->folder, d.folder.c_str(), TK_PATH_SIZE);
        s->hdTargets[0]->storageType = d.storage;
        EXPECT_EQ(SaveItemSettings(path.c_str(), s, SAVE_HD), STORE_OK);
        ids.disks.push_back(s->hdTargets[0]->id);
        FreeItemSettings(s);
    }
    for (const FtpSpec& f : spec.ftps) {
        ItemSettings* s = NewItemSettings(path.c_str());
        if (!s)
            return ids;  // no item key: failed above
        s->switches->ftpEnabled = spec.ftpOn;
        s->switches->ftpCount = 1;
        FillTarget(s->ftpTargets[0], f);
        EXPECT_EQ(SaveItemSettings(path.c_str(), s, SAVE_FTP), STORE_OK);
        ids.ftps.push_back(s->ftpTargets[0]->id);
        FreeItemSettings(s);
    }
    HKEY key = NULL;
    EXPECT_TRUE(OpenItemKey(path.c_str(), NULL, &key));
    if (key) {
        WriteRegBinary(key, "item_hdenabled", &spec.diskOn, 1);
        WriteRegBinary(key, "item_ftpenabled", &spec.ftpOn, 1);
        WriteRegBinary(key, "advanced_includesubs", &spec.includeSubs, 1);
        WriteRegBinary(key, "advanced_excludetemp", &spec.excludeTemp, 1);
        WriteRegBinary(key, "advanced_deletestored", &spec.deleteStored, 1);
        WriteRegBinary(key, "advanced_sizelimit", &spec.sizeLimit, 4);
        RegCloseKey(key);
    }
    return ids;
}

std::vector<std::pair<std::string, std::string>> RestoreRecords(const std::string& path, int kind)
{
    std::vector<std::pair<std::string, std::string>> records;
    HKEY item = NULL, key = NULL;
    if (!OpenItemKey(path.c_str(), NULL, &item))
        return records;
    if (RegOpenKeyExA(item, kind == KIND_FTP ? "FTP" : "HD", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            char name[1024], data[1024];
            DWORD nameLen = sizeof name, dataLen = sizeof data - 1, type = 0;
            if (RegEnumValueA(key, i, name, &nameLen, NULL, &type, reinterpret_cast<BYTE*>(data),
                              &dataLen) != ERROR_SUCCESS)
                break;
            data[dataLen] = '\0';
            records.emplace_back(name, data);
        }
        RegCloseKey(key);
    }
    RegCloseKey(item);
    return records;
}
