// Starting folder transfers of real folder items: totals in a real progress window, clearing targets, the questions.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "app/tray.h"
#include "resources/resource.h"
#include "tests/folder/folderitem.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <commctrl.h>
#include <string>

namespace {

const char kDeleteQuestion[] =
    "There was an error deleting all stored files in one or more of your target directories.  "
    "Continue with transfer anyway?";

int BarHigh(HWND wnd, int id)
{
    return static_cast<int>(SendDlgItemMessageA(wnd, id, PBM_GETRANGE, FALSE, 0));
}

class StartTransfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        StopRequests().clear();
        owner_ = CreateRecordingOwner(40, 40);
        // Set from the start, so that every folder worker started here ends at
        // once (dropping its queue) and copies nothing behind the test's back.
        shutdown_ = CreateEventA(NULL, TRUE, TRUE, NULL);
        batches_ = NewBatchList();
        folder_ = src_.path() + "\\";
    }
    void TearDown() override
    {
        if (IsWindow(progress_))
            SendMessageA(progress_, UM_TRANSFERSTOPPED, 0, 0);
        PumpMessages(50);
        SetEvent(shutdown_);
        Sleep(50);  // workers still waiting see the event before it closes
        DestroyWindow(owner_);
        FreeBatchList(batches_);
        CloseHandle(shutdown_);
        DeleteProductKey();
    }

    void MakeThreeAndSub()
    {
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            ASSERT_TRUE(WriteFileBytes(src_ / name, name));
        MakeDirs(src_ / "sub");
        for (const char* name : {"sub\\d.txt", "sub\\e.txt"})
            ASSERT_TRUE(WriteFileBytes(src_ / name, name));
    }

    // Makes the item, opens its progress window and starts the transfer.
    int Start(const FolderItemSpec& spec)
    {
        MakeFolderItem(folder_, spec);
        progress_ = CreateProgressWindow(owner_, folder_.c_str());
        EXPECT_TRUE(progress_);
        FolderTransfer block = {folder_.c_str(), owner_, progress_, spec.includeSubs ? 1 : 0,
                                batches_, shutdown_, NULL};
        return StartFolderTransfer(&block);
    }

    TempDir src_{"tksrc"};
    TempDir dst_{"tkdst"};
    std::string folder_;
    HWND owner_ = NULL, progress_ = NULL;
    HANDLE shutdown_ = NULL;
    BatchList* batches_ = NULL;
};

TEST_F(StartTransfer, TotalsAreFilesTimesTargetsOfTheKindsSwitchedOn)
{
    MakeThreeAndSub();
    MakeDirs(src_ / ".cache");
    ASSERT_TRUE(WriteFileBytes(src_ / ".cache\\skip.bin", "s"));
    struct Case { bool subs; bool ftpOn; int disks; int ftps; int diskTotal; int ftpTotal; } cases[] = {
        {true, true, 1, 1, 5, 5},
        {false, true, 1, 1, 3, 3},
        {true, true, 2, 3, 10, 15},
        {true, false, 1, 2, 5, 0},  // FTP targets kept but switched off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.subs << c.ftpOn << c.disks << c.ftps);
        ResetProductKey();
        FolderItemSpec spec;
        for (int i = 0; i < c.disks; ++i)
            spec.diskFolders.push_back(dst_ / ("t" + std::to_string(i)));
        spec.ftpTargets = c.ftps;
        spec.ftpEnabled = c.ftpOn;
        spec.includeSubs = c.subs;
        ASSERT_EQ(1, Start(spec));
        // Sent before the call returns, so read before any message is pumped.
        EXPECT_EQ(c.diskTotal, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));
        EXPECT_EQ(c.ftpTotal, BarHigh(progress_, IDC_PROGRESS_FTP_TOTAL));
        EXPECT_TRUE(GetWindowLongPtrA(progress_, GWLP_USERDATA));
        SendMessageA(progress_, UM_TRANSFERSTOPPED, 0, 0);
    }
}

TEST_F(StartTransfer, AFinishedTransferWithAKindSwitchedOffSaysComplete)
{
    MakeThreeAndSub();
    FolderItemSpec spec;
    spec.diskFolders = {dst_ / "t"};
    spec.ftpTargets = 1;
    spec.ftpEnabled = false;
    spec.includeSubs = false;
    // A worker that copies sends these steps itself; the bar never passes full.
    ResetEvent(shutdown_);
    ASSERT_EQ(1, Start(spec));
    EXPECT_EQ(3, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));
    EXPECT_EQ(0, BarHigh(progress_, IDC_PROGRESS_FTP_TOTAL));
    for (int i = 0; i < 3; ++i)
        SendMessageA(progress_, UM_DISKFILEDONE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return WindowText(progress_) == "Folder Transfer Complete"; }, 2000));
}

