// Starting the real tandemkeep.exe from a test and looking at what a user would see.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/windows.h"

class RunningProgram {
public:
    // Starts the program built beside the test programs (..\tandemkeep.exe) with a command line (""
    // or "HIDE").
    explicit RunningProgram(const std::string& arguments = "");
    ~RunningProgram();  // closes it (WM_CLOSE to its main window), kills it if it hangs
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    // Top-level windows of the program with this title (visible ones unless told).
    std::vector<HWND> Windows(const char* title, bool visibleOnly = true) const
    {
        return pid_ ? FindProcessWindows(title, visibleOnly, pid_)
                    : std::vector<HWND>();  // 0 would be this one
    }
    // The main window (visible or not); NULL until it exists.
    HWND MainWindow() const;
    // Waits for the main window to exist; false after timeoutMs.
    bool WaitForMainWindow(int timeoutMs = 15000) const;
    // Sends WM_CLOSE to the main window and waits for the process to end.
    bool Close(int timeoutMs = 15000);
    // Waits for the process to end by itself; returns its exit code or -1.
    int WaitForExit(int timeoutMs);
    // Ends it at once, as a crash or the task manager would: nothing of its own runs.
    void Kill();
    // The text of a part of the main window's status line; "" when it has no such part.
    std::string StatusPart(int part) const;
    // Waits until that part reads text; false after timeoutMs.
    bool StatusPartReads(int part, const std::string& text, int timeoutMs = 30000) const
    {
        return PumpUntil([&] { return StatusPart(part) == text; }, timeoutMs);
    }

private:
    HANDLE process_ = NULL;
    DWORD pid_ = 0;
};

// Rewrites a probe file in a watched folder until arrived() holds, so that a
// test begins once the program's monitor is watching; false after timeoutMs.
bool WaitForWatch(const std::string& probe, const std::function<bool()>& arrived,
                  int timeoutMs = 30000);
