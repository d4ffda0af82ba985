// FTP end to end against vsftpd: live uploads by the real program, a whole-folder
// synchronisation from the main window, and a restore from an FTP record.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "app/appstate.h"
#include "app/mainwnd.h"
#include "common/messages.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/e2e/e2esupport.h"
#include "tests/support/ftpservers.h"
#include "tests/support/program.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/ftp.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<std::string, std::string>> Records;

// Restore records of one kind ("FTP" or "HD") of an item: value name -> data.
Records ReadRecords(const std::string& item, const char* kind)
{
    Records out;
    HKEY key = NULL, sub = NULL;
    if (!OpenItemKey(item.c_str(), NULL, &key))
        return out;
    if (RegOpenKeyExA(key, kind, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            char name[1024], data[1024];
            DWORD nameLen = sizeof name, dataLen = sizeof data - 1, type = 0;
            if (RegEnumValueA(sub, i, name, &nameLen, NULL, &type, reinterpret_cast<BYTE*>(data),
                              &dataLen) != ERROR_SUCCESS)
                break;
            data[dataLen] = '\0';
            out.emplace_back(name, data);
        }
        RegCloseKey(sub);
    }
    RegCloseKey(key);
    return out;
}

// A folder item in its own folder, with its remote folder on vsftpd; the
// remote folder is relative to vsftpd's anonymous root.
class FtpEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        port_ = ServerPort("vsftpd");
        ASSERT_NE(0, port_) << "FTP test servers are not running";
        ResetProductKey();
        UseInstallDir(install_);
        SetGlobalDword("showerrors", 0);
        SetGlobalDword("tip", 0xFFFF);
        item_ = work_.path() + "\\";
        ASSERT_EQ(1, CreateItemKey(item_.c_str()));
        static unsigned counter = 0;
        remote_ = "pub/e2e-" + std::to_string(GetCurrentProcessId()) + "-" +
                  std::to_string(++counter);
    }
    void TearDown() override
    {
        RemoveTree(ServerFolder());
        DeleteProductKey();
    }

    std::string ServerFolder() { return ServerStatePath("vsroot/" + remote_); }
    std::string Write(const std::string& relative, const std::string& bytes)
    {
        std::string path = work_ / relative;
        MakeDirs(path.substr(0, path.rfind('\\')));
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    std::string BackupLog() { return ReadFileBytes(install_ / "backuplog.txt"); }
    std::string ErrorLog() { return ReadFileBytes(install_ / "errorlog.txt"); }

    TempDir install_{"tke2ei"};
    TempDir disk_{"tke2ed"};
    WorkDir work_;
    std::string item_;
    std::string remote_;
    int port_ = 0;
};

TEST_F(FtpEndToEnd, LiveChangesReachServerAndDiskWithRestoreRecords)
{
    MakeDirs(work_ / "sub");  // exists before the watch begins
    ASSERT_TRUE(AddDiskTarget(item_, disk_.path()));
    ASSERT_TRUE(AddFtpTarget(item_, port_, remote_));
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(WaitForWatch(work_ / "probe.txt",
                             [&] { return FileExists(ServerFolder() + "\\probe.txt"); }));

    std::map<std::string, std::string> files = {
        {"probe.txt", "probe"},
        {"plain.txt", "plain text\r\n"},
        {"sub\\deep.bin", RandomBytes(200000, 5)},
        {"with space.dat", RandomBytes(1025, 6)},  // one byte past a block
    };
    // A burst of changes joins batches that are already under way.
    for (int i = 0; i < 25; ++i)
        files["burst\\f" + std::to_string(i) + ".txt"] = std::string(static_cast<size_t>(i) * 97, 'a' + i);
    for (const auto& f : files)
        Write(f.first, f.second);
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(ServerFolder()) == files; }, 60000))
        << ReadTree(ServerFolder()).size() << " files on the server\n" << BackupLog() << ErrorLog();
    EXPECT_TRUE(WaitUntil([&] { return ReadRecords(item_, "FTP").size() == files.size(); }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(disk_.path()) == files; }, 10000));

    // A later, shorter version replaces the server's copy whole.
    files["sub\\deep.bin"] = "shorter";
    Write("sub\\deep.bin", "shorter");
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(ServerFolder()) == files; }, 30000));
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(disk_.path()) == files; }, 10000));
    EXPECT_TRUE(program.Close());

    Records records = ReadRecords(item_, "FTP");
    ASSERT_EQ(files.size(), records.size());
    std::string location = "@127.0.0.1:" + std::to_string(port_);
    for (const auto& r : records) {
        size_t star = r.first.find('*');
        ASSERT_NE(std::string::npos, star) << r.first;
        std::string local = r.first.substr(0, star);
        EXPECT_EQ(1u, files.count(local.substr(item_.size()))) << r.first;
        EXPECT_NE(std::string::npos, r.first.find(remote_, star)) << r.first;
        EXPECT_EQ(r.second.size() - location.size(), r.second.rfind(location)) << r.second;
        EXPECT_EQ(std::string::npos, r.second.find("secret"));
        // An empty file has no block whose sending is logged.
        if (!files[local.substr(item_.size())].empty()) {
            EXPECT_NE(std::string::npos,
                      BackupLog().find("File " + local + " transferred successfully"))
                << local;
        }
    }
    EXPECT_EQ("", ErrorLog());
}

