// The built-in monitor's side of the control codes: its watch list, its queue of changed paths and
// its reports.
//
// One instance per process. Its handles are unnamed events that are never
// signalled: real kernel handles, so they cannot clash with a driver handle,
// and closing one is an ordinary CloseHandle. The lock guards everything
// here; the watcher thread reports through OnFileChanged with no lock of its
// own held, and the lock is never held while waiting for the watcher.
#include "monitor/builtin.h"

#include <stdlib.h>
#include <string.h>

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "monitor/codes.h"
#include "monitor/watcher.h"
#include "monitor/watchlist.h"

namespace {

struct Builtin {
    CRITICAL_SECTION lock;
    std::set<HANDLE> handles;
    Watcher* watcher;
    std::vector<std::string> paths;  // the watch list as received
    HANDLE notifyEvent;              // NT: our duplicate of the program's event
    HWND window;                     // 9x: where changes are posted
    UINT message;
    std::deque<std::string> queue;        // NT: changed paths not yet read
    std::set<std::string> queued;         // upper case, for collapsing duplicates
    std::map<char*, std::string> posted;  // 9x: buffer -> upper-case path, until code 30
    std::set<std::string> postedPaths;
    Builtin() : watcher(NULL), notifyEvent(NULL), window(NULL), message(0)
    {
        InitializeCriticalSection(&lock);
    }
};

Builtin& TheMonitor()
{
    static Builtin monitor;
    return monitor;
}

// Watcher thread: a file below a watched path changed.
void OnFileChanged(const char* path)
{
    Builtin& m = TheMonitor();
    std::string key = UpperText(path);
    EnterCriticalSection(&m.lock);
    if (m.handles.empty()) {
        // Closed meanwhile: monitoring is off.
    } else if (m.window) {
        if (!m.postedPaths.count(key)) {
            size_t length = strlen(path) + 1;
            char* report = static_cast<char*>(malloc(length));
            if (report) {
                memcpy(report, path, length);
                m.posted[report] = key;
                m.postedPaths.insert(key);
                if (!PostMessageA(m.window, m.message, 1042, reinterpret_cast<LPARAM>(report))) {
                    m.posted.erase(report);
                    m.postedPaths.erase(key);
                    free(report);
                }
            }
        }
    } else if (!m.queued.count(key)) {
        m.queue.push_back(path);
        m.queued.insert(key);
        if (m.notifyEvent)
            SetEvent(m.notifyEvent);
    }
    LeaveCriticalSection(&m.lock);
}

void Collect(const char* path, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(path);
}

// Lock held. Hands the current list to the watcher, if one runs.
void PushPaths(Builtin& m)
{
    if (m.watcher)
        SetWatcherPaths(m.watcher, m.paths);
}

// Lock held. Windows 9x: the item keys are the only record of what to watch.
void RenewFromItemKeys(Builtin& m)
{
    std::vector<std::string> paths;
    ForEachWatchPath(Collect, &paths);
    m.paths.swap(paths);
    PushPaths(m);
}

BOOL ReadPath(Builtin& m, void* out, DWORD outLength, DWORD* returned)
{
    if (!out || outLength == 0 || m.queue.empty()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    std::string path = m.queue.front();
    m.queue.pop_front();
    m.queued.erase(UpperText(path));
    lstrcpynA(static_cast<char*>(out), path.c_str(), static_cast<int>(outLength));
    if (returned)
        *returned = static_cast<DWORD>(strlen(static_cast<char*>(out)) + 1);
    // The reader resets the event before each read: signal again for the rest.
    if (!m.queue.empty() && m.notifyEvent)
        SetEvent(m.notifyEvent);
    return TRUE;
}

BOOL SetNotifyEvent(Builtin& m, HANDLE event)
{
    HANDLE copy = NULL;
    if (!DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return FALSE;
    if (m.notifyEvent)
        CloseHandle(m.notifyEvent);
    m.notifyEvent = copy;
    if (!m.queue.empty())
        SetEvent(copy);
    return TRUE;
}

}  // namespace

HANDLE OpenBuiltinMonitor(void)
{
    Builtin& m = TheMonitor();
    HANDLE handle = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!handle)
        return INVALID_HANDLE_VALUE;
    EnterCriticalSection(&m.lock);
    if (!m.watcher) {
        m.watcher = StartWatcher(OnFileChanged);
        PushPaths(m);
    }
    bool running = m.watcher != NULL;
    if (running)
        m.handles.insert(handle);
    LeaveCriticalSection(&m.lock);
    if (!running) {
        CloseHandle(handle);
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}

BOOL IsBuiltinMonitor(HANDLE device)
{
    Builtin& m = TheMonitor();
    EnterCriticalSection(&m.lock);
    BOOL ours = m.handles.count(device) != 0;
    LeaveCriticalSection(&m.lock);
    return ours;
}

BOOL BuiltinMonitorControl(HANDLE device, DWORD code, void* in, DWORD inLength, void* out,
                           DWORD outLength, DWORD* returned)
{
    Builtin& m = TheMonitor();
    if (returned)
        *returned = 0;
    BOOL ok = TRUE;
    EnterCriticalSection(&m.lock);
    if (!m.handles.count(device)) {
        SetLastError(ERROR_INVALID_HANDLE);
        ok = FALSE;
    } else {
        switch (code) {
        case MONITOR_FORGET_ALL:
            m.paths.clear();
            PushPaths(m);
            break;
        case MONITOR_WATCH_PATH:
            if (!in || inLength == 0 || inLength >= MONITOR_PATH_SIZE) {
                SetLastError(ERROR_INVALID_PARAMETER);
                ok = FALSE;
            } else {
                m.paths.push_back(std::string(static_cast<const char*>(in), inLength));
                PushPaths(m);
            }
            break;
        case MONITOR_SET_EVENT:
            m.window = NULL;  // a reader of the NT kind from now on
            ok = SetNotifyEvent(m, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(inLength)));
            break;
        case MONITOR_READ_PATH:
            ok = ReadPath(m, out, outLength, returned);
            break;
        case MONITOR9X_SET_WINDOW:
            m.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(inLength));
            m.message = outLength;
            RenewFromItemKeys(m);
            break;
        case MONITOR9X_RENEW:
            RenewFromItemKeys(m);
            break;
        case MONITOR9X_RELEASE:
            break;  // the dispatch frees our reports before it gets here
        default:
            SetLastError(ERROR_INVALID_FUNCTION);
            ok = FALSE;
        }
    }
    LeaveCriticalSection(&m.lock);
    return ok;
}

