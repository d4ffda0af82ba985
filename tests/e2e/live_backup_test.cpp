// The real program, started with a prepared registry: changed files reach every disk target.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "store/store.h"
#include "tests/e2e/e2esupport.h"
#include "tests/support/program.h"
#include "tests/support/testenv.h"

#include <string>
#include <vector>

namespace {

struct DiskSpec {
    std::string folder;
    BYTE storage;
};

// Creates an item with disk targets and options through the item store.
void AddItem(const std::string& path, const std::vector<DiskSpec>& targets, BYTE includeSubs = 1)
{
    ASSERT_EQ(1, CreateItemKey(path.c_str()));
    for (const DiskSpec& t : targets) {
        ItemSettings* s = NewItemSettings(path.c_str());
        ASSERT_TRUE(s);
        s->switches->hdEnabled = 1;
        s->switches->hdCount = 1;
        lstrcpynA(s->hdTargets[0]->folder, t.folder.c_str(), TK_PATH_SIZE);
        s->hdTargets[0]->storageType = t.storage;
        ASSERT_EQ(1, SaveItemSettings(path.c_str(), s, SAVE_HD));
        FreeItemSettings(s);
    }
    ItemSettings* s = NewItemSettings(path.c_str());
    ASSERT_EQ(1, LoadItemSettings(path.c_str(), s));
    s->options->includeSubs = includeSubs;
    ASSERT_EQ(1, SaveItemSettings(path.c_str(), s, SAVE_OPTIONS));
    FreeItemSettings(s);
}

std::vector<std::string> ListFiles(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

bool FileHas(const std::string& path, const std::string& content)
{
    return ReadFileBytes(path) == content;
}

class LiveBackup : public ::testing::Test {
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
    void TearDown() override { DeleteProductKey(); }

    std::string Log() { return ReadFileBytes(install_ / "backuplog.txt"); }

    TempDir install_{"tkinst"};
    WorkDir work_;
    TempDir targets_{"tktgt"};
    std::string src_;
};

TEST_F(LiveBackup, ChangedFilesReachEveryDiskTargetUnderItsStorageType)
{
    std::string sync = targets_ / "sync", backup = targets_ / "backup", append = targets_ / "append";
    for (const std::string& d : {sync, backup, append})
        MakeDirs(d);
    AddItem(src_ + "\\", {{sync, STORAGE_SYNC}, {backup, STORAGE_BACKUP}, {append, STORAGE_APPEND}});
    std::string notesDir = work_ / "notes";
    MakeDirs(notesDir);
    ASSERT_TRUE(WriteFileBytes(notesDir + "\\todo.txt", "old"));
    std::string single = targets_ / "single";
    MakeDirs(single);
    AddItem(notesDir + "\\todo.txt", {{single, STORAGE_SYNC}});

    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(sync + "\\probe.txt"); }));

    ASSERT_TRUE(WriteFileBytes(src_ + "\\new.txt", "first version"));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\with space.txt", "spaced"));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\a\\b\\c\\deep.txt", "three levels down"));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\draft.part", "renamed into place"));
    ASSERT_TRUE(MoveFileA((src_ + "\\draft.part").c_str(), (src_ + "\\final.doc").c_str()));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\scratch.tmp", "temporary"));
    ASSERT_TRUE(WriteFileBytes(notesDir + "\\todo.txt", "new notes"));

    EXPECT_TRUE(WaitUntil([&] { return FileHas(sync + "\\new.txt", "first version"); }, 20000));
    EXPECT_TRUE(WaitUntil([&] { return FileHas(sync + "\\with space.txt", "spaced"); }, 20000));
    EXPECT_TRUE(WaitUntil([&] { return FileHas(sync + "\\a\\b\\c\\deep.txt", "three levels down"); }, 20000));
    EXPECT_TRUE(WaitUntil([&] { return FileHas(sync + "\\final.doc", "renamed into place"); }, 20000));
    EXPECT_TRUE(WaitUntil([&] { return FileHas(single + "\\todo.txt", "new notes"); }, 20000));

    // A later change overwrites the synchronised copy.
    ASSERT_TRUE(WriteFileBytes(src_ + "\\new.txt", "second version"));
    EXPECT_TRUE(WaitUntil([&] { return FileHas(sync + "\\new.txt", "second version"); }, 20000));
    EXPECT_TRUE(WaitUntil([&] {
        std::string log = Log();
        return log.find("Filtered out suspected temporary file " + src_ + "\\scratch.tmp") != std::string::npos;
    }, 20000));
    Sleep(1000);
    EXPECT_FALSE(FileExists(sync + "\\scratch.tmp"));

    // Backup storage keeps stamped copies next to each other; every copy is whole.
    std::vector<std::string> stamped = ListFiles(backup);
    bool sawSecond = false;
    for (const std::string& name : stamped) {
        if (name.compare(0, 4, "new ") == 0 && name.size() > 8 && name.substr(name.size() - 4) == ".txt") {
            std::string content = ReadFileBytes(backup + "\\" + name);
            EXPECT_TRUE(content == "first version" || content == "second version") << name;
            sawSecond = sawSecond || content == "second version";
        }
    }
    EXPECT_TRUE(sawSecond);
    EXPECT_TRUE(WaitUntil([&] { return FileExists(backup + "\\a\\b\\c\\deep.txt") ||
                                       !ListFiles(backup + "\\a\\b\\c").empty(); }, 5000));

    // Append storage adds every reported version at the end.
    std::string appended = ReadFileBytes(append + "\\new.txt");
    EXPECT_EQ(0u, appended.find("first version")) << appended;
    EXPECT_EQ(appended.size() - strlen("second version"), appended.rfind("second version")) << appended;

    // Restore records and the log.
    HKEY key = NULL;
    std::string records = std::string(TK_FILES_KEY) + "\\" + [&] {
        char name[TK_PATH_SIZE];
        OpenItemKey((src_ + "\\new.txt").c_str(), name, NULL);
        return std::string(name);
    }() + "\\HD";
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, records.c_str(), 0, KEY_READ, &key));
    std::string value = src_ + "\\new.txt*" + sync + "\\new.txt";
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, value.c_str(), NULL, NULL, NULL, NULL)) << value;
    RegCloseKey(key);
    EXPECT_NE(std::string::npos, Log().find("Received request to back up file " + src_ + "\\new.txt"));
    EXPECT_TRUE(program.Close());
}

