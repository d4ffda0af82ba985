// Target paths, folder chains and backup names of disk copies.
#include <gtest/gtest.h>

#include "transfer/diskcopy.h"

#include <string>
#include <vector>

namespace {

const std::string kLong(255, 'x');
const char kStamp[] = "12-5-2026 4 12 24";

TEST(DiskPaths, TargetPathKeepsThePlaceBelowTheItem)
{
    struct Case {
        const char *path, *nameSource, *key, *folder, *expected;  // expected NULL: refused
    } cases[] = {
        {"C:\\d\\a.txt", "C:\\d\\a.txt", "C:*d*", "D:\\bk", "D:\\bk\\a.txt"},
        {"C:\\d\\s\\t\\b.txt", "C:\\d\\s\\t\\b.txt", "C:*d*", "D:\\bk\\", "D:\\bk\\s\\t\\b.txt"},
        {"C:\\d\\a.txt", "C:\\d\\a.txt", "C:*d*", "E:\\", "E:\\a.txt"},
        {"C:\\d\\r.doc", "C:\\d\\r 1-2.doc", "C:*d*", "\\\\srv\\sh", "\\\\srv\\sh\\r 1-2.doc"},
        {"C:\\n\\todo.txt", "C:\\n\\todo 1-2.txt", "C:*n*todo.txt", "D:\\bk", "D:\\bk\\todo 1-2.txt"},
        {"C:\\d\\", "C:\\d\\", "C:*d*", "D:\\bk", NULL},
        {"C:\\d\\a.txt", "C:\\d\\a.txt", "C:*d*", kLong.c_str(), NULL},
    };
    for (const Case& c : cases) {
        char out[260];
        int ok = MakeDiskTargetPath(c.path, c.nameSource, c.key, c.folder, out, sizeof out);
        EXPECT_EQ(c.expected != NULL, ok != 0) << c.path << " into " << c.folder;
        EXPECT_STREQ(c.expected ? c.expected : "", out);
    }
}

TEST(DiskPaths, FolderChainStartsAfterTheDriveOrServer)
{
    struct Case {
        const char* path;
        std::vector<std::string> folders;
    } cases[] = {
        {"D:\\bk\\s\\b.txt", {"D:\\bk", "D:\\bk\\s"}},
        {"\\\\srv\\sh\\bk\\b.txt", {"\\\\srv\\sh", "\\\\srv\\sh\\bk"}},
        {"D:\\b.txt", {}},
    };
    for (const Case& c : cases) {
        int ends[16];
        std::vector<std::string> got;
        for (int i = 0, n = FolderChainPrefixes(c.path, ends, 16); i < n; ++i)
            got.push_back(std::string(c.path, ends[i]));
        EXPECT_EQ(c.folders, got) << c.path;
    }
}

TEST(BackupNames, StampGoesBeforeAShortExtensionOfTheFileName)
{
    struct Case {
        const char *path, *expected;
    } cases[] = {
        {"C:\\d\\report.doc", "C:\\d\\report 12-5-2026 4 12 24.doc"},
        {"C:\\d\\index.html", "C:\\d\\index.html 12-5-2026 4 12 24"},
        {"C:\\d\\README", "C:\\d\\README 12-5-2026 4 12 24"},
        {"C:\\d\\x.tar.gz", "C:\\d\\x.tar 12-5-2026 4 12 24.gz"},
        {"C:\\a.b\\c", "C:\\a.b\\c 12-5-2026 4 12 24"},  // a dot in a folder is no extension
    };
    for (const Case& c : cases) {
        char out[260];
        ASSERT_EQ(1, InsertBackupStamp(c.path, kStamp, out, sizeof out));
        EXPECT_STREQ(c.expected, out);
    }
    char small[20];
    EXPECT_EQ(0, InsertBackupStamp("C:\\d\\report.doc", kStamp, small, sizeof small));
    ASSERT_EQ(1, FormatBackupStamp("12/5/2026", "4:12:24 ", small, sizeof small));
    EXPECT_STREQ(kStamp, small);
}

void FixedClock(SYSTEMTIME* now)
{
    *now = SYSTEMTIME{2026, 12, 6, 5, 16, 12, 24, 0};
}

TEST(BackupNames, MadeFromTheClockInTheSystemFormats)
{
    SetBackupClock(FixedClock);
    char name[260];
    // The test prefix runs with the English (United States) system locale.
    EXPECT_EQ(1, MakeBackupName("C:\\d\\report.doc", name));
    EXPECT_STREQ("C:\\d\\report 12-5-2026 4 12 24.doc", name);
    EXPECT_EQ(0, MakeBackupName(kLong.c_str(), name));
    SetBackupClock(NULL);
}

} // namespace
