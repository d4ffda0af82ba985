// Key-name encoding and the lookup of the item that covers a path.
#include <gtest/gtest.h>

#include "store/store.h"
#include "tests/support/testenv.h"

#include <string>

namespace {

class ItemLookup : public ::testing::Test {
protected:
    void SetUp() override { ResetProductKey(); }
    void TearDown() override { DeleteProductKey(); }

    std::string Covering(const char* path)
    {
        char name[TK_PATH_SIZE] = "";
        if (!OpenItemKey(path, name, NULL))
            return "<none>";
        return name;
    }
};

TEST(KeyNames, EncodeAndDecode)
{
    struct Case { const char* path; const char* key; const char* back; } cases[] = {
        {"C:\\Work\\plan.doc", "C:*Work*plan.doc", "C:\\Work\\plan.doc"},
        {"C:\\Work\\", "C:*Work*", "C:\\Work\\"},
        {"C:/Work/sub/", "C:*Work*sub*", "C:\\Work\\sub\\"},
        {"\\\\server\\share\\x", "**server*share*x", "\\\\server\\share\\x"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        char text[TK_PATH_SIZE];
        strcpy(text, c.path);
        EXPECT_EQ(1, EncodeKeyName(text));
        EXPECT_STREQ(c.key, text);
        EXPECT_EQ(1, DecodeKeyName(text));
        EXPECT_STREQ(c.back, text);
    }
    EXPECT_EQ(0, EncodeKeyName(NULL));
    EXPECT_EQ(0, DecodeKeyName(NULL));
}

TEST_F(ItemLookup, LongestCoveringItemWins)
{
    ASSERT_EQ(1, CreateItemKey("D:\\Data\\"));
    EXPECT_EQ("D:*Data*", Covering("D:\\Data\\Sub\\x.txt"));
    ASSERT_EQ(1, CreateItemKey("D:\\Data\\Sub\\"));
    EXPECT_EQ("D:*Data*Sub*", Covering("D:\\Data\\Sub\\x.txt"));
    EXPECT_EQ("D:*Data*", Covering("D:\\Data\\other.txt"));
    EXPECT_EQ("<none>", Covering("D:\\Database\\x.txt"));  // not below D:\Data\ .
    EXPECT_EQ("<none>", Covering("E:\\Data\\x.txt"));
}

TEST_F(ItemLookup, FileItemBesideFolderItem)
{
    ASSERT_EQ(1, CreateItemKey("D:\\Data\\"));
    ASSERT_EQ(1, CreateItemKey("D:\\Data\\a.txt"));
    EXPECT_EQ("D:*Data*a.txt", Covering("D:\\Data\\a.txt"));
    EXPECT_EQ("D:*Data*", Covering("D:\\Data\\b.txt"));
    // A file item covers only itself.
    EXPECT_EQ("D:*Data*", Covering("D:\\Data\\a.txt.bak"));
}

TEST_F(ItemLookup, OnlyFileItem)
{
    ASSERT_EQ(1, CreateItemKey("D:\\Data\\Sub\\x.txt"));
    EXPECT_EQ("D:*Data*Sub*x.txt", Covering("D:\\Data\\Sub\\x.txt"));
    EXPECT_EQ("<none>", Covering("D:\\Data\\Sub\\y.txt"));
}

TEST_F(ItemLookup, CaseAndSlashesDoNotMatter)
{
    ASSERT_EQ(1, CreateItemKey("C:\\Work\\"));
    EXPECT_NE("<none>", Covering("c:\\WORK\\Letter.doc"));
    EXPECT_NE("<none>", Covering("C:/Work/Letter.doc"));
    HKEY key = NULL;
    ASSERT_NE(0, OpenItemKey("c:/work/a", NULL, &key));
    ASSERT_TRUE(key != NULL);
    RegCloseKey(key);
}

TEST_F(ItemLookup, MissingArguments)
{
    EXPECT_EQ(0, OpenItemKey(NULL, NULL, NULL));
    EXPECT_EQ(0, OpenItemKey("", NULL, NULL));
    EXPECT_EQ(0, CreateItemKey(NULL));
    EXPECT_EQ(0, DeleteItemKey(NULL));
}

TEST_F(ItemLookup, OverlongPathsAreRefusedNotCut)
{
    // A 230-character path would be cut into the key of the 229-character
    // prefix item by a careless implementation.
    std::string prefix = "C:\\" + std::string(225, 'a') + "\\";  // 229 characters
    ASSERT_EQ(229u, prefix.size());
    ASSERT_EQ(1, CreateItemKey(prefix.c_str()));
    std::string longer = prefix + "b";
    EXPECT_EQ(0, CreateItemKey(longer.c_str()));
    EXPECT_EQ(0, DeleteItemKey(longer.c_str()));
    // The 229-character item still exists and covers files below it.
    char name[TK_PATH_SIZE];
    EXPECT_NE(0, OpenItemKey((prefix + "file.txt").c_str(), name, NULL));
    // A path of 260 or more characters covers nothing.
    EXPECT_EQ(0, OpenItemKey(std::string(300, 'x').c_str(), NULL, NULL));
}

TEST_F(ItemLookup, DeleteRemovesEverythingAndRecreateStartsClean)
{
    ASSERT_EQ(1, CreateItemKey("C:\\Work\\"));
    ItemSettings* s = NewItemSettings("C:\\Work\\");
    ASSERT_TRUE(s);
    s->switches->hdEnabled = 1;
    s->switches->hdCount = 1;
    strcpy(s->hdTargets[0]->folder, "D:\\backup");
    s->hdTargets[0]->storageType = STORAGE_SYNC;
    ASSERT_EQ(1, SaveItemSettings("C:\\Work\\", s, SAVE_HD));
    FreeItemSettings(s);
    ASSERT_EQ(1, WriteRestoreRecord("C:\\Work\\a.txt", 1, "D:\\backup\\a.txt", KIND_HD, 0));

    EXPECT_EQ(1, DeleteItemKey("C:\\Work\\"));
    EXPECT_EQ(0, OpenItemKey("C:\\Work\\a.txt", NULL, NULL));
    ASSERT_EQ(1, CreateItemKey("C:\\Work\\"));
    EXPECT_EQ(0, CountTargets("C:\\Work\\", KIND_HD));
    EXPECT_EQ(1, NextTargetId("C:\\Work\\", KIND_HD));
}

} // namespace
