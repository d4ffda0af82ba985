// Disk copies and workers: the pure rules in tables, then real files, queues, registry and windows.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/recorder.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/diskcopy.h"
#include "transfer/worker.h"

#include <stdlib.h>
#include <thread>

namespace {

TEST(DiskRules, TargetPathsKeepThePlaceBelowTheItemInAFullFolder)
{
    const std::string tooLong(255, 'x');
    struct Case { const char *path, *nameSource, *key, *folder, *expected; } cases[] = {  // NULL: refused
        {"C:\\d\\s\\t\\b.txt", "C:\\d\\s\\t\\b.txt", "C:*d*", "D:\\bk\\", "D:\\bk\\s\\t\\b.txt"},
        {"C:\\d\\a.txt", "C:\\d\\a.txt", "C:*d*", "E:\\", "E:\\a.txt"},
        {"C:\\d\\r.doc", "C:\\d\\r 1-2.doc", "C:*d*", "\\\\srv\\sh", "\\\\srv\\sh\\r 1-2.doc"},
        {"C:\\n\\todo.txt", "C:\\n\\todo 1-2.txt", "C:*n*todo.txt", "D:\\bk", "D:\\bk\\todo 1-2.txt"},
        {"C:\\d\\", "C:\\d\\", "C:*d*", "D:\\bk", NULL}, {"C:\\d\\a.txt", "C:\\d\\a.txt", "C:*d*", tooLong.c_str(), NULL}};
    for (const Case& c : cases) {
        char out[260];
        EXPECT_EQ(c.expected != NULL, MakeDiskTargetPath(c.path, c.nameSource, c.key, c.folder, out, 260) != 0);
        EXPECT_STREQ(c.expected ? c.expected : "", out) << c.path << " into " << c.folder;
    }
    for (const char* full : {"C:\\", "z:/bk", "\\\\srv\\sh"})
        EXPECT_EQ(1, IsFullFolderPath(full)) << full;
    for (const char* relative : {"", "bk", "\\bk", "C:", "C:bk", "\\\\", "\\\\\\x"})
        EXPECT_EQ(0, IsFullFolderPath(relative)) << relative;
    int ends[8];  // folders are made from the first below the drive or the share
    EXPECT_TRUE(FolderChainPrefixes("\\\\srv\\sh\\bk\\b.txt", ends, 8) == 2 && ends[0] == 8 && ends[1] == 11);
    EXPECT_EQ(1, FolderChainPrefixes("D:\\bk\\b.txt", ends, 8));
}

TEST(DiskRules, BackupStampsTemporaryNamesAndPercentages)
{
    struct Name { const char *path, *expected; } names[] = {
        {"C:\\d\\report.doc", "C:\\d\\report 12-5-2026 4 12 24.doc"}, {"C:\\d\\index.html", "C:\\d\\index.html 12-5-2026 4 12 24"},
        {"C:\\d\\README", "C:\\d\\README 12-5-2026 4 12 24"}, {"C:\\d\\x.tar.gz", "C:\\d\\x.tar 12-5-2026 4 12 24.gz"},
        {"C:\\a.b\\c", "C:\\a.b\\c 12-5-2026 4 12 24"}};  // a dot in a folder is no extension
    char out[260], small[20];
    for (const Name& c : names)
        EXPECT_TRUE(InsertBackupStamp(c.path, "12-5-2026 4 12 24", out, 260) && std::string(c.expected) == out) << c.path;
    EXPECT_EQ(0, InsertBackupStamp("C:\\d\\report.doc", "12-5-2026 4 12 24", small, sizeof small));
    EXPECT_TRUE(FormatBackupStamp("12/5/2026", "4:12:24 ", small, sizeof small) && std::string(small) == "12-5-2026 4 12 24");
    EXPECT_TRUE(MakeTempCopyName("D:\\bk\\s\\b.txt", 0x1ABCD, out, 260) && std::string(out) == "D:\\bk\\s\\tkABCD.tmp");
    std::string folder = "D:\\" + std::string(245, 'f') + "\\";  // 249 characters: the name just fits
    EXPECT_EQ(1, MakeTempCopyName((folder + "a").c_str(), 7, out, 260));
    EXPECT_EQ(0, MakeTempCopyName(("D:\\g" + folder.substr(2) + "a").c_str(), 7, out, 260));
    const ULONGLONG G4 = 1ull << 32;
    struct Percent { ULONGLONG done, size; int percent; } percents[] = {
        {1, 3, 33}, {5, 3, 100}, {65536, G4 + 100, 0}, {G4, G4 + 100, 99}, {3 * G4, 4 * G4, 75}, {~0ull / 2, ~0ull, 49}};
    for (const Percent& c : percents)
        EXPECT_EQ(c.percent, CopyPercent(c.done, c.size)) << c.done << " of " << c.size;
}

const LONGLONG kBig = (1ll << 32) + 100;

// The size of a file; with size given, the file is first made sparse at that size.
LONGLONG FileSize(const std::string& path, LONGLONG size = -1)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, size < 0 ? OPEN_EXISTING : CREATE_ALWAYS, 0, NULL);
    LARGE_INTEGER at = {};
    at.QuadPart = size;
    if (size >= 0)
        SetFilePointerEx(f, at, NULL, FILE_BEGIN), SetEndOfFile(f);
    GetFileSizeEx(f, &at);
    CloseHandle(f);
    return at.QuadPart;
}

class Transfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey(), CreateItemKey(item.c_str()), OpenItemKey(item.c_str(), key, NULL);
        SetBackupClock([](SYSTEMTIME* t) { *t = SYSTEMTIME{2026, 12, 6, 5, 16, 12, 24, 0}; });
    }
    void TearDown() override { SetBackupClock(NULL), DeleteProductKey(); }
    // A target of the item; for "bk", a fresh one holding an old stored copy of a.txt.
    DWORD Target(BYTE storage, const std::string& folder = "bk", const std::string& on = "")
    {
        if (folder == "bk")
            RemoveTree(dst / "bk"), MakeDirs(dst / "bk"), WriteFileBytes(dst / "bk\\a.txt", "old");
        ItemSpec spec;
        spec.disks = {DiskSpec{folder == "bk" ? dst / "bk" : folder, storage}};
        return SeedItem(on.empty() ? item : on, spec).disks[0];
    }
    int Copy(const std::string& path, DWORD id, HANDLE abortEvent = NULL, HWND progress = NULL)
    {
        TransferRequest r = {NULL, NULL, progress, abortEvent, KIND_HD, const_cast<char*>(path.c_str())};
        return CopyToDiskTarget(&r, &start, id, stored);
    }
    bool TempLeft()
    {
        WIN32_FIND_DATAA fd;
        return FindClose(FindFirstFileA((dst / "bk\\tk*.tmp").c_str(), &fd)) != FALSE;
    }
    void Queue(const std::string& name, BYTE kind, HANDLE event = NULL, HANDLE work = NULL)
    {
        QueueRequest(start.queue, work, (src / name).c_str(), kind, main.window(), progress.window(), event);
    }
    // A worker on a heap copy of the start record: a folder worker ends by
    // itself and frees its queue; the live one never ends.
    void Run(BYTE mode)
    {
        WorkerStart* copy = static_cast<WorkerStart*>(malloc(sizeof start));
        *copy = start, copy->mode = mode;
        HANDLE thread = CreateThread(NULL, 0, [](void* s) -> DWORD { return TransferWorker(s), 0; }, copy, 0, NULL);
        EXPECT_TRUE(mode == WORKER_LIVE || PumpUntil([&] { return !WaitForSingleObject(thread, 0); }, 20000));
        PumpMessages(20);
        CloseHandle(thread);
    }
    bool Cleared(HANDLE event) { return PumpUntil([&] { return WaitForSingleObject(event, 0) == WAIT_TIMEOUT; }, 5000); }
    TempDir src{"src"}, dst{"dst"};
    std::string item = src.path() + "\\";
    char key[260], stored[260];
    Recorder main, progress;
    WorkerStart start = {CreateEventA(NULL, TRUE, FALSE, NULL), CreateEventA(NULL, FALSE, TRUE, NULL),
                         CreateEventA(NULL, TRUE, FALSE, NULL), NewRequestQueue(), NewBatchList(), main.window(), WORKER_FOLDER};
};

