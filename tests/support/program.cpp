// Starting the real tandemkeep.exe from a test.
#include "tests/support/program.h"

#include "resources/brand.h"

#include <commctrl.h>

#include "tests/support/testenv.h"

RunningProgram::RunningProgram(const std::string& arguments)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string exe = self;
    exe = exe.substr(0, exe.find_last_of('\\'));  // ...\tests
    exe = exe.substr(0, exe.find_last_of('\\')) + "\\tandemkeep.exe";
    std::string command = "\"" + exe + "\"";
    if (!arguments.empty())
        command += " " + arguments;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (CreateProcessA(exe.c_str(), &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        CloseHandle(pi.hThread);
    }
}

RunningProgram::~RunningProgram()
{
    if (!process_)
        return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT && !Close(10000))
        TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
    CloseHandle(process_);
}

HWND RunningProgram::MainWindow() const
{
    // The main dialog is the program's window with the product title and a menu.
    for (HWND w : Windows(TK_TITLE, false))
        if (GetMenu(w))
            return w;
    return NULL;
}

bool RunningProgram::WaitForMainWindow(int timeoutMs) const
{
    return PumpUntil([this] { return MainWindow() != NULL; }, timeoutMs);
}

bool RunningProgram::Close(int timeoutMs)
{
    if (!process_)
        return true;
    HWND main = MainWindow();
    if (main)
        PostMessageA(main, WM_CLOSE, 0, 0);
    return WaitForExit(timeoutMs) >= 0;
}

int RunningProgram::WaitForExit(int timeoutMs)
{
    if (!process_ || WaitForSingleObject(process_, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

bool WaitForWatch(const std::string& probe, const std::function<bool()>& arrived, int timeoutMs)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    do {
        WriteFileBytes(probe, "probe");
        if (PumpUntil(arrived, 1000))
            return true;
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return false;
}

void RunningProgram::Kill()
{
    if (process_ && TerminateProcess(process_, 9))
        WaitForSingleObject(process_, 10000);
}

std::string RunningProgram::StatusPart(int part) const
{
    HWND bar = GetDlgItem(MainWindow(), 2);
    char text[256] = "";
    if (SendMessageA(bar, SB_GETPARTS, 0, 0) <= part)
        return text;
    // The bar writes the text where it is told, in its own process.
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid_);
    void* remote = VirtualAllocEx(process, NULL, sizeof text, MEM_COMMIT, PAGE_READWRITE);
    SendMessageA(bar, SB_GETTEXTA, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(remote));
    ReadProcessMemory(process, remote, text, sizeof text - 1, NULL);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return text;
}
