// Benchmark of the monitor road: from a file's close to its requests in the live queue.
//
// Runs the program's own link (SetMonitoring, the notification thread, the
// intake) against the built-in monitor on a real folder. Prints the latency
// of single changes and the time a burst of files takes to be queued.
#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "transfer/ftp/ftpbatch.h"
#include "monitor/builtin.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "monitor/monitor.h"
#include "store/store.h"
#include "tests/support/testenv.h"

namespace {

double g_frequency = 0;

double NowMs()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / g_frequency;
}

void WriteSmallFile(const std::string& path, int n)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    char data[64];
    int len = snprintf(data, sizeof data, "change %d\r\n", n);
    DWORD written = 0;
    WriteFile(f, data, static_cast<DWORD>(len), &written, NULL);
    CloseHandle(f);
}

// Paths with both requests queued, taken out of the queue.
void TakeQueued(RequestQueue* queue, std::multiset<std::string>* out)
{
    LockQueue(queue);
    TransferRequest* r = queue->first;
    queue->first = NULL;
    UnlockQueue(queue);
    while (r) {
        TransferRequest* next = r->next;
        out->insert(r->path);
        FreeRequest(r);
        r = next;
    }
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
    return v[i];
}

// Reads the built-in monitor directly, without the intake, to see what the
// monitor itself costs in a burst.
double MonitorOnlyBurst(const std::string& folder, int files, int* missing)
{
    HANDLE event = CreateEventA(NULL, FALSE, FALSE, NULL);
    HANDLE device = OpenBuiltinMonitor();
    MonitorControl(device, MONITOR_FORGET_ALL, NULL, 0, NULL, 0, NULL);
    DWORD value = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(event));
    std::vector<char> scratch(value + 1);
    MonitorControl(device, MONITOR_SET_EVENT, scratch.data(), value, NULL, 0, NULL);
    std::string upper = folder;
    CharUpperA(&upper[0]);
    MonitorControl(device, MONITOR_WATCH_PATH, &upper[0], static_cast<DWORD>(upper.size()), NULL, 0,
                   NULL);
    WaitBuiltinMonitorReady(60000);

    double start = NowMs();
    for (int i = 0; i < files; ++i)
        WriteSmallFile(folder + "raw " + std::to_string(i) + ".txt", i);
    std::set<std::string> seen;
    double last = start;
    while (static_cast<int>(seen.size()) < files && NowMs() - last < 20000) {
        if (WaitForSingleObject(event, 1000) != WAIT_OBJECT_0)
            continue;
        ResetEvent(event);
        char buffer[MONITOR_PATH_SIZE];
        if (MonitorControl(device, MONITOR_READ_PATH, NULL, 0, buffer, sizeof buffer, NULL)) {
            seen.insert(buffer);
            last = NowMs();
        }
    }
    double elapsed = last - start;
    *missing = files - static_cast<int>(seen.size());
    CloseMonitorDevice(device);
    CloseHandle(event);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    int changes = argc > 1 ? atoi(argv[1]) : 200;
    int burst = argc > 2 ? atoi(argv[2]) : 2000;
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    g_frequency = static_cast<double>(f.QuadPart);

    // Away from the system's "Temp" folder, which the intake filters out.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string scratch(temp);
    scratch.pop_back();
    scratch = scratch.substr(0, scratch.find_last_of('\\') + 1) + "tkbench";
    CreateDirectoryA(scratch.c_str(), NULL);
    struct RemovedAtEnd {
        std::string path;
        ~RemovedAtEnd() { RemoveTree(path); }
    } scratchFolder{scratch};
    SetEnvironmentVariableA("TMP", scratch.c_str());
    SetEnvironmentVariableA("TEMP", scratch.c_str());

    TempDir base("tkbench");
    std::string install = base / "Install";
    std::string work = base / "Work";
    std::string raw = base / "Raw";
    MakeDirs(install);
    MakeDirs(work);
    MakeDirs(raw);
    ResetProductKey();
    SetGlobalText("installdir", install.c_str());
    SetGlobalDword("logging", 1);
    CreateItemKey((work + "\\").c_str());

    WorkerStart start = {CreateEventA(NULL, TRUE, FALSE, NULL),
                         CreateEventA(NULL, FALSE, FALSE, NULL),
                         CreateEventA(NULL, TRUE, FALSE, NULL),
                         NewRequestQueue(),
                         NewBatchList(),
                         NULL,
                         WORKER_LIVE};
    HANDLE device = INVALID_HANDLE_VALUE;
    if (SetMonitoring(NULL, &device, &start, 1) != 1) {
        printf("monitoring could not be switched on\n");
        return 1;
    }
    WaitBuiltinMonitorReady(60000);

    // Single changes, one at a time: close of the file -> both requests queued.
    std::vector<double> latencies;
    int lost = 0;
    for (int i = 0; i < changes; ++i) {
        std::string path = work + "\\single " + std::to_string(i) + ".txt";
        WriteSmallFile(path, i);
        double closed = NowMs();
        std::multiset<std::string> got;
        double seen = 0;
        while (got.count(path) < 2 && NowMs() - closed < 10000) {
            WaitForSingleObject(start.workEvent, 50);
            TakeQueued(start.queue, &got);
            if (got.count(path) >= 2 && seen == 0)
                seen = NowMs();
        }
        if (seen == 0)
            ++lost;
        else
            latencies.push_back(seen - closed);
    }
    if (!latencies.empty())
        printf(
            "single changes: %d, median %.1f ms, 99th percentile %.1f ms, max %.1f ms, lost %d\n",
            changes, Percentile(latencies, 0.5), Percentile(latencies, 0.99),
            Percentile(latencies, 1.0), lost);

    // A burst written as fast as possible into the watched folder.
    std::set<std::string> expected;
    double t0 = NowMs();
    for (int i = 0; i < burst; ++i) {
        std::string path = work + "\\burst " + std::to_string(i) + ".txt";
        WriteSmallFile(path, i);
        expected.insert(path);
    }
    double written = NowMs();
    std::multiset<std::string> got;
    double last = written;
    while (NowMs() - last < 15000) {
        WaitForSingleObject(start.workEvent, 200);
        size_t before = got.size();
        TakeQueued(start.queue, &got);
        if (got.size() != before)
            last = NowMs();
        bool all = true;
        for (const std::string& p : expected)
            if (got.count(p) < 2) {
                all = false;
                break;
            }
        if (all)
            break;
    }
    int missing = 0;
    for (const std::string& p : expected)
        if (got.count(p) < 2)
            ++missing;
    printf("burst of %d files: written in %.0f ms, all queued after %.0f ms (%.1f ms per file), "
           "missing %d, requests %zu\n",
           burst, written - t0, last - t0, (last - t0) / burst, missing, got.size());

    CloseMonitor(&device);
    int rawMissing = 0;
    double rawMs = MonitorOnlyBurst(raw + "\\", burst, &rawMissing);
    printf("built-in monitor alone, burst of %d files: all reported after %.0f ms, missing %d\n",
           burst, rawMs, rawMissing);
    DeleteProductKey();
    return 0;
}
