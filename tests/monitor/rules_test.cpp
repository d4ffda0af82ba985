// The intake's path rules as tables, and long paths resolved on real files.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "monitor/intake.h"
#include "monitor/watcher.h"
#include "store/layout.h"
#include "tests/support/testenv.h"

namespace {

// The system's temporary folder is named "Temp", which the temporary-file filter rightly matches:
// this program's folders live in a folder of its own in the user's profile, removed with everything
// in it at the end.
struct ProgramFolder {
    std::string path =
        std::string(getenv("USERPROFILE")) + "\\tkmon-" + std::to_string(GetCurrentProcessId());
    ProgramFolder()
    {
        CreateDirectoryA(path.c_str(), NULL);
        SetEnvironmentVariableA("TMP", path.c_str()), SetEnvironmentVariableA("TEMP", path.c_str());
    }
    ~ProgramFolder() { RemoveTree(path); }
} g_programFolder;

TEST(PathRules, TemporaryFilesSubfoldersTheInstallationFolderAndTheDrivePart)
{
    struct {
        const char* path;
        int temp;
    } temps[] = {{"C:\\Work\\Templates\\letter.doc", 1},
                 {"C:\\Work\\attempt.txt", 1},
                 {"C:\\Work\\~wrl0001.tmp", 1},
                 {"c:\\work\\tmp\\a.txt", 1},
                 {"C:\\Work\\letter.doc", 0},
                 {"C:\\Work\\T\\M\\P.txt", 0},
                 {"C:\\tem.p", 0}};
    for (const auto& c : temps)
        EXPECT_EQ(c.temp, IsSuspectedTempFile(c.path)) << c.path;
    struct {
        const char* path;
        const char* item;
        int below;
    } subs[] = {
        {"C:\\Work\\a.txt", "C:\\Work\\", 0},
        {"C:\\Work\\Sub\\a.txt", "C:\\Work\\", 1},
        {"C:\\Work\\S\\D\\a.txt", "C:\\Work\\", 1},
        {"C:\\Work\\a.txt", "C:\\Work\\a.txt", 0},
        {"\\\\srv\\share\\a.txt", "\\\\srv\\share\\", 0}};  // counted from the second character
    for (const auto& c : subs)
        EXPECT_EQ(c.below, IsInItemSubfolder(c.path, c.item)) << c.path;
    struct {
        const char* path;
        const char* dir;
        int inside;
    } installs[] = {{"C:\\Program Files\\Tandemkeep\\a.txt", "c:\\program files\\tandemkeep", 1},
                    {"C:\\Tk\\s\\x", "C:\\Tk\\", 1},
                    {"C:\\Tk", "C:\\Tk", 1},
                    {"C:\\Work\\x.txt", "C:\\Tk", 0},
                    {"C:\\Tk Data\\x.txt", "C:\\Tk", 0},
                    {"C:\\Tk2\\x.txt", "C:\\Tk", 0},
                    {"C:\\T", "C:\\Tk", 0},
                    {"C:\\x.txt", "", 0},
                    {"C:\\x.txt", NULL, 0}};
    for (const auto& c : installs)
        EXPECT_EQ(c.inside, IsInInstallDir(c.path, c.dir))
            << c.path << " in " << (c.dir ? c.dir : "(none)");
    std::string drive = "c:/a\\b";
    UpperCaseDrivePart(&drive[0]);
    EXPECT_EQ("C:/a\\b", drive);
    EXPECT_EQ(0, IsSuspectedTempFile(NULL));
}

TEST(PathRules, ReportsBecomeLongPathsInTheirStoredCase)
{
    TempDir dir("tklong");
    MakeDirs(dir / "Program Files Long\\Some Folder");
    std::string file = dir / "Program Files Long\\Some Folder\\Notes Of Mine.TXT";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    char shortForm[MAX_PATH] = "", out[TK_PATH_SIZE];
    GetShortPathNameA(file.c_str(), shortForm, MAX_PATH);
    EXPECT_EQ(1, ResolveLongPath(shortForm, out));
    EXPECT_EQ(file, out);
    lstrcpynA(out, UpperText(file).c_str(), sizeof out);
    EXPECT_EQ(1, ResolveLongPath(out, out));  // in place
    EXPECT_EQ(file, out);
    // A component that is not there, or a wildcard that would find another file: the plain full
    // path.
    std::string missing[][2] = {
        {dir / "gone\\..\\nowhere\\f.txt", dir / "nowhere\\f.txt"},
        {dir / "Program Files Long\\Some?Folder", dir / "Program Files Long\\Some?Folder"}};
    for (auto& c : missing) {
        EXPECT_EQ(0, ResolveLongPath(c[0].c_str(), out)) << c[0];
        EXPECT_EQ(c[1], out);
    }
    EXPECT_EQ(0, ResolveLongPath(NULL, out) + ResolveLongPath("C:\\", NULL));
}

}  // namespace
