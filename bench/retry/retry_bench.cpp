// The pending list and the stored versions at scale: writes the given number of entries of
// each, then times their loading and measures the process's memory; then, over a tree made by
// run.sh, times the catch-up's first look (recording) and a second one (all unchanged), with
// the longest wait of a window's 10 ms timer meanwhile.
// Usage: retry_bench <scratch folder> <entries> [<tree folder> <files in the tree> [items]]
// With items above 1, each of the tree's folders d0, d1... is an item of its own.
#include "monitor/catchup.h"
#include "store/pending.h"
#include "store/storedstate.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "transfer/retry.h"

#include <process.h>
#include <stdio.h>
#include <stdlib.h>
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

// A path of the length and shape a user's documents have (about 80 characters).
std::string PathOf(int i)
{
    char path[MAX_PATH];
    snprintf(path, sizeof path,
             "C:\\Users\\Someone\\Documents\\Projects\\project-%03d\\source\\module-%02d\\"
             "document-%06d.txt",
             i % 1000, i % 97, i);
    return path;
}

void WriteEntries(const std::string& pendingFile, const std::string& storedFile, int entries)
{
    PendingList* list = OpenPendingList(pendingFile.c_str());
    StoredState* state = OpenStoredState(storedFile.c_str());
    for (int first = 0; first < entries; first += 1000) {
        std::vector<std::string> paths;
        for (int i = first; i < first + 1000 && i < entries; ++i)
            paths.push_back(PathOf(i));
        std::vector<PendingFailure> failures;
        std::vector<VersionCheck> versions;
        for (const std::string& p : paths) {
            failures.push_back(PendingFailure{p.c_str(), KIND_FTP, 1, 36, 9, 2, 0, 0});
            versions.push_back(
                VersionCheck{p.c_str(), 36, {1234, 130000000000000000ull}, KIND_HD, 1, false});
        }
        NotePendingFailures(list, failures.data(), failures.size(), 130000000000000000ull);
        CheckStoredVersions(state, versions.data(), versions.size(), true);
    }
    ClosePendingList(list);
    CloseStoredState(state);
}

void LoadEntries(const std::string& pendingFile, const std::string& storedFile)
{
    double before = PrivateMiB();
    double t0 = Now();
    PendingList* list = OpenPendingList(pendingFile.c_str());
    double t1 = Now(), afterList = PrivateMiB();
    StoredState* state = OpenStoredState(storedFile.c_str());
    double t2 = Now(), afterState = PrivateMiB();
    printf("pending list: %ld entries loaded in %.3f s, private bytes +%.1f MiB\n",
           CountPendingCopies(list), t1 - t0, afterList - before);
    printf("stored versions: %lu loaded in %.3f s, private bytes +%.1f MiB\n",
           static_cast<unsigned long>(CountStoredVersions(state)), t2 - t1, afterState - afterList);
    printf("both: private bytes %.1f MiB before, %.1f MiB after (+%.1f MiB)\n", before, afterState,
           afterState - before);
    RetrySchedule* schedule = NewRetrySchedule(list);
    std::vector<DueCopy> due;
    DWORD next = 0;
    double t3 = Now();
    TakeDueCopies(schedule, 1000, &due, &next);
    printf("retry: the first 1,000 due copies of them taken in %.3f s\n", Now() - t3);
    FreeRetrySchedule(schedule);
    ClosePendingList(list);
    CloseStoredState(state);
}

// The longest gap between two ticks of a 10 ms timer of this thread while thread runs.
double LongestTimerGap(HANDLE thread)
{
    UINT_PTR timer = SetTimer(NULL, 0, 10, NULL);
    double last = Now(), longest = 0;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            if (msg.message != WM_TIMER)
                continue;
            double now = Now();
            if (now - last > longest)
                longest = now - last;
            last = now;
        }
    }
    KillTimer(NULL, timer);
    return longest;
}

void CatchUpOver(const std::string& tree, const std::string& stored, int files, int items)
{
    ResetProductKey();
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    ItemSpec spec{{DiskSpec{tree + "-copies"}}, {}};
    spec.excludeTemp = 0;  // the tree lies below /tmp, which looks like a temporary folder
    if (items <= 1)
        SeedItem(tree + "\\", spec);
    for (int i = 0; items > 1 && i < items; ++i)
        SeedItem(tree + "\\d" + std::to_string(i) + "\\", spec);
    DeleteFileA(stored.c_str());
    StoredState* state = OpenStoredState(stored.c_str());
    RequestQueue* queue = NewRequestQueue();
    for (const char* look : {"first look (records)", "second look (all unchanged)"}) {
        CatchUpStart* start = static_cast<CatchUpStart*>(calloc(1, sizeof(CatchUpStart)));
        start->state = state;
        start->queue = queue;
        double t0 = Now(), before = PrivateMiB();
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, CatchUpThread, start, 0, NULL));
        double gap = LongestTimerGap(thread);
        CloseHandle(thread);
        printf("catch-up over %d files in %d items, %s: %.2f s, %lu versions, %d requests queued, "
               "longest "
               "10 ms timer gap %.0f ms, private bytes %.1f -> %.1f MiB\n",
               files, items, look, Now() - t0,
               static_cast<unsigned long>(CountStoredVersions(state)),
               CountNodes(FirstRequest(queue)), gap * 1000, before, PrivateMiB());
    }
    FreeRequestQueue(queue);
    CloseStoredState(state);
    DeleteProductKey();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: retry_bench <scratch folder> <entries> [<tree> <files>]\n");
        return 2;
    }
    const std::string scratch = argv[1];
    const int entries = atoi(argv[2]);
    const std::string pending = scratch + "\\" TK_PENDING_FILE,
                      stored = scratch + "\\" TK_STORED_FILE;
    double t0 = Now();
    WriteEntries(pending, stored, entries);
    printf("written: %d pending copies and %d stored versions in %.2f s\n", entries, entries,
           Now() - t0);
    LoadEntries(pending, stored);
    if (argc >= 5)
        CatchUpOver(argv[3], scratch + "\\tree-" TK_STORED_FILE, atoi(argv[4]),
                    argc >= 6 ? atoi(argv[5]) : 1);
    return 0;
}
