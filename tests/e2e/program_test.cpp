// The real program as a user starts it: one copy, HIDE, the first run, and live copies to disk
// targets.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/program.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "transfer/diskcopy.h"

#include <filesystem>
#include <iostream>
#include <string>

namespace {

// Start-up ends with the item list's two columns; then the loop answers.
bool Ready(HWND main)
{
    auto columns = [&] {
        return Header_GetItemCount(ListView_GetHeader(GetDlgItem(main, IDC_MAIN_LIST)));
    };
    bool built = main && PumpUntil([&] { return columns() == 2; }, 20000);
    DWORD_PTR result = 0;
    return built && SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
}

// Retrying failed copies on, and the catch-up as asked; the program's first retry after 200 ms.
void SwitchMissedChangesOn(BYTE catchUp)
{
    const BYTE on = 1;
    SetGlobalRaw("retryfailed", REG_BINARY, &on, 1);
    SetGlobalRaw("catchup", REG_BINARY, &catchUp, 1);
    SetEnvironmentVariableA("TK_RETRY_FIRST_MS", "200");  // the program inherits it
}

class Program : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        UseInstallDir(install_);
        SetGlobalDword("showerrors", 0);
        SetGlobalDword("tip", 0xFFFF);
        SetGlobalRaw("enabled", REG_BINARY, "", 0);
        src_ = work_ / "src";
        MakeDirs(src_ + "\\a\\b\\c");  // exists before the watch begins
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("TK_RETRY_FIRST_MS", NULL);
        DeleteProductKey();
    }
    bool Arrives(const std::string& path, const std::string& content, int ms = 20000)
    {
        // Read only once the size is right: under Wine an open handle of a reader makes the
        // program's replace of the stored copy fail, as a file in use would on Windows.
        auto sized = [&] {
            WIN32_FILE_ATTRIBUTE_DATA d;
            return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d) &&
                   d.nFileSizeLow == content.size();
        };
        if (PumpUntil([&] { return sized() && ReadFileBytes(path) == content; }, ms))
            return true;
        std::cerr << "Backup log:\n"
                  << ReadFileBytes(install_ / "backuplog.txt") << "Error log:\n"
                  << ReadFileBytes(install_ / "errorlog.txt");
        return false;
    }
    TempDir install_{"tkinst"};
    TempDir targets_{"tktgt"};
    // Outside %TEMP%: the intake filters out every path that contains "TEMP" or "TMP".
    TempDir work_{"tkwork", "C:\\"};
    std::string src_;
};

TEST_F(Program, StartsOnceHidesOnlyForTheExactWordAndShowsTheFirstRun)
{
    {
        RunningProgram first;
        ASSERT_TRUE(first.WaitForMainWindow() && Ready(first.MainWindow()));
        RunningProgram second;
        ASSERT_TRUE(PumpUntil([&] { return !second.Windows("Already Running").empty(); }, 20000));
        HWND box = second.Windows("Already Running")[0];
        EXPECT_NE(
            std::string::npos,
            WindowText(GetDlgItem(box, 0xFFFF)).find("You cannot start two copies of Tandemkeep."));
        SaveWindowShot(box, "already-running");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_EQ(0, second.WaitForExit(10000));
        EXPECT_TRUE(IsWindowVisible(first.MainWindow()) && Ready(first.MainWindow()));
    }
    for (const char* word : {"HIDE", "hide", "Hide", "HID", "HIDE HIDE", "HIDE "}) {
        RunningProgram program(word);
        ASSERT_TRUE(program.WaitForMainWindow() && Ready(program.MainWindow())) << word;
        EXPECT_EQ(strcmp(word, "HIDE") != 0, IsWindowVisible(program.MainWindow()) != 0)
            << "[" << word << "]";
    }
    SetGlobalDword("firsttime", 1);
    SetGlobalDword("splash", 1);
    LONG rect[4] = {40, 50, 940, 850};
    SetGlobalRaw("size", REG_BINARY, rect, sizeof rect);
    RunningProgram program("HIDE");
    ASSERT_TRUE(program.WaitForMainWindow() && Ready(program.MainWindow()));
    HWND main = program.MainWindow();
    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(program.Windows("").empty());  // the splash has gone
    RECT r;
    GetWindowRect(main, &r);
    EXPECT_EQ((std::vector<LONG>{40, 50, 620, 460}),
              (std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}));
    EXPECT_EQ(0u, GetGlobalDword("splash", 99));
    SaveWindowShot(main, "first-run");
}

