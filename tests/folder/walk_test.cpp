// What a folder transfer queues and announces, on real files, real items and a real progress window.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "resources/resource.h"
#include "store/layout.h"
#include "tests/folder/folderitem.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <algorithm>
#include <commctrl.h>
#include <set>

namespace {

int BarHigh(HWND w, int id) { return (int)SendDlgItemMessageA(w, id, PBM_GETRANGE, FALSE, 0); }

class FolderWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        owner_ = CreateRecordingOwner(40, 40);
        queue_ = NewRequestQueue();
        // Set, so that a folder worker started here drops its queue at once.
        shutdown_ = CreateEventA(NULL, TRUE, TRUE, NULL);
    }
    void TearDown() override
    {
        FreeRequestQueue(queue_);
        if (IsWindow(progress_))
            SendMessageA(progress_, UM_TRANSFERSTOPPED, 0, 0);
        PumpMessages(50);
        SetEvent(shutdown_);
        Sleep(50);  // workers still waiting see the event before it closes
        DestroyWindow(owner_);
        CloseHandle(shutdown_);
        DeleteProductKey();
    }

    // Walks src_ into queue_; every file must come as a disk request directly
    // followed by its FTP request, all carrying one abort event.
    std::vector<std::string> Walk(int subs)
    {
        ClearRequests(queue_);
        FolderTransfer block = {folder_.c_str(), owner_, owner_, subs, NULL, NULL, queue_};
        EXPECT_EQ(1, WalkFolder(&block, NULL));
        std::vector<std::string> files;
        for (TransferRequest* r = queue_->first; r; r = r->next->next) {
            if (!r->next) {
                ADD_FAILURE() << "a disk request without its FTP request";
                break;
            }
            EXPECT_TRUE(r->kind == KIND_HD && r->next->kind == KIND_FTP);
            EXPECT_EQ(std::string(r->path), r->next->path);
            EXPECT_EQ(queue_->first->abortEvent, r->abortEvent);
            EXPECT_EQ(queue_->first->abortEvent, r->next->abortEvent);
            files.push_back(r->path);
        }
        // The totals are the files the walk really queues.
        EXPECT_EQ((int)files.size(), CountFolderFiles(folder_.c_str(), subs));
        return files;
    }

    int Start(const std::vector<std::string>& disks, int ftps, bool ftpOn = true, bool clear = false)
    {
        ResetProductKey();
        if (IsWindow(progress_))
            SendMessageA(progress_, UM_TRANSFERSTOPPED, 0, 0);
        MakeFolderItem(folder_, disks, ftps, true, ftpOn, clear);
        progress_ = CreateProgressWindow(owner_, folder_.c_str());
        FolderTransfer block = {folder_.c_str(), owner_, progress_, 1, NULL, shutdown_, NULL};
        return StartFolderTransfer(&block);
    }

    TempDir src_{"tksrc"}, dst_{"tkdst"};
    std::string folder_ = src_.path() + "\\";
    HWND owner_ = NULL, progress_ = NULL;
    RequestQueue* queue_ = NULL;
    HANDLE shutdown_ = NULL;
};

TEST_F(FolderWalk, QueuesFilesDepthFirstUnderTheSubfolderAndDotRules)
{
    MakeThreeAndSub(src_.path());
    MakeDirs(src_ / ".git\\objects");
    WriteFileBytes(src_ / ".git\\objects\\x", "x");
    WriteFileBytes(src_ / ".profile", "p");
    // No path is ever queued cut short to 259 characters.
    std::string longest = folder_ + std::string(259 - folder_.size(), 'f');
    WriteFileBytes(longest, "1");
    WriteFileBytes(folder_ + std::string(260 - folder_.size(), 'g'), "2");
    std::vector<std::string> files = Walk(1);
    EXPECT_EQ((std::set<std::string>{src_ / "a.txt", src_ / "b.txt", src_ / "c.txt", src_ / ".profile",
                                     src_ / "sub\\d.txt", src_ / "sub\\e.txt", longest}),
              std::set<std::string>(files.begin(), files.end()));
    ASSERT_EQ(7u, files.size());
    // The subfolder's files sit together, at the subfolder's place.
    size_t d = std::find(files.begin(), files.end(), src_ / "sub\\d.txt") - files.begin();
    size_t e = std::find(files.begin(), files.end(), src_ / "sub\\e.txt") - files.begin();
    EXPECT_EQ(1u, std::max(d, e) - std::min(d, e));
    HANDLE abort = queue_->first->abortEvent;
    EXPECT_EQ((LONG_PTR)abort, GetWindowLongPtrA(owner_, GWLP_USERDATA));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(abort, 0));
    CloseHandle(abort);

    EXPECT_EQ(5u, Walk(0).size());
    CloseHandle(queue_->first->abortEvent);
}

