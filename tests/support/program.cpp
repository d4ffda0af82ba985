// Starting the real tandemkeep.exe from a test.
#include "tests/support/program.h"

#include "resources/brand.h"

#include <stdio.h>
#include <string.h>

#include "tests/support/testenv.h"
#include "tests/support/windows.h"

std::string ProgramPath()
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string path = self;
    path = path.substr(0, path.find_last_of('\\'));   // ...\tests
    path = path.substr(0, path.find_last_of('\\'));   // build folder
    return path + "\\tandemkeep.exe";
}

bool WaitUntil(const std::function<bool()>& cond, int timeoutMs)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    while (!cond()) {
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return cond();
        Sleep(50);
    }
    return true;
}

RunningProgram::RunningProgram(const std::string& arguments)
{
    std::string exe = ProgramPath();
    std::string command = "\"" + exe + "\"";
    if (!arguments.empty())
        command += " " + arguments;
    STARTUPINFOA si;
    memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (CreateProcessA(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
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

std::vector<HWND> RunningProgram::Windows(const char* title, bool visibleOnly) const
{
    return pid_ ? FindProcessWindows(title, visibleOnly, pid_) : std::vector<HWND>();
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
    return WaitUntil([this] { return MainWindow() != NULL; }, timeoutMs);
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

WorkDir::WorkDir()
{
    static unsigned counter = 0;
    char name[MAX_PATH];
    do
        snprintf(name, sizeof name, "C:\\tkwork-%lu-%u", GetCurrentProcessId(), ++counter);
    while (!CreateDirectoryA(name, NULL));
    path_ = name;
}

WorkDir::~WorkDir()
{
    RemoveTree(path_);
}

bool WaitForWatch(const std::string& probe, const std::function<bool()>& arrived, int timeoutMs)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    do {
        WriteFileBytes(probe, "probe");
        if (WaitUntil(arrived, 1000))
            return true;
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return false;
}
