// The monitor link on the NT family: switching on and off, the watch list, the notification thread, the device guard.
#include <gtest/gtest.h>

#include "transfer/ftpbatch.h"

#include "monitor/builtin.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/intake.h"
#include "monitor/monitor.h"
#include "store/regvalue.h"
#include "store/store.h"
#include "tests/monitor/monitor_support.h"
#include "tests/support/testenv.h"

#include <string>

namespace {

// The notification thread is started once per process and keeps the start
// record it was given, as in the program: every test shares this one.
WorkerStart& LiveStart()
{
    static WorkerStart start = {CreateEventA(NULL, TRUE, FALSE, NULL),
                                CreateEventA(NULL, FALSE, FALSE, NULL),
                                CreateEventA(NULL, TRUE, FALSE, NULL),
                                NewRequestQueue(),
                                NewBatchList(),
                                NULL,
                                WORKER_LIVE};
    return start;
}

class Link : public ::testing::Test {
protected:
    TempDir base{"tklink"};
    std::string install, work;
    HANDLE device = INVALID_HANDLE_VALUE;
    WorkerStart& start = LiveStart();

    void SetUp() override
    {
        ASSERT_TRUE(IsNtPlatform());
        ResetProductKey();
        install = base / "Install";
        work = base / "Work";
        MakeDirs(install);
        MakeDirs(work);
        SetGlobalText("installdir", install.c_str());
        SetGlobalDword("logging", 1);
        ASSERT_EQ(1, CreateItemKey((work + "\\").c_str()));
        ClearRequests(start.queue);
        ClearBatches(start.batches);
    }
    void TearDown() override
    {
        CloseMonitor(&device);
        ClearRequests(start.queue);
        ClearBatches(start.batches);
        DeleteProductKey();
    }
    bool WaitQueued(const std::string& path, int timeoutMs = 10000)
    {
        DWORD t0 = GetTickCount();
        for (;;) {
            for (const auto& r : QueuedRequests(start.queue))
                if (r.second == path)
                    return true;
            if (GetTickCount() - t0 > static_cast<DWORD>(timeoutMs))
                return false;
            Sleep(20);
        }
    }
    bool EverQueued(const std::string& path)
    {
        for (const auto& r : QueuedRequests(start.queue))
            if (r.second == path)
                return true;
        return false;
    }
};

TEST_F(Link, SwitchingOnWatchesTheItemsAndQueuesTheirChanges)
{
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 1));
    EXPECT_TRUE(GlobalValueExists("enabled"));
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    EXPECT_TRUE(IsBuiltinMonitor(device));  // no driver here
    IntakeContext* context = GetIntakeContext();
    ASSERT_TRUE(context->thread != NULL);
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));

    std::string file = work + "\\Sub Folder\\changed file.txt";
    MakeDirs(work + "\\Sub Folder");
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    ASSERT_TRUE(WaitQueued(file));
    Sleep(200);
    auto queued = QueuedRequests(start.queue);
    ASSERT_EQ(2u, queued.size());
    EXPECT_EQ(KIND_HD, queued[0].first);
    EXPECT_EQ(KIND_FTP, queued[1].first);
    auto log = LogTexts(install, 0);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("Received request to back up file " + file, log[0]);
}

TEST_F(Link, OffAndOnAgainKeepsOneThreadAndReadsThroughTheNewHandle)
{
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 1));
    IntakeContext* context = GetIntakeContext();
    HANDLE thread = context->thread;
    HANDLE event = context->monitorEvent;
    HANDLE first = device;

    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 0));
    EXPECT_EQ(INVALID_HANDLE_VALUE, device);
    EXPECT_FALSE(GlobalValueExists("enabled"));
    EXPECT_FALSE(IsBuiltinMonitor(first));
    EXPECT_EQ(INVALID_HANDLE_VALUE, context->device);  // the thread no longer holds it
    ASSERT_TRUE(WriteFileBytes(work + "\\while off.txt", "x"));
    Sleep(500);
    EXPECT_TRUE(QueuedRequests(start.queue).empty());

    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 1));
    EXPECT_EQ(thread, context->thread);
    EXPECT_EQ(event, context->monitorEvent);
    EXPECT_EQ(device, context->device);
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));
    std::string file = work + "\\after.txt";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    EXPECT_TRUE(WaitQueued(file));

    // Switching on while on replaces the handle instead of leaking it.
    HANDLE before = device;
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 1));
    EXPECT_FALSE(IsBuiltinMonitor(before) && before != device);
}

