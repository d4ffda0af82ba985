// The progress window as a real dialog: its messages, Stop buttons, closing and cascading.
#include <gtest/gtest.h>

#include "app/appstate.h"
#include "common/messages.h"
#include "resources/resource.h"
#include "tests/folder/folderitem.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <commctrl.h>

namespace {

const int kDiskHalf[] = {IDC_PROGRESS_DISK_STOP, IDC_PROGRESS_DISK_GROUP, IDC_PROGRESS_DISK_FILE,
                         IDC_PROGRESS_DISK_FILELABEL, IDC_PROGRESS_DISK_BARLABEL,
                         IDC_PROGRESS_DISK_TOTALLABEL};
const int kFtpHalf[] = {IDC_PROGRESS_FTP_STOP, IDC_PROGRESS_FTP_GROUP, IDC_PROGRESS_FTP_FILE,
                        IDC_PROGRESS_FTP_FILELABEL, IDC_PROGRESS_FTP_BARLABEL,
                        IDC_PROGRESS_FTP_TOTALLABEL};

// 1 when every control of the half is enabled, 0 when none is, -1 when mixed.
int HalfState(HWND w, const int (&ids)[6])
{
    int on = 0;
    for (int id : ids)
        on += IsWindowEnabled(GetDlgItem(w, id)) ? 1 : 0;
    return on == 6 ? 1 : on == 0 ? 0 : -1;
}
int Pos(HWND w, int id) { return (int)SendDlgItemMessageA(w, id, PBM_GETPOS, 0, 0); }
int High(HWND w, int id) { return (int)SendDlgItemMessageA(w, id, PBM_GETRANGE, FALSE, 0); }
void Send(HWND w, UINT msg, WPARAM wp = 0, const char* text = NULL)
{
    SendMessageA(w, msg, wp, (LPARAM)text);
}
bool Complete(HWND w)
{
    PumpMessages(20);
    return WindowText(w) == "Folder Transfer Complete";
}

class ProgressWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        StopRequests().clear();
        owner_ = CreateRecordingOwner(60, 40);
    }
    void TearDown() override
    {
        for (HWND w : windows_)
            if (IsWindow(w))
                Send(w, UM_TRANSFERSTOPPED);
        EXPECT_EQ(0, OpenProgressWindowCount());
        DestroyWindow(owner_);
        DeleteProductKey();
    }
    HWND Open(bool diskOn = true, bool ftpOn = true)
    {
        MakeFolderItem(folder_, {dst_.path()}, 1, diskOn, ftpOn);
        windows_.push_back(CreateProgressWindow(owner_, folder_.c_str()));
        return windows_.back();
    }

    TempDir src_{"tkprog"}, dst_{"tkprogdst"};
    std::string folder_ = src_.path() + "\\";
    HWND owner_ = NULL;
    std::vector<HWND> windows_;
};

TEST_F(ProgressWindow, StepsFillTheBarsAndCompletionNeedsBothHalves)
{
    HWND w = Open();
    ASSERT_TRUE(w && IsWindowVisible(w));
    EXPECT_EQ("Folder Transfer - " + folder_, WindowText(w));
    EXPECT_EQ(1, HalfState(w, kDiskHalf));
    EXPECT_EQ(1, HalfState(w, kFtpHalf));
    Send(w, UM_DISKSETTOTAL, 2);
    Send(w, UM_FTPSETTOTAL, 2);
    std::string path = src_ / "a.txt";
    Send(w, UM_DISKFILESTART, 0, path.c_str());
    Send(w, UM_FTPFILESTART, 0, path.c_str());
    Send(w, UM_FTPFILESTART);  // no text: the field keeps its path
    PostMessageA(w, UM_DISKPERCENT, 40, 0);
    PostMessageA(w, UM_FTPPERCENT, 70, 0);
    Send(w, UM_FTPFILEDONE);
    EXPECT_FALSE(Complete(w));
    EXPECT_EQ(path, DlgItemText(w, IDC_PROGRESS_DISK_FILE));
    EXPECT_EQ(path, DlgItemText(w, IDC_PROGRESS_FTP_FILE));
    EXPECT_EQ(40 + 70, Pos(w, IDC_PROGRESS_DISK_BAR) + Pos(w, IDC_PROGRESS_FTP_BAR));
    SaveWindowShot(w, "folder_progress_running");

    for (int i = 0; i < 3; ++i)  // one more than the total
        Send(w, UM_DISKFILEDONE);
    EXPECT_EQ(2, Pos(w, IDC_PROGRESS_DISK_TOTAL));  // full, not started over
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDC_PROGRESS_DISK_STOP)));
    EXPECT_FALSE(Complete(w));
    Send(w, UM_SETCAPTION, 0, "Transferring x");
    Send(w, UM_SETCAPTION);
    EXPECT_EQ("Transferring x", WindowText(w));
    Send(w, UM_FTPFILEDONE);
    EXPECT_TRUE(Complete(w));
    Send(w, UM_DISKSETTOTAL, 70000);  // the bar keeps the low 16 bits of a huge total
    EXPECT_EQ(70000 - 65536, High(w, IDC_PROGRESS_DISK_TOTAL));
    EXPECT_EQ(-1, HalfState(w, kDiskHalf));  // only the Stop buttons are greyed
    EXPECT_EQ(-1, HalfState(w, kFtpHalf));

    // Complete: closing asks nothing and stops nothing.
    MessageBoxRecorder boxes;
    Send(w, WM_CLOSE);
    EXPECT_TRUE(!IsWindow(w) && boxes.boxes().empty() && StopRequests().empty());
}