TEST_F(FolderWalk, ClearingNeverReachesTheCurrentFolder)
{
    MakeThreeAndSub(dst_.path());
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    SetCurrentDirectoryA(dst_.path().c_str());
    for (const char* path : {"", "sub", ".\\sub", "\\\\"})
        EXPECT_EQ(0, DeleteFolderContents(path)) << path;
    SetCurrentDirectoryA(old);
    EXPECT_TRUE(FileExists(dst_ / "a.txt") && FileExists(dst_ / "sub\\d.txt"));
}

TEST_F(FolderWalk, TotalsAreFilesTimesTargetsOfTheKindsSwitchedOn)
{
    MakeThreeAndSub(src_.path());
    struct Case { int disks, ftps; bool ftpOn; int disk, ftp; } cases[] = {
        {1, 1, true, 5, 5}, {2, 3, true, 10, 15}, {1, 2, false, 5, 0}};
    for (const Case& c : cases) {
        // The last one is left to run: a worker that copies steps the disk
        // half itself, and the bar never passes full.
        if (!c.ftpOn)
            ResetEvent(shutdown_);
        std::vector<std::string> disks(c.disks, dst_.path());
        ASSERT_EQ(1, Start(disks, c.ftps, c.ftpOn));
        // Sent before StartFolderTransfer returns: read before pumping.
        EXPECT_EQ(c.disk, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL)) << c.disks;
        EXPECT_EQ(c.ftp, BarHigh(progress_, IDC_PROGRESS_FTP_TOTAL)) << c.ftps;
        EXPECT_TRUE(GetWindowLongPtrA(progress_, GWLP_USERDATA));
    }
    // FTP off: the finished disk half alone completes the transfer.
    for (int i = 0; i < 5; ++i)
        SendMessageA(progress_, UM_DISKFILEDONE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return WindowText(progress_) == "Folder Transfer Complete"; }, 2000));
}

TEST_F(FolderWalk, AnEmptyFolderIsCompleteAtOnceAndAMissingOneLeavesTheWindow)
{
    ASSERT_EQ(1, Start({dst_.path()}, 1));
    EXPECT_EQ(0, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL) + BarHigh(progress_, IDC_PROGRESS_FTP_TOTAL));
    EXPECT_TRUE(PumpUntil([&] { return WindowText(progress_) == "Folder Transfer Complete"; }, 2000));
    MessageBoxRecorder boxes;
    SendMessageA(progress_, WM_CLOSE, 0, 0);
    EXPECT_TRUE(boxes.boxes().empty() && !IsWindow(progress_));

    folder_ = src_ / "not-there\\";
    ASSERT_EQ(1, Start({dst_.path()}, 1));
    EXPECT_EQ(100, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));  // the bar's first range
    EXPECT_EQ(0, GetWindowLongPtrA(progress_, GWLP_USERDATA));
    EXPECT_EQ(0, StartFolderTransfer(NULL));
}

TEST_F(FolderWalk, DeleteStoredAsksWhenATargetCannotBeCleared)
{
    MakeDirs(src_ / "item");
    WriteFileBytes(src_ / "item\\precious.txt", "p");
    MakeThreeAndSub(dst_.path());
    folder_ = src_ / "item\\";
    struct Case { std::string target; int answer, result, diskTotal; } cases[] = {
        {dst_.path(), 0, 1, 1},         // cleared, nothing asked
        {dst_ / "missing", IDNO, 0, 100},
        {dst_ / "missing", IDYES, 1, 1},
        {src_.path(), IDNO, 0, 100},    // holds the item: never cleared
        {src_ / "item", IDNO, 0, 100},
    };
    for (const Case& c : cases) {
        MessageBoxRecorder boxes;
        boxes.Answer(c.answer);
        EXPECT_EQ(c.result, Start({c.target}, 0, true, true)) << c.target;
        EXPECT_EQ(c.answer ? 1u : 0u, boxes.boxes().size());
        EXPECT_EQ(c.diskTotal, BarHigh(progress_, IDC_PROGRESS_DISK_TOTAL));
        if (c.answer) {
            EXPECT_EQ("Continue?", boxes.boxes()[0].caption);
        }
    }
    EXPECT_TRUE(DirExists(dst_.path()) && !FileExists(dst_ / "a.txt") && !DirExists(dst_ / "sub"));
    EXPECT_TRUE(FileExists(src_ / "item\\precious.txt"));
}

} // namespace
