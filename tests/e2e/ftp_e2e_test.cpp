// FTP end to end against vsftpd: live uploads by the real program, a whole-folder
// synchronisation from the main window, and a restore from an FTP record.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "app/appstate.h"
#include "app/mainwnd.h"
#include "common/messages.h"
#include "log/errors.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/ftpservers.h"
#include "tests/support/program.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/ftp.h"

#include <map>
#include <string>

namespace {

typedef std::map<std::string, std::string> Tree;

// Compares two files a mebibyte at a time (they may be larger than memory).
::testing::AssertionResult SameFile(const std::string& a, const std::string& b)
{
    HANDLE fa = CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE fb = CreateFileA(b.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    std::string ba(1 << 20, '\0'), bb(1 << 20, '\0');
    unsigned long long at = 0;
    bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
    for (DWORD ga = 1, gb = 1; same && ga > 0; at += ga) {
        same = ReadFile(fa, &ba[0], 1 << 20, &ga, NULL) && ReadFile(fb, &bb[0], 1 << 20, &gb, NULL) &&
               ga == gb && memcmp(ba.data(), bb.data(), ga) == 0;
    }
    CloseHandle(fa);
    CloseHandle(fb);
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " and " << b << " differ near byte " << at;
}

// A folder item in its own folder with a disk target and an anonymous FTP
// target on vsftpd, whose remote folder is relative to its anonymous root.
class FtpEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(0, ServerPort("vsftpd")) << "FTP test servers are not running";
        ResetProductKey();
        UseInstallDir(install_);
        SetGlobalDword("showerrors", 0);
        SetGlobalDword("tip", 0xFFFF);
        item_ = work_.path() + "\\";
        static unsigned counter = 0;
        remote_ = "pub/e2e-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
    }
    void TearDown() override
    {
        if (wnd_ && IsWindow(wnd_))
            SendMessageA(wnd_, WM_CLOSE, 0, 0);
        PumpMessages(50);
        RemoveTree(ServerFolder());
        DeleteProductKey();
    }
    void Seed(bool disk, BYTE includeSubs = 1)
    {
        ItemSpec spec;
        FtpSpec ftp;
        ftp.port = ServerPort("vsftpd");
        ftp.folder = remote_;
        ftp.anonymous = 1;
        ftp.password = "";
        spec.ftps = {ftp};
        if (disk)
            spec.disks = {{disk_.path()}};
        spec.includeSubs = includeSubs;
        SeedItem(item_, spec);
    }
    std::string ServerFolder() { return ServerStatePath("vsroot/" + remote_); }
    std::string Write(const std::string& relative, const std::string& bytes)
    {
        std::string path = work_ / relative;
        MakeDirs(path.substr(0, path.rfind('\\')));
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    std::string Logs() { return ReadFileBytes(install_ / "backuplog.txt") + ErrorLog(); }
    std::string ErrorLog() { return ReadFileBytes(install_ / "errorlog.txt"); }
    // The real main window in this process, with its live worker.
    bool Open()
    {
        wnd_ = CreateMainWindow(SW_SHOWNORMAL);
        PumpMessages(50);
        return wnd_ != NULL;
    }
    // Synchronize on the item's row; true once its progress window says it is done.
    bool Synchronize(int timeoutMs)
    {
        HWND list = GetDlgItem(wnd_, IDC_MAIN_LIST);
        ListView_SetItemState(list, 0, LVIS_SELECTED, LVIS_SELECTED);
        SendMessageA(wnd_, WM_COMMAND, IDM_SYNCHRONIZE, 0);
        return PumpUntil([] { return FindWindowA(NULL, "Folder Transfer Complete") != NULL; }, timeoutMs);
    }

    TempDir install_{"tke2ei"};
    TempDir disk_{"tke2ed"};
    WorkDir work_;
    std::string item_, remote_;
    HWND wnd_ = NULL;
    MessageBoxRecorder boxes_;  // no message box may stop a test
};

TEST_F(FtpEndToEnd, LiveChangesReachServerAndDiskWithRestoreRecords)
{
    MakeDirs(work_ / "sub");  // exists before the watch begins
    Seed(true);
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(WaitForWatch(work_ / "probe.txt", [&] { return FileExists(ServerFolder() + "\\probe.txt"); }));
    Tree files = {{"probe.txt", "probe"}, {"plain.txt", "plain text\r\n"},
                  {"sub\\deep.bin", RandomBytes(200000, 5)}, {"with space.dat", RandomBytes(1025, 6)}};
    // A burst of changes joins batches that are already under way.
    for (int i = 0; i < 25; ++i)
        files["burst\\f" + std::to_string(i) + ".txt"] = std::string(static_cast<size_t>(i) * 97, 'a' + i);
    for (const auto& f : files)
        Write(f.first, f.second);
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(ServerFolder()) == files; }, 60000)) << Logs();
    EXPECT_TRUE(WaitUntil([&] { return RestoreRecords(item_, KIND_FTP).size() == files.size(); }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(disk_.path()) == files; }, 10000));
    // A later, shorter version replaces the server's copy whole.
    files["sub\\deep.bin"] = "shorter";
    Write("sub\\deep.bin", "shorter");
    EXPECT_TRUE(WaitUntil([&] { return ReadTree(ServerFolder()) == files; }, 30000));
    EXPECT_TRUE(program.Close());
    std::string location = "tk:<password>@127.0.0.1:" + std::to_string(ServerPort("vsftpd"));
    for (const auto& r : RestoreRecords(item_, KIND_FTP)) {
        size_t star = r.first.find('*');
        ASSERT_NE(std::string::npos, star) << r.first;
        EXPECT_EQ(1u, files.count(r.first.substr(item_.size(), star - item_.size()))) << r.first;
        EXPECT_EQ(location, r.second);
    }
    EXPECT_EQ("", ErrorLog());
}