TEST_F(Transfer, StorageTypesAndSources)
{
    struct Case { BYTE type; const char *storedName, *storedData; } cases[] = {
        {STORAGE_SYNC, "a.txt", "new"}, {STORAGE_BACKUP, "a 12-5-2026 4 12 24.txt", "new"},
        {STORAGE_APPEND, "a.txt", "oldnew"}, {7, "a.txt", "new"}};  // 7: never written by the pages
    WriteFileBytes(src / "a.txt", "new");
    for (const Case& c : cases) {
        ASSERT_EQ(1, Copy(src / "a.txt", Target(c.type))) << int(c.type);
        EXPECT_EQ(dst / "bk\\" + c.storedName, stored);
        EXPECT_TRUE(ReadFileBytes(stored) == c.storedData && !TempLeft());
        EXPECT_TRUE(c.type != STORAGE_BACKUP || ReadFileBytes(dst / "bk\\a.txt") == "old");
    }
    DWORD missing = Target(STORAGE_SYNC, dst / "no");  // only subfolders are made
    EXPECT_EQ(ERR_DEST_OPEN, Copy(src / "a.txt", missing));
    EXPECT_EQ(1, Copy(src / "gone.txt", missing));
    MakeDirs(src / "sub");
    EXPECT_EQ(1, Copy(src / "sub", missing));  // a folder has no bytes
    EXPECT_TRUE(!stored[0] && !DirExists(dst / "no"));
    HANDLE lock = CreateFileA((src / "a.txt").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(ERR_SOURCE_OPEN, Copy(src / "a.txt", Target(STORAGE_SYNC, dst.path())));
    CloseHandle(lock);
    EXPECT_EQ(ERR_DEST_OPEN, Copy(src / "a.txt", Target(STORAGE_APPEND, src.path())));  // onto itself
    EXPECT_EQ("new", ReadFileBytes(src / "a.txt"));
}

// A source that breaks off: a pipe whose writer sends two blocks, setting the
// event (if any) after the first, and then goes away.
void FeedPipe(HANDLE pipe, HANDLE event)
{
    ConnectNamedPipe(pipe, NULL);
    std::string block(DISK_COPY_BLOCK, 'n');
    DWORD put;
    for (int i = 0; i < 2; ++i, Sleep(3 * DISK_STOP_POLL_MS)) {
        WriteFile(pipe, block.data(), DISK_COPY_BLOCK, &put, NULL);
        if (event && i == 0)
            SetEvent(event);
    }
    CloseHandle(pipe);
}

// A stop by the user or at shutdown, or a failed read, leaves the stored copy
// as it was; an append is cut back, also on a stored copy past 4 GiB.
TEST_F(Transfer, UnfinishedCopiesLeaveTheStoredCopyAlone)
{
    const std::string pipe = "\\\\.\\pipe\\a.txt";
    HANDLE abortEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (BYTE type : {STORAGE_SYNC, STORAGE_APPEND}) {
        DWORD target = Target(type, "bk", "\\\\.\\pipe\\");
        LONGLONG size = type == STORAGE_APPEND ? FileSize(dst / "bk\\a.txt", kBig) : 3;
        for (HANDLE event : {abortEvent, start.shutdownEvent, HANDLE(NULL)}) {
            std::thread feeder(FeedPipe, CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_OUTBOUND, 0, 1, 4096, 4096, 0, NULL), event);
            EXPECT_EQ(event ? ERR_SUCCESS : ERR_FILE_OPERATION, Copy(pipe, target, abortEvent));
            EXPECT_STREQ("", stored);
            feeder.join(), ResetEvent(event);
        }
        EXPECT_EQ(size, FileSize(dst / "bk\\a.txt")) << int(type);
        EXPECT_TRUE((size > 3 || ReadFileBytes(dst / "bk\\a.txt") == "old") && !TempLeft());
    }
}

