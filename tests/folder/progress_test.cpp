// The progress window as a real dialog: its messages, Stop buttons, closing and cascading.
#include <gtest/gtest.h>

#include "app/appstate.h"
#include "app/messages.h"
#include "app/tray.h"
#include "resources/resource.h"
#include "tests/folder/folderitem.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <commctrl.h>
#include <string>
#include <utility>
#include <vector>

namespace {

const char kCloseQuestion[] = "Closing this window will stop all transfers.  Do you want to continue?";

const int kDiskHalf[] = {IDC_PROGRESS_DISK_STOP, IDC_PROGRESS_DISK_GROUP, IDC_PROGRESS_DISK_FILE,
                         IDC_PROGRESS_DISK_FILELABEL, IDC_PROGRESS_DISK_BARLABEL,
                         IDC_PROGRESS_DISK_TOTALLABEL};
const int kFtpHalf[] = {IDC_PROGRESS_FTP_STOP, IDC_PROGRESS_FTP_GROUP, IDC_PROGRESS_FTP_FILE,
                        IDC_PROGRESS_FTP_FILELABEL, IDC_PROGRESS_FTP_BARLABEL,
                        IDC_PROGRESS_FTP_TOTALLABEL};

bool Enabled(HWND wnd, int id) { return IsWindowEnabled(GetDlgItem(wnd, id)) != FALSE; }

template <size_t N> bool AllEnabled(HWND wnd, const int (&ids)[N], bool enabled)
{
    for (int id : ids)
        if (Enabled(wnd, id) != enabled)
            return false;
    return true;
}

int BarPos(HWND wnd, int id) { return static_cast<int>(SendDlgItemMessageA(wnd, id, PBM_GETPOS, 0, 0)); }
int BarHigh(HWND wnd, int id)
{
    return static_cast<int>(SendDlgItemMessageA(wnd, id, PBM_GETRANGE, FALSE, 0));
}

void Click(HWND wnd, int id)
{
    SendMessageA(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(wnd, id)));
}

using Stops = std::vector<std::pair<WPARAM, HWND>>;

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        StopRequests().clear();
        owner_ = CreateRecordingOwner(60, 40);
        GetWindowRect(owner_, &ownerRect_);
        folder_ = src_.path() + "\\";
    }
    void TearDown() override
    {
        for (HWND w : windows_)
            if (IsWindow(w))
                SendMessageA(w, UM_TRANSFERSTOPPED, 0, 0);
        EXPECT_EQ(0, OpenProgressWindowCount());
        DestroyWindow(owner_);
        DeleteProductKey();
    }

    HWND Open(bool diskOn = true, bool ftpOn = true)
    {
        FolderItemSpec spec;
        spec.diskFolders = {dst_.path()};
        spec.ftpTargets = 1;
        spec.diskEnabled = diskOn;
        spec.ftpEnabled = ftpOn;
        MakeFolderItem(folder_, spec);
        HWND w = CreateProgressWindow(owner_, folder_.c_str());
        windows_.push_back(w);
        PumpMessages(20);
        return w;
    }

    TempDir src_{"tkprog"};
    TempDir dst_{"tkprogdst"};
    std::string folder_;
    HWND owner_ = NULL;
    RECT ownerRect_{};
    std::vector<HWND> windows_;
};

TEST_F(ProgressWindow, OpensWithBothHalvesRunningAndTheFolderInTheCaption)
{
    HWND w = Open();
    ASSERT_TRUE(w);
    EXPECT_TRUE(IsWindowVisible(w));
    EXPECT_EQ("Folder Transfer - " + folder_, WindowText(w));
    EXPECT_TRUE(AllEnabled(w, kDiskHalf, true));
    EXPECT_TRUE(AllEnabled(w, kFtpHalf, true));
    EXPECT_EQ("Hard Drive/Network Transfers", DlgItemText(w, IDC_PROGRESS_DISK_GROUP));
    EXPECT_EQ("FTP Transfers", DlgItemText(w, IDC_PROGRESS_FTP_GROUP));
    EXPECT_EQ("Stop", DlgItemText(w, IDC_PROGRESS_DISK_STOP));
    EXPECT_TRUE(StopRequests().empty());
    SaveWindowShot(w, "folder_progress_start");
}

