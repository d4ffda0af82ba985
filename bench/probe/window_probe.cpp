// Asks the running program's main window a question every few milliseconds and
// logs how long each answer took, for the benchmarks that measure the program
// from outside (bench/live, bench/disk): the main window's longest wait.
// Usage: window_probe <log file> <stop file> [interval ms, default 5]
// Each line of the log: "<wall clock, ms since 1970> <wait in ms>"; the probe
// ends when the stop file exists, with a last line "end". It waits for the
// window to appear.
#include "resources/brand.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

typedef VOID(WINAPI* PreciseTimeFn)(LPFILETIME);

// The wall clock, which the measuring scripts on Linux read too.
double WallMs()
{
    // Through void*: the compiler refuses a direct cast between function types.
    static PreciseTimeFn precise = reinterpret_cast<PreciseTimeFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetSystemTimePreciseAsFileTime")));
    FILETIME ft;
    if (precise)
        precise(&ft);
    else
        GetSystemTimeAsFileTime(&ft);
    ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<double>(t - 116444736000000000ULL) / 10000.0;
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: window_probe <log file> <stop file> [interval ms]\n");
        return 2;
    }
    FILE* log = fopen(argv[1], "w");
    if (!log) {
        fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const DWORD interval = argc > 3 ? static_cast<DWORD>(atoi(argv[3])) : 5;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    HWND window = NULL;
    while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) {
        if (!window || !IsWindow(window)) {
            window = FindWindowA("#32770", TK_TITLE);
            if (!window) {
                Sleep(50);
                continue;
            }
        }
        double at = WallMs();
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        DWORD_PTR result;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        QueryPerformanceCounter(&b);
        fprintf(log, "%.3f %.3f\n", at, Seconds(a, b, freq) * 1000.0);
        Sleep(interval);
    }
    // The reader waits for this line: the log is whole once it is there.
    fputs("end\n", log);
    fclose(log);
    return 0;
}
