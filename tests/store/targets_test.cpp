// Target ids, lookups, deletions and restore records.
#include <gtest/gtest.h>

#include "store/regvalue.h"
#include "store/store.h"
#include "tests/support/testenv.h"

#include <map>
#include <string>

namespace {

const char kItem[] = "C:\\Work\\";

class Targets : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        ASSERT_EQ(1, CreateItemKey(kItem));
    }
    void TearDown() override { DeleteProductKey(); }

    // Saves one new disk target; returns the id it got.
    DWORD AddDisk(const char* folder, DWORD id = 0)
    {
        ItemSettings* s = NewItemSettings(kItem);
        s->switches->hdEnabled = 1;
        s->switches->hdCount = 1;
        strcpy(s->hdTargets[0]->folder, folder);
        s->hdTargets[0]->storageType = STORAGE_SYNC;
        s->hdTargets[0]->id = id;
        EXPECT_EQ(1, SaveItemSettings(kItem, s, SAVE_HD));
        DWORD got = s->hdTargets[0]->id;
        FreeItemSettings(s);
        return got;
    }

    DWORD AddFtp(const char* name, const char* address, const char* user = "bob", WORD port = 21)
    {
        ItemSettings* s = NewItemSettings(kItem);
        s->switches->ftpEnabled = 1;
        s->switches->ftpCount = 1;
        FtpTarget* f = s->ftpTargets[0];
        strcpy(f->name, name);
        strcpy(f->address, address);
        strcpy(f->userName, user);
        strcpy(f->password, "secret");
        strcpy(f->folder, "/www");
        f->port = port;
        EXPECT_EQ(1, SaveItemSettings(kItem, s, SAVE_FTP));
        DWORD got = f->id;
        FreeItemSettings(s);
        return got;
    }

    // Restore records of the item: value name -> data.
    std::map<std::string, std::string> Records(const char* sub)
    {
        std::map<std::string, std::string> out;
        std::string path = std::string(TK_FILES_KEY) + "\\C:*Work*\\" + sub;
        HKEY key = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return out;
        for (DWORD i = 0;; ++i) {
            char name[1024], data[1024];
            DWORD nameLen = sizeof name, dataLen = sizeof data, type = 0;
            if (RegEnumValueA(key, i, name, &nameLen, NULL, &type, (BYTE*)data, &dataLen) != ERROR_SUCCESS)
                break;
            EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
            // The system may count a terminating zero the writer left out.
            out[name] = std::string(data, strnlen(data, dataLen));
        }
        RegCloseKey(key);
        return out;
    }
};

TEST_F(Targets, IdsCountPerKindAndAreNotReusedBelowTheLargest)
{
    EXPECT_EQ(1, NextTargetId(kItem, KIND_HD));
    EXPECT_EQ(1u, AddDisk("D:\\a"));
    EXPECT_EQ(2u, AddDisk("D:\\b"));
    EXPECT_EQ(5u, AddDisk("D:\\e", 5));
    EXPECT_EQ(1u, AddFtp("site", "h"));  // the kinds count separately
    // A record with id 0 gets the largest plus one; saving it again keeps it.
    EXPECT_EQ(6u, AddDisk("D:\\f"));
    EXPECT_EQ(6u, AddDisk("D:\\f-renamed", 6));
    EXPECT_EQ(4, CountTargets(kItem, KIND_HD));
    EXPECT_EQ(6, FindTargetId(kItem, "D:\\f-renamed", KIND_HD));

    EXPECT_EQ(1, DeleteTarget(kItem, 2, KIND_HD));  // lower than another: next stays 7
    EXPECT_EQ(7, NextTargetId(kItem, KIND_HD));
    for (int id : {1, 5, 6})
        EXPECT_EQ(1, DeleteTarget(kItem, id, KIND_HD));
    EXPECT_EQ(0, CountTargets(kItem, KIND_HD));
    EXPECT_EQ(1, NextTargetId(kItem, KIND_HD));  // the only one gone: 1 again
    EXPECT_EQ(1, DeleteTarget(kItem, 99, KIND_HD));  // nothing there is still success
}

TEST_F(Targets, LookupsAndBadKinds)
{
    AddFtp("My Site", "h");
    EXPECT_EQ(1, FindTargetId(kItem, "My Site", KIND_FTP));
    EXPECT_EQ(0, FindTargetId(kItem, "my site", KIND_FTP));
    EXPECT_EQ(0, FindTargetId(kItem, NULL, KIND_FTP));
    EXPECT_EQ(0, FindTargetId("Q:\\x\\", "My Site", KIND_FTP));
    EXPECT_EQ(0, CountTargets(kItem, 3));
    EXPECT_EQ(0, CountTargets("Q:\\none\\", KIND_FTP));
    EXPECT_EQ(0, NextTargetId(NULL, KIND_FTP));
    EXPECT_EQ(0, DeleteTarget(kItem, 1, 3));
    EXPECT_EQ(0, DeleteTarget(kItem, 42, KIND_FTP));  // no FTP target has the id
}