// The percentage is posted when it changes, from a 64-bit size: a source of
// 4 GiB + 100 bytes starts at 0%, not at 100% of its low 32 bits.
TEST_F(Transfer, ProgressAndFilesPastFourGibibytes)
{
    WriteFileBytes(src / "empty.txt", "");
    ASSERT_EQ(1, Copy(src / "empty.txt", Target(STORAGE_SYNC, dst.path()), NULL, progress.window()));
    EXPECT_TRUE(FileExists(stored) && ReadFileBytes(stored).empty());
    DWORD id = Target(STORAGE_APPEND);
    WriteFileBytes(src / "a.txt", std::string(3 * DISK_COPY_BLOCK + 100, 'p'));
    ASSERT_EQ(1, Copy(src / "a.txt", id, NULL, progress.window()));
    PumpMessages(50);
    std::vector<WPARAM> percents;
    for (const Recorded& m : progress.Seen(UM_DISKPERCENT))
        percents.push_back(m.wParam);
    EXPECT_EQ((std::vector<WPARAM>{33, 66, 99, 100}), percents);
    progress.Clear(), FileSize(src / "big.bin", kBig), id = Target(STORAGE_SYNC);
    HANDLE abortEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    std::thread copy([&] { Copy(src / "big.bin", id, abortEvent, progress.window()); });
    EXPECT_TRUE(PumpUntil([&] { return progress.Count(UM_DISKPERCENT) > 0; }, 10000));
    SetEvent(abortEvent), copy.join();
    EXPECT_TRUE(progress.Seen(UM_DISKPERCENT).at(0).wParam == 0 && !TempLeft());
}

// A failed target is reported and does not stop the others; only finished
// copies are recorded. A folder that cannot be used (a value too long for the
// store, which reads as empty; a relative one; one too long for a temporary
// name beside the copy) gets nothing written anywhere.
TEST_F(Transfer, WorkerServesDiskTargetsInOrderWithReportsRecordsAndProgress)
{
    std::string deep = dst / std::string(200, 'd') + "\\" + std::string(250 - dst.path().size() - 202, 'e');
    MakeDirs(deep);
    ItemSpec spec;
    for (std::string folder : {dst.path(), dst / "no", std::string("x"), std::string("bk"), deep})
        spec.disks.push_back(DiskSpec{folder, STORAGE_SYNC});
    spec.ftpOn = 0;
    SeededIds ids = SeedItem(item, spec);
    std::string tooLong(308, 'x');
    SetItemRaw(key, ("Targets\\HD\\" + std::to_string(ids.disks[2])).c_str(), "hd_directory", REG_SZ, tooLong.c_str(), 309);
    std::vector<std::string> expected, reports;
    for (std::string name : {"w1.t", "w2.t"}) {
        WriteFileBytes(src / name, name), Queue(name, KIND_HD), Queue(name, KIND_FTP);  // FTP off: dropped quietly
        expected.insert(expected.end(), {"12 " + std::string(key), "7 " + item, "7 bk\\" + name, "12 " + std::string(key)});
    }
    Run(WORKER_FOLDER);
    for (const Recorded& r : main.Seen(UM_REPORTERROR))
        reports.push_back(std::to_string(r.code) + " " + r.text);
    EXPECT_EQ(expected, reports);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{src / "w1.t*" + dst / "w1.t", HD_RECORD_DATA},
                                                                {src / "w2.t*" + dst / "w2.t", HD_RECORD_DATA}}),
              RestoreRecords(item, KIND_HD));
    EXPECT_FALSE(FileExists("\\w1.t") || FileExists("bk\\w1.t") || FileExists(deep + "\\w1.t"));
    EXPECT_TRUE(ReadFileBytes(dst / "w2.t") == "w2.t" && progress.Texts(UM_DISKFILESTART).back() == src / "w2.t");
    EXPECT_EQ(10u, progress.Count(UM_DISKFILEDONE));
    EXPECT_TRUE(main.Seen(UM_TRAYSTATE).front().wParam == TRAY_UPLOAD && main.Seen(UM_TRAYSTATE).back().wParam == TRAY_IDLE);
}

