// The worker threads on real queues, folders, registry and windows.
#include <gtest/gtest.h>

#include "app/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "tests/transfer/transferenv.h"
#include "transfer/worker.h"

#include <string>
#include <vector>

namespace {

CRITICAL_SECTION g_trayLock;
std::vector<int> g_trayIcons;

BOOL RecordTray(DWORD, NOTIFYICONDATAA* data)
{
    int index = data->hIcon == LoadImageA(GetModuleHandleA(NULL), "SMALLICON", IMAGE_ICON, 16, 16,
                                          LR_SHARED) ? TRAY_IDLE : TRAY_UPLOAD;
    EnterCriticalSection(&g_trayLock);
    g_trayIcons.push_back(index);
    LeaveCriticalSection(&g_trayLock);
    return TRUE;
}

class Worker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        item = src.path() + "\\";
        CreateItemKey(item.c_str());
        main = CreateRecordingWindow();
        progress = CreateRecordingWindow();
        start.shutdownEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        start.workEvent = CreateEventA(NULL, FALSE, TRUE, NULL);
        start.liveStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        start.queue = NewRequestQueue();
        start.batches = NewBatchList();
        start.mainWindow = main;
        start.mode = WORKER_FOLDER;
        InitializeCriticalSection(&g_trayLock);
        g_trayIcons.clear();
        SetTrayHook(RecordTray);
    }
    void TearDown() override
    {
        SetTrayHook(NULL);
        DestroyWindow(main);
        DestroyWindow(progress);
        DeleteProductKey();
    }
    void Queue(const std::string& path, BYTE kind, HANDLE abortEvent = NULL)
    {
        QueueRequest(start.queue, NULL, path.c_str(), kind, main, progress, abortEvent);
    }
    // A folder worker frees its queue and work event as it ends.
    void RunFolderWorker()
    {
        HANDLE thread = StartWorker(start);
        ASSERT_TRUE(PumpUntilEnded(thread, 20000));
        CloseHandle(thread);
    }
    TempDir src{"src"}, dst{"dst"};
    std::string item;
    HWND main, progress;
    WorkerStart start = {};
};

TEST_F(Worker, DiskTargetsServedInOrderWithProgressReportsAndRecords)
{
    char keyName[260];
    OpenItemKey(item.c_str(), keyName, NULL);
    AddDiskTarget(item, dst.path(), STORAGE_SYNC);
    AddDiskTarget(item, dst / "missing", STORAGE_SYNC);
    WriteFileBytes(src / "a.txt", "A");
    WriteFileBytes(src / "b.txt", "B");
    Queue(src / "a.txt", KIND_HD);
    Queue(src / "a.txt", KIND_FTP);  // FTP is off for the item: dropped quietly
    Queue(src / "b.txt", KIND_HD);
    RunFolderWorker();

    EXPECT_EQ("A", ReadFileBytes(dst / "a.txt"));
    EXPECT_EQ("B", ReadFileBytes(dst / "b.txt"));
    std::vector<SeenMessage> reports = SeenBy(main, UM_REPORTERROR);
    ASSERT_EQ(2u, reports.size());
    for (const SeenMessage& r : reports) {
        EXPECT_EQ(ERR_DEST_OPEN, r.code);
        EXPECT_EQ(keyName, r.text);
    }
    std::vector<SeenMessage> started = SeenBy(progress, UM_DISKFILESTART);
    ASSERT_EQ(4u, started.size());
    EXPECT_EQ(src / "a.txt", started[1].text);
    EXPECT_EQ(src / "b.txt", started[2].text);
    EXPECT_EQ(4u, SeenBy(progress, UM_DISKFILEDONE).size());
    EXPECT_FALSE(SeenBy(progress, UM_DISKPERCENT).empty());

    std::map<std::string, std::string> records = DiskRecords(item);
    EXPECT_EQ(2u, records.size());
    EXPECT_EQ(1u, records.count(src / "a.txt*" + dst / "a.txt"));
    ASSERT_FALSE(g_trayIcons.empty());
    EXPECT_EQ(TRAY_UPLOAD, g_trayIcons.front());
    EXPECT_EQ(TRAY_IDLE, g_trayIcons.back());
}