// The real main window in this process, with its live worker; monitoring stays off.
class FolderEndToEnd : public FtpEndToEnd {
protected:
    void TearDown() override
    {
        if (wnd_ && IsWindow(wnd_))
            SendMessageA(wnd_, WM_CLOSE, 0, 0);
        PumpMessages(50);
        // A transfer still running after a failure keeps the window open.
        if (wnd_ && IsWindow(wnd_))
            DestroyWindow(wnd_);
        FtpEndToEnd::TearDown();
    }
    HWND Open()
    {
        wnd_ = CreateMainWindow(SW_SHOWNORMAL);
        if (wnd_) {
            PostMessageA(wnd_, UM_RELOADITEMS, 0, 0);
            PumpMessages(50);
        }
        return wnd_;
    }
    void SelectOnlyRow(int row)
    {
        HWND list = GetDlgItem(wnd_, IDC_MAIN_LIST);
        ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
        ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    }
    // Synchronize on the item's row; true once its progress window says it is done.
    bool Synchronize(int timeoutMs)
    {
        SelectOnlyRow(0);
        SendMessageA(wnd_, WM_COMMAND, IDM_SYNCHRONIZE, 0);
        return PumpUntil([] { return FindWindowA(NULL, "Folder Transfer Complete") != NULL; },
                         timeoutMs);
    }

    MessageBoxRecorder boxes_;  // no message box may stop a test
    HWND wnd_ = NULL;
};

TEST_F(FolderEndToEnd, SynchronizeCopiesTheWholeTreeToDiskAndServer)
{
    std::map<std::string, std::string> files = {
        {"a.txt", "alpha"},
        {"empty.txt", ""},
        {"x\\b.bin", RandomBytes(70000, 1)},  // more than one disk block
        {"x\\y\\z\\c.bin", RandomBytes(3000, 2)},
        {"x\\y\\d e.txt", "spaced name"},
    };
    for (const auto& f : files)
        Write(f.first, f.second);
    ASSERT_TRUE(AddDiskTarget(item_, disk_.path()));
    ASSERT_TRUE(AddFtpTarget(item_, port_, remote_));
    ASSERT_TRUE(Open());
    ASSERT_EQ(1, ListView_GetItemCount(GetDlgItem(wnd_, IDC_MAIN_LIST)));

    ASSERT_TRUE(Synchronize(60000)) << BackupLog() << ErrorLog();
    SaveWindowShot(FindWindowA(NULL, "Folder Transfer Complete"), "e2e-folder-complete");
    EXPECT_EQ(files, ReadTree(disk_.path()));
    EXPECT_EQ(files, ReadTree(ServerFolder()));
    EXPECT_EQ(files.size(), ReadRecords(item_, "FTP").size());
    EXPECT_EQ(files.size(), ReadRecords(item_, "HD").size());
    EXPECT_EQ("", ErrorLog());
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(FolderEndToEnd, SynchronizeLeavesSubfoldersOutWhenTheItemSaysSo)
{
    Write("top.txt", "top");
    Write("sub\\inner.txt", "inner");
    ASSERT_TRUE(AddDiskTarget(item_, disk_.path()));
    ASSERT_TRUE(AddFtpTarget(item_, port_, remote_));
    ItemSettings* s = NewItemSettings(item_.c_str());
    ASSERT_EQ(1, LoadItemSettings(item_.c_str(), s));
    s->options->includeSubs = 0;
    EXPECT_EQ(1, SaveItemSettings(item_.c_str(), s, SAVE_OPTIONS));
    FreeItemSettings(s);
    ASSERT_TRUE(Open());

    ASSERT_TRUE(Synchronize(30000)) << BackupLog() << ErrorLog();
    std::map<std::string, std::string> top = {{"top.txt", "top"}};
    EXPECT_EQ(top, ReadTree(disk_.path()));
    EXPECT_EQ(top, ReadTree(ServerFolder()));
}

TEST_F(FolderEndToEnd, AFileComesBackFromItsFtpRecordIntoTheRestoreFolder)
{
    std::string data = RandomBytes(150000, 3);
    std::string source = Write("keep\\report.bin", data);
    ASSERT_TRUE(AddFtpTarget(item_, port_, remote_));
    TempDir restore("tke2er");
    SetGlobalText("restorefolder", restore.path().c_str());
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Synchronize(30000)) << BackupLog() << ErrorLog();
    Records records = ReadRecords(item_, "FTP");
    ASSERT_EQ(1u, records.size());
    ASSERT_EQ(0u, records[0].first.find(source + "*"));
    std::string stored = records[0].first.substr(source.size() + 1);

    // The original is lost; the Restore dialog hands the record to the FTP client.
    ASSERT_TRUE(DeleteFileA(source.c_str()));
    ASSERT_EQ(1, StartFtpDownload(item_.c_str(), stored.c_str(),
                                  records[0].second.c_str()));
    EXPECT_TRUE(PumpUntil([&] { return ReadFileBytes(restore / "report.bin") == data; }, 30000))
        << ReadFileBytes(restore / "report.bin").size() << " bytes\n" << ErrorLog();
    EXPECT_TRUE(PumpUntil([] {
        LockBatches(g_app.live.batches);
        bool idle = g_app.live.batches->first == NULL;
        UnlockBatches(g_app.live.batches);
        return idle;
    }, 10000));
    EXPECT_FALSE(FileExists(source));  // a restore never writes over the original place
    EXPECT_EQ("", ErrorLog());
}

}  // namespace
