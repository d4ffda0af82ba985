// The built-in monitor through its control codes, on real folders.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "monitor/builtin.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/watcher.h"
#include "store/store.h"
#include "tests/monitor/monitor_support.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <functional>
#include <string>

namespace {

class Builtin : public ::testing::Test {
protected:
    TempDir dir{"tkwatch"};
    MonitorReader reader;
    std::string folder() const { return dir.path() + "\\"; }
    void TearDown() override { SetWatchBufferSize(64 * 1024); }
};

TEST_F(Builtin, ReportsCreatedModifiedAndRenamedFiles)
{
    std::string existing = dir / "existing.txt";
    ASSERT_TRUE(WriteFileBytes(existing, "old"));
    MakeDirs(dir / "one\\two\\three");
    reader.Watch(folder());

    // Deep inside folders that existed before the watch began.
    std::string deep = dir / "one\\two\\three\\deep file.txt";
    ASSERT_TRUE(WriteFileBytes(deep, "x"));
    EXPECT_TRUE(reader.WaitFor(deep));

    std::string created = dir / "created.txt";
    ASSERT_TRUE(WriteFileBytes(created, "new"));
    EXPECT_TRUE(reader.WaitFor(created));

    ASSERT_TRUE(WriteFileBytes(existing, "changed"));
    EXPECT_TRUE(reader.WaitFor(existing));

    // Written under another name, then renamed into place.
    std::string staging = dir / "staging.part";
    std::string final = dir / "final.doc";
    ASSERT_TRUE(WriteFileBytes(staging, "content"));
    ASSERT_TRUE(MoveFileA(staging.c_str(), final.c_str()));
    EXPECT_TRUE(reader.WaitFor(final));

    std::string spaced = dir / "a name with spaces.txt";
    ASSERT_TRUE(WriteFileBytes(spaced, "x"));
    EXPECT_TRUE(reader.WaitFor(spaced));
}

TEST_F(Builtin, FoldersCreatedOrMovedInAreWatchedWithTheirFiles)
{
    TempDir outside{"tkout"};
    reader.Watch(folder());

    MakeDirs(dir / "new\\inner");
    std::string quick = dir / "new\\inner\\quick.txt";
    ASSERT_TRUE(WriteFileBytes(quick, "x"));
    EXPECT_TRUE(reader.WaitFor(quick));
    std::string later = dir / "new\\inner\\later.txt";
    ASSERT_TRUE(WriteFileBytes(later, "x"));
    EXPECT_TRUE(reader.WaitFor(later));

    MakeDirs(outside / "tree\\sub");
    ASSERT_TRUE(WriteFileBytes(outside / "tree\\sub\\moved.txt", "x"));
    ASSERT_TRUE(MoveFileA((outside / "tree").c_str(), (dir / "tree").c_str()));
    EXPECT_TRUE(reader.WaitFor(dir / "tree\\sub\\moved.txt"));
}

TEST_F(Builtin, FileWatchesSeeOnlyTheirFileInAnyForm)
{
    std::string watched = dir / "Watched File.txt";
    std::string sibling = dir / "sibling.txt";
    ASSERT_TRUE(WriteFileBytes(watched, "x"));
    char shortForm[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(watched.c_str(), shortForm, sizeof shortForm), 0u);
    reader.Watch(shortForm);  // only the 8.3 form, upper case

    ASSERT_TRUE(WriteFileBytes(sibling, "x"));
    ASSERT_TRUE(WriteFileBytes(watched, "changed"));
    EXPECT_TRUE(reader.WaitFor(watched));
    reader.Drain(300);
    EXPECT_EQ(0, reader.Count(sibling));
}

TEST_F(Builtin, ForgetAllStopsReports)
{
    reader.Watch(folder());
    ASSERT_TRUE(WriteFileBytes(dir / "before.txt", "x"));
    EXPECT_TRUE(reader.WaitFor(dir / "before.txt"));
    reader.ForgetAll();
    reader.Drain(200);
    reader.Clear();
    ASSERT_TRUE(WriteFileBytes(dir / "after.txt", "x"));
    reader.Drain(700);
    EXPECT_TRUE(reader.seen().empty());
}

TEST_F(Builtin, QueuedDuplicatesCollapseAndEachPathSignalsOnce)
{
    reader.Watch(folder());
    std::string a = dir / "a.txt", b = dir / "b.txt", c = dir / "c.txt";
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(WriteFileBytes(a, std::string(i + 1, 'a')));
        ASSERT_TRUE(WriteFileBytes(b, std::string(i + 1, 'b')));
    }
    ASSERT_TRUE(WriteFileBytes(c, "c"));
    DWORD start = GetTickCount();
    while (BuiltinPendingReports() < 3 && GetTickCount() - start < 10000)
        Sleep(20);
    Sleep(300);  // let late notifications of the same files arrive
    EXPECT_EQ(3, BuiltinPendingReports());