TEST_F(Worker, ShutdownDropsTheFolderQueueAndClosesItsWindowOnce)
{
    AddDiskTarget(item, dst.path(), STORAGE_SYNC);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFileBytes(src / name, "x");
        Queue(src / name, KIND_HD);
    }
    SetEvent(start.shutdownEvent);
    RunFolderWorker();
    EXPECT_EQ(1u, SeenBy(progress, UM_TRANSFERSTOPPED).size());
    EXPECT_TRUE(SeenBy(progress, UM_DISKFILESTART).empty());
    EXPECT_FALSE(FileExists(dst / "a.txt"));
}

TEST_F(Worker, LiveStopDropsTheStoppedDiskRequestsOnly)
{
    AddDiskTarget(item, dst.path(), STORAGE_SYNC);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        WriteFileBytes(src / name, name);
    SetEvent(start.liveStopEvent);
    Queue(src / "a.txt", KIND_HD, start.liveStopEvent);
    Queue(src / "b.txt", KIND_HD, start.liveStopEvent);
    Queue(src / "c.txt", KIND_HD, start.liveStopEvent);
    Queue(src / "d.txt", KIND_HD);  // "Synchronize" of a single file carries no event
    start.mode = WORKER_LIVE;
    // The live worker never ends; its thread, queue and events stay behind.
    CloseHandle(StartWorker(start));
    ASSERT_TRUE(PumpUntil([&] { return FileExists(dst / "d.txt"); }, 20000));
    EXPECT_TRUE(PumpUntil([&] { return g_trayIcons.size() >= 3; }, 5000));
    EXPECT_FALSE(FileExists(dst / "a.txt") || FileExists(dst / "b.txt") || FileExists(dst / "c.txt"));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(start.liveStopEvent, 0));
    EXPECT_TRUE(SeenBy(main, UM_REPORTERROR).empty());
}

TEST_F(Worker, FtpTargetThatCannotStartIsReportedWithItsAddress)
{
    AddFtpTarget(item, "first", "nonexistent.invalid");
    AddFtpTarget(item, "second", "other.invalid");
    WriteFileBytes(src / "a.txt", "x");
    Queue(src / "a.txt", KIND_HD);  // disk is off for the item: dropped quietly
    Queue(src / "a.txt", KIND_FTP);
    BatchList* batches = start.batches;
    RunFolderWorker();
    std::vector<SeenMessage> reports = SeenBy(main, UM_REPORTERROR);
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ("nonexistent.invalid", reports[0].text);
    EXPECT_EQ("other.invalid", reports[1].text);
    EXPECT_NE(ERR_SUCCESS, reports[0].code);
    EXPECT_EQ(NULL, batches->first);
    FreeBatchList(batches);
}

TEST_F(Worker, BatchGathersTheItemsFtpRequestsAndTakesThemAtTheLastTarget)
{
    std::string other = dst.path() + "\\";
    CreateItemKey(other.c_str());
    DWORD id = AddFtpTarget(item, "site", "127.0.0.1");
    Queue(src / "x.txt", KIND_FTP);
    Queue(src / "x.txt", KIND_HD);
    Queue(dst / "y.txt", KIND_FTP);
    Queue(src / "sub\\z.txt", KIND_FTP);
    char keyName[260];
    OpenItemKey(item.c_str(), keyName, NULL);
    TransferRequest* head = start.queue->first;

    for (int last : {0, 1}) {
        FtpJob* batch = NewFtpJob(head->path, id);
        AppendNode(start.batches, batch);
        EXPECT_EQ(last, GatherBatchFiles(start, head, keyName, batch, last));
        ASSERT_EQ(2, CountNodes(batch->files));
        EXPECT_EQ(src / "x.txt", batch->files->localPath);
        EXPECT_EQ(src / "sub\\z.txt", batch->files->next->localPath);
        EXPECT_EQ(batch, batch->files->batch);
        EXPECT_EQ(last ? 2 : 4, CountNodes(start.queue->first));
    }
    EXPECT_EQ(KIND_HD, start.queue->first->kind);
    EXPECT_EQ(dst / "y.txt", start.queue->first->next->path);
    FreeRequestQueue(start.queue);
    FreeBatchList(start.batches);
}

} // namespace
