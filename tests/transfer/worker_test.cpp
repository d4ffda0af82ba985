// The worker threads on real queues, folders, registry and windows.
#include <gtest/gtest.h>

#include "transfer/ftp.h"
#include "transfer/ftpbatch.h"
#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "tests/transfer/transferenv.h"
#include "transfer/worker.h"

#include <stdlib.h>

namespace {

CRITICAL_SECTION g_trayLock;
std::vector<int> g_trayIcons;  // written by the worker thread

BOOL RecordTray(DWORD, NOTIFYICONDATAA* data)
{
    HANDLE idle = LoadImageA(GetModuleHandleA(NULL), "SMALLICON", IMAGE_ICON, 16, 16, LR_SHARED);
    EnterCriticalSection(&g_trayLock);
    g_trayIcons.push_back(data->hIcon == idle ? TRAY_IDLE : TRAY_UPLOAD);
    LeaveCriticalSection(&g_trayLock);
    return TRUE;
}

int LastTrayIcon()
{
    EnterCriticalSection(&g_trayLock);
    int last = g_trayIcons.empty() ? -1 : g_trayIcons.back();
    LeaveCriticalSection(&g_trayLock);
    return last;
}

DWORD WINAPI RunWorker(void* start)
{
    TransferWorker(start);
    return 0;
}

class Worker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        CreateItemKey(item.c_str());
        OpenItemKey(item.c_str(), keyName, NULL);
        start = {CreateEventA(NULL, TRUE, FALSE, NULL), CreateEventA(NULL, FALSE, TRUE, NULL),
                 CreateEventA(NULL, TRUE, FALSE, NULL), NewRequestQueue(), NewBatchList(), main,
                 WORKER_FOLDER};
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
    void Queue(const std::string& name, BYTE kind, HANDLE abortEvent = NULL)
    {
        QueueRequest(start.queue, NULL, (src / name).c_str(), kind, main, progress, abortEvent);
    }
    // Runs the worker on a heap copy of the start record; a folder worker
    // ends by itself and frees its queue.
    HANDLE Run(BYTE mode)
    {
        start.mode = mode;
        WorkerStart* copy = static_cast<WorkerStart*>(malloc(sizeof start));
        *copy = start;
        return CreateThread(NULL, 0, RunWorker, copy, 0, NULL);
    }
    void RunFolderWorker()
    {
        HANDLE thread = Run(WORKER_FOLDER);
        EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(thread, 0) == 0; }, 20000));
        PumpMessages(20);
        CloseHandle(thread);
    }
    TempDir src{"src"}, dst{"dst"};
    std::string item = src.path() + "\\";
    char keyName[260];
    HWND main = CreateRecordingWindow(), progress = CreateRecordingWindow();
    WorkerStart start;
};

TEST_F(Worker, DiskTargetsServedInOrderWithProgressReportsAndRecords)
{
    AddTarget(item, KIND_HD, dst.path(), STORAGE_SYNC);
    AddTarget(item, KIND_HD, dst / "missing", STORAGE_SYNC);
    WriteFileBytes(src / "a.txt", "A");
    WriteFileBytes(src / "b.txt", "B");
    Queue("a.txt", KIND_HD);
    Queue("a.txt", KIND_FTP);  // FTP is off for the item: dropped quietly
    Queue("b.txt", KIND_HD);
    RunFolderWorker();

    EXPECT_EQ("B", ReadFileBytes(dst / "b.txt"));
    std::vector<SeenMessage> reports = SeenBy(main, UM_REPORTERROR);
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(ERR_DEST_OPEN, reports[1].code);
    EXPECT_EQ(keyName, reports[1].text);
    std::vector<SeenMessage> started = SeenBy(progress, UM_DISKFILESTART);
    ASSERT_EQ(4u, started.size());
    EXPECT_EQ(src / "a.txt", started[1].text);
    EXPECT_EQ(src / "b.txt", started[2].text);
    EXPECT_EQ(4u, SeenBy(progress, UM_DISKFILEDONE).size());
    EXPECT_FALSE(SeenBy(progress, UM_DISKPERCENT).empty());
    EXPECT_TRUE(HasDiskRecord(item, src / "a.txt", dst / "a.txt"));
    EXPECT_FALSE(HasDiskRecord(item, src / "a.txt", dst / "missing\\a.txt"));
    EXPECT_EQ((std::vector<int>{TRAY_UPLOAD, TRAY_UPLOAD, TRAY_UPLOAD, TRAY_IDLE}), g_trayIcons);
}

