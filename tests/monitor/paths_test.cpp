// Path rules of the intake: temporary-file test, long-path resolution, subfolder and install-folder tests.
#include <gtest/gtest.h>

#include "monitor/intake.h"
#include "monitor/watcher.h"
#include "tests/support/testenv.h"

#include <string>

namespace {

TEST(TempFileRule, MatchesTmpOrTempAnywhereInAnyCase)
{
    struct {
        const char* path;
        int expected;
    } cases[] = {
        {"C:\\Work\\Templates\\letter.doc", 1},  // a folder name
        {"C:\\Work\\attempt.txt", 1},            // inside a word
        {"C:\\Work\\~wrl0001.tmp", 1},
        {"c:\\work\\tmp\\a.txt", 1},
        {"C:\\Work\\letter.doc", 0},
        {"C:\\Work\\T\\M\\P.txt", 0},
        {"C:\\Work\\tem.p", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, IsSuspectedTempFile(c.path)) << c.path;
    EXPECT_EQ(0, IsSuspectedTempFile(NULL));
}

TEST(SubfolderRule, ComparesDepthBelowTheItem)
{
    EXPECT_EQ(0, IsInItemSubfolder("C:\\Work\\a.txt", "C:\\Work\\"));
    EXPECT_EQ(1, IsInItemSubfolder("C:\\Work\\Sub\\a.txt", "C:\\Work\\"));
    EXPECT_EQ(1, IsInItemSubfolder("C:\\Work\\Sub\\Deeper\\a.txt", "C:\\Work\\"));
    // A file item is always at its own depth.
    EXPECT_EQ(0, IsInItemSubfolder("C:\\Work\\a.txt", "C:\\Work\\a.txt"));
    // Counting starts at the second character: a UNC path's leading pair
    // counts once on either side.
    EXPECT_EQ(2, CountBackslashes("\\\\srv\\share"));
    EXPECT_EQ(0, IsInItemSubfolder("\\\\srv\\share\\a.txt", "\\\\srv\\share\\"));
}

TEST(InstallFolderRule, MatchesTheFolderAndBelowInAnyCase)
{
    EXPECT_EQ(1, IsInInstallDir("C:\\Program Files\\Tandemkeep\\backuplog.txt",
                                "c:\\program files\\tandemkeep"));
    EXPECT_EQ(1, IsInInstallDir("C:\\Tk\\sub\\x.txt", "C:\\Tk\\"));
    EXPECT_EQ(0, IsInInstallDir("C:\\Work\\x.txt", "C:\\Tk"));
    // A sibling whose name only begins like the folder is not inside it.
    EXPECT_EQ(0, IsInInstallDir("C:\\Tk Data\\x.txt", "C:\\Tk"));
    EXPECT_EQ(0, IsInInstallDir("C:\\Tk2\\x.txt", "C:\\Tk"));
    // Nothing to compare with: nothing is in it.
    EXPECT_EQ(0, IsInInstallDir("C:\\Work\\x.txt", ""));
    EXPECT_EQ(0, IsInInstallDir("C:\\Work\\x.txt", NULL));
}

class LongPath : public ::testing::Test {
protected:
    TempDir dir{"tklong"};
    std::string Short(const std::string& path)
    {
        char buf[MAX_PATH];
        DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
        return n > 0 && n < sizeof buf ? buf : path;
    }
};

TEST_F(LongPath, ShortNamesBecomeLongWithStoredCase)
{
    MakeDirs(dir / "Program Files Long\\Some Folder");
    std::string file = dir / "Program Files Long\\Some Folder\\Notes Of Mine.TXT";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    std::string shortForm = Short(file);
    char out[260];
    ASSERT_EQ(1, ResolveLongPath(shortForm.c_str(), out));
    EXPECT_STREQ(file.c_str(), out);

    // Any case in, stored case out; the same buffer may be in and out.
    std::string upper = UpperText(file);
    char inPlace[260];
    lstrcpynA(inPlace, upper.c_str(), sizeof inPlace);
    ASSERT_EQ(1, ResolveLongPath(inPlace, inPlace));
    EXPECT_STREQ(file.c_str(), inPlace + 0);
}

TEST_F(LongPath, MissingComponentGivesThePlainFullPath)
{
    std::string in = dir / "gone\\..\\nowhere\\file.txt";
    char out[260] = "untouched";
    EXPECT_EQ(0, ResolveLongPath(in.c_str(), out));
    EXPECT_EQ(dir / "nowhere\\file.txt", std::string(out));
    EXPECT_EQ(0, ResolveLongPath(NULL, out));
    EXPECT_EQ(0, ResolveLongPath(in.c_str(), NULL));
}

TEST_F(LongPath, WildcardsNeverMatchAnotherFile)
{
    ASSERT_TRUE(WriteFileBytes(dir / "real.txt", "x"));
    std::string in = dir / "re?l.txt";
    char out[260];
    EXPECT_EQ(0, ResolveLongPath(in.c_str(), out));
    EXPECT_EQ(in, std::string(out));
}

TEST(Rescan, ReportsNewAndChangedFilesAndFolderChanges)
{
    auto stamp = [](const char* name, DWORD time, ULONGLONG size, bool folder) {
        FileStamp s;
        s.written.dwLowDateTime = time;
        s.written.dwHighDateTime = 0;
        s.size = size;
        s.folder = folder;
        s.name = name;
        return s;
    };
    FolderSnapshot before, now;
    before["SAME.TXT"] = stamp("same.txt", 1, 10, false);
    before["GROWN.TXT"] = stamp("grown.txt", 1, 10, false);
    before["TOUCHED.TXT"] = stamp("touched.txt", 1, 10, false);
    before["DELETED.TXT"] = stamp("deleted.txt", 1, 10, false);
    before["OLDDIR"] = stamp("OldDir", 1, 0, true);
    before["KEPTDIR"] = stamp("KeptDir", 1, 0, true);
    now["SAME.TXT"] = stamp("same.txt", 1, 10, false);
    now["GROWN.TXT"] = stamp("grown.txt", 1, 11, false);
    now["TOUCHED.TXT"] = stamp("touched.txt", 2, 10, false);
    now["NEW FILE.TXT"] = stamp("New File.txt", 1, 1, false);
    now["KEPTDIR"] = stamp("KeptDir", 5, 0, true);
    now["NEWDIR"] = stamp("NewDir", 1, 0, true);
    std::vector<std::string> changed, added, gone;
    CompareSnapshots(before, now, &changed, &added, &gone);
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ((std::vector<std::string>{"New File.txt", "grown.txt", "touched.txt"}), changed);
    EXPECT_EQ(std::vector<std::string>{"NewDir"}, added);
    EXPECT_EQ(std::vector<std::string>{"OLDDIR"}, gone);
}

}  // namespace
