// The monitor road on the real registry, files and windows: the intake, the link, the built-in
// monitor, both families.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <thread>

#include "common/messages.h"
#include "monitor/builtin.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/intake.h"
#include "monitor/monitor.h"
#include "monitor/watcher.h"
#include "store/store.h"
#include "transfer/ftp/ftpbatch.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

namespace {

typedef std::vector<std::pair<int, std::string>> Requests;

// The live worker's start record. The notification thread starts once per process and keeps it, as
// in the program.
WorkerStart g_start = {CreateEventA(NULL, TRUE, FALSE, NULL),
                       CreateEventA(NULL, FALSE, FALSE, NULL),
                       CreateEventA(NULL, TRUE, FALSE, NULL),
                       NewRequestQueue(),
                       NewBatchList(),
                       NULL,
                       WORKER_LIVE};

Requests Queued()  // as (kind, path), in queue order
{
    Requests out;
    LockQueue(g_start.queue);
    for (TransferRequest* r = g_start.queue->first; r; r = r->next)
        out.emplace_back(r->kind, r->path);
    UnlockQueue(g_start.queue);
    return out;
}

Requests Both(const std::string& path)
{
    return Requests{{KIND_HD, path}, {KIND_FTP, path}};
}  // one change queued

class Monitor : public ::testing::Test {
protected:
    TempDir base;
    std::string install = base / "Tandemkeep", work = base / "Work";
    HANDLE device = INVALID_HANDLE_VALUE;
    HWND window = reinterpret_cast<HWND>(0x1234);
    IntakeContext context = {NULL,
                             NULL,
                             INVALID_HANDLE_VALUE,
                             g_start.workEvent,
                             g_start.liveStopEvent,
                             window,
                             g_start.batches,
                             g_start.queue,
                             NULL};

    void SetUp() override
    {
        ResetProductKey();
        MakeDirs(install);
        MakeDirs(work);
        UseInstallDir(base);
        SetGlobalText("installdir", install.c_str());
        SetGlobalRaw("enabled", REG_BINARY, "", 0);
        SeedItem(work + "\\", ItemSpec{});
        ClearRequests(g_start.queue);
        ResetEvent(g_start.workEvent);
    }
    void TearDown() override
    {
        CloseMonitor(&device);
        ClearRequests(g_start.queue);
        ClearBatches(g_start.batches);
        DeleteProductKey();
    }
    // The intake for path, written first; what it queued.
    Requests Change(const std::string& path, bool write = true)
    {
        ClearRequests(g_start.queue);
        ResetEvent(g_start.workEvent);
        MakeDirs(path.substr(0, path.find_last_of('\\')));
        EXPECT_TRUE(!write || WriteFileBytes(path, "data"));
        char buffer[TK_PATH_SIZE];
        context.path = lstrcpynA(buffer, path.c_str(), sizeof buffer);
        EXPECT_NE(0, HandleChange(&context));
        return Queued();
    }
    // The texts after " - " of the backup (0) or error (1) log.
    std::vector<std::string> Log(int selector)
    {
        std::string text =
            ReadFileBytes(install + (selector ? "\\errorlog.txt" : "\\backuplog.txt"));
        std::vector<std::string> texts;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            std::string line = text.substr(start, end - start);
            texts.push_back(line.substr(line.find(" - ") + 3));
        }
        return texts;
    }
    std::vector<std::string> Tail(size_t n)  // the last n texts of the backup log
    {
        std::vector<std::string> texts = Log(0);
        return std::vector<std::string>(texts.end() - std::min(n, texts.size()), texts.end());
    }
    // Requests per path once count are queued and a change written after that (in folder) is
    // queued too: a second report of any of them would have come before it. The marker itself is
    // left out.
    std::map<std::string, int> QueuedOnce(size_t count, const std::string& folder)
    {
        if (!PumpUntil([&] { return Queued().size() >= count; }, 15000))
            return {};  // the caller's comparison fails
        std::string marker = folder + "\\marker.txt";
        WriteFileBytes(marker, "last");
        EXPECT_TRUE(PumpUntil([&] { return Queued().back().second == marker; }, 15000));
        std::map<std::string, int> counts;
        for (const auto& r : Queued())
            if (r.second != marker)
                ++counts[r.second];
        return counts;
    }
    static std::string Received(const std::string& path)
    {
        return "Received request to back up file " + path;
    }
};