TEST_F(ProgressWindow, AKindSwitchedOffIsGreyedAndStoppedFromTheStart)
{
    struct Case { bool diskOn, ftpOn; Stops::value_type::first_type stop; } cases[] = {
        {true, false, 1},
        {false, true, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stop);
        StopRequests().clear();
        ResetProductKey();
        HWND w = Open(c.diskOn, c.ftpOn);
        EXPECT_TRUE(AllEnabled(w, kDiskHalf, c.diskOn));
        EXPECT_TRUE(AllEnabled(w, kFtpHalf, c.ftpOn));
        EXPECT_EQ((Stops{{c.stop, w}}), StopRequests());
        SendMessageA(w, UM_TRANSFERSTOPPED, 0, 0);
    }
}

TEST_F(ProgressWindow, StepsFillTheBarsAndCompletionNeedsBothHalves)
{
    HWND w = Open();
    TrayHook old = SetTrayHook([](DWORD action, NOTIFYICONDATAA* data) -> BOOL {
        // Only the idle icon's default tip may be set when the transfer is done.
        EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), action);
        EXPECT_STREQ("Tandemkeep v1.21", data->szTip);
        return TRUE;
    });
    SendMessageA(w, UM_DISKSETTOTAL, 2, 0);
    SendMessageA(w, UM_FTPSETTOTAL, 3, 0);
    std::string path = src_ / "a.txt";
    SendMessageA(w, UM_DISKFILESTART, 0, reinterpret_cast<LPARAM>(path.c_str()));
    SendMessageA(w, UM_FTPFILESTART, 0, reinterpret_cast<LPARAM>(path.c_str()));
    SendMessageA(w, UM_FTPFILESTART, 0, 0);  // no text: the field keeps its path
    PostMessageA(w, UM_DISKPERCENT, 40, 0);
    PostMessageA(w, UM_FTPPERCENT, 70, 0);
    PumpMessages(20);
    EXPECT_EQ(path, DlgItemText(w, IDC_PROGRESS_DISK_FILE));
    EXPECT_EQ(path, DlgItemText(w, IDC_PROGRESS_FTP_FILE));
    EXPECT_EQ(40, BarPos(w, IDC_PROGRESS_DISK_BAR));
    EXPECT_EQ(70, BarPos(w, IDC_PROGRESS_FTP_BAR));
    SendMessageA(w, UM_FTPFILEDONE, 0, 0);
    SaveWindowShot(w, "folder_progress_running");

    for (int i = 0; i < 3; ++i)  // one more than the total
        SendMessageA(w, UM_DISKFILEDONE, 0, 0);
    PumpMessages(20);
    EXPECT_EQ(2, BarPos(w, IDC_PROGRESS_DISK_TOTAL));  // full, not started over
    EXPECT_FALSE(Enabled(w, IDC_PROGRESS_DISK_STOP));
    EXPECT_TRUE(Enabled(w, IDC_PROGRESS_DISK_GROUP));
    EXPECT_NE("Folder Transfer Complete", WindowText(w));

    SendMessageA(w, UM_FTPFILEDONE, 0, 0);
    PumpMessages(20);
    EXPECT_TRUE(Enabled(w, IDC_PROGRESS_FTP_STOP));
    EXPECT_NE("Folder Transfer Complete", WindowText(w));
    SendMessageA(w, UM_FTPFILEDONE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return WindowText(w) == "Folder Transfer Complete"; }, 2000));
    EXPECT_FALSE(Enabled(w, IDC_PROGRESS_FTP_STOP));
    SetTrayHook(old);

    // Complete: closing asks nothing and stops nothing.
    MessageBoxRecorder boxes;
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(StopRequests().empty());
}

TEST_F(ProgressWindow, CaptionTextsFromTheFtpSide)
{
    HWND w = Open();
    SendMessageA(w, UM_SETCAPTION, 0, reinterpret_cast<LPARAM>("Transferring C:\\x.txt"));
    EXPECT_EQ("Transferring C:\\x.txt", WindowText(w));
    SendMessageA(w, UM_SETCAPTION, 0, 0);
    EXPECT_EQ("Transferring C:\\x.txt", WindowText(w));
}

TEST_F(ProgressWindow, HugeTotalsKeepTheirLow16Bits)
{
    HWND w = Open();
    SendMessageA(w, UM_DISKSETTOTAL, 70000, 0);
    SendMessageA(w, UM_FTPSETTOTAL, 65535, 0);
    EXPECT_EQ(70000 - 65536, BarHigh(w, IDC_PROGRESS_DISK_TOTAL));
    EXPECT_EQ(65535, BarHigh(w, IDC_PROGRESS_FTP_TOTAL));
}

