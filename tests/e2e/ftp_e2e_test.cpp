// FTP end to end against vsftpd: live uploads by the real program, and a whole-folder
// synchronisation from the main window with a restore from an FTP record.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "app/appstate.h"
#include "app/mainwnd.h"
#include "log/errors.h"
#include "resources/resource.h"
#include "store/scoped.h"
#include "store/store.h"
#include "tests/support/ftpservers.h"
#include "tests/support/program.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "transfer/ftp/ftp.h"

#include <iostream>
#include <map>
#include <string>

namespace {

typedef std::map<std::string, std::string> Tree;

// Compares two files a mebibyte at a time (they may be larger than memory).
::testing::AssertionResult SameFile(const std::string& a, const std::string& b)
{
    FILE* fa = fopen(a.c_str(), "rb");
    FILE* fb = fopen(b.c_str(), "rb");
    std::string ba(1 << 20, '\0'), bb(1 << 20, '\0');
    unsigned long long at = 0;
    bool same = fa && fb;
    for (size_t got = 1; same && got > 0; at += got) {
        got = fread(&ba[0], 1, ba.size(), fa);
        same = fread(&bb[0], 1, bb.size(), fb) == got && ba.compare(0, got, bb, 0, got) == 0;
    }
    for (FILE* f : {fa, fb})
        if (f)
            fclose(f);
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a << " and " << b << " differ near byte " << at;
}

// Stops the test run's vsftpd ("stop-one") or starts it again on its port ("start-one"), with the
// script that runs the servers (Wine starts Unix programs too); true once the script is done.
bool SwitchVsftpd(const std::string& action)
{
    std::string done = ServerStatePath("switched"), state = getenv("TK_FTP_STATE");
    std::string command = "Z:\\bin\\sh -c \"PATH=/usr/bin:/bin " +
                          std::string(getenv("TK_FTP_SERVERS")) + " " + action + " " + state +
                          " vsftpd && touch " + state + "/switched\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    DeleteFileA(done.c_str());
    if (CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return PumpUntil([&] { return FileExists(done); }, 20000);
}

// A folder item in its own folder with a disk target and an anonymous FTP
// target on vsftpd (active, or passive on the vsftpd without PORT), whose
// remote folder is relative to its anonymous root.
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
        remote_ = "pub/" + work_.path().substr(3);  // the work folder's name, unique in this run
    }
    void TearDown() override
    {
        if (wnd_ && IsWindow(wnd_))
            SendMessageA(wnd_, WM_CLOSE, 0, 0);
        PumpMessages(50);
        RemoveTree(ServerFolder());
        DeleteProductKey();
    }
    void Seed(const std::string& diskFolder, BYTE passive = 0, BYTE safeUpload = 0)
    {
        ItemSpec spec;
        FtpSpec ftp;
        ftp.port = ServerPort(passive ? "vsftpd-pasv" : "vsftpd");
        ftp.passive = passive;
        ftp.safeUpload = safeUpload;
        ftp.folder = remote_;
        ftp.anonymous = 1;
        ftp.password = "";
        spec.ftps = {ftp};
        spec.disks = {{diskFolder}};
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

    TempDir install_{"tke2ei"};
    TempDir disk_{"tke2ed"};
    // Outside %TEMP%: the intake filters out every path that contains "TEMP" or "TMP".
    TempDir work_{"tkwork", "C:\\"};
    std::string item_, remote_;
    HWND wnd_ = NULL;
    MessageBoxRecorder boxes_;  // no message box may stop a test
};

TEST_F(FtpEndToEnd, SynchronizeCopiesTheTreeWithFourGibibytesToDiskAndServerAndItsRecordRestoresIt)
{
    Tree files = {{"a.txt", "alpha"},
                  {"empty.txt", ""},
                  {"x\\b.bin", RandomBytes(70000, 1)},
                  {"x\\y\\z\\c.bin", RandomBytes(3000, 2)},
                  {"x\\y\\d e.txt", "spaced name"}};
    for (const auto& f : files)
        Write(f.first, f.second);
    // Beside them a sparse file over 4 GiB: it costs nothing until its copies are written.
    const unsigned long long size = (4ull << 30) + 100;
    std::string big = work_ / "big.bin";
    HANDLE file = CreateFileA(big.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
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
    TempDir fast("tk-e2e", DirExists("Z:\\dev\\shm") ? "Z:\\dev\\shm\\" : NULL);
    std::string copies = fast / "disk";
    std::string restore = fast / "restore";
    MakeDirs(copies);
    MakeDirs(restore);
    Seed(copies, 0, 1);  // each file under a temporary name, then renamed
    SetGlobalText("restorefolder", restore.c_str());
    wnd_ = CreateMainWindow(
        SW_SHOWNORMAL);  // the real main window in this process, with its live worker
    ASSERT_TRUE(wnd_);
    PumpMessages(50);
    ListView_SetItemState(GetDlgItem(wnd_, IDC_MAIN_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(wnd_, WM_COMMAND, IDM_SYNCHRONIZE, 0);
    ASSERT_TRUE(
        PumpUntil([] { return FindWindowA(NULL, "Folder Transfer Complete") != NULL; }, 120000))
        << Logs();
    HWND done = FindWindowA(NULL, "Folder Transfer Complete");
    SaveWindowShot(done, "e2e-folder-complete");
    EXPECT_EQ(100, SendDlgItemMessageA(done, IDC_PROGRESS_FTP_BAR, PBM_GETPOS, 0, 0));
    EXPECT_EQ(100, SendDlgItemMessageA(done, IDC_PROGRESS_DISK_BAR, PBM_GETPOS, 0, 0));
    EXPECT_TRUE(SameFile(big, copies + "\\big.bin"));
    DeleteFileA((copies + "\\big.bin").c_str());
    EXPECT_EQ(files, ReadTree(copies));
    EXPECT_EQ(files.size() + 1, RestoreRecords(item_, KIND_HD).size());
    EXPECT_TRUE(boxes_.boxes().empty());

    // The original is lost; the Restore dialog hands its FTP record to the FTP client.
    std::pair<std::string, std::string> record;
    auto records = RestoreRecords(item_, KIND_FTP);
    EXPECT_EQ(files.size() + 1, records.size());
    for (const auto& r : records)
        if (r.first.find(big + "*") == 0)
            record = r;
    ASSERT_FALSE(record.first.empty());
    std::string kept = work_ / "kept.bin";
    ASSERT_TRUE(MoveFileA(big.c_str(), kept.c_str()));
    std::string stored = record.first.substr(big.size() + 1);  // the remote path
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(item_.c_str(), stored.c_str(), record.second.c_str()));
    EXPECT_TRUE(PumpUntil([] { return !HasBatches(g_app.live.batches); }, 120000));
    EXPECT_TRUE(SameFile(kept, ServerFolder() + "\\big.bin"));
    DeleteFileA((ServerFolder() + "\\big.bin").c_str());
    EXPECT_EQ(files, ReadTree(ServerFolder()));
    EXPECT_TRUE(SameFile(kept, restore + "\\big.bin"));
    EXPECT_FALSE(FileExists(big));  // a restore never writes over the original place
    EXPECT_EQ("", ErrorLog()) << Logs();
}

TEST_F(FtpEndToEnd, AServerStoppedWhileFilesChangeGetsTheNewestOfEachWhenItIsBack)
{
    Seed(disk_.path());
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    const BYTE on = 1;
    SetGlobalRaw("retryfailed", REG_BINARY, &on, 1);
    SetEnvironmentVariableA("TK_RETRY_FIRST_MS", "200");  // the program inherits it
    RunningProgram program;
    SetEnvironmentVariableA("TK_RETRY_FIRST_MS", NULL);
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(WaitForWatch(work_ / "probe.txt",
                             [&] { return FileExists(ServerFolder() + "\\probe.txt"); }));
    ASSERT_TRUE(SwitchVsftpd("stop-one"));
    Tree files = {{"probe.txt", "probe"}};
    for (int i = 0; i < 20; ++i)
        files["f" + std::to_string(i) + ".txt"] = RandomBytes(1000 + i, i);
    for (const auto& f : files)
        Write(f.first, f.second);
    bool waiting = program.StatusPartReads(1, "21 copies waiting to be retried");
    files["f3.txt"] = "the newest";  // fails as its waiting copy did: nothing new to hear of
    std::string errors = (Write("f3.txt", files["f3.txt"]), ErrorLog());
    bool quiet = !PumpUntil([&] { return ErrorLog() != errors; }, 2000);
    ASSERT_TRUE(SwitchVsftpd("start-one"));
    EXPECT_TRUE(waiting && quiet) << program.StatusPart(1) << Logs();
    DWORD back = GetTickCount();
    EXPECT_TRUE(PumpUntil([&] { return ReadTree(ServerFolder()) == files; }, 60000)) << Logs();
    std::cout << "21 waiting copies stored " << GetTickCount() - back
              << " ms after the server answered again\n";
    EXPECT_TRUE(program.StatusPartReads(1, "") && ReadTree(disk_.path()) == files);
}

TEST_F(FtpEndToEnd, AnFtpsTargetBesideAPlainOneGetsEveryChangeOnceItsCertificateIsTrusted)
{
    Seed(disk_.path());  // plain FTP in active mode, beside an encrypted target in active mode
    FtpSpec secure;
    secure.port = ServerPort("vsftpd-tls");
    secure.folder = remote_ + "s";
    secure.anonymous = 1;
    secure.tls = 1;
    secure.safeUpload = 1;  // the renames go encrypted too
    DWORD id = SeedItem(item_, ItemSpec{{}, {secure}}).ftps.at(0);
    std::string secured = ServerFolder() + "s";
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    RunningProgram program;
    ASSERT_TRUE(program.WaitForMainWindow());
    ASSERT_TRUE(WaitForWatch(work_ / "probe.txt",
                             [&] { return FileExists(ServerFolder() + "\\probe.txt"); }));
    // Its certificate is self-signed: refused, and the error log shows which one it is.
    RefusedCertificate refused;
    ASSERT_TRUE(
        PumpUntil([&] { return ReadRefusedCertificate(item_.c_str(), id, &refused); }, 20000));
    EXPECT_NE(std::string::npos, ErrorLog().find(refused.fingerprint)) << ErrorLog();
    EXPECT_FALSE(FileExists(secured + "\\probe.txt"));
    {  // trusted, as the target's "Trust It" does it
        ScopedItemSettings s(item_.c_str());
        FtpTarget* t = FindFtpTargetById(s.get(), id);
        ASSERT_TRUE(t);
        lstrcpynA(t->fingerprint, refused.fingerprint, TK_FINGERPRINT_TEXT_SIZE);
        ASSERT_EQ(STORE_OK, SaveItemSettings(item_.c_str(), s.get(), SAVE_FTP));
    }
    Tree files = {{"a.txt", "after the trust"}, {"sub\\b.bin", RandomBytes(300000, 9)}};
    for (int i = 0; i < 25; ++i)  // a burst joins the batches under way
        files["burst\\f" + std::to_string(i) + ".txt"] = std::string(i * 97, char('a' + i));
    for (const auto& f : files)
        Write(f.first, f.second);
    EXPECT_TRUE(PumpUntil([&] { return ReadTree(secured) == files; }, 30000)) << Logs();
    files["probe.txt"] = ReadFileBytes(work_ / "probe.txt");
    EXPECT_TRUE(PumpUntil([&] { return ReadTree(ServerFolder()) == files; }, 30000)) << Logs();
    EXPECT_TRUE(PumpUntil(  // one record a copy; the probe never went to the refusing target
        [&] { return RestoreRecords(item_, KIND_FTP).size() == 2 * files.size() - 1; }, 10000));
    EXPECT_TRUE(program.Close());
    RemoveTree(secured);
}

}  // namespace