TEST_F(ProgressWindow, AKindSwitchedOffIsGreyedAndStoppedFromTheStart)
{
    HWND w = Open(true, false);
    EXPECT_EQ(1, HalfState(w, kDiskHalf));
    EXPECT_EQ(0, HalfState(w, kFtpHalf));
    EXPECT_EQ((Stops{{1, w}}), StopRequests());
    HWND v = Open(false, true);
    EXPECT_EQ(0, HalfState(v, kDiskHalf));
    EXPECT_EQ((Stops{{1, w}, {2, v}}), StopRequests());
}

TEST_F(ProgressWindow, StopButtonsAndClosingStopDiskFirst)
{
    HWND w = Open();
    Send(w, UM_DISKSETTOTAL, 4);
    Send(w, UM_DISKFILEDONE);
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_PROGRESS_DISK_STOP, BN_CLICKED),
                 (LPARAM)GetDlgItem(w, IDC_PROGRESS_DISK_STOP));
    EXPECT_EQ(0, HalfState(w, kDiskHalf));
    EXPECT_EQ(1, HalfState(w, kFtpHalf));
    EXPECT_EQ(1, Pos(w, IDC_PROGRESS_DISK_TOTAL));  // bars keep their state
    Send(w, WM_COMMAND, IDC_PROGRESS_DISK_STOP);      // a greyed half asks nothing more
    Send(w, WM_COMMAND, IDC_PROGRESS_FTP_STOP);
    EXPECT_EQ(0, HalfState(w, kFtpHalf));
    EXPECT_EQ((Stops{{2, w}, {1, w}}), StopRequests());

    // Closing while both halves run: No keeps the window, Yes stops disk then FTP.
    StopRequests().clear();
    HWND v = Open();
    MessageBoxRecorder boxes;
    boxes.Answer(IDNO);
    Send(v, WM_CLOSE);
    ASSERT_TRUE(IsWindow(v));
    ASSERT_EQ(1u, boxes.boxes().size());
    EXPECT_EQ("Closing this window will stop all transfers.  Do you want to continue?",
              boxes.boxes()[0].text);
    EXPECT_EQ("Stop Transfers?", boxes.boxes()[0].caption);
    EXPECT_EQ((UINT)(MB_YESNO | MB_ICONQUESTION), boxes.boxes()[0].type);
    EXPECT_TRUE(StopRequests().empty());
    boxes.Answer(IDYES);
    Send(v, WM_CLOSE);
    EXPECT_FALSE(IsWindow(v));
    EXPECT_EQ((Stops{{2, v}, {1, v}}), StopRequests());
    // Shutdown closes without asking, and still stops what runs.
    StopRequests().clear();
    HWND u = Open();
    PostMessageA(u, UM_TRANSFERSTOPPED, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(u); }, 2000));
    EXPECT_EQ(2u, boxes.boxes().size());  // both were for v
    EXPECT_EQ((Stops{{2, u}, {1, u}}), StopRequests());
}

TEST_F(ProgressWindow, WindowsCascadeAndTheCounterComesBack)
{
    RECT owner;
    GetWindowRect(owner_, &owner);
    auto expectAt = [&](HWND w, int c) {
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_EQ(owner.left + 30 + 20 * c, r.left) << c;
        EXPECT_EQ(owner.top + 50 + 20 * c, r.top) << c;
    };
    HWND a = Open(), b = Open(), c = Open();
    EXPECT_EQ(3, OpenProgressWindowCount());
    expectAt(a, 1), expectAt(b, 2), expectAt(c, 3);
    MessageBoxRecorder boxes;
    for (HWND w : {a, b, c}) {
        boxes.Answer(IDYES);
        Send(w, WM_CLOSE);
    }
    EXPECT_EQ(0, OpenProgressWindowCount());
    expectAt(Open(), 1);
    DestroyWindow(windows_.back());  // destroyed with its owner: counted out once too
    EXPECT_EQ(0, OpenProgressWindowCount());
}

TEST(StopDiskHalf, SetsTheWindowsAbortEventAndAlwaysTellsTheStatusLine)
{
    g_app.statusBar = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 9, 9, NULL, NULL, NULL, NULL);
    HWND progress = CreateTestOwner(0, 0, 100, 100);
    HANDLE event = CreateEventA(NULL, TRUE, FALSE, NULL);
    SetWindowLongPtrA(progress, GWLP_USERDATA, (LONG_PTR)event);
    StopDiskHalf(progress);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));
    SetWindowLongPtrA(progress, GWLP_USERDATA, 0);
    for (HWND w : {progress, (HWND)NULL}) {  // no event stored yet, or no window
        SetWindowTextA(g_app.statusBar, "");
        StopDiskHalf(w);
        EXPECT_EQ("Hard Drive/Network Transfer Stopped", WindowText(g_app.statusBar));
    }
    CloseHandle(event);
    DestroyWindow(progress);
    DestroyWindow(g_app.statusBar);
    g_app.statusBar = NULL;
}

} // namespace
