// Whole-folder transfers and their progress windows, on real files, items and windows.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/recorder.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <algorithm>
#include <commctrl.h>
#include <set>

namespace {

typedef std::vector<std::pair<WPARAM, HWND>> Stops;
int Pos(HWND w, int id) { return (int)SendDlgItemMessageA(w, id, PBM_GETPOS, 0, 0); }
int High(HWND w, int id) { return (int)SendDlgItemMessageA(w, id, PBM_GETRANGE, FALSE, 0); }
bool On(HWND w, int id) { return IsWindowEnabled(GetDlgItem(w, id)) != FALSE; }
void Send(HWND w, UINT msg, WPARAM wp = 0, const char* text = NULL) { SendMessageA(w, msg, wp, (LPARAM)text); }
bool Complete(HWND w, int ms = 2000) { return PumpUntil([&] { return WindowText(w) == "Folder Transfer Complete"; }, ms); }

FtpSpec Ftp(int port, const char* address = "127.0.0.1")
{
    FtpSpec f;
    f.port = port, f.address = address;
    return f;
}
// An item with these targets (an empty disk folder stands for the test's target folder).
ItemSpec Spec(std::vector<std::string> disks, std::vector<FtpSpec> ftps, BYTE ftpOn = 1, BYTE deleteStored = 0)
{
    ItemSpec spec;
    for (const std::string& d : disks)
        spec.disks.push_back(DiskSpec{d, 1});
    spec.ftps = ftps, spec.ftpOn = ftpOn, spec.deleteStored = deleteStored;
    return spec;
}

class Folder : public ::testing::Test {
protected:
    void SetUp() override { ResetProductKey(), WSAStartup(MAKEWORD(1, 1), &wsa); }
    void TearDown() override
    {
        for (HWND w : windows)
            if (IsWindow(w))
                Send(w, UM_TRANSFERSTOPPED);
        EXPECT_EQ(0, OpenProgressWindowCount());
        SetEvent(shutdown), PumpMessages(100), DeleteProductKey();  // workers still running see the event
    }
    HWND Open(ItemSpec spec = Spec({""}, {Ftp(1)}))
    {
        for (DiskSpec& d : spec.disks)
            d.folder = d.folder.empty() ? dst.path() : d.folder;
        SeedItem(folder, spec);
        return windows.push_back(CreateProgressWindow(main.window(), folder.c_str())), windows.back();
    }
    int Start(HWND w) { FolderTransfer b = {folder.c_str(), main.window(), w, 1, batches, shutdown, NULL}; return StartFolderTransfer(&b); }
    Stops StopRequests()
    {
        Stops out;
        for (const Recorded& r : main.Seen(UM_STOPTRANSFER))
            out.push_back({r.wParam, (HWND)r.lParam});
        return out;
    }
    void MakeTree(const TempDir& root)
    {
        MakeDirs(root / "sub"), MakeDirs(root / ".git");
        for (const char* name : {"a", "b", "c", "sub\\d", "sub\\e", ".git\\x", ".profile"})
            WriteFileBytes(root / name, name);
    }
    WSADATA wsa;
    TempDir src{"tksrc"}, dst{"tkdst"};
    std::string folder = src.path() + "\\";
    Recorder main{[](HWND main, UINT msg, WPARAM half, LPARAM w, LRESULT*) {  // the main window's answer
        if (msg == UM_STOPTRANSFER)
            half == 1 ? StopFtpHalf((HWND)w) : StopDiskHalf(main, (HWND)w);
        return false;
    }};
    std::vector<HWND> windows;
    BatchList* batches = NewBatchList();
    HANDLE shutdown = CreateEventA(NULL, TRUE, FALSE, NULL);
};

TEST_F(Folder, TheWindowShowsBothHalvesUntilBothAreDone)
{
    HWND w = Open();
    EXPECT_TRUE(WindowText(w) == "Folder Transfer - " + folder && On(w, IDC_PROGRESS_FTP_GROUP));
    Send(w, UM_DISKSETTOTAL, 70000), Send(w, UM_FTPSETTOTAL, 1);  // past 16 bits: the full total
    Send(w, UM_DISKFILESTART, 0, "C:\\a"), Send(w, UM_FTPFILESTART, 0, "C:\\b"), Send(w, UM_FTPFILESTART);
    PostMessageA(w, UM_DISKPERCENT, 40, 0), PostMessageA(w, UM_FTPPERCENT, 70, 0);
    Send(w, UM_FTPFILEDONE), Send(w, UM_SETCAPTION, 0, "Transferring x"), Send(w, UM_SETCAPTION);
    EXPECT_FALSE(Complete(w, 50) || On(w, IDC_PROGRESS_FTP_STOP));
    EXPECT_EQ(70000, High(w, IDC_PROGRESS_DISK_TOTAL));
    EXPECT_EQ("C:\\a C:\\b Transferring x", DlgItemText(w, IDC_PROGRESS_DISK_FILE) + " " +
                                               DlgItemText(w, IDC_PROGRESS_FTP_FILE) + " " + WindowText(w));
    EXPECT_EQ(40 + 70, Pos(w, IDC_PROGRESS_DISK_BAR) + Pos(w, IDC_PROGRESS_FTP_BAR));
    SaveWindowShot(w, "folder_progress_running");
    Send(w, UM_DISKSETTOTAL, 2);
    for (int i = 0; i < 3; ++i)  // one more than the total
        Send(w, UM_DISKFILEDONE);
    EXPECT_TRUE(Pos(w, IDC_PROGRESS_DISK_TOTAL) == 2 && Complete(w) && !On(w, IDC_PROGRESS_DISK_STOP));
    EXPECT_EQ(WPARAM(TRAY_IDLE), main.Seen(UM_TRAYSTATE).at(0).wParam);
    MessageBoxRecorder boxes;
    Send(w, WM_CLOSE);  // complete: closing asks nothing and stops nothing
    EXPECT_TRUE(!IsWindow(w) && boxes.boxes().empty() && StopRequests().empty());
}

TEST_F(Folder, StopButtonsClosingAndCascade)
{
    RECT owner, r;
    GetWindowRect(main.window(), &owner);
    auto at = [&](HWND w, int c) { return GetWindowRect(w, &r) && r.left == owner.left + 30 + 20 * c && r.top == owner.top + 50 + 20 * c; };
    HWND v = Open(Spec({""}, {}, 0));  // FTP off: greyed and stopped from the start
    EXPECT_TRUE(On(v, IDC_PROGRESS_DISK_FILE) && !On(v, IDC_PROGRESS_FTP_FILE) && !On(v, IDC_PROGRESS_FTP_STOP));
    Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP), Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP);  // the second asks nothing
    EXPECT_FALSE(On(v, IDC_PROGRESS_DISK_TOTALLABEL) || On(v, IDC_PROGRESS_DISK_STOP));
    EXPECT_EQ("Hard Drive/Network Transfer Stopped", main.Texts(UM_STATUSTEXT).at(0));
    HWND w = Open(), u = Open();
    EXPECT_TRUE(at(v, 1) && at(w, 2) && at(u, 3) && OpenProgressWindowCount() == 3);
    MessageBoxRecorder boxes;
    boxes.Answer(IDNO), boxes.Answer(IDYES);
    Send(w, WM_CLOSE);
    ASSERT_TRUE(IsWindow(w) && boxes.boxes().size() == 1);
    EXPECT_EQ("Stop Transfers?: Closing this window will stop all transfers.  Do you want to continue?",
              boxes.boxes()[0].caption + ": " + boxes.boxes()[0].text);
    EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), boxes.boxes()[0].type);
    Send(w, WM_CLOSE), PostMessageA(u, UM_TRANSFERSTOPPED, 0, 0);  // shutdown: no question, and what runs still stops
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(u) && !IsWindow(w) && boxes.boxes().size() == 2; }, 2000));
    EXPECT_EQ((Stops{{1, v}, {2, v}, {2, w}, {1, w}, {2, u}, {1, u}}), StopRequests());
    Send(v, UM_TRANSFERSTOPPED);
    EXPECT_TRUE(OpenProgressWindowCount() == 0 && at(Open(), 1));
    DestroyWindow(windows.back());  // destroyed with its owner: counted out once too
}

