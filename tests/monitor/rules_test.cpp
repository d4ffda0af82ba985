// Reported paths resolved to their long form on real files (the intake's filters are tried in
// monitor_test.cpp).
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
        SetEnvironmentVariableA("TMP", path.c_str());
        SetEnvironmentVariableA("TEMP", path.c_str());
    }
    ~ProgramFolder() { RemoveTree(path); }
} g_programFolder;

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