TEST_F(Link, FilesAnFtpBatchIsSendingAreNotReportedAgain)
{
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 1));
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));
    std::string busy = work + "\\uploading.txt";
    std::string other = work + "\\other.txt";
    ASSERT_TRUE(WriteFileBytes(busy, "x"));
    ASSERT_TRUE(WaitQueued(busy));
    Sleep(300);
    ClearRequests(start.queue);
    auto mentions = [&]() {
        int n = 0;
        for (const std::string& line : LogTexts(install, 0))
            n += line.find("uploading.txt") != std::string::npos;
        return n;
    };
    int before = mentions();

    FtpBatch* batch = NewFtpBatch(busy.c_str(), 1, FTP_UPLOAD, WORKER_LIVE, NULL);
    AddFileJob(batch, NewFtpJob(busy.c_str()));
    batch->current.sending = true;
    ListBatch(start.batches, batch);

    ASSERT_TRUE(WriteFileBytes(busy, "changed by the transfer"));
    Sleep(200);
    ASSERT_TRUE(WriteFileBytes(other, "x"));
    ASSERT_TRUE(WaitQueued(other));
    EXPECT_FALSE(EverQueued(busy));
    // The backup log does not even see it.
    EXPECT_EQ(before, mentions());
}

TEST_F(Link, RenewedWatchListFollowsTheItems)
{
    ASSERT_EQ(1, SetMonitoring(NULL, &device, &start, 1));
    TempDir second{"tklink2"};
    ASSERT_EQ(1, CreateItemKey((second.path() + "\\").c_str()));
    ASSERT_EQ(1, DeleteItemKey((work + "\\").c_str()));
    ASSERT_EQ(1, SendWatchList(device));
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));
    std::string added = second / "new item file.txt";
    ASSERT_TRUE(WriteFileBytes(added, "x"));
    std::string removed = work + "\\removed item.txt";
    ASSERT_TRUE(WriteFileBytes(removed, "x"));
    EXPECT_TRUE(WaitQueued(added));
    Sleep(300);
    EXPECT_FALSE(EverQueued(removed));

    DeleteKeyTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tandemkeep\\Files");
    EXPECT_EQ(0, SendWatchList(device));
}

TEST_F(Link, NoProductKeyNoMonitoring)
{
    DeleteProductKey();
    EXPECT_EQ(0, SetMonitoring(NULL, &device, &start, 1));
    EXPECT_EQ(INVALID_HANDLE_VALUE, device);
}

// The guard: a handle closed while a call is in flight closes after the call.
TEST(DeviceGuard, CloseWaitsForTheCallInFlight)
{
    HANDLE device = OpenBuiltinMonitor();
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    HANDLE cell = device;
    HANDLE inCall = BeginDeviceCall(&cell);
    ASSERT_EQ(device, inCall);
    EXPECT_EQ(1, DeviceCallsInFlight(device));

    SetGuardedDevice(&cell, INVALID_HANDLE_VALUE);
    CloseGuardedDevice(device);
    EXPECT_TRUE(IsBuiltinMonitor(device));  // still usable by the caller
    EXPECT_TRUE(MonitorControl(inCall, MONITOR_FORGET_ALL, NULL, 0, NULL, 0, NULL));
    // A new reader of the cell no longer gets it.
    EXPECT_EQ(INVALID_HANDLE_VALUE, BeginDeviceCall(&cell));

    EndDeviceCall(inCall);
    EXPECT_FALSE(IsBuiltinMonitor(device));
    EXPECT_EQ(0, DeviceCallsInFlight(device));
}

}  // namespace