    // One path per wake-up; the event comes again while paths remain.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(reader.event(), 2000));
        ResetEvent(reader.event());
        char buffer[MONITOR_PATH_SIZE];
        DWORD got = 0;
        ASSERT_TRUE(MonitorControl(reader.device(), MONITOR_READ_PATH, NULL, 0, buffer,
                                   sizeof buffer, &got));
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(reader.event(), 200));
    char buffer[MONITOR_PATH_SIZE];
    DWORD got = 0;
    EXPECT_FALSE(MonitorControl(reader.device(), MONITOR_READ_PATH, NULL, 0, buffer,
                                sizeof buffer, &got));
}

TEST_F(Builtin, LostBurstIsRecoveredByRescanning)
{
    // A buffer too small for a single record: every notification of this
    // folder is a lost burst, so every report comes from a rescan.
    SetWatchBufferSize(64);
    reader.Watch(folder());
    std::vector<std::string> files;
    for (int i = 0; i < 40; ++i)
        files.push_back(dir / ("a rather long file name to overflow the buffer " +
                               std::to_string(i) + ".txt"));
    for (const std::string& f : files)
        ASSERT_TRUE(WriteFileBytes(f, "x"));
    for (const std::string& f : files)
        EXPECT_TRUE(reader.WaitFor(f)) << f;
}

// Windows 9x codes: the window learns of changes by message, the items come
// from the item keys, and each path lives until it is released.
TEST(Builtin9x, PostsEachChangeAndKeepsThePathUntilReleased)
{
    ResetProductKey();
    TempDir dir{"tk9x"};
    ASSERT_EQ(1, CreateItemKey((dir.path() + "\\").c_str()));
    HWND window = CreateTestOwner(0, 0, 100, 100);
    HANDLE device = OpenBuiltinMonitor();
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    EXPECT_TRUE(MonitorControl(device, MONITOR9X_SET_WINDOW, NULL,
                               static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(window)), NULL,
                               UM_MONITORNOTIFY, NULL));
    EXPECT_TRUE(MonitorControl(device, MONITOR9X_RENEW, NULL, 0, NULL, 0, NULL));
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));

    std::string file = dir / "posted.txt";
    std::vector<const char*> reports;
    auto collect = [&]() {
        MSG msg;
        while (PeekMessageA(&msg, window, UM_MONITORNOTIFY, UM_MONITORNOTIFY, PM_REMOVE)) {
            EXPECT_EQ(1042u, msg.wParam);
            reports.push_back(reinterpret_cast<const char*>(msg.lParam));
        }
        return !reports.empty();
    };
    // Only this message is taken from the queue: pumping would hand it to
    // the window procedure.
    auto waitUntil = [](const std::function<bool()>& cond, int ms) {
        DWORD t0 = GetTickCount();
        while (!cond()) {
            if (GetTickCount() - t0 > static_cast<DWORD>(ms))
                return false;
            Sleep(10);
        }
        return true;
    };
    ASSERT_TRUE(WriteFileBytes(file, "1"));
    ASSERT_TRUE(waitUntil(collect, 10000));
    EXPECT_STREQ(file.c_str(), reports[0]);

    // Not released yet: more changes to the same file post nothing new.
    ASSERT_TRUE(WriteFileBytes(file, "22"));
    waitUntil(collect, 500);
    ASSERT_EQ(1u, reports.size());
    EXPECT_STREQ(file.c_str(), reports[0]);  // still alive

    EXPECT_TRUE(MonitorControl(device, MONITOR9X_RELEASE, const_cast<char*>(reports[0]), 0, NULL,
                               0, NULL));
    EXPECT_EQ(0, BuiltinPendingReports());
    ASSERT_TRUE(WriteFileBytes(file, "333"));
    ASSERT_TRUE(waitUntil([&]() { return collect() && reports.size() == 2; }, 10000));
    // Released after the handle is gone: still freed, not leaked.
    CloseMonitorDevice(device);
    EXPECT_TRUE(ReleaseBuiltinReport(reports[1]));
    EXPECT_FALSE(ReleaseBuiltinReport(reports[1]));
    DestroyWindow(window);
    DeleteProductKey();
}

}  // namespace
