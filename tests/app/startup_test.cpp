// The real program started as a user would: one copy only, HIDE, and the first run.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <string>
#include <vector>

namespace {

const char kTitle[] = "Tandemkeep v1.21";

struct Program {
    PROCESS_INFORMATION pi = {};
    bool started = false;
};

Program Launch(const char* arguments)
{
    Program p;
    std::string line = std::string("\"") + TK_PROGRAM_PATH + "\"";
    if (arguments)
        line += std::string(" ") + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    p.started = CreateProcessA(NULL, buffer.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &p.pi) != 0;
    return p;
}

struct Found {
    DWORD pid;
    const char* title;
    HWND wnd;
};

BOOL CALLBACK MatchWindow(HWND wnd, LPARAM param)
{
    Found* f = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == f->pid && WindowText(wnd) == f->title) {
        f->wnd = wnd;
        return FALSE;
    }
    return TRUE;
}

// A top-level window of the process with this title, visible or not.
HWND WaitForWindow(const Program& p, const char* title, int timeoutMs)
{
    Found f = {p.pi.dwProcessId, title, NULL};
    PumpUntil([&] {
        f.wnd = NULL;
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&f));
        return f.wnd != NULL;
    }, timeoutMs);
    return f.wnd;
}

// Start-up ends with the item list's two columns; after that the program's
// loop answers. (A sent message alone is no proof: start-up itself waits on
// other processes, and answers sent messages meanwhile.)
bool WaitUntilRunning(HWND wnd)
{
    HWND list = GetDlgItem(wnd, 1016);
    bool built = PumpUntil([&] {
        HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
        return header && SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) == 2;
    }, 20000);
    DWORD_PTR result = 0;
    return built && SendMessageTimeoutA(wnd, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
}

DWORD WaitForExit(const Program& p, int timeoutMs)
{
    if (WaitForSingleObject(p.pi.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(p.pi.hProcess, &code);
    return code;
}

// Ends the program the way a user does (File > Exit Program), or for good.
void Stop(Program& p)
{
    if (!p.started)
        return;
    if (HWND wnd = WaitForWindow(p, kTitle, 0))
        PostMessageA(wnd, WM_COMMAND, 2, 0);
    if (WaitForExit(p, 10000) == STILL_ACTIVE)
        TerminateProcess(p.pi.hProcess, 1);
    CloseHandle(p.pi.hThread);
    CloseHandle(p.pi.hProcess);
    p.started = false;
}

BOOL CALLBACK CollectChildText(HWND wnd, LPARAM param)
{
    std::string* all = reinterpret_cast<std::string*>(param);
    *all += WindowText(wnd) + "\n";
    return TRUE;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        UseInstallDir(dir_);
        SetGlobalDword("tip", 65535);
        SetGlobalDword("showerrors", 0);
    }
    void TearDown() override
    {
        for (Program* p : {&first_, &second_})
            Stop(*p);
        DeleteProductKey();
    }
    TempDir dir_{"tkstart"};
    Program first_, second_;
};

TEST_F(Startup, SecondCopyShowsAlreadyRunningAndLeavesTheFirstAlone)
{
    first_ = Launch(NULL);
    ASSERT_TRUE(first_.started);
    HWND main = WaitForWindow(first_, kTitle, 20000);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitUntilRunning(main));

    second_ = Launch(NULL);
    ASSERT_TRUE(second_.started);
    HWND box = WaitForWindow(second_, "Already Running", 20000);
    ASSERT_TRUE(box);
    std::string texts;
    EnumChildWindows(box, CollectChildText, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(std::string::npos, texts.find("You cannot start two copies of Tandemkeep."));
    EXPECT_FALSE(WaitForWindow(second_, kTitle, 0));
    SaveWindowShot(box, "already-running");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, WaitForExit(second_, 10000));

    EXPECT_TRUE(IsWindowVisible(main));
    EXPECT_TRUE(WaitUntilRunning(main));
    EXPECT_EQ(STILL_ACTIVE, WaitForExit(first_, 0));
}

TEST_F(Startup, HideStartsWithoutAWindowAndOnlyTheExactWordCounts)
{
    first_ = Launch("HIDE");
    ASSERT_TRUE(first_.started);
    HWND main = WaitForWindow(first_, kTitle, 20000);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitUntilRunning(main));
    PumpMessages(300);
    EXPECT_FALSE(IsWindowVisible(main));
    Stop(first_);

    first_ = Launch("hide");
    ASSERT_TRUE(first_.started);
    main = WaitForWindow(first_, kTitle, 20000);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitUntilRunning(main));
    EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(Startup, FirstRunShowsA620By460WindowEvenUnderHideAndSwitchesTheSplashOff)
{
    SetGlobalDword("firsttime", 1);
    SetGlobalDword("splash", 1);
    LONG rect[4] = {40, 50, 940, 850};
    SetGlobalRaw("size", REG_BINARY, rect, sizeof rect);
    first_ = Launch("HIDE");
    ASSERT_TRUE(first_.started);
    HWND main = WaitForWindow(first_, kTitle, 20000);
    ASSERT_TRUE(main);
    ASSERT_TRUE(WaitUntilRunning(main));
    PumpMessages(200);
    EXPECT_TRUE(IsWindowVisible(main));
    RECT r;
    GetWindowRect(main, &r);
    EXPECT_EQ(40, r.left);
    EXPECT_EQ(50, r.top);
    EXPECT_EQ(620, r.right - r.left);
    EXPECT_EQ(460, r.bottom - r.top);
    EXPECT_EQ(0u, GetGlobalDword("splash", 99));
    SaveWindowShot(main, "first-run");

    // Closing stores the rectangle for the next start.
    Stop(first_);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tandemkeep", 0, KEY_READ, &key));
    LONG saved[4] = {};
    DWORD size = sizeof saved;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "size", NULL, NULL, reinterpret_cast<BYTE*>(saved), &size));
    RegCloseKey(key);
    EXPECT_EQ(40 + 620, saved[2]);
    EXPECT_EQ(50 + 460, saved[3]);
}

} // namespace
