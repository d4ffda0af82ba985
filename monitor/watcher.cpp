// Folder watching for the built-in monitor: one directory watch per folder, rescans after lost
// bursts.
//
// Every folder below a watched folder gets a watch of its own, without the
// subtree flag. Subtree watches would be cheaper on Windows, but under Wine
// they miss changes in subfolders that existed before the watch began; one
// watch per folder behaves the same everywhere. All watches belong to the
// watcher's thread: they are opened, re-armed, read and closed only there,
// and their completion routines run there during its alertable wait. Folders
// and names are kept wide, as the system gives them, so that a file whose
// name the code page cannot show is still seen; it is reported with '?' in
// its name (common/filenames.h), for the intake to tell the user.
#include "monitor/watcher.h"

#include <process.h>
#include <stddef.h>
#include <string.h>

#include <algorithm>
#include <set>

#include "common/filenames.h"

namespace {

const DWORD kFilter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                      FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE;
const DWORD kPollMs = 1000;  // rescan period of folders that cannot be watched
const DWORD kSettleMs = 20;  // quiet time before a changed watch list is applied
// A file is reported once it has had no events for this long: the system
// tells of every write, and a file still being written should be reported
// when the writer is done, not once per write. The events of one write come
// within a millisecond of each other; the notification thread then waits its
// own 25 ms before the file is looked at, so a longer quiet time only adds to
// every copy's delay. A writer that pauses longer than this within a file
// gets a report for each part; the last one copies the whole file.
const DWORD kQuietMs = 20;
// A file that arrives whole (moved or renamed in, or linked, with bytes
// written more than kWrittenBeforeMs ago) has no writer to wait for: it is
// reported after this much quiet, which gathers the events of the one move.
// Any further event gives it the full quiet time.
const DWORD kWholeQuietMs = 2;
const ULONGLONG kWrittenBeforeMs = 1000;

volatile LONG g_bufferSize = 64 * 1024;
// A watch starts with a buffer of one page and takes the full g_bufferSize once it has lost a
// burst: a thousand watched folders with 64 KiB each held 62.5 MiB for changes that come one or
// two at a time, and a burst lost is found by the rescan as ever.
const DWORD kFirstBufferSize = 4096;

struct Watch {
    OVERLAPPED overlapped;  // first: the completion routine gets its address
    Watcher* owner;
    std::wstring folder;  // real path, ends with '\'
    HANDLE handle;
    BYTE* buffer;
    DWORD bufferSize;
    bool pending;                  // a read is outstanding
    bool polled;                   // no notifications here: rescanned every kPollMs
    bool closing;                  // cancelled, freed when its read has completed
    bool all;                      // every file counts (a folder item or below one)
    std::set<std::wstring> names;  // else only these upper-case names
    FolderSnapshot snapshot;
};

struct Settling {
    std::wstring path;
    DWORD lastEvent;  // tick
    DWORD quietMs;    // to wait after it
};

struct Wanted {
    std::wstring folder;
    bool all;
    std::set<std::wstring> names;
};

}  // namespace

struct Watcher {
    ChangeReporter report;
    HANDLE thread;
    HANDLE wake;            // auto-reset: new paths or stop
    CRITICAL_SECTION lock;  // guards the three fields below
    std::vector<std::string> paths;
    LONG requested;  // generation of paths
    bool stop;
    volatile LONG applied;  // generation the thread has applied
    // Thread-owned.
    std::map<std::wstring, Watch*> watches;  // upper-case folder -> watch
    std::vector<Watch*> closing;
    // Changed files waiting for quiet, by upper-case path.
    std::map<std::wstring, Settling> settling;
};

std::string UpperText(const std::string& text)
{
    std::string out = text;
    if (!out.empty())
        CharUpperBuffA(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

namespace {

std::wstring UpperWide(const std::wstring& text)
{
    std::wstring out = text;
    if (!out.empty())
        CharUpperBuffW(&out[0], static_cast<DWORD>(out.size()));
    return out;
}

wchar_t UpperChar(wchar_t c)
{
    return static_cast<wchar_t>(reinterpret_cast<ULONG_PTR>(
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)))));
}