// Every file goes once per target of each kind switched on, depth first;
// paths of 260 characters or more are left out with a line in the backup log.
TEST_F(Folder, TheTransferQueuesEveryFileOfTheWalk)
{
    TempDir install("tkinst");
    UseInstallDir(install);
    MakeTree(src);
    std::string longest = folder + std::string(259 - folder.size(), 'f'), tooLong = longest + "g";
    WriteFileBytes(longest, "1"), WriteFileBytes(tooLong, "2");
    HWND w = Open(Spec({""}, {Ftp(21, "nonexistent.invalid"), Ftp(1)}));
    ASSERT_EQ(1, Start(w));
    EXPECT_TRUE(High(w, IDC_PROGRESS_DISK_TOTAL) == 7 && High(w, IDC_PROGRESS_FTP_TOTAL) == 14);
    ASSERT_TRUE(PumpUntil([&] { return Pos(w, IDC_PROGRESS_DISK_TOTAL) == 7 && batches->first; }, 20000));
    EXPECT_EQ("sub\\e", ReadFileBytes(dst / "sub\\e"));
    EXPECT_NE(std::string::npos, ReadFileBytes(install / "backuplog.txt").find("Skipped " + tooLong + ": the path is too long"));
    std::vector<std::string> files;  // in queue order: a subfolder's files at its place
    for (FtpJob* f = batches->first->files; f; f = f->next)
        files.push_back(f->localPath);
    EXPECT_EQ(std::set<std::string>({src / "a", src / "b", src / "c", src / "sub\\d", src / "sub\\e", src / ".profile", longest}),
              std::set<std::string>(files.begin(), files.end()));
    auto d = std::find(files.begin(), files.end(), src / "sub\\d");
    EXPECT_TRUE(files.size() == 7 && ((d + 1 < files.end() && d[1] == src / "sub\\e") || d[-1] == src / "sub\\e"));
    EXPECT_EQ("nonexistent.invalid", main.Texts(UM_REPORTERROR).at(0));
    EXPECT_EQ(5, CountFolderFiles(folder.c_str(), 0));
    closesocket(batches->first->socket);
}

