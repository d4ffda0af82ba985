// Target paths, folder chains and backup names of disk copies.
#include <gtest/gtest.h>

#include "transfer/diskcopy.h"

#include <string>
#include <vector>

namespace {

const std::string kLong(255, 'x');

TEST(DiskPaths, TargetPathKeepsThePlaceBelowTheItem)
{
    struct Case {
        const char* path;
        const char* nameSource;
        const char* key;
        const char* folder;
        const char* expected;  // NULL: refused
    } cases[] = {
        {"C:\\data\\a.txt", "C:\\data\\a.txt", "C:*data*", "D:\\backup", "D:\\backup\\a.txt"},
        {"C:\\data\\sub\\deep\\b.txt", "C:\\data\\sub\\deep\\b.txt", "C:*data*", "D:\\backup",
         "D:\\backup\\sub\\deep\\b.txt"},
        // a folder given with its separator, or a drive root, gets no second one
        {"C:\\data\\a.txt", "C:\\data\\a.txt", "C:*data*", "D:\\backup\\", "D:\\backup\\a.txt"},
        {"C:\\data\\a.txt", "C:\\data\\a.txt", "C:*data*", "E:\\", "E:\\a.txt"},
        {"C:\\data\\r.doc", "C:\\data\\r 1-2-2026 3 04 05.doc", "C:*data*", "\\\\srv\\share\\bk",
         "\\\\srv\\share\\bk\\r 1-2-2026 3 04 05.doc"},
        // single-file item: the name alone goes into the folder
        {"C:\\notes\\todo.txt", "C:\\notes\\todo 1-2-2026 3 04 05.txt", "C:*notes*todo.txt",
         "D:\\bk", "D:\\bk\\todo 1-2-2026 3 04 05.txt"},
        {"C:\\data\\", "C:\\data\\", "C:*data*", "D:\\bk", NULL},
        {"C:\\data\\a.txt", "C:\\data\\a.txt", "C:*data*", kLong.c_str(), NULL},
    };
    for (const Case& c : cases) {
        char out[260];
        int ok = MakeDiskTargetPath(c.path, c.nameSource, c.key, c.folder, out, sizeof out);
        EXPECT_EQ(c.expected != NULL, ok != 0) << c.path << " into " << c.folder;
        if (c.expected && ok) {
            EXPECT_STREQ(c.expected, out);
        }
    }
}

TEST(DiskPaths, FolderChainStartsAfterTheDriveOrServer)
{
    struct Case {
        const char* path;
        std::vector<std::string> folders;
    } cases[] = {
        {"D:\\backup\\sub\\deep\\b.txt", {"D:\\backup", "D:\\backup\\sub", "D:\\backup\\sub\\deep"}},
        {"\\\\srv\\share\\bk\\sub\\b.txt",
         {"\\\\srv\\share", "\\\\srv\\share\\bk", "\\\\srv\\share\\bk\\sub"}},
        {"D:\\b.txt", {}},
    };
    for (const Case& c : cases) {
        int ends[16];
        int n = FolderChainPrefixes(c.path, ends, 16);
        std::vector<std::string> got;
        for (int i = 0; i < n; ++i)
            got.push_back(std::string(c.path, ends[i]));
        EXPECT_EQ(c.folders, got) << c.path;
    }
}

TEST(BackupNames, StampGoesBeforeAShortExtensionOfTheFileName)
{
    const char* stamp = "12-5-2026 4 12 24";
    struct Case {
        const char* path;
        const char* expected;
    } cases[] = {
        {"C:\\data\\report.doc", "C:\\data\\report 12-5-2026 4 12 24.doc"},
        {"C:\\data\\index.html", "C:\\data\\index.html 12-5-2026 4 12 24"},
        {"C:\\data\\README", "C:\\data\\README 12-5-2026 4 12 24"},
        {"C:\\data\\a.c", "C:\\data\\a 12-5-2026 4 12 24.c"},
        {"C:\\data\\x.tar.gz", "C:\\data\\x.tar 12-5-2026 4 12 24.gz"},
        // a dot in a folder name is not the file's extension
        {"C:\\a.b\\c", "C:\\a.b\\c 12-5-2026 4 12 24"},
    };
    for (const Case& c : cases) {
        char out[260];
        ASSERT_EQ(1, InsertBackupStamp(c.path, stamp, out, sizeof out));
        EXPECT_STREQ(c.expected, out);
    }
    char small[20];
    EXPECT_EQ(0, InsertBackupStamp("C:\\data\\report.doc", stamp, small, sizeof small));
}

TEST(BackupNames, StampTextFromLocaleParts)
{
    char out[BACKUP_STAMP_SIZE];
    ASSERT_EQ(1, FormatBackupStamp("12/5/2026", "4:12:24 ", out, sizeof out));
    EXPECT_STREQ("12-5-2026 4 12 24", out);
    ASSERT_EQ(1, FormatBackupStamp("05.12.2026", "16:12:24", out, sizeof out));
    EXPECT_STREQ("05.12.2026 16 12 24", out);
}

void FixedClock(SYSTEMTIME* now)
{
    SYSTEMTIME t = {2026, 12, 6, 5, 16, 12, 24, 0};
    *now = t;
}

TEST(BackupNames, MadeFromTheClockInTheSystemFormats)
{
    SetBackupClock(FixedClock);
    char stamp[BACKUP_STAMP_SIZE];
    ASSERT_EQ(1, MakeBackupStamp(stamp));
    // The test prefix runs with the English (United States) system locale.
    EXPECT_STREQ("12-5-2026 4 12 24", stamp);
    char name[260];
    ASSERT_EQ(1, MakeBackupName("C:\\data\\report.doc", name));
    EXPECT_STREQ("C:\\data\\report 12-5-2026 4 12 24.doc", name);
    EXPECT_EQ(0, MakeBackupName(kLong.c_str(), name));
    SetBackupClock(NULL);
}

TEST(DiskPaths, NamePartAndSeparator)
{
    EXPECT_STREQ("b.txt", FileNamePart("C:\\a/b.txt"));
    EXPECT_STREQ("plain", FileNamePart("plain"));
    EXPECT_STREQ("", FileNamePart("C:\\a\\"));
    EXPECT_EQ(1, EndsWithSeparator("C:\\a/"));
    EXPECT_EQ(0, EndsWithSeparator("C:\\a"));
    EXPECT_EQ(0, EndsWithSeparator(""));
}

} // namespace