// A name stored under a case it no longer has takes the new one.
void Put(FolderSnapshot* snapshot, const std::wstring& name, const FileStamp& stamp)
{
    auto it = snapshot->find(name);
    if (it != snapshot->end())
        snapshot->erase(it);
    snapshot->emplace(name, stamp);
}

}  // namespace

bool UpperCaseLess::operator()(const std::wstring& a, const std::wstring& b) const
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] == b[i])
            continue;
        wchar_t x = UpperChar(a[i]), y = UpperChar(b[i]);
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

void CompareSnapshots(const FolderSnapshot& before, const FolderSnapshot& now,
                      std::vector<std::wstring>* changedFiles,
                      std::vector<std::wstring>* newFolders, std::vector<std::wstring>* goneFolders)
{
    for (const auto& entry : now) {
        const FileStamp& stamp = entry.second;
        auto old = before.find(entry.first);
        if (stamp.folder) {
            if (old == before.end() || !old->second.folder)
                newFolders->push_back(entry.first);
        } else if (old == before.end() || old->second.folder || old->second.size != stamp.size ||
                   CompareFileTime(&old->second.written, &stamp.written) != 0) {
            changedFiles->push_back(entry.first);
        }
    }
    for (const auto& entry : before)
        if (entry.second.folder) {
            auto still = now.find(entry.first);
            if (still == now.end() || !still->second.folder)
                goneFolders->push_back(UpperWide(entry.first));
        }
}

namespace {

bool IsDots(const wchar_t* name)
{
    return wcscmp(name, L".") == 0 || wcscmp(name, L"..") == 0;
}

// The watch list comes in the code page; every name of it converts exactly.
std::wstring WideText(const std::string& text)
{
    wchar_t wide[MAX_PATH];
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH);
    return n > 0 ? std::wstring(wide) : std::wstring();
}

