// The catch-up scan: walks each item's folders a chunk at a time, applies the intake's rules and
// compares each file with its stored versions; and the thread that queues what changed.
#include "monitor/catchup.h"

#include "monitor/intake.h"
#include "store/keyedtable.h"
#include "store/scoped.h"

#include <stdlib.h>
#include <string.h>

#include <memory>
#include <new>
#include <optional>

namespace {

// Requests the catch-up leaves on the live queue at most: the worker's pace, and a short queue
// for the worker's gathering of FTP requests, which walks all of it.
const int kQueueHigh = 256;
const unsigned kChunk = 256;

struct ScanTarget {
    BYTE kind;
    DWORD id;
    bool recording;  // its record starts with this scan
};

struct ScanFile {
    std::string path;
    FileVersion version;
};

struct CatchUpScanBody {
    StoredState* state;
    CatchUpSizeFilter sizeFilter;
    bool everyItem;
    std::string installDir;
    std::vector<std::string> items;  // item paths still to scan
    std::vector<std::string> unfinished;
    // The item being walked.
    bool active = false;
    std::string item;
    WORD itemLength = 0;
    std::optional<ScopedItemSettings> settings;
    std::vector<ScanTarget> targets;
    std::vector<std::string> folders;  // still to list, each ending with '\'
    std::string folder;                // being listed
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data;
    bool haveData = false;  // data holds an entry not yet looked at
    bool whole = true;      // every folder of the item could be listed
};

std::vector<std::string> ListItems()
{
    std::vector<std::string> items;
    HKEY files = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TK_FILES_KEY, 0, KEY_READ, &files) != ERROR_SUCCESS)
        return items;
    for (DWORD index = 0;; ++index) {
        char name[TK_PATH_SIZE];
        DWORD size = sizeof name;
        LONG rc = RegEnumKeyExA(files, index, name, &size, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA)
            continue;  // too long to be an item
        if (rc != ERROR_SUCCESS)
            break;
        DecodeKeyName(name);
        items.push_back(name);
    }
    RegCloseKey(files);
    return items;
}

FileVersion VersionOf(const WIN32_FIND_DATAA& data)
{
    FileVersion v;
    v.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    v.lastWrite = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                  data.ftLastWriteTime.dwLowDateTime;
    return v;
}

bool EndsWithSlash(const std::string& path)
{
    return !path.empty() && (path.back() == '\\' || path.back() == '/');
}

// Left out as the intake leaves out a change there: a suspected temporary file when the item
// says so, and anything in the installation folder. For a folder (ending with '\'), everything
// below it goes with it.
bool Excluded(const CatchUpScanBody& s, const std::string& path)
{
    if (s.settings && (*s.settings)->options->excludeTemp && IsSuspectedTempFile(path.c_str()))
        return true;
    return !s.installDir.empty() && IsInInstallDir(path.c_str(), s.installDir.c_str());
}

void CloseListing(CatchUpScanBody& s)
{
    if (s.find != INVALID_HANDLE_VALUE)
        FindClose(s.find);
    s.find = INVALID_HANDLE_VALUE;
    s.haveData = false;
}

void FinishItem(CatchUpScanBody& s)
{
    CloseListing(s);
    if (!s.whole)
        s.unfinished.push_back(s.item);
    s.folders.clear();
    s.active = false;
}

// The targets of the item whose kind is switched on, with their records started when new.
void TakeTargets(CatchUpScanBody& s)
{
    const ItemSettings* set = (*s.settings).get();
    const BYTE kinds[] = {KIND_HD, KIND_FTP};
    for (BYTE kind : kinds) {
        bool ftp = kind == KIND_FTP;
        if (!(ftp ? set->switches->ftpEnabled : set->switches->hdEnabled))
            continue;
        DWORD count = ftp ? set->switches->ftpCount : set->switches->hdCount;
        DWORD slots = ftp ? set->ftpSlots : set->hdSlots;
        for (DWORD i = 0; i < count && i < slots; ++i) {
            DWORD id = (ftp ? set->ftpTargets : set->hdTargets)[i]->id;
            bool recorded = IsTargetRecorded(s.state, s.item.c_str(), kind, id) != 0;
            if (!recorded)
                MarkTargetRecorded(s.state, s.item.c_str(), kind, id);
            s.targets.push_back(ScanTarget{kind, id, !recorded});
        }
    }
}

