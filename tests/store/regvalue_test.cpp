// Untrusted registry data: odd types, sizes and missing terminators never overflow or crash.
#include <gtest/gtest.h>

#include "store/regvalue.h"
#include "store/store.h"
#include "tests/support/testenv.h"

#include <string>

namespace {

class UntrustedRegistry : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        ASSERT_EQ(1, CreateItemKey("C:\\Work\\"));
        ItemSettings* s = NewItemSettings("C:\\Work\\");
        s->switches->ftpCount = 1;
        strcpy(s->ftpTargets[0]->name, "site");
        strcpy(s->ftpTargets[0]->address, "good.example");
        s->ftpTargets[0]->port = 21;
        EXPECT_EQ(1, SaveItemSettings("C:\\Work\\", s, SAVE_FTP));
        FreeItemSettings(s);
    }
    void TearDown() override { DeleteProductKey(); }

    void SetTarget(const char* name, DWORD type, const void* data, DWORD size)
    {
        SetItemRaw("C:*Work*", "Targets\\FTP\\1", name, type, data, size);
    }

    ItemSettings* Load()
    {
        ItemSettings* s = NewItemSettings("C:\\Work\\");
        EXPECT_EQ(1, LoadItemSettings("C:\\Work\\", s));
        return s;
    }
};

TEST_F(UntrustedRegistry, TextWithoutTerminatorReadsTerminated)
{
    SetTarget("ftp_address", REG_SZ, "abc", 3);  // no zero byte stored
    ItemSettings* s = Load();
    EXPECT_STREQ("abc", s->ftpTargets[0]->address);
    FreeItemSettings(s);
}

TEST_F(UntrustedRegistry, TextTooLongOrOfAnotherTypeReadsAsAbsent)
{
    std::string huge(5000, 'x');  // no zero inside the first 256 bytes
    SetTarget("ftp_address", REG_SZ, huge.data(), static_cast<DWORD>(huge.size()));
    SetTarget("ftp_name", REG_BINARY, "bin\0", 4);
    DWORD number = 7;
    SetTarget("ftp_username", REG_DWORD, &number, 4);
    ItemSettings* s = Load();
    EXPECT_STREQ("", s->ftpTargets[0]->address);
    EXPECT_STREQ("", s->ftpTargets[0]->name);
    EXPECT_STREQ("", s->ftpTargets[0]->userName);
    FreeItemSettings(s);
}

TEST_F(UntrustedRegistry, ShortBinaryReadsAsAbsentLongerTakesItsStart)
{
    SetTarget("ftp_port", REG_BINARY, "\x15", 1);         // 1 byte where 2 are expected
    SetTarget("ftp_serverid", REG_BINARY, "\x02\x00", 2);  // 2 where 4 are expected
    SetTarget("ftp_exists", REG_BINARY, "\x02\x00\x00\x00", 4);
    SetTarget("ftp_anonymous", REG_SZ, "1", 2);           // another type
    ItemSettings* s = Load();
    EXPECT_EQ(0, s->ftpTargets[0]->port);
    EXPECT_EQ(0u, s->ftpTargets[0]->id);
    EXPECT_EQ(2, s->ftpTargets[0]->storageType);
    EXPECT_EQ(0, s->ftpTargets[0]->anonymous);
    FreeItemSettings(s);
}

TEST_F(UntrustedRegistry, GlobalValuesOfOddShape)
{
    SetGlobalRaw("installdir", REG_SZ, "C:\\X", 4);  // unterminated
    char dir[TK_PATH_SIZE];
    ASSERT_EQ(1, GetInstallDir(dir, sizeof dir));
    EXPECT_STREQ("C:\\X", dir);
    SetGlobalRaw("installdir", REG_BINARY, "C:\\X", 4);
    EXPECT_EQ(0, GetInstallDir(dir, sizeof dir));
    SetGlobalRaw("installdir", REG_SZ, "", 0);  // empty data
    ASSERT_EQ(1, GetInstallDir(dir, sizeof dir));
    EXPECT_STREQ("", dir);

    HKEY key = OpenProductKey();
    ASSERT_TRUE(key);
    DWORD value = 42;
    SetGlobalRaw("logging", REG_BINARY, "\x01", 1);
    EXPECT_FALSE(ReadRegDword(key, "logging", &value));
    EXPECT_EQ(42u, value);
    SetGlobalRaw("logging", REG_SZ, "1\0\0", 4);
    EXPECT_FALSE(ReadRegDword(key, "logging", &value));
    RegCloseKey(key);
}

TEST_F(UntrustedRegistry, ForeignSubkeysAndValuesDoNotBreakEnumeration)
{
    // A target subkey without any values and a restore value of another type.
    SetItemRaw("C:*Work*", "Targets\\FTP\\junk", "unrelated", REG_DWORD, "\0\0\0\0", 4);
    SetItemRaw("C:*Work*", "FTP", "C:\\Work\\a*/a", REG_DWORD, "\0\0\0\0", 4);
    ItemSettings* s = Load();
    EXPECT_EQ(2u, s->switches->ftpCount);
    FreeItemSettings(s);
    EXPECT_EQ(2, NextTargetId("C:\\Work\\", KIND_FTP));
    EXPECT_EQ(1, DeleteTarget("C:\\Work\\", 1, KIND_FTP));
}

} // namespace