TEST_F(Monitor, AnAcceptedChangeQueuesDiskThenFtpInItsLongFormAndThenWakesTheWorkerOnce)
{
    std::string file = work + "\\Long Named Folder\\Mixed Case Notes.txt";
    size_t atWake = 0;  // requests queued when the worker wakes
    std::thread worker([&] {
        if (WaitForSingleObject(g_start.workEvent, 15000) == WAIT_OBJECT_0)
            atWake = Queued().size();
    });
    EXPECT_EQ(Both(file), Change(file));
    worker.join();
    EXPECT_EQ(2u, atWake);
    for (TransferRequest* r = g_start.queue->first; r; r = r->next)
        EXPECT_TRUE(r->mainWindow == window && r->progressWindow == NULL &&
                    r->abortEvent == g_start.liveStopEvent);
    std::string vanished = work + "\\Gone\\..\\vanished.txt";
    EXPECT_EQ(Both(work + "\\vanished.txt"), Change(vanished, false));  // resolved, and on as it is
    EXPECT_EQ((std::vector<std::string>{Received(file), Received(vanished)}),
              Log(0));  // the log has it as it came
}

TEST_F(Monitor, TheIntakeFiltersInTheirOrderWithTheirLogLines)
{
    SeedItem(base.path() + "\\", ItemSpec{});  // covers the installation folder too
    std::string inside = install + "\\sub\\notes.txt",
                sibling = base / "Tandemkeep Data\\notes.txt";
    EXPECT_EQ(Requests{}, Change(inside));
    EXPECT_EQ(Requests{},
              Change(install + "\\backup.tmp"));  // the temporary-file filter comes first
    EXPECT_EQ(Both(sibling), Change(sibling));    // it only begins like the installation folder
    for (const char* dir :
         {"", static_cast<const char*>(NULL)}) {  // no installation folder: nothing to refuse
        dir ? SetGlobalText("installdir", dir) : DeleteGlobalValue("installdir");
        EXPECT_EQ(Both(inside), Change(inside));
    }
    SetGlobalText("installdir", install.c_str());
    EXPECT_EQ(Requests{}, Change(base / "attempt.txt"));
    EXPECT_EQ(
        std::vector<std::string>{"Filtered out suspected temporary file " + base / "attempt.txt"},
        Tail(1));
    SeedItem(base.path() + "\\",
             ItemSpec{{}, {}, 1, 1, 0, 0, 0, 0});  // temporary files too, no subfolders
    EXPECT_EQ(Both(base / "attempt.txt"), Change(base / "attempt.txt"));
    EXPECT_EQ(Both(work + "\\Sub\\a.txt"),
              Change(work + "\\Sub\\a.txt"));  // the Work item takes its subfolders
    EXPECT_EQ(Requests{}, Change(base / "Sub\\a.txt"));
    EXPECT_EQ(std::vector<std::string>{Received(base / "Sub\\a.txt")}, Tail(1));  // silently
    SeedItem(base / "Sub\\b.txt",
             ItemSpec{{}, {}, 1, 1, 0, 0, 0, 0});  // a file item is at its own depth
    EXPECT_EQ(Both(base / "Sub\\b.txt"), Change(base / "Sub\\b.txt"));
    EXPECT_EQ(std::vector<std::string>{"Cannot transfer file " + inside +
                                       ", it's in the Tandemkeep directory"},
              Log(1));
    ASSERT_EQ(
        STORE_OK,
        DeleteItemKey((base.path() + "\\").c_str()));  // no covering item, then monitoring off:
    EXPECT_EQ(Requests{}, Change(base / "x.txt"));     // only the line received
    DeleteGlobalValue("enabled");
    EXPECT_TRUE(Change(work + "\\x.txt").empty() &&
                WaitForSingleObject(g_start.workEvent, 0) == WAIT_TIMEOUT);
    EXPECT_EQ((std::vector<std::string>{Received(base / "x.txt"), Received(work + "\\x.txt")}),
              Tail(2));
    context.path = NULL;
    EXPECT_EQ(0, HandleChange(&context));
}

