// Watches the program's start from outside, for bench/start/run.sh: when its main window exists,
// is visible and first answers, then how long each answer takes (a question every 5 ms, as
// bench/probe/window_probe does), and the process's memory every 100 ms.
// Usage: start_probe <log file> <stop file> [close]
// Log lines, times on the wall clock in ms since 1970:
//   created <t>           the process's creation time (GetProcessTimes)
//   found <t>             the main window exists
//   answered <t> <shown>  its first answer; shown is 1 when it was visible then
//   shown <t>             it is visible and answered (when later than the first answer)
//   <t> <wait ms>         one question and its answer's wait
//   mem <t> <private> <peak> <working set>   GetProcessMemoryInfo, bytes: PrivateUsage (Wine
//                         leaves it 0 for another process: PagefileUsage then, which Wine takes
//                         from Linux's anonymous resident memory), PeakPagefileUsage,
//                         WorkingSetSize
//   committed <t> <bytes> committed private memory of the process (VirtualQueryEx), as Windows
//                         counts private bytes: from the first answer on every second, and at
//                         the stop
//   region <base> <bytes> <allocation base>   with TK_PROBE_REGIONS set, after each committed
//                         line: the committed private regions of 64 KiB and more
//   closed <t>            with "close": the window was sent WM_CLOSE and the process ended
//   end
#include "resources/brand.h"

#include <windows.h>
#include <mmsystem.h>
#include <psapi.h>

#include <stdio.h>
#include <string.h>

namespace {

typedef VOID(WINAPI* PreciseTimeFn)(LPFILETIME);

double FiletimeMs(const FILETIME& ft)
{
    ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<double>(t - 116444736000000000ULL) / 10000.0;
}

double WallMs()
{
    static PreciseTimeFn precise = reinterpret_cast<PreciseTimeFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME ft;
    if (precise)
        precise(&ft);
    else
        GetSystemTimeAsFileTime(&ft);
    return FiletimeMs(ft);
}

double Ms(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) * 1000.0 /
           static_cast<double>(freq.QuadPart);
}

void LogMemory(FILE* log, HANDLE process)
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc))
        fprintf(log, "mem %.3f %llu %llu %llu\n", WallMs(),
                static_cast<unsigned long long>(pmc.PrivateUsage ? pmc.PrivateUsage
                                                                 : pmc.PagefileUsage),
                static_cast<unsigned long long>(pmc.PeakPagefileUsage),
                static_cast<unsigned long long>(pmc.WorkingSetSize));
}

// Committed private memory, as Windows counts "private bytes".
void LogCommitted(FILE* log, HANDLE process)
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (char* at = NULL; VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
         at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        if (static_cast<char*>(info.BaseAddress) + info.RegionSize <= at)
            break;
    }
    fprintf(log, "committed %.3f %llu\n", WallMs(), static_cast<unsigned long long>(total));
    if (!GetEnvironmentVariableA("TK_PROBE_REGIONS", NULL, 0))
        return;
    for (char* at = NULL; VirtualQueryEx(process, at, &info, sizeof info) == sizeof info;
         at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE && info.RegionSize >= 65536)
            fprintf(log, "region %p %llu %p\n", info.BaseAddress,
                    static_cast<unsigned long long>(info.RegionSize), info.AllocationBase);
        if (static_cast<char*>(info.BaseAddress) + info.RegionSize <= at)
            break;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: start_probe <log file> <stop file> [close]\n");
        return 2;
    }
    FILE* log = fopen(argv[1], "w");
    if (!log) {
        fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const bool close = argc > 3 && strcmp(argv[3], "close") == 0;
    const char* stop = argv[2];
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    timeBeginPeriod(1);
    HWND window = NULL;
    while (!window) {
        if (GetFileAttributesA(stop) != INVALID_FILE_ATTRIBUTES)
            break;
        window = FindWindowA("#32770", TK_TITLE);
        if (!window)
            Sleep(1);
    }
    HANDLE process = NULL;
    if (window) {
        fprintf(log, "found %.3f\n", WallMs());
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process =
            OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, pid);
        FILETIME created, exited, kernel, user;
        if (process && GetProcessTimes(process, &created, &exited, &kernel, &user))
            fprintf(log, "created %.3f\n", FiletimeMs(created));
    }
    bool answered = false, shown = false;
    double lastMemory = 0, lastCommitted = 0;
    while (window && GetFileAttributesA(stop) == INVALID_FILE_ATTRIBUTES) {
        double at = WallMs();
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        DWORD_PTR result;
        LRESULT ok = SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        QueryPerformanceCounter(&b);
        if (!ok && !IsWindow(window))
            break;
        double done = WallMs();
        bool visible = IsWindowVisible(window) != FALSE;
        if (!answered) {
            fprintf(log, "answered %.3f %d\n", done, visible ? 1 : 0);
            answered = true;
            shown = visible;
        } else if (!shown && visible) {
            fprintf(log, "shown %.3f\n", done);
            shown = true;
        }
        fprintf(log, "%.3f %.3f\n", at, Ms(a, b, freq));
        if (process && done - lastMemory >= 100) {
            LogMemory(log, process);
            lastMemory = done;
        }
        if (process && done - lastCommitted >= 1000) {
            LogCommitted(log, process);
            lastCommitted = done;
        }
        Sleep(5);
    }
    if (process) {
        LogMemory(log, process);
        LogCommitted(log, process);
    }
    if (close && window && IsWindow(window)) {
        PostMessageA(window, WM_CLOSE, 0, 0);
        if (process && WaitForSingleObject(process, 60000) == WAIT_OBJECT_0)
            fprintf(log, "closed %.3f\n", WallMs());
    }
    if (process)
        CloseHandle(process);
    timeEndPeriod(1);
    // The reader waits for this line: the log is whole once it is there.
    fputs("end\n", log);
    fclose(log);
    return 0;
}
