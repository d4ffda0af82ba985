// Settings records: a new item's defaults and save/load round trips of every field.
#include <gtest/gtest.h>

#include "store/regvalue.h"
#include "store/store.h"
#include "tests/support/testenv.h"

#include <string>

namespace {

const char kItem[] = "C:\\Work\\";

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        ASSERT_EQ(1, CreateItemKey(kItem));
    }
    void TearDown() override { DeleteProductKey(); }

    // Loads the item's settings into a fresh record (the caller frees it).
    ItemSettings* Load(const char* path = kItem)
    {
        ItemSettings* s = NewItemSettings(path);
        EXPECT_TRUE(s != NULL);
        if (s) {
            EXPECT_EQ(1, LoadItemSettings(path, s));
        }
        return s;
    }
};

TEST_F(Settings, NewItemLoadsWithDefaults)
{
    ItemSettings* s = Load();
    ASSERT_TRUE(s);
    EXPECT_EQ(0, s->switches->ftpEnabled);
    EXPECT_EQ(0, s->switches->hdEnabled);
    EXPECT_EQ(0u, s->switches->ftpCount);
    EXPECT_EQ(0u, s->switches->hdCount);
    EXPECT_EQ(1u, s->ftpSlots);  // one empty record each, so a page can fill it
    EXPECT_EQ(1u, s->hdSlots);
    EXPECT_STREQ("", s->ftpTargets[0]->name);
    EXPECT_STREQ("", s->hdTargets[0]->folder);
    EXPECT_EQ(0, s->options->deleteStored);
    EXPECT_EQ(1, s->options->excludeTemp);
    EXPECT_EQ(1, s->options->includeSubs);
    EXPECT_EQ(0u, s->options->sizeLimit);
    FreeItemSettings(s);
}

TEST_F(Settings, ShortnameIsWrittenWithFixedSize)
{
    TempDir dir;
    std::string item = dir.path() + "\\";
    ASSERT_EQ(1, CreateItemKey(item.c_str()));
    HKEY key = NULL;
    ASSERT_NE(0, OpenItemKey(item.c_str(), NULL, &key));
    DWORD type = 0, size = 0;
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "shortname", NULL, &type, NULL, &size));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(260u, size);
    char shortName[TK_PATH_SIZE];
    ASSERT_TRUE(ReadRegText(key, "shortname", shortName, sizeof shortName));
    char expected[TK_PATH_SIZE];
    GetShortPathNameA(item.c_str(), expected, sizeof expected);
    EXPECT_STREQ(expected, shortName);
    RegCloseKey(key);
}

TEST_F(Settings, EveryFieldSurvivesSaveAndLoad)
{
    ItemSettings* s = NewItemSettings(kItem);
    ASSERT_TRUE(s);
    s->switches->ftpEnabled = 1;
    s->switches->hdEnabled = 1;
    s->switches->ftpCount = 1;
    s->switches->hdCount = 1;
    FtpTarget* f = s->ftpTargets[0];
    std::string password(255, 'p');
    std::string name(255, 'N');
    std::string folder = "/" + std::string(258, 'f');
    strcpy(f->name, name.c_str());
    strcpy(f->address, "ftp.example.org");
    strcpy(f->userName, "alice");
    strcpy(f->password, password.c_str());
    strcpy(f->folder, folder.c_str());
    f->port = 65535;
    f->anonymous = 1;
    f->storageType = STORAGE_BACKUP;
    DiskTarget* d = s->hdTargets[0];
    strcpy(d->folder, "\\\\server\\share\\backup");
    d->storageType = STORAGE_APPEND;
    s->options->deleteStored = 1;
    s->options->excludeTemp = 0;
    s->options->includeSubs = 0;
    s->options->sizeLimit = 0xFFFFFFFFu;
    ASSERT_EQ(1, SaveItemSettings(kItem, s, SAVE_FTP | SAVE_HD | SAVE_OPTIONS));
    EXPECT_EQ(1u, f->id);  // the store gave the new records their ids
    EXPECT_EQ(1u, d->id);
    FreeItemSettings(s);

    s = Load();
    ASSERT_TRUE(s);
    EXPECT_EQ(1, s->switches->ftpEnabled);
    EXPECT_EQ(1, s->switches->hdEnabled);
    ASSERT_EQ(1u, s->switches->ftpCount);
    ASSERT_EQ(1u, s->switches->hdCount);
    f = s->ftpTargets[0];
    EXPECT_EQ(name, f->name);
    EXPECT_STREQ("ftp.example.org", f->address);
    EXPECT_STREQ("alice", f->userName);
    EXPECT_EQ(password, f->password);
    EXPECT_EQ(folder, f->folder);
    EXPECT_EQ(65535, f->port);
    EXPECT_EQ(1, f->anonymous);
    EXPECT_EQ(STORAGE_BACKUP, f->storageType);
    EXPECT_EQ(1u, f->id);
    d = s->hdTargets[0];
    EXPECT_STREQ("\\\\server\\share\\backup", d->folder);
    EXPECT_EQ(STORAGE_APPEND, d->storageType);
    EXPECT_EQ(1u, d->id);
    EXPECT_EQ(1, s->options->deleteStored);
    EXPECT_EQ(0, s->options->excludeTemp);
    EXPECT_EQ(0, s->options->includeSubs);
    EXPECT_EQ(0xFFFFFFFFu, s->options->sizeLimit);
    FreeItemSettings(s);
}