TEST_F(ProgressWindow, StopButtonsGreyTheirHalfAndAskTheOwner)
{
    HWND w = Open();
    SendMessageA(w, UM_DISKSETTOTAL, 4, 0);
    SendMessageA(w, UM_DISKFILEDONE, 0, 0);
    Click(w, IDC_PROGRESS_DISK_STOP);
    EXPECT_TRUE(AllEnabled(w, kDiskHalf, false));
    EXPECT_TRUE(AllEnabled(w, kFtpHalf, true));
    EXPECT_EQ(1, BarPos(w, IDC_PROGRESS_DISK_TOTAL));  // bars keep their state
    Click(w, IDC_PROGRESS_DISK_STOP);                 // a second press asks nothing more
    Click(w, IDC_PROGRESS_FTP_STOP);
    EXPECT_TRUE(AllEnabled(w, kFtpHalf, false));
    EXPECT_EQ((Stops{{2, w}, {1, w}}), StopRequests());

    // Both halves stopped: closing asks nothing.
    MessageBoxRecorder boxes;
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(2u, StopRequests().size());
}

TEST_F(ProgressWindow, ClosingWhileRunningAsksAndStopsDiskFirst)
{
    HWND w = Open();
    MessageBoxRecorder boxes;
    boxes.Answer(IDNO);
    SendMessageA(w, WM_CLOSE, 0, 0);
    ASSERT_TRUE(IsWindow(w));
    ASSERT_EQ(1u, boxes.boxes().size());
    EXPECT_EQ(kCloseQuestion, boxes.boxes()[0].text);
    EXPECT_EQ("Stop Transfers?", boxes.boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), boxes.boxes()[0].type);
    EXPECT_TRUE(StopRequests().empty());
    EXPECT_EQ(1, OpenProgressWindowCount());

    boxes.Answer(IDYES);
    SendMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(w));
    EXPECT_EQ((Stops{{2, w}, {1, w}}), StopRequests());
    EXPECT_EQ(0, OpenProgressWindowCount());
}

TEST_F(ProgressWindow, ShutdownClosesWithoutAsking)
{
    HWND w = Open();
    MessageBoxRecorder boxes;
    PostMessageA(w, UM_TRANSFERSTOPPED, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(w); }, 2000));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_EQ(0, OpenProgressWindowCount());
}

TEST_F(ProgressWindow, WindowsCascadeAndTheCounterComesBack)
{
    auto expectAt = [&](HWND w, int c) {
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ(ownerRect_.left + 30 + 20 * c, r.left) << c;
        EXPECT_EQ(ownerRect_.top + 50 + 20 * c, r.top) << c;
    };
    HWND a = Open(), b = Open(), c = Open();
    EXPECT_EQ(3, OpenProgressWindowCount());
    expectAt(a, 1);
    expectAt(b, 2);
    expectAt(c, 3);
    RECT ra, rc;
    GetWindowRect(a, &ra);
    GetWindowRect(c, &rc);
    EXPECT_EQ(ra.right - ra.left, rc.right - rc.left);  // sizes kept

    MessageBoxRecorder boxes;
    for (HWND w : {a, b, c}) {
        boxes.Answer(IDYES);
        SendMessageA(w, WM_CLOSE, 0, 0);
    }
    EXPECT_EQ(0, OpenProgressWindowCount());
    expectAt(Open(), 1);
    // A window destroyed with its owner still counts itself out once.
    DestroyWindow(windows_.back());
    EXPECT_EQ(0, OpenProgressWindowCount());
}

class StopDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        status_ = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 100, 20, NULL, NULL,
                                GetModuleHandleA(NULL), NULL);
        g_app.statusBar = status_;
        progress_ = CreateTestOwner(0, 0, 100, 100);
    }
    void TearDown() override
    {
        g_app.statusBar = NULL;
        DestroyWindow(progress_);
        DestroyWindow(status_);
    }
    HWND status_ = NULL, progress_ = NULL;
};

TEST_F(StopDisk, SetsTheWindowsAbortEventAndTellsTheStatusLine)
{
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    SetWindowLongPtrA(progress_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(event));
    StopDiskHalf(progress_);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    EXPECT_EQ("Hard Drive/Network Transfer Stopped", WindowText(status_));
    CloseHandle(event);

    // Stopped before the walk stored an event, or the window is gone: the text still shows.
    for (HWND w : {progress_, static_cast<HWND>(NULL)}) {
        SetWindowTextA(status_, "");
        SetWindowLongPtrA(progress_, GWLP_USERDATA, 0);
        StopDiskHalf(w);
        EXPECT_EQ("Hard Drive/Network Transfer Stopped", WindowText(status_));
    }
}

} // namespace