// Takes the next item; false when none is left.
bool StartNextItem(CatchUpScanBody& s, std::vector<ScanFile>* files)
{
    if (s.items.empty())
        return false;
    std::string key = s.items.back();
    s.items.pop_back();
    s.active = true;
    s.whole = true;
    s.targets.clear();
    s.itemLength = static_cast<WORD>(key.size());
    // The form the intake gives a changed path: long names in their stored case.
    char resolved[TK_PATH_SIZE];
    ResolveLongPath(key.c_str(), resolved);
    UpperCaseDrivePart(resolved);
    s.item = strlen(resolved) == key.size() ? resolved : key;
    s.settings.emplace(s.item.c_str());
    if (!s.settings->loaded() || Excluded(s, s.item)) {
        FinishItem(s);
        return true;
    }
    // The root must answer before anything is recorded: an item on a share that is offline
    // starts its record when it is back, not empty now.
    WIN32_FIND_DATAA data;
    bool folder = EndsWithSlash(s.item);
    HANDLE find = FindFirstFileA((folder ? s.item + "*" : s.item).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        s.whole = false;
        FinishItem(s);
        return true;
    }
    TakeTargets(s);
    if (s.targets.empty()) {
        FindClose(find);
        FinishItem(s);
    } else if (folder) {
        s.folder = s.item;
        s.find = find;
        s.data = data;
        s.haveData = true;
    } else {
        FindClose(find);
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files->push_back(ScanFile{s.item, VersionOf(data)});
        FinishItem(s);
    }
    return true;
}

// The name to use for a listed entry: the short name where the long one has characters the
// code page cannot show (the listing gives '?' for them); "" when there is none.
const char* UsableName(const WIN32_FIND_DATAA& data)
{
    if (!strchr(data.cFileName, '?'))
        return data.cFileName;
    return data.cAlternateFileName;
}

// Looks at one listed entry of the current folder.
void TakeEntry(CatchUpScanBody& s, const WIN32_FIND_DATAA& data, std::vector<ScanFile>* files)
{
    const char* name = UsableName(data);
    if (!*name || strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
        return;
    std::string path = s.folder + name;
    bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isFolder) {
        path += '\\';
        // A junction may lead back up the tree; what it points to is watched where it lives.
        if ((*s.settings)->options->includeSubs && path.size() < TK_PATH_SIZE - 1 &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !Excluded(s, path))
            s.folders.push_back(path);
        return;
    }
    if (path.size() >= TK_PATH_SIZE || Excluded(s, path))
        return;
    files->push_back(ScanFile{path, VersionOf(data)});
}

// Compares the files of one chunk (all of the current item) for every target.
void CompareFiles(CatchUpScanBody& s, const std::vector<ScanFile>& files,
                  std::vector<CatchUpChange>* changes)
{
    if (files.empty())
        return;
    for (bool record : {true, false}) {
        std::vector<VersionCheck> checks;
        std::vector<size_t> owner;
        for (size_t f = 0; f < files.size(); ++f)
            for (const ScanTarget& t : s.targets) {
                if (t.recording != record ||
                    (s.sizeFilter &&
                     !s.sizeFilter((*s.settings).get(), t.kind, files[f].version.size)))
                    continue;
                checks.push_back(VersionCheck{files[f].path.c_str(), s.itemLength, files[f].version,
                                              t.kind, t.id, false});
                owner.push_back(f);
            }
        CheckStoredVersions(s.state, checks.data(), checks.size(), record);
        std::vector<BYTE> kinds(files.size(), 0);
        for (size_t i = 0; i < checks.size(); ++i)
            if (checks[i].changed)
                kinds[owner[i]] |= static_cast<BYTE>(1 << checks[i].kind);
        for (size_t f = 0; f < files.size(); ++f)
            if (kinds[f])
                changes->push_back(CatchUpChange{files[f].path, kinds[f]});
    }
}

CatchUpScanBody* Body(CatchUpScan* scan)
{
    return reinterpret_cast<CatchUpScanBody*>(scan);
}

}  // namespace

CatchUpScan* BeginCatchUp(StoredState* state, const CatchUpOptions& options)
{
    CatchUpScanBody* s = new (std::nothrow) CatchUpScanBody();
    if (!s)
        return NULL;
    try {
        s->state = state;
        s->sizeFilter = options.sizeFilter;
        s->everyItem = options.onlyItem == NULL;
        char dir[TK_PATH_SIZE];
        if (GetInstallDir(dir, sizeof dir))
            s->installDir = dir;
        if (s->everyItem) {
            s->items = ListItems();
            BeginStoredSweep(state);
        } else if (OpenItemKey(options.onlyItem, dir, NULL) &&
                   strlen(dir) == strlen(options.onlyItem)) {
            DecodeKeyName(dir);
            s->items.push_back(dir);
        }
    } catch (const std::bad_alloc&) {
        delete s;
        return NULL;
    }
    return reinterpret_cast<CatchUpScan*>(s);
}