TEST_F(LiveBackup, SubfoldersAreSkippedWhenTheItemSaysSo)
{
    std::string target = targets_ / "t";
    MakeDirs(target);
    MakeDirs(src_ + "\\sub");
    AddItem(src_ + "\\", {{target, STORAGE_SYNC}}, 0);
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(target + "\\probe.txt"); }));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\sub\\inner.txt", "inner"));
    ASSERT_TRUE(WriteFileBytes(src_ + "\\top.txt", "top"));
    EXPECT_TRUE(WaitUntil([&] { return FileHas(target + "\\top.txt", "top"); }, 20000));
    Sleep(1000);
    EXPECT_FALSE(FileExists(target + "\\sub\\inner.txt"));
    EXPECT_TRUE(program.Close());
}

TEST_F(LiveBackup, NothingIsCopiedWhileMonitoringIsOff)
{
    DeleteGlobalValue("enabled");
    std::string target = targets_ / "t";
    MakeDirs(target);
    AddItem(src_ + "\\", {{target, STORAGE_SYNC}});
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    Sleep(1500);
    ASSERT_TRUE(WriteFileBytes(src_ + "\\off.txt", "x"));
    Sleep(3000);
    EXPECT_FALSE(FileExists(target + "\\off.txt"));
    EXPECT_FALSE(GlobalValueExists("enabled"));

    // The Enabled button of the running program starts the watch and is remembered.
    PostMessageA(program.MainWindow(), WM_COMMAND, IDC_MAIN_ENABLED, 0);
    EXPECT_TRUE(WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(target + "\\probe.txt"); }));
    EXPECT_TRUE(GlobalValueExists("enabled"));
    EXPECT_TRUE(program.Close());
}

TEST_F(LiveBackup, WindowsNineFamilyPathThroughTheWindowMessage)
{
    // Wine reports the 9x family to a program whose AppDefaults say so.
    const char* appKey = "Software\\Wine\\AppDefaults\\tandemkeep.exe";
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, appKey, 0, NULL, 0, KEY_ALL_ACCESS,
                                             NULL, &key, NULL));
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);
    std::string target = targets_ / "t";
    MakeDirs(target);
    AddItem(src_ + "\\", {{target, STORAGE_SYNC}});
    {
        RunningProgram program;
        EXPECT_TRUE(program.WaitForMainWindow());
        EXPECT_TRUE(WaitForWatch(src_ + "\\probe.txt", [&] { return FileExists(target + "\\probe.txt"); }));
        EXPECT_TRUE(WriteFileBytes(src_ + "\\nine.txt", "nine"));
        EXPECT_TRUE(WaitUntil([&] { return FileHas(target + "\\nine.txt", "nine"); }, 20000));
        EXPECT_TRUE(program.Close());
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, appKey);
}

} // namespace