TEST_F(Targets, RestoreRecordFormats)
{
    DWORD hd = AddDisk("D:\\backup");
    DWORD ftp = AddFtp("site", "ftp.example.org", "carol", 2121);
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", hd, "D:\\backup\\a.txt", KIND_HD, 0));
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", ftp, "/www/a.txt", KIND_FTP, 0));
    std::map<std::string, std::string> disk = Records("HD");
    ASSERT_EQ(1u, disk.size());
    EXPECT_EQ("Hard Drive or Networked Drive", disk["C:\\Work\\a.txt*D:\\backup\\a.txt"]);
    std::map<std::string, std::string> remote = Records("FTP");
    ASSERT_EQ(1u, remote.size());
    EXPECT_EQ("carol:<password>@ftp.example.org:2121", remote["C:\\Work\\a.txt*/www/a.txt"]);

    // The writer passes the text length without the zero (NT adds it back).
    HKEY key = NULL;
    std::string path = std::string(TK_FILES_KEY) + "\\C:*Work*\\HD";
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key));
    DWORD size = 0;
    RegQueryValueExA(key, "C:\\Work\\a.txt*D:\\backup\\a.txt", NULL, NULL, NULL, &size);
    EXPECT_LE(strlen("Hard Drive or Networked Drive"), size);
    EXPECT_GE(strlen("Hard Drive or Networked Drive") + 1, size);
    RegCloseKey(key);
}

TEST_F(Targets, RestoreRecordWrittenTwiceAndRemoved)
{
    DWORD hd = AddDisk("D:\\backup");
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", hd, "D:\\backup\\a.txt", KIND_HD, 0));
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", hd, "D:\\backup\\a.txt", KIND_HD, 0));
    EXPECT_EQ(1u, Records("HD").size());
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", 77, "D:\\backup\\a.txt", KIND_HD, 1));
    EXPECT_EQ(0u, Records("HD").size());

    EXPECT_EQ(0, WriteRestoreRecord(NULL, hd, "x", KIND_HD, 0));
    EXPECT_EQ(0, WriteRestoreRecord("C:\\Work\\a.txt", hd, NULL, KIND_HD, 0));
    // No FTP target with the id: nothing written, still "done".
    EXPECT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", 9, "/x", KIND_FTP, 0));
    EXPECT_EQ(0u, Records("FTP").size());
    // No covering item: settings cannot load, nothing written.
    EXPECT_EQ(1, WriteRestoreRecord("Q:\\x\\a.txt", hd, "D:\\a", KIND_HD, 0));
}

TEST_F(Targets, OverlongRecordNamesAreRefused)
{
    DWORD hd = AddDisk("D:\\backup");
    std::string local = "C:\\Work\\" + std::string(120, 'a');
    std::string stored = "D:\\backup\\" + std::string(130, 'a');  // together over 259
    EXPECT_EQ(0, WriteRestoreRecord(local.c_str(), hd, stored.c_str(), KIND_HD, 0));
    EXPECT_EQ(0u, Records("HD").size());
    std::string fits = "D:\\backup\\" + std::string(259 - local.size() - 1 - 10, 'a');
    EXPECT_EQ(1, WriteRestoreRecord(local.c_str(), hd, fits.c_str(), KIND_HD, 0));
    EXPECT_EQ(1u, Records("HD").size());
}

TEST_F(Targets, DeletingAnFtpTargetRemovesExactlyItsAddressRecords)
{
    DWORD a = AddFtp("a", "one.example");
    DWORD b = AddFtp("b", "two.example");
    DWORD c = AddFtp("c", "one.example.net");
    DWORD hd = AddDisk("D:\\backup");
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\1.txt", a, "/www/1.txt", KIND_FTP, 0));
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\2.txt", a, "/www/2.txt", KIND_FTP, 0));
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\1.txt", b, "/www/x/1.txt", KIND_FTP, 0));
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\3.txt", c, "/www/3.txt", KIND_FTP, 0));
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\1.txt", hd, "D:\\backup\\1.txt", KIND_HD, 0));
    ASSERT_EQ(4u, Records("FTP").size());

    EXPECT_EQ(1, DeleteTarget(kItem, static_cast<int>(a), KIND_FTP));
    std::map<std::string, std::string> left = Records("FTP");
    ASSERT_EQ(2u, left.size());
    EXPECT_TRUE(left.count("C:\\Work\\1.txt*/www/x/1.txt"));
    EXPECT_TRUE(left.count("C:\\Work\\3.txt*/www/3.txt"));
    EXPECT_EQ(1u, Records("HD").size());  // disk records are not touched
    EXPECT_EQ(0, FindTargetId(kItem, "a", KIND_FTP));
    EXPECT_EQ(2, CountTargets(kItem, KIND_FTP));

    // Deleting a disk target leaves its records.
    EXPECT_EQ(1, DeleteTarget(kItem, static_cast<int>(hd), KIND_HD));
    EXPECT_EQ(1u, Records("HD").size());
}

TEST_F(Targets, MonitoringSwitchAndInstallDir)
{
    EXPECT_EQ(0, IsMonitoringEnabled());
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    EXPECT_EQ(1, IsMonitoringEnabled());
    char dir[TK_PATH_SIZE];
    EXPECT_EQ(0, GetInstallDir(dir, sizeof dir));
    SetGlobalText("installdir", "C:\\Program Files\\Tandemkeep");
    ASSERT_EQ(1, GetInstallDir(dir, sizeof dir));
    EXPECT_STREQ("C:\\Program Files\\Tandemkeep", dir);
    char tiny[8];
    EXPECT_EQ(0, GetInstallDir(tiny, sizeof tiny));  // does not fit: not cut
    DeleteProductKey();
    EXPECT_EQ(0, IsMonitoringEnabled());
}

} // namespace
