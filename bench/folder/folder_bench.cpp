// Times a whole-folder transfer to one disk target, from StartFolderTransfer
// until the progress window's disk total is full, and samples the process's
// memory meanwhile. The tree is made beforehand (by run.sh, on Linux).
// Usage: folder_bench <source folder> <target folder> <files in the tree> [seconds]
// With seconds, it stops waiting then (for the memory of a large folder).
#include "app/tray.h"
#include "common/messages.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "transfer/folder.h"
#include "transfer/ftp/ftpbatch.h"

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

// Stands in for the main window: changes the tray icon only when it changes,
// as the program's main window does, and counts error reports.
int g_errors = 0;
LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static WPARAM shown = TRAY_IDLE;
    if (msg == UM_TRAYSTATE) {
        if (wParam != shown)
            SetTrayIcon(wnd, static_cast<int>(wParam), NULL, TRAY_MODIFY);
        shown = wParam;
        return TRUE;
    }
    if (msg == UM_REPORTERROR) {
        ++g_errors;
        return TRUE;
    }
    if (msg >= WM_USER)
        return TRUE;
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

HWND CreateMain()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TkBenchMain";
    RegisterClassA(&wc);
    HWND wnd = CreateWindowA("TkBenchMain", "Main", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    SetTrayIcon(wnd, TRAY_IDLE, NULL, TRAY_ADD);
    return wnd;
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
    ResetProductKey();
    ItemSpec spec;
    spec.disks = {DiskSpec{argv[2], STORAGE_SYNC}};
    spec.ftpOn = 0;
    SeedItem(folder, spec);
    HWND main = CreateMain();
    BatchList* batches = NewBatchList();
    HANDLE shutdown = CreateEventA(NULL, TRUE, FALSE, NULL);
    double before = PrivateMiB(), beforeAnon = RssAnonMiB();

    HWND progress = CreateProgressWindow(main, folder.c_str());
    FolderTransfer block = {folder.c_str(), main, progress, 1, batches, shutdown, NULL};
    double t0 = Now();
    int started = StartFolderTransfer(&block);
    double blocked = Now() - t0;
    double peak = before, peakAnon = beforeAnon, nextSample = 0;
    // The main window's own loop: it sleeps until a message comes and answers
    // the worker's sent messages at once.
    while (started == 1 && DiskDone(progress) < files && Now() - t0 < limit) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (Now() >= nextSample) {
            double mib = PrivateMiB(), anon = RssAnonMiB();
            peak = mib > peak ? mib : peak;
            peakAnon = anon > peakAnon ? anon : peakAnon;
            nextSample = Now() + 0.1;
        }
    }
    double seconds = Now() - t0;
    LRESULT done = DiskDone(progress);
    printf("files %ld, copied %ld, errors %d\n", static_cast<long>(files), static_cast<long>(done),
           g_errors);
    printf("main window blocked by StartFolderTransfer: %.1f ms\n", blocked * 1000);
    printf("private bytes: %.1f MiB before, peak %.1f MiB; Linux RssAnon %.1f MiB before, "
           "peak %.1f MiB\n",
           before, peak, beforeAnon, peakAnon);
    printf("seconds %.3f\n", seconds);

    SetEvent(shutdown);
    Sleep(100);
    if (IsWindow(progress))
        SendMessageA(progress, UM_TRANSFERSTOPPED, 0, 0);
    SetTrayIcon(main, TRAY_IDLE, NULL, TRAY_DELETE);
    DestroyWindow(main);
    DeleteProductKey();
    if (argc == 5 && done < files)
        return 3;  // stopped waiting, as asked
    return done == files && g_errors == 0 ? 0 : 1;
}