TEST_F(Folder, TotalsAreFilesTimesTargetsOfTheKindsSwitchedOn)
{
    MakeTree(src);
    SetEvent(shutdown);  // the workers drop their queues at once
    struct Case { int disks, ftps; BYTE ftpOn; int disk, ftp; } cases[] = {{2, 3, 1, 12, 18}, {1, 2, 0, 6, 0}};
    for (const Case& c : cases) {
        HWND w = Open(Spec(std::vector<std::string>(c.disks), std::vector<FtpSpec>(c.ftps, Ftp(1)), c.ftpOn));
        ASSERT_EQ(1, Start(w));
        EXPECT_EQ(c.disk * 1000 + c.ftp, High(w, IDC_PROGRESS_DISK_TOTAL) * 1000 + High(w, IDC_PROGRESS_FTP_TOTAL));
        ResetProductKey();
    }
    TempDir empty("tkempty");
    folder = empty.path() + "\\";
    HWND w = Open();  // an empty folder is complete at once
    EXPECT_TRUE(Start(w) == 1 && Complete(w) && High(w, IDC_PROGRESS_DISK_TOTAL) == 0);
    folder = src / "not-there\\";
    EXPECT_TRUE(Start(w = Open()) == 1 && High(w, IDC_PROGRESS_DISK_TOTAL) == 100);  // the window as it was
}

TEST_F(Folder, DeleteStoredAsksWhenATargetCannotBeCleared)
{
    MakeDirs(src / "item"), MakeDirs(dst / "sub");
    for (const std::string& path : {src / "item\\precious", dst / "a", dst / "sub\\d"})
        WriteFileBytes(path, "p");
    folder = src / "item\\";
    SetEvent(shutdown);
    struct Case { std::string target; int answer, result; } cases[] = {{dst.path(), 0, 1}, {dst / "missing", IDNO, 0},
        {dst / "missing", IDYES, 1}, {"item", IDNO, 0}, {src.path(), IDNO, 0}, {src / "item", IDNO, 0}};  // the last two hold the item
    for (const Case& c : cases) {
        MessageBoxRecorder boxes;
        boxes.Answer(c.answer);
        EXPECT_EQ(c.result, Start(Open(Spec({c.target}, {}, 1, 1)))) << c.target;
        EXPECT_TRUE(boxes.boxes().size() == (c.answer ? 1u : 0u) && (!c.answer || boxes.boxes()[0].caption == "Continue?"));
        ResetProductKey();
    }
    EXPECT_TRUE(DirExists(dst.path()) && !FileExists(dst / "a") && !DirExists(dst / "sub"));
    EXPECT_TRUE(FileExists(src / "item\\precious"));
}

// A half stopped before its transfer queued anything stays stopped, and the
// stop events go when the window and the worker are done with them.
TEST_F(Folder, StopsBeforeAnythingWasQueuedHold)
{
    TempDir other("tksrc2"), second("tkdst2");
    MakeTree(src), MakeTree(other);
    DWORD handles = 0, now = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    HWND w = Open();
    folder = other.path() + "\\";
    HWND v = Open(Spec({second.path()}, {Ftp(1)}));
    Send(w, WM_COMMAND, IDC_PROGRESS_FTP_STOP), Send(v, WM_COMMAND, IDC_PROGRESS_DISK_STOP);
    folder = src.path() + "\\";
    ASSERT_EQ(1, Start(w));
    ASSERT_TRUE(PumpUntil([&] { return Pos(w, IDC_PROGRESS_DISK_TOTAL) == 6; }, 20000));
    folder = other.path() + "\\";
    ASSERT_EQ(NULL, batches->first);  // no FTP batch for the stopped half
    ASSERT_EQ(1, Start(v));
    ASSERT_TRUE(PumpUntil([&] { return batches->first != NULL; }, 20000));
    EXPECT_TRUE(CountNodes(batches->first->files) == 6 && !FileExists(second / "a") && !FileExists(second / "sub\\d"));
    closesocket(batches->first->socket), ClearBatches(batches);
    Send(w, UM_TRANSFERSTOPPED), Send(v, UM_TRANSFERSTOPPED);
    EXPECT_TRUE(PumpUntil([&] { return GetProcessHandleCount(GetCurrentProcess(), &now) && now <= handles; }, 5000))
        << now - handles << " handles more";
}

} // namespace
