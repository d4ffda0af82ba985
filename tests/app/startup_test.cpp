// The real program started as a user would: one copy only, HIDE, and the first run.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <string>

namespace {

const char kTitle[] = "Tandemkeep v1.21";

struct Program {
    PROCESS_INFORMATION pi = {};

    bool Start(const char* arguments)
    {
        std::string line = std::string("\"") + TK_PROGRAM_PATH + "\" " + arguments;
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        return CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi) != 0;
    }
    // Its top-level window with this title, visible or not.
    HWND Window(const char* title, int timeoutMs = 20000)
    {
        HWND found = NULL;
        PumpUntil([&] {
            for (found = FindWindowA(NULL, title); found;
                 found = FindWindowExA(NULL, found, NULL, title)) {
                DWORD pid = 0;
                GetWindowThreadProcessId(found, &pid);
                if (pid == pi.dwProcessId)
                    return true;
            }
            return false;
        }, timeoutMs);
        return found;
    }
    DWORD ExitCode(int timeoutMs)
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
    // File > Exit Program, or for good when that does not end it.
    void Stop()
    {
        if (!pi.hProcess)
            return;
        if (HWND main = Window(kTitle, 0))
            PostMessageA(main, WM_COMMAND, 2, 0);
        if (ExitCode(10000) == STILL_ACTIVE)
            TerminateProcess(pi.hProcess, 1);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        pi = PROCESS_INFORMATION{};
    }
};

// Start-up ends with the item list's two columns, then the loop answers. (A
// sent message alone proves nothing: start-up waits on other processes and
// answers sent messages meanwhile.)
bool Running(HWND main)
{
    bool built = PumpUntil([&] {
        HWND header = reinterpret_cast<HWND>(SendMessageA(GetDlgItem(main, 1016), LVM_GETHEADER, 0, 0));
        return header && SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) == 2;
    }, 20000);
    DWORD_PTR result = 0;
    return built && SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
}

BOOL CALLBACK CollectText(HWND wnd, LPARAM all)
{
    *reinterpret_cast<std::string*>(all) += WindowText(wnd) + "\n";
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
        first_.Stop();
        second_.Stop();
        DeleteProductKey();
    }
    TempDir dir_{"tkstart"};
    Program first_, second_;
};

TEST_F(Startup, SecondCopyShowsAlreadyRunningAndLeavesTheFirstAlone)
{
    ASSERT_TRUE(first_.Start(""));
    HWND main = first_.Window(kTitle);
    ASSERT_TRUE(main && Running(main));

    ASSERT_TRUE(second_.Start(""));
    HWND box = second_.Window("Already Running");
    ASSERT_TRUE(box);
    std::string texts;
    EnumChildWindows(box, CollectText, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(std::string::npos, texts.find("You cannot start two copies of Tandemkeep."));
    EXPECT_FALSE(second_.Window(kTitle, 0));
    SaveWindowShot(box, "already-running");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, second_.ExitCode(10000));

    EXPECT_TRUE(IsWindowVisible(main) && Running(main));
    EXPECT_EQ(STILL_ACTIVE, first_.ExitCode(0));
}

TEST_F(Startup, HideStartsWithoutAWindowAndOnlyTheExactWordCounts)
{
    for (const char* word : {"HIDE", "hide"}) {
        ASSERT_TRUE(first_.Start(word));
        HWND main = first_.Window(kTitle);
        ASSERT_TRUE(main && Running(main)) << word;
        PumpMessages(300);
        EXPECT_EQ(word[1] == 'i', IsWindowVisible(main) != 0) << word;
        first_.Stop();
    }
}

TEST_F(Startup, FirstRunShowsA620By460WindowEvenUnderHideAndSwitchesTheSplashOff)
{
    SetGlobalDword("firsttime", 1);
    SetGlobalDword("splash", 1);
    LONG rect[4] = {40, 50, 940, 850};
    SetGlobalRaw("size", REG_BINARY, rect, sizeof rect);
    ASSERT_TRUE(first_.Start("HIDE"));
    HWND main = first_.Window(kTitle);
    ASSERT_TRUE(main && Running(main));
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
}

} // namespace
