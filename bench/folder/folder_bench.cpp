// Times the part of a folder transfer that runs on the main window's thread
// (clear, count, walk, queue): the time the main window does not answer.
// With "copy" it also times the whole copy to one disk target, which needs
// the folder worker.
#include "transfer/ftpbatch.h"
#include "common/messages.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/folder.h"

#include <algorithm>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

double Now()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

void MakeTree(const std::string& root, int folders, int perFolder, int size)
{
    std::string data(static_cast<size_t>(size), 'x');
    for (int d = 0; d < folders; ++d) {
        std::string sub = root + "\\d" + std::to_string(d);
        CreateDirectoryA(sub.c_str(), NULL);
        for (int f = 0; f < perFolder; ++f)
            WriteFileBytes(sub + "\\f" + std::to_string(f) + ".bin", data);
    }
}

void MakeItem(const std::string& folder, const std::string& target)
{
    CreateItemKey(folder.c_str());
    ItemSettings* s = NewItemSettings(folder.c_str());
    s->switches->hdEnabled = 1;
    s->switches->hdCount = 1;
    lstrcpynA(s->hdTargets[0]->folder, target.c_str(), 260);
    s->hdTargets[0]->storageType = STORAGE_SYNC;
    s->options->includeSubs = 1;
    SaveItemSettings(folder.c_str(), s, SAVE_HD | SAVE_FTP | SAVE_OPTIONS);
    FreeItemSettings(s);
}

// The main window's own loop: it sleeps until a message comes and answers the
// worker's sent progress messages at once. (A polling pump that sleeps between
// peeks holds the worker at each of its two sent messages per file.)
template <typename Cond>
bool RunLoopUntil(Cond cond, double limitSeconds)
{
    double end = Now() + limitSeconds;
    while (!cond()) {
        if (Now() > end)
            return false;
        MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    bool copy = argc > 1 && strcmp(argv[1], "copy") == 0;
    const int kFolders = 100, kPerFolder = 100, kSize = 4096, kRuns = 5;

    ResetProductKey();
    TempDir src("tkbench"), dst("tkbenchdst");
    MakeTree(src.path(), kFolders, kPerFolder, kSize);
    std::string folder = src.path() + "\\";
    MakeItem(folder, dst.path());
    HWND owner = CreateTestOwner(0, 0, 400, 300);
    BatchList* batches = NewBatchList();
    // Set: a folder worker started by a timed run drops its queue at once.
    HANDLE stopped = CreateEventA(NULL, TRUE, TRUE, NULL);

    std::vector<double> count, start;
    for (int run = 0; run < kRuns; ++run) {
        double t0 = Now();
        int n = CountFolderFiles(folder.c_str(), 1);
        count.push_back(Now() - t0);

        HWND progress = CreateProgressWindow(owner, folder.c_str());
        FolderTransfer block = {folder.c_str(), owner, progress, 1, batches, stopped, NULL};
        t0 = Now();
        int result = StartFolderTransfer(&block);
        start.push_back(Now() - t0);
        int total = static_cast<int>(
            SendDlgItemMessageA(progress, IDC_PROGRESS_DISK_TOTAL, PBM_GETRANGE, FALSE, 0));
        if (result != 1 || n != kFolders * kPerFolder || total != n)
            printf("unexpected: result %d, count %d, disk total %d\n", result, n, total);
        PumpMessages(50);
        if (IsWindow(progress))
            SendMessageA(progress, UM_TRANSFERSTOPPED, 0, 0);
    }
    printf("files: %d of %d bytes in %d folders\n", kFolders * kPerFolder, kSize, kFolders);
    printf("CountFolderFiles alone: median %.1f ms\n", Median(count) * 1000);
    printf("StartFolderTransfer (count, walk, queue): median %.1f ms, min %.1f ms, max %.1f ms\n",
           Median(start) * 1000, *std::min_element(start.begin(), start.end()) * 1000,
           *std::max_element(start.begin(), start.end()) * 1000);

    if (copy) {
        HANDLE shutdown = CreateEventA(NULL, TRUE, FALSE, NULL);
        HWND progress = CreateProgressWindow(owner, folder.c_str());
        FolderTransfer block = {folder.c_str(), owner, progress, 1, batches, shutdown, NULL};
        double t0 = Now();
        StartFolderTransfer(&block);
        // Time of each further thousand files, to see whether the pace holds.
        std::vector<double> marks;
        bool done = RunLoopUntil([&] {
            LRESULT pos = SendDlgItemMessageA(progress, IDC_PROGRESS_DISK_TOTAL, PBM_GETPOS, 0, 0);
            while (static_cast<LRESULT>(marks.size() + 1) * 1000 <= pos)
                marks.push_back(Now() - t0);
            return pos == kFolders * kPerFolder;
        }, 600.0);
        double t = Now() - t0;
        printf("seconds per thousand files:");
        for (size_t i = 0; i < marks.size(); ++i)
            printf(" %.1f", marks[i] - (i ? marks[i - 1] : 0.0));
        printf("\n");
        printf("full copy to one disk target: %s in %.2f s\n", done ? "done" : "NOT done", t);
        SetEvent(shutdown);
        PumpMessages(100);
        if (IsWindow(progress))
            SendMessageA(progress, UM_TRANSFERSTOPPED, 0, 0);
    }
    SetEvent(stopped);
    Sleep(100);
    DestroyWindow(owner);
    DeleteProductKey();
    return 0;
}