void ScanFolder(const std::wstring& folder, FolderSnapshot* out)
{
    out->clear();
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (IsDots(found.cFileName))
            continue;
        FileStamp stamp;
        stamp.written = found.ftLastWriteTime;
        stamp.size = (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        stamp.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        Put(out, found.cFileName, stamp);
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

bool StampOf(const std::wstring& path, FileStamp* stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return false;
    stamp->written = data.ftLastWriteTime;
    stamp->size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    stamp->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool Accepts(const Watch* w, const std::wstring& upperName)
{
    return w->all || w->names.count(upperName) != 0;
}

void Report(Watch* w, const std::wstring& name, DWORD quietMs = kQuietMs)
{
    std::wstring full = w->folder + name;
    if (full.size() >= MAX_PATH)
        return;
    Settling& s = w->owner->settling[UpperWide(full)];
    s.quietMs = s.path.empty() ? quietMs : kQuietMs;
    s.path = full;
    s.lastEvent = GetTickCount();
}

// A file that appeared (moved or renamed in) with bytes last written a while
// ago: nobody is writing it.
bool ArrivedWhole(DWORD action, const FileStamp& stamp)
{
    if (action != FILE_ACTION_ADDED && action != FILE_ACTION_RENAMED_NEW_NAME)
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER at, written;
    at.LowPart = now.dwLowDateTime, at.HighPart = now.dwHighDateTime;
    written.LowPart = stamp.written.dwLowDateTime, written.HighPart = stamp.written.dwHighDateTime;
    return stamp.size > 0 && written.QuadPart + kWrittenBeforeMs * 10000 < at.QuadPart;
}

// Reports the files that have been quiet long enough; returns how long
// until the next one will have been (INFINITE when none waits).
DWORD ReportSettled(Watcher* watcher)
{
    DWORD now = GetTickCount();
    DWORD next = INFINITE;
    for (auto it = watcher->settling.begin(); it != watcher->settling.end();) {
        DWORD quiet = now - it->second.lastEvent;
        if (quiet >= it->second.quietMs) {
            // In the code page, with '?' for what it cannot show; a path
            // whose text does not fit the intake's buffers is not reported.
            // Such a name reaches the user as an error, so only while the
            // file is there: a file that came and went is nothing to copy.
            char path[MAX_PATH];
            const std::wstring& full = it->second.path;
            bool exact =
                AnsiFileName(full.c_str(), static_cast<int>(full.size()), path, sizeof path) != 0;
            if (path[0] && (exact || GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES))
                watcher->report(path);
            it = watcher->settling.erase(it);
        } else {
            next = std::min(next, it->second.quietMs - quiet);
            ++it;
        }
    }
    return next;
}

VOID CALLBACK OnChanges(DWORD error, DWORD bytes, LPOVERLAPPED overlapped);

bool Arm(Watch* w)
{
    ZeroMemory(&w->overlapped, sizeof w->overlapped);
    if (!ReadDirectoryChangesW(w->handle, w->buffer, w->bufferSize, FALSE, kFilter, NULL,
                               &w->overlapped, OnChanges))
        return false;
    w->pending = true;
    return true;
}

// After a lost burst, with no read outstanding: the full buffer for the next ones.
void GrowBuffer(Watch* w)
{
    DWORD full = static_cast<DWORD>(g_bufferSize);
    if (w->bufferSize >= full)
        return;
    BYTE* bigger = static_cast<BYTE*>(VirtualAlloc(NULL, full, MEM_COMMIT, PAGE_READWRITE));
    if (!bigger)
        return;  // the small one serves on
    if (w->buffer)
        VirtualFree(w->buffer, 0, MEM_RELEASE);
    w->buffer = bigger;
    w->bufferSize = full;
}

void CloseWatch(Watcher* watcher, Watch* w)
{
    if (w->handle != INVALID_HANDLE_VALUE) {
        if (w->pending)
            CancelIo(w->handle);
        CloseHandle(w->handle);
        w->handle = INVALID_HANDLE_VALUE;
    }
    w->closing = true;
    watcher->closing.push_back(w);
}

// Closes the watch of folder (upper case, ends with '\') and of every folder below it.
void DropTree(Watcher* watcher, const std::wstring& upperFolder)
{
    auto it = watcher->watches.lower_bound(upperFolder);
    while (it != watcher->watches.end() &&
           it->first.compare(0, upperFolder.size(), upperFolder) == 0) {
        CloseWatch(watcher, it->second);
        it = watcher->watches.erase(it);
    }
}

Watch* OpenWatch(Watcher* watcher, const std::wstring& folder)
{
    Watch* w = new Watch();
    w->owner = watcher;
    w->folder = folder;
    w->bufferSize = std::min(kFirstBufferSize, static_cast<DWORD>(g_bufferSize));
    w->buffer = static_cast<BYTE*>(VirtualAlloc(NULL, w->bufferSize, MEM_COMMIT, PAGE_READWRITE));
    w->handle = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, NULL);
    // A folder whose changes cannot be watched (no memory, a file system
    // without notifications) is rescanned on a timer instead.
    if (!w->buffer || w->handle == INVALID_HANDLE_VALUE || !Arm(w))
        w->polled = true;
    // Armed first, scanned second: a file written in between shows in both,
    // and the duplicate report collapses in the queue.
    ScanFolder(folder, &w->snapshot);
    watcher->watches[UpperWide(folder)] = w;
    return w;
}

// Watches folder and every folder below it. With reportFiles the files found
// are reported too: they arrived with a folder that was created or moved in.
void AddTree(Watcher* watcher, const std::wstring& folder, bool reportFiles)
{
    std::wstring key = UpperWide(folder);
    Watch* w;
    auto it = watcher->watches.find(key);
    if (it == watcher->watches.end())
        w = OpenWatch(watcher, folder);
    else
        w = it->second;
    w->all = true;
    w->names.clear();
    std::vector<std::wstring> subfolders;
    for (const auto& entry : w->snapshot) {
        if (entry.second.folder)
            subfolders.push_back(entry.first);
        else if (reportFiles)
            Report(w, entry.first);
    }
    for (const std::wstring& sub : subfolders)
        AddTree(watcher, folder + sub + L"\\", reportFiles);
}

// Takes a fresh look at a folder and reports what changed since the last one.
void Rescan(Watch* w)
{
    FolderSnapshot now;
    ScanFolder(w->folder, &now);
    std::vector<std::wstring> changed, added, gone;
    CompareSnapshots(w->snapshot, now, &changed, &added, &gone);
    w->snapshot.swap(now);
    for (const std::wstring& name : changed)
        if (Accepts(w, UpperWide(name)))
            Report(w, name);
    if (!w->all)
        return;
    Watcher* watcher = w->owner;
    std::wstring folder = w->folder;  // w may be dropped below
    for (const std::wstring& upperName : gone)
        DropTree(watcher, UpperWide(folder) + upperName + L"\\");
    for (const std::wstring& name : added)
        AddTree(watcher, folder + name + L"\\", true);
}

void HandleRecord(Watch* w, DWORD action, const std::wstring& name)
{
    std::wstring upperName = UpperWide(name);
    if (action == FILE_ACTION_REMOVED || action == FILE_ACTION_RENAMED_OLD_NAME) {
        auto old = w->snapshot.find(upperName);
        bool wasFolder = old != w->snapshot.end() && old->second.folder;
        if (old != w->snapshot.end())
            w->snapshot.erase(old);
        if (wasFolder)
            DropTree(w->owner, UpperWide(w->folder) + upperName + L"\\");
        return;
    }
    FileStamp stamp;
    if (!StampOf(w->folder + name, &stamp))
        return;  // already gone again (a temporary file)
    bool known = w->snapshot.count(upperName) != 0;
    Put(&w->snapshot, name, stamp);
    if (stamp.folder) {
        if (w->all && (action != FILE_ACTION_MODIFIED || !known))
            AddTree(w->owner, w->folder + name + L"\\", true);
        return;
    }
    if (Accepts(w, upperName))
        Report(w, name, ArrivedWhole(action, stamp) ? kWholeQuietMs : kQuietMs);
}

void HandleBuffer(Watch* w, DWORD bytes)
{
    // Copy out first: handling a record may open other watches, and this
    // buffer is re-armed before the records are handled so nothing is missed.
    std::vector<std::pair<DWORD, std::wstring>> records;
    DWORD offset = 0;
    const DWORD header = offsetof(FILE_NOTIFY_INFORMATION, FileName);
    if (bytes > w->bufferSize)
        bytes = w->bufferSize;
    while (offset + header <= bytes) {
        const FILE_NOTIFY_INFORMATION* info =
            reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(w->buffer + offset);
        if (offset + header + info->FileNameLength > bytes)
            break;
        size_t wideLength = info->FileNameLength / sizeof(WCHAR);
        if (wideLength > 0)
            records.emplace_back(info->Action, std::wstring(info->FileName, wideLength));
        if (info->NextEntryOffset == 0)
            break;
        offset += info->NextEntryOffset;
    }
    Watcher* watcher = w->owner;
    std::wstring key = UpperWide(w->folder);
    if (!Arm(w))
        w->polled = true;
    for (const auto& record : records) {
        // A record may have dropped this very watch (its folder removed).
        auto it = watcher->watches.find(key);
        if (it == watcher->watches.end() || it->second != w)
            return;
        HandleRecord(w, record.first, record.second);
    }
}

VOID CALLBACK OnChanges(DWORD error, DWORD bytes, LPOVERLAPPED overlapped)
{
    Watch* w = reinterpret_cast<Watch*>(overlapped);
    w->pending = false;
    if (w->closing || error == ERROR_OPERATION_ABORTED)
        return;
    if (error == ERROR_SUCCESS && bytes > 0) {
        HandleBuffer(w, bytes);
        return;
    }
    // A lost burst (the buffer overflowed: ERROR_NOTIFY_ENUM_DIR or an empty
    // result) or a failed watch: look at the folder again.
    GrowBuffer(w);
    bool armed = GetFileAttributesW(w->folder.c_str()) != INVALID_FILE_ATTRIBUTES && Arm(w);
    if (!armed)
        w->polled = true;
    Rescan(w);
}

void FreeClosed(Watcher* watcher)
{
    for (size_t i = 0; i < watcher->closing.size();) {
        Watch* w = watcher->closing[i];
        if (w->pending) {
            ++i;
            continue;
        }
        if (w->buffer)
            VirtualFree(w->buffer, 0, MEM_RELEASE);
        delete w;
        watcher->closing.erase(watcher->closing.begin() + static_cast<long>(i));
    }
}

std::wstring ParentOf(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring LongFolder(const std::wstring& folder)
{
    wchar_t buf[MAX_PATH];
    DWORD n = GetLongPathNameW(folder.c_str(), buf, MAX_PATH);
    std::wstring out = (n > 0 && n < MAX_PATH) ? std::wstring(buf) : folder;
    if (!out.empty() && out.back() != L'\\')
        out += L'\\';
    return out;
}

void Collect(std::map<std::wstring, Wanted>* wanted, const std::wstring& folder, bool all,
             const std::wstring& upperName)
{
    Wanted& want = (*wanted)[UpperWide(folder)];
    want.folder = folder;
    if (all)
        want.all = true;
    else
        want.names.insert(upperName);
}

void ApplyPaths(Watcher* watcher, const std::vector<std::string>& paths)
{
    std::map<std::wstring, Wanted> roots;
    for (const std::string& text : paths) {
        std::wstring path = WideText(text);
        while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
            path.pop_back();
        DWORD attrs = GetFileAttributesW(path.c_str());
        if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
            Collect(&roots, LongFolder(path), true, std::wstring());
            continue;
        }
        std::wstring parent = ParentOf(path);
        attrs = GetFileAttributesW(parent.c_str());
        if (parent.empty() || attrs == INVALID_FILE_ATTRIBUTES ||
            !(attrs & FILE_ATTRIBUTE_DIRECTORY))
            continue;  // watched once an item change renews the list
        std::wstring name = path.substr(parent.size());
        wchar_t longPath[MAX_PATH];
        DWORD n = GetLongPathNameW(path.c_str(), longPath, MAX_PATH);
        if (n > 0 && n < MAX_PATH)
            name = longPath + ParentOf(longPath).size();
        Collect(&roots, LongFolder(parent), false, UpperWide(name));
    }

    // Folder roots with their whole trees; file items on their folder alone.
    std::set<std::wstring> keep;
    for (const auto& root : roots)
        if (root.second.all)
            AddTree(watcher, root.second.folder, false);
    for (const auto& entry : watcher->watches) {
        for (const auto& root : roots)
            if (root.second.all && entry.first.compare(0, root.first.size(), root.first) == 0)
                keep.insert(entry.first);
    }
    for (const auto& root : roots) {
        if (root.second.all || keep.count(root.first))
            continue;
        auto it = watcher->watches.find(root.first);
        Watch* w =
            it == watcher->watches.end() ? OpenWatch(watcher, root.second.folder) : it->second;
        w->all = false;
        w->names = root.second.names;
        keep.insert(root.first);
    }
    for (auto it = watcher->watches.begin(); it != watcher->watches.end();) {
        if (keep.count(it->first)) {
            ++it;
            continue;
        }
        CloseWatch(watcher, it->second);
        it = watcher->watches.erase(it);
    }
}

bool AnyPolled(const Watcher* watcher)
{
    for (const auto& entry : watcher->watches)
        if (entry.second->polled)
            return true;
    return false;
}

unsigned __stdcall WatcherThread(void* arg)
{
    Watcher* watcher = static_cast<Watcher*>(arg);
    DWORD lastPoll = GetTickCount();
    for (;;) {
        DWORD timeout = std::min(AnyPolled(watcher) ? kPollMs : INFINITE, ReportSettled(watcher));
        WaitForSingleObjectEx(watcher->wake, timeout, TRUE);
        ReportSettled(watcher);
        FreeClosed(watcher);

        EnterCriticalSection(&watcher->lock);
        bool stop = watcher->stop;
        LONG generation = watcher->requested;
        bool renew = generation != watcher->applied;
        LeaveCriticalSection(&watcher->lock);
        // A renewal arrives as "forget all" followed by one path at a time:
        // wait until the list stops changing, so that watches which stay are
        // not closed and reopened (and their changes missed) on the way.
        while (renew && !stop) {
            SleepEx(kSettleMs, TRUE);
            EnterCriticalSection(&watcher->lock);
            stop = watcher->stop;
            bool settled = watcher->requested == generation;
            generation = watcher->requested;
            LeaveCriticalSection(&watcher->lock);
            if (settled)
                break;
        }
        std::vector<std::string> paths;
        if (renew) {
            EnterCriticalSection(&watcher->lock);
            generation = watcher->requested;
            paths = watcher->paths;
            LeaveCriticalSection(&watcher->lock);
        }
        if (stop)
            break;
        if (renew) {
            ApplyPaths(watcher, paths);
            InterlockedExchange(&watcher->applied, generation);
        }
        if (GetTickCount() - lastPoll >= kPollMs) {
            lastPoll = GetTickCount();
            std::vector<std::wstring> polled;
            for (const auto& entry : watcher->watches)
                if (entry.second->polled)
                    polled.push_back(entry.first);
            for (const std::wstring& key : polled) {
                auto it = watcher->watches.find(key);
                if (it != watcher->watches.end())
                    Rescan(it->second);
            }
        }
    }

    for (auto& entry : watcher->watches)
        CloseWatch(watcher, entry.second);
    watcher->watches.clear();
    // Cancelled reads complete through their routines; give them time, and
    // leave a watch unfreed rather than free a buffer the system may write.
    DWORD start = GetTickCount();
    while (!watcher->closing.empty() && GetTickCount() - start < 2000) {
        SleepEx(10, TRUE);
        FreeClosed(watcher);
    }
    return 0;
}

}  // namespace

void SetWatchBufferSize(DWORD bytes)
{
    InterlockedExchange(&g_bufferSize, static_cast<LONG>(bytes < 64 ? 64 : bytes));
}

Watcher* StartWatcher(ChangeReporter report)
{
    Watcher* watcher = new Watcher();
    watcher->report = report;
    watcher->wake = CreateEventA(NULL, FALSE, FALSE, NULL);
    InitializeCriticalSection(&watcher->lock);
    unsigned id = 0;
    if (watcher->wake)
        watcher->thread =
            reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, WatcherThread, watcher, 0, &id));
    if (!watcher->thread) {
        if (watcher->wake)
            CloseHandle(watcher->wake);
        DeleteCriticalSection(&watcher->lock);
        delete watcher;
        return NULL;
    }
    return watcher;
}

void SetWatcherPaths(Watcher* watcher, const std::vector<std::string>& paths)
{
    EnterCriticalSection(&watcher->lock);
    watcher->paths = paths;
    ++watcher->requested;
    LeaveCriticalSection(&watcher->lock);
    SetEvent(watcher->wake);
}

BOOL WaitWatcherReady(Watcher* watcher, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        EnterCriticalSection(&watcher->lock);
        bool ready = watcher->requested == watcher->applied;
        LeaveCriticalSection(&watcher->lock);
        if (ready)
            return TRUE;
        if (GetTickCount() - start >= timeoutMs)
            return FALSE;
        Sleep(5);
    }
}

void StopWatcher(Watcher* watcher)
{
    if (!watcher)
        return;
    EnterCriticalSection(&watcher->lock);
    watcher->stop = true;
    LeaveCriticalSection(&watcher->lock);
    SetEvent(watcher->wake);
    WaitForSingleObject(watcher->thread, INFINITE);
    CloseHandle(watcher->thread);
    CloseHandle(watcher->wake);
    DeleteCriticalSection(&watcher->lock);
    delete watcher;
}