TEST_F(Transfer, ShutdownDropsTheFolderQueueAndClosesItsWindowOnce)
{
    Target(STORAGE_SYNC, dst.path());
    WriteFileBytes(src / "a", "x");
    Queue("a", KIND_HD), Queue("a", KIND_HD), SetEvent(start.shutdownEvent);
    Run(WORKER_FOLDER);
    EXPECT_TRUE(progress.Count(UM_TRANSFERSTOPPED) == 1 && !FileExists(dst / "a"));
}

// Stop All Transfers drops the queued live copies, also when it comes before
// the worker woke for them; pressed while it is idle, it stops nothing later.
TEST_F(Transfer, StopAllTransfersDropsTheCopiesQueuedBeforeIt)
{
    Target(STORAGE_SYNC, dst.path());
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        WriteFileBytes(src / name, name);
    HANDLE stop = start.liveStopEvent;
    auto stored = [&](const char* name) { return PumpUntil([&] { return FileExists(dst / name); }, 20000); };
    SetEvent(stop);
    Queue("a", KIND_HD, stop), Queue("b", KIND_HD, stop), Queue("c", KIND_HD);  // c: "Synchronize", no event
    Run(WORKER_LIVE);
    EXPECT_TRUE(stored("c") && Cleared(stop));
    SetEvent(stop);  // idle: nothing to stop
    EXPECT_TRUE(Cleared(stop));
    Queue("d", KIND_HD, stop, start.workEvent);
    EXPECT_TRUE(stored("d") && PumpUntil([&] { return main.Seen(UM_TRAYSTATE).back().wParam == TRAY_IDLE; }, 5000));
    Queue("e", KIND_HD, stop), SetEvent(stop);  // e queued, the waiting worker not woken for it
    EXPECT_TRUE(Cleared(stop));
    Queue("f", KIND_HD, stop, start.workEvent);
    EXPECT_TRUE(stored("f"));
    EXPECT_FALSE(FileExists(dst / "a") || FileExists(dst / "b") || FileExists(dst / "e"));
}

// One batch per FTP target carries the item's queued FTP requests; a target
// whose connection cannot start is reported with its address.
TEST_F(Transfer, FtpTargetsGetOneBatchEachOrAReportWithTheirAddress)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);
    ItemSpec spec;
    spec.ftps = {FtpSpec(), FtpSpec()};
    spec.ftps[0].address = "nonexistent.invalid", spec.ftps[1].port = 1;
    SeedItem(item, spec);
    CreateItemKey((dst.path() + "\\").c_str());
    Queue("x", KIND_HD), Queue("x", KIND_FTP);  // no disk target: the first is dropped quietly
    QueueRequest(start.queue, NULL, (dst / "y").c_str(), KIND_FTP, main.window(), NULL, NULL);
    Queue("sub\\z", KIND_FTP);
    BatchList* batches = start.batches;
    Run(WORKER_FOLDER);
    ASSERT_EQ((std::vector<std::string>{"nonexistent.invalid"}), main.Texts(UM_REPORTERROR));
    ASSERT_TRUE(batches->first && !batches->first->next && CountNodes(batches->first->files) == 2);
    EXPECT_EQ(src / "x" + src / "sub\\z", std::string(batches->first->files->localPath) + batches->first->files->next->localPath);
    closesocket(batches->first->socket);
    FreeBatchList(batches);
}

} // namespace