void CloseBuiltinMonitor(HANDLE device)
{
    Builtin& m = TheMonitor();
    Watcher* stopping = NULL;
    EnterCriticalSection(&m.lock);
    if (m.handles.erase(device)) {
        CloseHandle(device);
        if (m.handles.empty()) {
            // The last handle: stop watching. What was queued is dropped, as
            // monitoring is off; posted reports stay until they are released.
            stopping = m.watcher;
            m.watcher = NULL;
            m.queue.clear();
            m.queued.clear();
        }
    }
    LeaveCriticalSection(&m.lock);
    StopWatcher(stopping);
}

BOOL ReleaseBuiltinReport(const void* report)
{
    if (!report)
        return FALSE;
    Builtin& m = TheMonitor();
    EnterCriticalSection(&m.lock);
    char* buffer = static_cast<char*>(const_cast<void*>(report));
    auto it = m.posted.find(buffer);
    bool ours = it != m.posted.end();
    if (ours) {
        m.postedPaths.erase(it->second);
        m.posted.erase(it);
    }
    LeaveCriticalSection(&m.lock);
    if (ours)
        free(buffer);
    return ours;
}

BOOL WaitBuiltinMonitorReady(DWORD timeoutMs)
{
    Builtin& m = TheMonitor();
    EnterCriticalSection(&m.lock);
    Watcher* watcher = m.watcher;
    LeaveCriticalSection(&m.lock);
    // Only the main thread opens and closes the monitor, so the watcher
    // cannot go away under this wait when called there.
    return watcher ? WaitWatcherReady(watcher, timeoutMs) : FALSE;
}

int BuiltinPendingReports(void)
{
    Builtin& m = TheMonitor();
    EnterCriticalSection(&m.lock);
    int n = static_cast<int>(m.queue.size() + m.posted.size());
    LeaveCriticalSection(&m.lock);
    return n;
}