TEST_F(Settings, ValuesHaveTheExactTypesAndSizes)
{
    ItemSettings* s = NewItemSettings(kItem);
    s->switches->ftpCount = 1;
    strcpy(s->ftpTargets[0]->name, "site");
    s->switches->hdCount = 1;
    strcpy(s->hdTargets[0]->folder, "D:\\b");
    ASSERT_EQ(1, SaveItemSettings(kItem, s, SAVE_FTP | SAVE_HD | SAVE_OPTIONS));
    FreeItemSettings(s);

    struct Expect { const char* key; const char* value; DWORD type; DWORD size; } expected[] = {
        {"", "item_ftpenabled", REG_BINARY, 1},
        {"", "item_hdenabled", REG_BINARY, 1},
        {"", "advanced_deletestored", REG_BINARY, 1},
        {"", "advanced_excludetemp", REG_BINARY, 1},
        {"", "advanced_includesubs", REG_BINARY, 1},
        {"", "advanced_sizelimit", REG_BINARY, 4},
        {"Targets\\FTP\\1", "ftp_address", REG_SZ, 256},
        {"Targets\\FTP\\1", "ftp_username", REG_SZ, 256},
        {"Targets\\FTP\\1", "ftp_password", REG_SZ, 256},
        {"Targets\\FTP\\1", "ftp_name", REG_SZ, 256},
        {"Targets\\FTP\\1", "ftp_directory", REG_SZ, 260},
        {"Targets\\FTP\\1", "ftp_port", REG_BINARY, 2},
        {"Targets\\FTP\\1", "ftp_anonymous", REG_BINARY, 1},
        {"Targets\\FTP\\1", "ftp_exists", REG_BINARY, 1},
        {"Targets\\FTP\\1", "ftp_serverid", REG_BINARY, 4},
        {"Targets\\HD\\1", "hd_directory", REG_SZ, 260},
        {"Targets\\HD\\1", "hd_exists", REG_BINARY, 1},
        {"Targets\\HD\\1", "hd_driveid", REG_BINARY, 4},
    };
    for (const Expect& e : expected) {
        std::string path = std::string(TK_FILES_KEY) + "\\C:*Work*";
        if (*e.key)
            path += std::string("\\") + e.key;
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key))
            << path;
        DWORD type = 0, size = 0;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, e.value, NULL, &type, NULL, &size)) << e.value;
        EXPECT_EQ(e.type, type) << e.value;
        EXPECT_EQ(e.size, size) << e.value;
        RegCloseKey(key);
    }
}

TEST_F(Settings, SavePartsAndEmptyRecords)
{
    ItemSettings* s = NewItemSettings(kItem);
    s->switches->ftpEnabled = 1;
    s->switches->ftpCount = 1;  // a record with an empty name is skipped
    EXPECT_EQ(0, SaveItemSettings(kItem, s, 0));
    EXPECT_EQ(0, SaveItemSettings(kItem, s, 8));
    EXPECT_EQ(STORE_MISSING_ARGUMENT, SaveItemSettings(NULL, s, SAVE_FTP));
    EXPECT_EQ(STORE_MISSING_ARGUMENT, SaveItemSettings(kItem, NULL, SAVE_FTP));
    EXPECT_EQ(0, SaveItemSettings("Q:\\Nothing\\", s, SAVE_FTP));
    ASSERT_EQ(1, SaveItemSettings(kItem, s, SAVE_FTP));
    FreeItemSettings(s);
    EXPECT_EQ(0, CountTargets(kItem, KIND_FTP));
    s = Load();
    EXPECT_EQ(1, s->switches->ftpEnabled);
    EXPECT_EQ(STORE_MISSING_ARGUMENT, LoadItemSettings(NULL, s));
    EXPECT_EQ(STORE_MISSING_ARGUMENT, LoadItemSettings(kItem, NULL));
    EXPECT_EQ(0, LoadItemSettings("Q:\\Nothing\\x", s));
    FreeItemSettings(s);
}

TEST_F(Settings, LoadNeverFillsMoreRecordsThanTheArrayHolds)
{
    // The record is sized before two targets are added behind its back.
    ItemSettings* small = NewItemSettings(kItem);
    ItemSettings* s = NewItemSettings(kItem);
    for (int i = 0; i < 3; ++i) {
        s->switches->hdCount = 1;
        sprintf(s->hdTargets[0]->folder, "D:\\b%d", i);
        s->hdTargets[0]->id = 0;
        ASSERT_EQ(1, SaveItemSettings(kItem, s, SAVE_HD));
    }
    FreeItemSettings(s);
    ASSERT_EQ(1, LoadItemSettings(kItem, small));
    EXPECT_EQ(1u, small->switches->hdCount);
    EXPECT_EQ(1u, small->hdSlots);
    FreeItemSettings(small);

    s = Load();
    ASSERT_EQ(3u, s->switches->hdCount);
    EXPECT_STREQ("D:\\b0", s->hdTargets[0]->folder);
    EXPECT_STREQ("D:\\b2", s->hdTargets[2]->folder);
    FreeItemSettings(s);
}

TEST_F(Settings, NewTargetKinds)
{
    TargetRecord* f = NewTarget(KIND_FTP);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->name && f->address && f->userName && f->password && f->folder);
    EXPECT_EQ(1, FreeTarget(f, KIND_FTP));
    TargetRecord* d = NewTarget(KIND_HD);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->folder && !d->name && !d->address);
    EXPECT_EQ(1, FreeTarget(d, KIND_HD));
    EXPECT_TRUE(NewTarget(3) == NULL);
    EXPECT_EQ(0, FreeTarget(NULL, KIND_HD));
    EXPECT_EQ(0, FreeItemSettings(NULL));
}

} // namespace
