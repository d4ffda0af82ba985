// The Windows 9x road: the monitor posts each change to the main window, whose handler runs the intake.
//
// Wine reports the Windows 9x family to a program whose AppDefaults name it
// as win98. The program sets that for its own name, runs itself again, and
// removes the setting when the second run ends.
#include <gtest/gtest.h>

#include "transfer/ftpbatch.h"
#include "common/messages.h"
#include "monitor/builtin.h"
#include "monitor/intake.h"
#include "monitor/monitor.h"
#include "store/store.h"
#include "tests/monitor/monitor_support.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <stdio.h>
#include <string>

namespace {

const char kRelaunched[] = "TK_WIN9X_RELAUNCHED";

WorkerStart g_start;
HANDLE g_device = INVALID_HANDLE_VALUE;
int g_handled = 0;

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == UM_MONITORNOTIFY) {
        ++g_handled;
        return OnMonitorMessage(wnd, g_device, &g_start, wParam, lParam);
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

class Win9x : public ::testing::Test {
protected:
    TempDir base{"tk9x"};
    std::string install, work;
    HWND window = NULL;

    void SetUp() override
    {
        if (IsNtPlatform())
            GTEST_SKIP() << "this system cannot pose as Windows 9x";
        ResetProductKey();
        install = base / "Install";
        work = base / "Work";
        MakeDirs(install);
        MakeDirs(work);
        SetGlobalText("installdir", install.c_str());
        SetGlobalDword("logging", 1);
        ASSERT_EQ(1, CreateItemKey((work + "\\").c_str()));
        g_start.workEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
        g_start.liveStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        g_start.queue = NewRequestQueue();
        g_start.batches = NewBatchList();
        g_handled = 0;
        WNDCLASSA wc = {};
        wc.lpfnWndProc = MainProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "TkWin9xMain";
        RegisterClassA(&wc);
        window = CreateWindowA("TkWin9xMain", "main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL,
                               NULL, wc.hInstance, NULL);
        ASSERT_TRUE(window != NULL);
        g_start.mainWindow = window;
    }
    void TearDown() override
    {
        if (IsNtPlatform())
            return;
        CloseMonitor(&g_device);
        PumpMessages(50);
        DestroyWindow(window);
        FreeRequestQueue(g_start.queue);
        FreeBatchList(g_start.batches);
        CloseHandle(g_start.workEvent);
        CloseHandle(g_start.liveStopEvent);
        DeleteProductKey();
    }
    bool WaitRequests(size_t n)
    {
        return PumpUntil([&]() { return QueuedRequests(g_start.queue).size() >= n; }, 10000);
    }
};

TEST_F(Win9x, ChangesArriveByMessageAndAreQueuedAndReleased)
{
    ASSERT_EQ(1, SetMonitoring(window, &g_device, &g_start, 1));
    EXPECT_TRUE(GlobalValueExists("enabled"));
    EXPECT_TRUE(IsBuiltinMonitor(g_device));
    EXPECT_TRUE(GetIntakeContext()->thread == NULL);  // no notification thread here
    EXPECT_EQ(1, SendWatchList(g_device));
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));

    std::string file = work + "\\letter.doc";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    ASSERT_TRUE(WaitRequests(2));
    auto queued = QueuedRequests(g_start.queue);
    ASSERT_EQ(2u, queued.size());
    EXPECT_EQ(std::make_pair(int(KIND_HD), file), queued[0]);
    EXPECT_EQ(std::make_pair(int(KIND_FTP), file), queued[1]);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_start.workEvent, 0));
    EXPECT_EQ(0, BuiltinPendingReports());  // handed back with code 30
    EXPECT_EQ("Received request to back up file " + file, LogTexts(install, 0).at(0));
}

TEST_F(Win9x, DisabledMonitoringStillHandsThePathBack)
{
    ASSERT_EQ(1, SetMonitoring(window, &g_device, &g_start, 1));
    ASSERT_TRUE(WaitBuiltinMonitorReady(10000));
    DeleteGlobalValue("enabled");  // as if switched off elsewhere, report in flight
    std::string file = work + "\\while off.txt";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    ASSERT_TRUE(PumpUntil([]() { return g_handled > 0; }, 10000));
    PumpMessages(100);
    EXPECT_TRUE(QueuedRequests(g_start.queue).empty());
    EXPECT_EQ(0, BuiltinPendingReports());
    EXPECT_EQ(std::vector<std::string>{"Received request to back up file " + file},
              LogTexts(install, 0));
}

TEST_F(Win9x, OtherNotificationsAreIgnored)
{
    char path[] = "C:\\whatever.txt";
    EXPECT_EQ(0, OnMonitorMessage(window, g_device, &g_start, 1041, reinterpret_cast<LPARAM>(path)));
    EXPECT_EQ(0, OnMonitorMessage(window, g_device, &g_start, 7, reinterpret_cast<LPARAM>(path)));
    EXPECT_EQ(0, OnMonitorMessage(window, g_device, &g_start, 1042, 0));
    EXPECT_FALSE(FileExists(install + "\\backuplog.txt"));
}

// Sets the Windows version Wine reports to this program, runs it again and
// restores the setting; the exit code is the second run's.
int RunAsWindows9x()
{
    char exe[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe)
        return 1;
    std::string name = exe;
    name = name.substr(name.find_last_of("\\/") + 1);
    std::string key = "Software\\Wine\\AppDefaults\\" + name;
    HKEY hk = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &hk,
                        NULL) != ERROR_SUCCESS) {
        fprintf(stderr, "cannot set the Windows version for %s\n", name.c_str());
        return 1;
    }
    RegSetValueExA(hk, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(hk);

    SetEnvironmentVariableA(kRelaunched, "1");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::string commandLine = GetCommandLineA();
    DWORD code = 1;
    if (CreateProcessA(exe, &commandLine[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    } else {
        fprintf(stderr, "cannot run %s again: %lu\n", exe, GetLastError());
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults");  // only when left empty
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv)
{
    char flag[4];
    if (IsNtPlatform() && GetEnvironmentVariableA(kRelaunched, flag, sizeof flag) == 0)
        return RunAsWindows9x();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