TEST_F(Worker, ShutdownDropsTheFolderQueueAndClosesItsWindowOnce)
{
    AddTarget(item, KIND_HD, dst.path(), STORAGE_SYNC);
    WriteFileBytes(src / "a.txt", "x");
    Queue("a.txt", KIND_HD);
    Queue("a.txt", KIND_HD);
    SetEvent(start.shutdownEvent);
    RunFolderWorker();
    EXPECT_EQ(1u, SeenBy(progress, UM_TRANSFERSTOPPED).size());
    EXPECT_FALSE(FileExists(dst / "a.txt"));
}

TEST_F(Worker, LiveStopDropsTheStoppedDiskRequestsOnly)
{
    AddTarget(item, KIND_HD, dst.path(), STORAGE_SYNC);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        WriteFileBytes(src / name, name);
    SetEvent(start.liveStopEvent);
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        Queue(name, KIND_HD, start.liveStopEvent);
    Queue("d.txt", KIND_HD);  // "Synchronize" of a single file carries no event
    // The live worker never ends; its thread, queue and events stay behind.
    CloseHandle(Run(WORKER_LIVE));
    ASSERT_TRUE(PumpUntil([&] { return FileExists(dst / "d.txt"); }, 20000));
    EXPECT_FALSE(FileExists(dst / "a.txt") || FileExists(dst / "b.txt") || FileExists(dst / "c.txt"));
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(start.liveStopEvent, 0));
    EXPECT_TRUE(SeenBy(main, UM_REPORTERROR).empty());

    // A stop while the worker is idle does not drop the next change.
    ASSERT_TRUE(PumpUntil([&] { return LastTrayIcon() == TRAY_IDLE; }, 5000));
    SetEvent(start.liveStopEvent);
    QueueRequest(start.queue, start.workEvent, (src / "a.txt").c_str(), KIND_HD, main, NULL,
                 start.liveStopEvent);
    EXPECT_TRUE(PumpUntil([&] { return FileExists(dst / "a.txt"); }, 20000));
}

// Holds both while the FTP client refuses every start and once it connects:
// the unresolvable name is reported, the loopback target gets one batch.
TEST_F(Worker, FtpTargetsGetOneBatchEachOrAReportWithTheirAddress)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    AddTarget(item, KIND_FTP, "nonexistent.invalid", STORAGE_SYNC);
    AddTarget(item, KIND_FTP, "127.0.0.1", STORAGE_SYNC);
    Queue("a.txt", KIND_HD);  // disk is off for the item: dropped quietly
    Queue("a.txt", KIND_FTP);
    Queue("b.txt", KIND_FTP);
    BatchList* batches = start.batches;
    InitFtpClient({main, batches, NULL, NULL, NULL, NULL});
    RunFolderWorker();
    std::vector<SeenMessage> reports = SeenBy(main, UM_REPORTERROR);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ("nonexistent.invalid", reports[0].text);
    EXPECT_NE(ERR_SUCCESS, reports[0].code);
    if (reports.size() == 1) {
        ASSERT_TRUE(batches->first != NULL);
        EXPECT_EQ(NULL, batches->first->next);
        EXPECT_EQ(2, CountFileJobs(batches->first));
    } else {
        ASSERT_EQ(4u, reports.size());  // per request and target
        EXPECT_EQ("127.0.0.1", reports[3].text);
        EXPECT_EQ(NULL, batches->first);
    }
    FreeBatchList(batches);
    InitFtpClient({});
}

} // namespace