TEST_F(Program, ChangedFilesReachEveryDiskTargetUnderItsStorageType)
{
    std::string sync = targets_ / "sync", backup = targets_ / "backup",
                append = targets_ / "append";
    std::string single = targets_ / "single", notes = work_ / "notes";
    for (const std::string& d : {sync, backup, append, single, notes})
        MakeDirs(d);
    ItemSpec folder;
    folder.disks = {{sync, STORAGE_SYNC}, {backup, STORAGE_BACKUP}, {append, STORAGE_APPEND}};
    SeedItem(src_ + "\\", folder);
    ASSERT_TRUE(WriteFileBytes(notes + "\\todo.txt", "old"));
    ItemSpec file;
    file.disks = {{single}};
    SeedItem(notes + "\\todo.txt", file);

    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(
        WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(sync + "\\probe.txt"); }));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\new.txt", "first version"));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\with space.txt", "spaced"));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\a\\b\\c\\deep.txt", "three levels down"));
    ASSERT_TRUE(
        WriteFileBytes(src_ + "\\draft.part", "renamed into place"));  // as many editors save
    ASSERT_TRUE(MoveFileA((src_ + "\\draft.part").c_str(), (src_ + "\\final.doc").c_str()));
    ASSERT_TRUE(WriteFileBytes(notes + "\\todo.txt", "new notes"));
    EXPECT_TRUE(Arrives(sync + "\\new.txt", "first version"));
    EXPECT_TRUE(Arrives(sync + "\\with space.txt", "spaced"));
    EXPECT_TRUE(Arrives(sync + "\\a\\b\\c\\deep.txt", "three levels down"));
    EXPECT_TRUE(Arrives(sync + "\\final.doc", "renamed into place"));
    EXPECT_TRUE(Arrives(single + "\\todo.txt", "new notes"));
    // Backup storage keeps a dated copy; append adds to what was there (here nothing).
    EXPECT_TRUE(Arrives(append + "\\new.txt", "first version"));
    std::vector<std::string> backups;
    for (const auto& e : std::filesystem::directory_iterator(backup))
        if (e.path().filename().string().compare(0, 4, "new ") == 0)
            backups.push_back(e.path().filename().string());
    EXPECT_TRUE(program.Close());
    ASSERT_EQ(1u, backups.size());
    EXPECT_EQ("first version", ReadFileBytes(backup + "\\" + backups[0]));
}

TEST_F(Program, UnderTheNineFamilyTheEnabledButtonStartsTheWatchAndIsRemembered)
{
    // Wine reports the 9x family to a program whose AppDefaults say so: changes arrive by window
    // message.
    const char* appKey = "Software\\Wine\\AppDefaults\\tandemkeep.exe";
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appKey, 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL));
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);
    DeleteGlobalValue("enabled");
    std::string target = targets_ / "t";
    MakeDirs(target);
    ItemSpec spec;
    spec.disks = {{target}};
    SeedItem(src_ + "\\", spec);
    {
        RunningProgram program;
        EXPECT_TRUE(program.WaitForMainWindow());
        PostMessageA(program.MainWindow(), WM_COMMAND, IDC_MAIN_ENABLED, 0);
        EXPECT_TRUE(
            WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(target + "\\probe.txt"); }));
        EXPECT_TRUE(GlobalValueExists("enabled"));
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, appKey);
}