TEST_F(FtpEndToEnd, SynchronizeCopiesTheTreeToDiskAndServerAndSubfoldersOnlyWhenAsked)
{
    Tree files = {{"a.txt", "alpha"}, {"empty.txt", ""}, {"x\\b.bin", RandomBytes(70000, 1)},
                  {"x\\y\\z\\c.bin", RandomBytes(3000, 2)}, {"x\\y\\d e.txt", "spaced name"}};
    for (const auto& f : files)
        Write(f.first, f.second);
    Seed(true);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Synchronize(60000)) << Logs();
    SaveWindowShot(FindWindowA(NULL, "Folder Transfer Complete"), "e2e-folder-complete");
    EXPECT_EQ(files, ReadTree(disk_.path()));
    EXPECT_EQ(files, ReadTree(ServerFolder()));
    EXPECT_EQ(files.size(), RestoreRecords(item_, KIND_FTP).size());
    EXPECT_EQ(files.size(), RestoreRecords(item_, KIND_HD).size());
    EXPECT_EQ("", ErrorLog());
    EXPECT_TRUE(boxes_.boxes().empty());

    SendMessageA(wnd_, WM_CLOSE, 0, 0);
    RemoveTree(ServerFolder());
    DeleteProductKey();
    ResetProductKey();
    UseInstallDir(install_);
    Seed(false, 0);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Synchronize(30000)) << Logs();
    Tree top = {{"a.txt", "alpha"}, {"empty.txt", ""}};
    EXPECT_EQ(top, ReadTree(ServerFolder()));
}

TEST_F(FtpEndToEnd, AFileOfFourGibibytesIsStoredUploadedAndRestoredWhole)
{
    // Sparse: the file costs nothing until its copies are written.
    const unsigned long long size = (4ull << 30) + 100;
    std::string source = work_ / "big.bin";
    HANDLE file = CreateFileA(source.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    for (unsigned long long at : {0ull, (2ull << 30) - 3, (4ull << 30) - 5, size - 100}) {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(at);
        DWORD put = 0;
        std::string bytes = RandomBytes(100, static_cast<unsigned>(at));
        SetFilePointerEx(file, to, NULL, FILE_BEGIN);
        WriteFile(file, bytes.data(), 100, &put, NULL);
    }
    CloseHandle(file);
    // The copies land in memory where the machine has a memory file system:
    // the test then waits for the program, not for the disk.
    std::string fast = DirExists("Z:\\dev\\shm") ? "Z:\\dev\\shm\\tk-e2e-" + std::to_string(GetCurrentProcessId())
                                                  : work_ / "copies";
    std::string copies = fast + "\\disk", restore = fast + "\\restore";
    MakeDirs(copies);
    MakeDirs(restore);
    ItemSpec spec;
    FtpSpec ftp;
    ftp.port = ServerPort("vsftpd");
    ftp.folder = remote_;
    ftp.anonymous = 1;
    spec.ftps = {ftp};
    spec.disks = {{copies}};
    SeedItem(item_, spec);
    SetGlobalText("restorefolder", restore.c_str());
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Synchronize(120000)) << Logs();
    HWND done = FindWindowA(NULL, "Folder Transfer Complete");
    EXPECT_EQ(100, SendDlgItemMessageA(done, IDC_PROGRESS_FTP_BAR, PBM_GETPOS, 0, 0));
    EXPECT_EQ(100, SendDlgItemMessageA(done, IDC_PROGRESS_DISK_BAR, PBM_GETPOS, 0, 0));
    EXPECT_TRUE(SameFile(source, copies + "\\big.bin"));
    DeleteFileA((copies + "\\big.bin").c_str());
    EXPECT_TRUE(SameFile(source, ServerFolder() + "\\big.bin"));
    // The Restore dialog hands the record to the FTP client.
    auto records = RestoreRecords(item_, KIND_FTP);
    ASSERT_EQ(1u, records.size());
    std::string stored = records[0].first.substr(source.size() + 1);
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(item_.c_str(), stored.c_str(), records[0].second.c_str()));
    EXPECT_TRUE(PumpUntil([] { return !HasBatches(g_app.live.batches); }, 120000));
    RemoveTree(ServerFolder());
    EXPECT_TRUE(SameFile(source, restore + "\\big.bin"));
    RemoveTree(fast);
    EXPECT_EQ("", ErrorLog());
}

}  // namespace