TEST_F(Monitor, SwitchedOnEveryKindOfChangeIsQueuedOnceAlsoWhenTheSystemLosesTheBurst)
{
    HANDLE thread = NULL;
    for (DWORD buffer :
         {64 * 1024, 64}) {  // 64 bytes hold no record: every change is found by a rescan
        TempDir outside;
        std::string top = work + "\\" + std::to_string(buffer), busy = top + "\\uploading.txt";
        MakeDirs(top + "\\one\\two");
        MakeDirs(outside / "tree\\sub");
        ASSERT_TRUE(WriteFileBytes(outside / "tree\\sub\\moved.txt", "x") &&
                    WriteFileBytes(outside / "ready", "x"));
        ASSERT_TRUE(WriteFileBytes(top + "\\old.txt", "x"));
        SetWatchBufferSize(buffer);
        ASSERT_EQ(1, SetMonitoring(NULL, &device, &g_start, 1));
        IntakeContext* intake = GetIntakeContext();
        ASSERT_TRUE(IsBuiltinMonitor(device) && intake->device == device &&
                    WaitBuiltinMonitorReady(10000));
        EXPECT_TRUE(thread == NULL ||
                    intake->thread == thread);  // on again: a new handle, the same thread
        thread = intake->thread;
        FtpBatch* batch = NewFtpBatch(busy.c_str(), 1, FTP_UPLOAD, WORKER_LIVE, NULL);
        AddFileJob(batch, NewFtpJob(busy.c_str()));  // a file an upload is sending: its copy to
        batch->current.sending = true;               // disk goes at once, the upload queues FTP
        ListBatch(g_start.batches, batch);
        MakeDirs(top + "\\new\\inner");
        ASSERT_TRUE(WriteFileBytes(top + "\\one\\two\\deep.txt", "d") && WriteFileBytes(busy, "s"));
        ASSERT_TRUE(WriteFileBytes(top + "\\old.txt", "y") &&
                    WriteFileBytes(top + "\\new\\inner\\quick.txt", "x"));
        ASSERT_TRUE(MoveFileA((outside / "tree").c_str(), (top + "\\tree").c_str()));
        ASSERT_TRUE(MoveFileA((outside / "ready").c_str(), (top + "\\final.doc").c_str()));
        std::map<std::string, int> want = {{top + "\\one\\two\\deep.txt", 2},
                                           {top + "\\old.txt", 2},
                                           {top + "\\new\\inner\\quick.txt", 2},
                                           {top + "\\tree\\sub\\moved.txt", 2},
                                           {top + "\\final.doc", 2},
                                           {busy, 1}};
        EXPECT_EQ(want, QueuedOnce(11, top)) << buffer;
        ASSERT_EQ(1, SetMonitoring(NULL, &device, &g_start, 0));
        EXPECT_TRUE(device == INVALID_HANDLE_VALUE && intake->device == device &&
                    !GlobalValueExists("enabled"));
        ClearRequests(g_start.queue);
        ClearBatches(g_start.batches);
        ASSERT_TRUE(
            WriteFileBytes(work + "\\while off.txt", std::to_string(buffer)));  // never reported
    }
    SetWatchBufferSize(64 * 1024);
    EXPECT_EQ(14u, Log(0).size());  // six files and the marker, twice
}

TEST_F(Monitor, SwitchingOnWhileOnKeepsTheMonitorWithTheChangesWaitingInIt)
{
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &g_start, 1));
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));
    HANDLE first = device;
    for (int i = 0; i < 30; ++i)  // read one by one, 25 ms apart: most of them wait in the monitor
        ASSERT_TRUE(WriteFileBytes(work + "\\f" + std::to_string(i) + ".txt", "x"));
    ASSERT_TRUE(PumpUntil([] { return BuiltinPendingReports() >= 10; }, 10000));
    ASSERT_TRUE(WriteFileBytes(work + "\\f29.txt", "again"));  // waiting still: one report
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &g_start, 1));
    EXPECT_EQ(first, device);
    EXPECT_EQ(30u, QueuedOnce(60, work).size());
    EXPECT_EQ(62u, Queued().size());  // each once, the marker too
}