TEST_F(StartTransfer, AnEmptyFolderIsCompleteAtOnceAndClosesWithoutAQuestion)
{
    std::vector<DWORD> trayCalls;
    static std::vector<DWORD>* calls = &trayCalls;
    TrayHook old = SetTrayHook([](DWORD action, NOTIFYICONDATAA*) -> BOOL {
        calls->push_back(action);
        return TRUE;
    });
    FolderItemSpec spec;
    spec.diskFolders = {dst_ / "t"};
    spec.ftpTargets = 1;
    ASSERT_EQ(1, Start(spec));
    EXPECT_EQ(0, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));
    EXPECT_EQ(0, BarHigh(progress_, IDC_PROGRESS_FTP_TOTAL));
    EXPECT_EQ(0, GetWindowLongPtrA(progress_, GWLP_USERDATA));
    EXPECT_TRUE(PumpUntil([&] { return WindowText(progress_) == "Folder Transfer Complete"; }, 2000));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(progress_, IDC_PROGRESS_DISK_STOP)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(progress_, IDC_PROGRESS_FTP_STOP)));
    SetTrayHook(old);
    ASSERT_FALSE(trayCalls.empty());
    EXPECT_EQ(static_cast<DWORD>(NIM_MODIFY), trayCalls.back());

    MessageBoxRecorder boxes;
    SendMessageA(progress_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(progress_));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(StopRequests().empty());
}

TEST_F(StartTransfer, AFolderThatCannotBeListedLeavesTheWindowAsItWas)
{
    FolderItemSpec spec;
    spec.diskFolders = {dst_ / "t"};
    folder_ = src_ / "not-there\\";
    ASSERT_EQ(1, Start(spec));
    EXPECT_EQ(100, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));  // the bar's first range
    EXPECT_EQ(0, GetWindowLongPtrA(progress_, GWLP_USERDATA));
    PumpMessages(30);
    EXPECT_EQ("Folder Transfer - " + folder_, WindowText(progress_));
}

TEST_F(StartTransfer, RefusesWhatIsNotAFolderItem)
{
    FolderTransfer block = {NULL, owner_, NULL, 1, batches_, shutdown_, NULL};
    EXPECT_EQ(0, StartFolderTransfer(&block));
    std::string file = src_ / "file.txt";
    block.folder = file.c_str();
    EXPECT_EQ(0, StartFolderTransfer(&block));
    block.folder = folder_.c_str();  // no item in the registry
    EXPECT_EQ(0, StartFolderTransfer(&block));
    EXPECT_EQ(0, StartFolderTransfer(NULL));
}

TEST_F(StartTransfer, DeleteStoredClearsTheTargetsFirst)
{
    ASSERT_TRUE(WriteFileBytes(src_ / "a.txt", "a"));
    MakeDirs(dst_ / "t\\old");
    ASSERT_TRUE(WriteFileBytes(dst_ / "t\\old\\stale.txt", "s"));
    ASSERT_TRUE(WriteFileBytes(dst_ / "t\\stale.txt", "s"));
    FolderItemSpec spec;
    spec.diskFolders = {dst_ / "t"};
    spec.deleteStored = true;
    MessageBoxRecorder boxes;
    ASSERT_EQ(1, Start(spec));
    EXPECT_TRUE(boxes.boxes().empty());
    EXPECT_TRUE(DirExists(dst_ / "t"));
    EXPECT_FALSE(FileExists(dst_ / "t\\stale.txt"));
    EXPECT_FALSE(DirExists(dst_ / "t\\old"));
    EXPECT_EQ(1, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));
}

TEST_F(StartTransfer, AMissingTargetFolderAsksWhetherToGoOn)
{
    ASSERT_TRUE(WriteFileBytes(src_ / "a.txt", "a"));
    ASSERT_TRUE(WriteFileBytes(src_ / "b.txt", "b"));
    struct Case { int answer; int result; int diskTotal; } cases[] = {
        {IDNO, 0, 100},  // stopped before any total was sent
        {IDYES, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        ResetProductKey();
        FolderItemSpec spec;
        spec.diskFolders = {dst_ / "missing"};
        spec.deleteStored = true;
        MessageBoxRecorder boxes;
        boxes.Answer(c.answer);
        EXPECT_EQ(c.result, Start(spec));
        ASSERT_EQ(1u, boxes.boxes().size());
        EXPECT_EQ(kDeleteQuestion, boxes.boxes()[0].text);
        EXPECT_EQ("Continue?", boxes.boxes()[0].caption);
        EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), boxes.boxes()[0].type);
        EXPECT_EQ(c.diskTotal, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));
        SendMessageA(progress_, UM_TRANSFERSTOPPED, 0, 0);
    }
}

TEST_F(StartTransfer, ATargetHoldingTheItemIsNeverCleared)
{
    // A disk target that is the item or one of its parents: clearing it
    // would delete the very files to be backed up.
    MakeDirs(src_ / "item");
    ASSERT_TRUE(WriteFileBytes(src_ / "item\\precious.txt", "p"));
    folder_ = src_ / "item\\";
    for (const std::string& target : {src_.path(), src_ / "item"}) {
        SCOPED_TRACE(target);
        ResetProductKey();
        FolderItemSpec spec;
        spec.diskFolders = {target};
        spec.deleteStored = true;
        MessageBoxRecorder boxes;
        boxes.Answer(IDNO);
        EXPECT_EQ(0, Start(spec));
        EXPECT_EQ(1u, boxes.boxes().size());
        EXPECT_TRUE(FileExists(src_ / "item\\precious.txt"));
        SendMessageA(progress_, UM_TRANSFERSTOPPED, 0, 0);
    }
}

} // namespace
