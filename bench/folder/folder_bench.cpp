// Times a whole-folder transfer to one disk target through the program's own
// main window: from the command "Synchronize" on the folder item until the
// progress window's disk total is full (the last file stored). A probe thread
// asks the main window something every 5 ms and keeps the longest wait for an
// answer; another samples the process's memory. The tree is made beforehand
// (by run.sh, on Linux).
// Usage: folder_bench <source folder> <target folder> <files in the tree> [seconds]
// With seconds, it stops waiting then (for the memory of a large folder).
#include "app/mainwnd.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

// Committed private memory, as Windows counts "private bytes".
double PrivateMiB()
{
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION info;
    for (char* at = NULL; VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        if (static_cast<char*>(info.BaseAddress) + info.RegionSize < at)
            break;
    }
    return static_cast<double>(total) / (1024.0 * 1024.0);
}

// The anonymous memory Linux holds for this process (Wine's Z: is the root).
double RssAnonMiB()
{
    FILE* f = fopen("Z:\\proc\\self\\status", "r");
    if (!f)
        return -1;
    char line[256];
    double kib = -1;
    while (fgets(line, sizeof line, f))
        if (strncmp(line, "RssAnon:", 8) == 0)
            kib = atof(line + 8);
    fclose(f);
    return kib / 1024.0;
}

// Shared with the two helper threads; they end when stop is set.
struct Watch {
    HWND window;
    volatile bool stop;
    double longestMs;
    double longestAt;  // when it began, seconds after start
    double start;
    long probes;
    double peakPrivate, peakAnon;
};

DWORD WINAPI RunProbe(void* param)
{
    Watch* w = static_cast<Watch*>(param);
    while (!w->stop) {
        double a = Now();
        DWORD_PTR result;
        SendMessageTimeoutA(w->window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        double ms = (Now() - a) * 1000.0;
        if (ms > w->longestMs) {
            w->longestMs = ms;
            w->longestAt = a - w->start;
        }
        ++w->probes;
        Sleep(5);
    }
    return 0;
}

// On a thread of its own: walking the address space takes a while, and the
// main window must not wait for it.
DWORD WINAPI RunSampler(void* param)
{
    Watch* w = static_cast<Watch*>(param);
    while (!w->stop) {
        double mib = PrivateMiB(), anon = RssAnonMiB();
        w->peakPrivate = mib > w->peakPrivate ? mib : w->peakPrivate;
        w->peakAnon = anon > w->peakAnon ? anon : w->peakAnon;
        Sleep(100);
    }
    return 0;
}

// The main window's own loop: it sleeps until a message comes and answers
// sent messages at once.
void Pump(double seconds)
{
    MsgWaitForMultipleObjects(0, NULL, FALSE, static_cast<DWORD>(seconds * 1000), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

LRESULT DiskDone(HWND progress)
{
    return SendDlgItemMessageA(progress, IDC_PROGRESS_DISK_TOTAL, PBM_GETPOS, 0, 0);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        fprintf(stderr, "usage: folder_bench <source folder> <target folder> <files> [seconds]\n");
        return 2;
    }
    const double limit = argc == 5 ? atof(argv[4]) : 3600;
    std::string folder = std::string(argv[1]) + "\\";
    const LRESULT files = atol(argv[3]);
    TempDir install("tkbench");
    ResetProductKey();
    UseInstallDir(install);
    SetGlobalDword("showerrors", 0);
    SetGlobalDword("tip", 0xFFFF);
    ItemSpec spec;
    spec.disks = {DiskSpec{argv[2], STORAGE_SYNC}};
    spec.ftpOn = 0;
    SeedItem(folder, spec);
    MessageBoxRecorder boxes;  // no message box may wait for a hand

    HWND main = CreateMainWindow(SW_SHOWNORMAL);
    if (!main) {
        fprintf(stderr, "no main window\n");
        return 1;
    }
    PumpMessages(200);
    ListView_SetItemState(GetDlgItem(main, IDC_MAIN_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);
    Watch watch = {main, false, 0, 0, 0, 0, PrivateMiB(), RssAnonMiB()};
    const double before = watch.peakPrivate, beforeAnon = watch.peakAnon;
    HANDLE threads[2] = {CreateThread(NULL, 0, RunProbe, &watch, 0, NULL),
                         CreateThread(NULL, 0, RunSampler, &watch, 0, NULL)};

    double t0 = Now();
    watch.start = t0;
    SendMessageA(main, WM_COMMAND, IDM_SYNCHRONIZE, 0);
    double command = Now() - t0;
    std::string caption = "Folder Transfer - " + folder;
    HWND progress = FindWindowA(NULL, caption.c_str());
    while (progress && DiskDone(progress) < files && Now() - t0 < limit)
        Pump(0.02);
    double seconds = Now() - t0;
    LRESULT done = progress ? DiskDone(progress) : 0;
    watch.stop = true;
    while (WaitForMultipleObjects(2, threads, TRUE, 0) == WAIT_TIMEOUT)
        Pump(0.01);

    std::string errors = ReadFileBytes(install / "errorlog.txt");
    printf("files %ld, copied %ld, error-log lines %d\n", static_cast<long>(files),
           static_cast<long>(done), CountOf(errors, "\n"));
    printf("the command held the main window %.1f ms; its longest wait for an answer %.1f ms, "
           "%.2f s after the command (%ld probes)\n",
           command * 1000, watch.longestMs, watch.longestAt, watch.probes);
    printf("private bytes: %.1f MiB before, peak %.1f MiB; Linux RssAnon %.1f MiB before, "
           "peak %.1f MiB\n",
           before, watch.peakPrivate, beforeAnon, watch.peakAnon);
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime) /
               10000.0;
    };
    printf("process CPU time: %.0f ms user, %.0f ms kernel\n", ms(user), ms(kernel));
    printf("seconds %.3f\n", seconds);

    SendMessageA(main, WM_CLOSE, 0, 0);
    PumpMessages(50);
    DeleteProductKey();
    if (argc == 5 && done < files)
        return 3;  // stopped waiting, as asked
    return done == files && errors.empty() ? 0 : 1;
}