TEST_F(Monitor, TheRenewedWatchListFollowsTheItemsAndAFileItemSeesOnlyItself)
{
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &g_start, 1));
    TempDir second;
    std::string only = work + "\\Sub\\only.txt";
    MakeDirs(work + "\\Sub");
    ASSERT_TRUE(WriteFileBytes(only, "x"));
    SeedItem(second.path() + "\\", ItemSpec{});
    SeedItem(only, ItemSpec{});
    ASSERT_EQ(STORE_OK, DeleteItemKey((work + "\\").c_str()));
    ASSERT_TRUE(SendWatchList(device) == 1 && WaitBuiltinMonitorReady(10000));
    for (const std::string& file :
         {second / "new.txt", work + "\\removed.txt", work + "\\Sub\\sibling.txt", only})
        ASSERT_TRUE(WriteFileBytes(file, "changed"));
    EXPECT_EQ((std::map<std::string, int>{{second / "new.txt", 2}, {only, 2}}),
              QueuedOnce(4, second.path()));
    EXPECT_EQ(3u, Log(0).size());  // the others were not reported at all
    DeleteProductKey();
    EXPECT_EQ(0, SendWatchList(device));
    CloseMonitor(&device);
    EXPECT_EQ(0, SetMonitoring(NULL, &device, &g_start, 1));
    EXPECT_EQ(INVALID_HANDLE_VALUE, device);
}

TEST(DeviceGuard, AHandleClosedDuringACallClosesAfterIt)
{
    HANDLE device = OpenBuiltinMonitor(), cell = device;
    HANDLE inCall = BeginDeviceCall(&cell);
    ASSERT_TRUE(inCall == device && DeviceCallsInFlight(device) == 1);
    SetGuardedDevice(&cell, INVALID_HANDLE_VALUE);
    CloseGuardedDevice(device);
    EXPECT_TRUE(IsBuiltinMonitor(device) &&
                MonitorControl(inCall, MONITOR_FORGET_ALL, NULL, 0, NULL, 0, NULL));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              BeginDeviceCall(&cell));  // a new reader of the cell no longer gets it
    EndDeviceCall(inCall);
    EXPECT_FALSE(IsBuiltinMonitor(device) || DeviceCallsInFlight(device));
}

// Names outside the code page (1252 here) cannot be opened through the ANSI functions, and Wine's
// ANSI form of "Łódź" is "Lódz", another file's name. Such a file is reported with '?' where a
// character cannot be shown, never skipped in silence nor taken for another file: from the
// built-in monitor, also in a new folder of such a name, and when a driver gives the short name.
TEST_F(Monitor, NamesOutsideTheCodePageAreReportedAndNeverTakenForAnotherFile)
{
    wchar_t folder[MAX_PATH], shortName[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, (work + "\\").c_str(), -1, folder, MAX_PATH);
    std::vector<std::wstring> odd = {L"\u62a5", L"\u62a5\\a.txt", L"\u62a5\u544a.txt",
                                     L"note \U0001F642.txt", L"\u0141\u00f3d\u017a.txt"};
    ASSERT_TRUE(WriteFileBytes(work + "\\L\363dz.txt", "another file"));
    ASSERT_TRUE(SetMonitoring(NULL, &device, &g_start, 1) == 1 && WaitBuiltinMonitorReady(10000));
    CreateDirectoryW((folder + odd[0]).c_str(), NULL);
    for (size_t i = 1; i < odd.size(); ++i)
        CloseHandle(
            CreateFileW((folder + odd[i]).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    ASSERT_TRUE(WriteFileBytes(work + "\\caf\xE9.txt", "x"));
    EXPECT_EQ((std::map<std::string, int>{{work + "\\caf\xE9.txt", 2}}), QueuedOnce(2, work));
    char driverPath[MAX_PATH];
    GetShortPathNameW((folder + odd.back()).c_str(), shortName, MAX_PATH);
    WideCharToMultiByte(CP_ACP, 0, shortName, -1, driverPath, MAX_PATH, NULL, NULL);
    EXPECT_EQ(Requests{}, Change(driverPath, false));
    std::vector<std::string> lines = Log(1), want;
    for (const char* name : {"?\\a.txt", "??.txt", "note ??.txt", "?\363d?.txt", "?\363d?.txt"})
        want.push_back("Cannot transfer file " + work + "\\" + name +
                       ", its name has characters outside the system's code page");
    std::sort(lines.begin(), lines.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(want, lines);
    for (size_t i = odd.size(); i-- > 0;)
        DeleteFileW((folder + odd[i]).c_str()) || RemoveDirectoryW((folder + odd[i]).c_str());
}

}  // namespace