TEST_F(Program, ATargetFolderThatGoesAndASourceHeldOpenGetTheirCopiesOnceWhenBack)
{
    // Beside the folder that goes: one that stays, and one whose copies cannot have a path
    // short enough, which waiting never mends.
    std::string stays = targets_ / "stays", goes = targets_ / "goes";
    std::string tooLong = targets_ / std::string(257 - targets_.path().size(), 'l');
    MakeDirs(stays);
    MakeDirs(goes);
    ItemSpec spec;
    spec.disks = {{stays}, {goes}, {tooLong}};
    SeedItem(src_ + "\\", spec);
    SwitchMissedChangesOn(1);
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(
        WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(goes + "\\probe.txt"); }));
    ASSERT_TRUE(MoveFileA(goes.c_str(), (goes + "-").c_str()));
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        WriteFileBytes(src_ + "\\" + name, name);
    HANDLE held =
        CreateFileA((src_ + "\\held.txt").c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD put = 0;
    WriteFile(held, "h", 1, &put, NULL);
    // a, b and c wait for the folder, held.txt for itself on each target.
    EXPECT_TRUE(program.StatusPartReads(1, "6 copies waiting to be retried"));
    // The retries fail as the first attempts did: nothing new to hear of.
    std::string errors = ReadFileBytes(install_ / "errorlog.txt");
    EXPECT_FALSE(
        PumpUntil([&] { return ReadFileBytes(install_ / "errorlog.txt") != errors; }, 2000));
    WriteFileBytes(stays + "\\a.txt", "stored");  // a copy retried to the others would replace it
    DeleteFileA((src_ + "\\c.txt").c_str());
    ASSERT_TRUE(MoveFileA((goes + "-").c_str(), goes.c_str()));
    CloseHandle(held);
    for (const char* name : {"a.txt", "b.txt", "held.txt"})
        EXPECT_TRUE(Arrives(goes + "\\" + name, name[0] == 'h' ? "h" : name));
    EXPECT_TRUE(Arrives(stays + "\\held.txt", "h"));
    EXPECT_TRUE(program.StatusPartReads(1, "")) << program.StatusPart(1);
    EXPECT_EQ("stored", ReadFileBytes(stays + "\\a.txt"));
    std::string log = ReadFileBytes(install_ / "backuplog.txt");
    EXPECT_TRUE(CountOf(log, "after waiting") == 4 &&
                CountOf(log, "c.txt no longer exists, its copy waiting") == 1)
        << log;
}

TEST_F(Program, CopiesOutliveAProgramEndedByForceAndAStartSendsExactlyWhatChangedWhileClosed)
{
    std::string target = targets_ / "t";
    MakeDirs(target);
    WriteFileBytes(src_ + "\\old.txt", "old");  // from before the first start that catches up
    ItemSpec spec;
    spec.disks = {{target}};
    SeedItem(src_ + "\\", spec);
    SwitchMissedChangesOn(0);  // only the list can bring these copies over the end
    {
        RunningProgram program;
        ASSERT_TRUE(program.WaitForMainWindow());
        ASSERT_TRUE(
            WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(target + "\\probe.txt"); }));
        ASSERT_TRUE(MoveFileA(target.c_str(), (target + "-").c_str()));
        WriteFileBytes(src_ + "\\a.txt", "a");
        WriteFileBytes(src_ + "\\b.txt", "b");
        ASSERT_TRUE(program.StatusPartReads(1, "2 copies waiting to be retried"));
        program.Kill();
    }
    ASSERT_TRUE(MoveFileA((target + "-").c_str(), target.c_str()));
    SwitchMissedChangesOn(1);
    {
        RunningProgram program("HIDE");  // as Windows starts it again after a crash
        ASSERT_TRUE(program.WaitForMainWindow());
        EXPECT_TRUE(Arrives(target + "\\a.txt", "a") && Arrives(target + "\\b.txt", "b"));
        ASSERT_TRUE(
            WaitForWatch(src_ + "\\same.txt", [&] { return FileExists(target + "\\same.txt"); }));
        WriteFileBytes(src_ + "\\edit.txt", "v1");
        ASSERT_TRUE(Arrives(target + "\\same.txt", "probe") &&
                    Arrives(target + "\\edit.txt", "v1"));
        EXPECT_TRUE(program.Close());
    }
    WriteFileBytes(target + "\\same.txt", "untouched");  // a copy of it now would show
    WriteFileBytes(src_ + "\\edit.txt", "v2");
    WriteFileBytes(src_ + "\\new.txt", "new");
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    EXPECT_TRUE(Arrives(target + "\\edit.txt", "v2") && Arrives(target + "\\new.txt", "new"));
    // Queued behind everything the start found.
    ASSERT_TRUE(
        WaitForWatch(src_ + "\\late.txt", [&] { return FileExists(target + "\\late.txt"); }));
    EXPECT_EQ("untouched", ReadFileBytes(target + "\\same.txt"));
    EXPECT_FALSE(FileExists(target + "\\old.txt"));  // the first start only took note of it
    EXPECT_TRUE(program.StatusPartReads(1, ""));
}

}  // namespace