int ContinueCatchUp(CatchUpScan* scan, unsigned budget, std::vector<CatchUpChange>* changes)
{
    if (!scan || !changes)
        return 0;
    CatchUpScanBody& s = *Body(scan);
    std::vector<ScanFile> files;
    bool more = true;
    if (budget == 0)
        budget = 1;
    while (budget > 0) {
        if (!s.active) {
            // A chunk holds the files of one item: each is compared with that item's targets.
            if (!files.empty())
                break;
            if (!StartNextItem(s, &files)) {
                more = false;
                break;
            }
            --budget;
            continue;
        }
        if (s.find == INVALID_HANDLE_VALUE) {
            if (s.folders.empty()) {
                FinishItem(s);
                continue;
            }
            s.folder = s.folders.back();
            s.folders.pop_back();
            s.find = FindFirstFileA((s.folder + "*").c_str(), &s.data);
            s.haveData = s.find != INVALID_HANDLE_VALUE;
            if (!s.haveData)
                s.whole = false;  // gone or not readable: its record is kept as it is
            --budget;
            continue;
        }
        if (!s.haveData && !FindNextFileA(s.find, &s.data)) {
            CloseListing(s);
            continue;
        }
        s.haveData = false;
        TakeEntry(s, s.data, &files);
        --budget;
    }
    CompareFiles(s, files, changes);
    return more ? 1 : 0;
}

void EndCatchUp(CatchUpScan* scan)
{
    if (!scan)
        return;
    CatchUpScanBody* s = Body(scan);
    CloseListing(*s);
    if (s->everyItem && s->items.empty() && !s->active) {
        const std::vector<std::string>& keep = s->unfinished;
        ForgetUnseen(s->state, [&keep](const char* item, size_t length) {
            for (const std::string& k : keep)
                if (k.size() == length && SamePathFolded(k.c_str(), item, length))
                    return true;
            return false;
        });
    }
    delete s;
}

namespace {

// Queues the changes as the intake queues a live change: the disk request, then the FTP one.
void QueueChanges(const CatchUpStart& start, const std::vector<CatchUpChange>& changes)
{
    TransferRequest* first = NULL;
    TransferRequest** tail = &first;
    for (const CatchUpChange& c : changes) {
        const BYTE kinds[] = {KIND_HD, KIND_FTP};
        for (BYTE kind : kinds) {
            if (!(c.kinds & (1 << kind)))
                continue;
            TransferRequest* r = NewRequest(c.path.c_str());
            if (!r)
                continue;
            r->mainWindow = start.mainWindow;
            r->abortEvent = start.liveStopEvent;
            r->kind = kind;
            *tail = r;
            tail = &r->next;
        }
    }
    if (first && AppendRequests(start.queue, first) && start.workEvent)
        SetEvent(start.workEvent);
}

bool Stopping(HANDLE shutdown, DWORD waitMs)
{
    return shutdown && WaitForSingleObject(shutdown, waitMs) == WAIT_OBJECT_0;
}

// For the start benchmark, which has nothing else to see the end of a catch-up that found no
// change by: the file that TK_CATCHUP_DONE_FILE names is made when one over every item ends.
void NoteCatchUpDone()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("TK_CATCHUP_DONE_FILE", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

}  // namespace

unsigned __stdcall CatchUpThread(void* arg)
{
    if (!arg)
        return 0;
    CatchUpStart start = *static_cast<CatchUpStart*>(arg);
    free(arg);
    // The window's thread comes first on a busy machine.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    if (!IsMonitoringEnabled() || !start.queue)
        return 0;
    start.onlyItem[TK_PATH_SIZE - 1] = '\0';
    CatchUpOptions options = {start.onlyItem[0] ? start.onlyItem : NULL, start.sizeFilter};
    CatchUpScan* scan = BeginCatchUp(start.state, options);
    if (!scan)
        return 0;
    std::vector<CatchUpChange> changes;
    bool more = true;
    while (more && !Stopping(start.shutdownEvent, 0)) {
        changes.clear();
        try {
            more = ContinueCatchUp(scan, kChunk, &changes) != 0;
        } catch (const std::bad_alloc&) {
            break;  // what was not compared is compared at the next start
        }
        QueueChanges(start, changes);
        while (CountQueuedRequests(start.queue, kQueueHigh) > kQueueHigh) {
            if (Stopping(start.shutdownEvent, 50)) {
                more = true;
                break;
            }
        }
    }
    EndCatchUp(scan);
    if (!more && !options.onlyItem)
        NoteCatchUpDone();
    return 0;
}
