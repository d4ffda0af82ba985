// Whole-folder transfers: clearing the disk targets, counting and walking a folder's files,
// starting its worker.
#include "transfer/folder.h"

#include "common/filenames.h"
#include "common/messages.h"
#include "common/seams.h"
#include "log/log.h"
#include "store/scoped.h"
#include "store/store.h"
#include "transfer/diskcopy.h"
#include "transfer/worker.h"

#include <process.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>
#include <vector>

// One folder of the walk: its entries, read whole when the walk enters it so
// that no listing stays open while files are copied, and the place reached.
struct WalkLevel {
    std::string folder;
    // Per entry: its kind, the name, '\0'. Kinds: 'f' a file, 'd' a folder to
    // enter; 'u' a file and 'U' a folder whose name the code page cannot show
    // (with '?' in it), which the ANSI functions can neither open nor list.
    std::string entries;
    size_t next = 0;
};

// The walk of one folder transfer, owned by its worker once started. The
// requests it queued carry its stop events; it holds them for them.
struct FolderWalk {
    FolderStops* stops;
    HWND mainWindow;
    HWND progressWindow;
    int includeSubfolders;
    DWORD diskTargets;  // targets of each kind switched on: one step per file each
    DWORD ftpTargets;
    std::string folder;             // the folder item's
    int announced;                  // files the totals were sent for
    int queued;                     // files queued so far
    std::vector<WalkLevel> levels;  // the folder item down to the folder being walked
    char keyName[TK_PATH_SIZE];     // the folder item's, as OpenItemKey gives it
};

namespace {

const char kDeleteQuestion[] =
    "There was an error deleting all stored files in one or more of your target directories.  "
    "Continue with transfer anyway?";
const char kNoMemory[] =
    "There's not enough memory to complete the transfer operation.  Transfer aborted.";

bool IsSlash(char c)
{
    return c == '\\' || c == '/';
}

bool IsSet(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// folder + '\' (when missing) + name into a MAX_PATH buffer; false when the
// result would not fit, so that nothing is ever cut short into another path.
bool JoinPath(char* out, const char* folder, const char* name)
{
    size_t f = strlen(folder), n = strlen(name);
    bool slash = f > 0 && !IsSlash(folder[f - 1]);
    if (f + (slash ? 1 : 0) + n >= MAX_PATH)
        return false;
    memcpy(out, folder, f);
    if (slash)
        out[f++] = '\\';
    memcpy(out + f, name, n + 1);
    return true;
}

// The ANSI file functions take no path of MAX_PATH characters or more: such a
// file cannot be copied, and the user learns of it from the backup log.
void LogTooLong(const std::string& folder, const char* name)
{
    std::string path = folder;
    if (name) {
        if (!path.empty() && !IsSlash(path.back()))
            path += '\\';
        path += name;
    }
    WriteLog(("Skipped " + path + ": the path is too long").c_str(), 0, LOG_BACKUP);
}

// Starts a listing of folder ("folder\*"); INVALID_HANDLE_VALUE when it
// cannot be listed. A name the code page cannot show comes with '?' in it,
// never as the look-alike name of another file.
HANDLE FindFirstEntry(const char* folder, FoundName* found)
{
    char pattern[MAX_PATH];
    if (!folder || !*folder || !JoinPath(pattern, folder, "*"))
        return INVALID_HANDLE_VALUE;
    return FindFirstName(pattern, found);
}

bool IsFolder(const WIN32_FIND_DATAA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The entries of folder the walk takes, in listing order: its files, and the
// subfolders it enters (when includeSubfolders is set, never those whose
// names begin with '.'). The count uses the same rule, so that the totals a
// transfer announces are the ones it can reach. false when folder cannot be
// listed.
bool ListFolder(const char* folder, int includeSubfolders, std::string* entries)
{
    FoundName found;
    const WIN32_FIND_DATAA& data = found.data;
    HANDLE find = FindFirstEntry(folder, &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (!IsFolder(data))
            entries->push_back(found.exact ? 'f' : 'u');
        else if (includeSubfolders && data.cFileName[0] != '.')
            entries->push_back(found.exact ? 'd' : 'U');
        else
            continue;
        entries->append(data.cFileName);
        entries->push_back('\0');
    } while (FindNextName(find, &found));
    FindClose(find);
    return true;
}

// "." and "..", and names the delete leaves alone.
bool EndsWithDot(const char* name)
{
    size_t n = strlen(name);
    return n > 0 && name[n - 1] == '.';
}

// Full path with '\' separators and no trailing '\'; false when it cannot be formed.
bool NormalisedPath(const char* path, char* out)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path, MAX_PATH, full, NULL);
    if (n == 0 || n >= MAX_PATH)
        return false;
    for (char* p = full; *p; ++p)
        if (*p == '/')
            *p = '\\';
    size_t len = strlen(full);
    while (len > 3 && full[len - 1] == '\\')
        full[--len] = '\0';
    lstrcpynA(out, full, MAX_PATH);
    return true;
}

// True when inner is outer itself or lies below it. Clearing such a target
// would delete the very files being backed up.
bool PathWithin(const char* inner, const char* outer)
{
    char a[MAX_PATH], b[MAX_PATH];
    if (!NormalisedPath(inner, a) || !NormalisedPath(outer, b))
        return true;  // unknown: treat as unsafe
    size_t n = strlen(b);
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a,
                       static_cast<int>(strlen(a) < n ? strlen(a) : n), b,
                       static_cast<int>(n)) != CSTR_EQUAL)
        return false;
    return a[n] == '\0' || a[n] == '\\' || b[n - 1] == '\\';
}

int CountInto(const char* folder, int includeSubfolders)
{
    std::string entries;
    if (!ListFolder(folder, includeSubfolders, &entries))
        return -1;
    int count = 0;
    for (size_t at = 0; at < entries.size(); at += strlen(entries.c_str() + at + 1) + 2) {
        char path[MAX_PATH];
        if (!JoinPath(path, folder, entries.c_str() + at + 1))
            continue;
        if (entries[at] == 'f' || entries[at] == 'u') {
            ++count;  // a file that cannot be sent is counted as done
        } else if (entries[at] == 'd') {
            int sub = CountInto(path, includeSubfolders);
            if (sub > 0)
                count += sub;
        }
    }
    return count;
}

// Enters a folder: its entries become the walk's deepest level.
void EnterFolder(FolderWalk* walk, const char* folder)
{
    WalkLevel level;
    level.folder = folder;
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, "*")) {
        LogTooLong(level.folder, NULL);
        return;
    }
    if (ListFolder(folder, walk->includeSubfolders, &level.entries))
        walk->levels.push_back(std::move(level));
}

// The next file of the walk, depth first: a subfolder's files come at the
// subfolder's place in its parent's listing, and *kind says what it is ('f',
// or 'u' and 'U' for names that cannot be shown). false once the walk is done.
bool NextFile(FolderWalk* walk, char* path, char* kind)
{
    while (!walk->levels.empty()) {
        WalkLevel& level = walk->levels.back();
        if (level.next >= level.entries.size()) {
            walk->levels.pop_back();
            continue;
        }
        *kind = level.entries[level.next];
        const char* name = level.entries.c_str() + level.next + 1;
        level.next += strlen(name) + 2;
        if (!JoinPath(path, level.folder.c_str(), name)) {
            LogTooLong(level.folder, name);
            continue;
        }
        if (*kind != 'd')
            return true;
        EnterFolder(walk, path);
    }
    return false;
}

// The requests of one chunk, linked here and handed to the queue in one step,
// so that queuing stays linear in the number of files.
struct Chain {
    TransferRequest* first = NULL;
    TransferRequest** tail = &first;
};

TransferRequest* MakeRequest(const FolderWalk& walk, const char* path, BYTE kind)
{
    TransferRequest* r = NewRequest(path);
    if (r) {
        r->kind = kind;
        r->mainWindow = walk.mainWindow;
        r->progressWindow = walk.progressWindow;
        r->abortEvent = kind == KIND_HD ? walk.stops->disk : walk.stops->ftp;
    }
    return r;
}

// The requests of one file for the halves still running, all or none, so
// that every file counts once on each half.
bool ChainFile(Chain* chain, const FolderWalk& walk, const char* path, bool disk, bool ftp)
{
    TransferRequest* d = disk ? MakeRequest(walk, path, KIND_HD) : NULL;
    TransferRequest* f = ftp ? MakeRequest(walk, path, KIND_FTP) : NULL;
    if ((disk && !d) || (ftp && !f)) {
        FreeRequest(d);
        FreeRequest(f);
        return false;
    }
    for (TransferRequest* r : {d, f}) {
        if (!r)
            continue;
        r->next = NULL;
        *chain->tail = r;
        chain->tail = &r->next;
    }
    return true;
}

// A file that cannot be sent: told to the user, and counted as done on each
// half still running, so that the window's bars can fill. A folder of that
// kind is told too; its files were never counted.
void ReportUnshowable(const FolderWalk& walk, const char* path, char kind, bool disk, bool ftp)
{
    ReportUnshowableName(walk.mainWindow, path);
    if (kind != 'u' || !walk.progressWindow)
        return;
    for (DWORD i = 0; disk && i < walk.diskTargets; ++i)
        PostMessageA(walk.progressWindow, UM_DISKFILEDONE, 0, 0);
    for (DWORD i = 0; ftp && i < walk.ftpTargets; ++i)
        PostMessageA(walk.progressWindow, UM_FTPFILEDONE, 0, 0);
}

// A file that is an item of its own, or lies in a subfolder that is, belongs
// to that item: the worker would serve it with that item's targets, which the
// totals did not count, so the transfer leaves it out (its own Synchronize
// and its changes copy it) and the totals follow at the end of the walk.
bool BelongsToWalk(const FolderWalk& walk, const char* path)
{
    char name[TK_PATH_SIZE];
    return OpenItemKey(path, name, NULL) && lstrcmpiA(name, walk.keyName) == 0;
}

// Totals of both halves: every file of the walk once per target of a kind
// that is switched on; a kind that is off is done from the start.
void SendTotals(const FolderWalk& walk, int files)
{
    if (!walk.progressWindow)
        return;
    SendMessageA(walk.progressWindow, UM_DISKSETTOTAL, walk.diskTargets * static_cast<DWORD>(files),
                 0);
    SendMessageA(walk.progressWindow, UM_FTPSETTOTAL, walk.ftpTargets * static_cast<DWORD>(files),
                 0);
}

// The walk of a transfer about to start; its worker counts and enters the
// folder (BeginFolderWalk).
FolderWalk* NewFolderWalk(const FolderTransfer* block, const ItemSettings* settings)
{
    FolderStops* stops = ProgressWindowStops(block->progressWindow);
    if (stops)
        HoldFolderStops(stops);
    else
        stops = NewFolderStops();
    FolderWalk* walk = stops ? new (std::nothrow) FolderWalk() : NULL;
    if (!walk) {
        ReleaseFolderStops(stops);
        return NULL;
    }
    const TargetSwitches* sw = settings->switches;
    walk->stops = stops;
    walk->mainWindow = block->mainWindow;
    walk->progressWindow = block->progressWindow;
    walk->includeSubfolders = block->includeSubfolders;
    walk->diskTargets = sw->hdEnabled ? sw->hdCount : 0;
    walk->ftpTargets = sw->ftpEnabled ? sw->ftpCount : 0;
    if (!OpenItemKey(block->folder, walk->keyName, NULL))
        walk->keyName[0] = '\0';
    try {
        walk->folder = block->folder;
    } catch (const std::bad_alloc&) {
        EndFolderWalk(walk);
        return NULL;
    }
    return walk;
}

// Clears the disk targets; false when the user chose not to go on.
bool ClearDiskTargets(const FolderTransfer* block, const ItemSettings* settings)
{
    const TargetSwitches* sw = settings->switches;
    if (!settings->options->deleteStored || !sw->hdEnabled)
        return true;
    bool failed = false;
    for (DWORD i = 0; i < sw->hdCount && i < settings->hdSlots && !failed; ++i) {
        const char* target = settings->hdTargets[i]->folder;
        // A target that holds the item itself is never cleared.
        if (!IsFullFolderPath(target) || PathWithin(block->folder, target))
            failed = true;
        else
            failed = DeleteFolderContents(target) == 0;
    }
    if (!failed)
        return true;
    return ShowMessageBox(block->mainWindow, kDeleteQuestion, "Continue?",
                          MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

// Hands the queue and the walk to a new folder worker; false (and nothing
// started) on failure.
bool StartFolderWorker(FolderTransfer* block, WorkerStart* start, FolderWalk* walk)
{
    start->workEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    if (!start->workEvent)
        return false;
    start->shutdownEvent = block->shutdownEvent;
    start->liveStopEvent = NULL;
    start->queue = block->queue;
    start->batches = block->batches;
    start->mainWindow = block->mainWindow;
    start->mode = WORKER_FOLDER;
    block->queue->walk = walk;
    HANDLE workEvent = start->workEvent;
    SetEvent(workEvent);
    if (_beginthread(TransferWorker, 0, start) == static_cast<uintptr_t>(-1)) {
        CloseHandle(workEvent);
        return false;
    }
    return true;
}

}  // namespace

FolderStops* NewFolderStops(void)
{
    FolderStops* stops = static_cast<FolderStops*>(calloc(1, sizeof(FolderStops)));
    if (!stops)
        return NULL;
    stops->holders = 1;
    stops->disk = CreateEventA(NULL, TRUE, FALSE, NULL);
    stops->ftp = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!stops->disk || !stops->ftp) {
        ReleaseFolderStops(stops);
        return NULL;
    }
    return stops;
}

void HoldFolderStops(FolderStops* stops)
{
    if (stops)
        InterlockedIncrement(&stops->holders);
}

void ReleaseFolderStops(FolderStops* stops)
{
    if (!stops || InterlockedDecrement(&stops->holders) != 0)
        return;
    if (stops->disk)
        CloseHandle(stops->disk);
    if (stops->ftp)
        CloseHandle(stops->ftp);
    free(stops);
}

int CountFolderFiles(const char* folder, int includeSubfolders)
{
    try {
        return CountInto(folder, includeSubfolders);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

int BeginFolderWalk(FolderWalk* walk, RequestQueue* queue)
{
    if (!walk || !queue)
        return 0;
    // Nothing can be listed: no totals, and the window keeps its first state.
    int files = CountFolderFiles(walk->folder.c_str(), walk->includeSubfolders);
    if (files < 0)
        return 0;
    walk->announced = files;
    SendTotals(*walk, files);
    try {
        EnterFolder(walk, walk->folder.c_str());
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return ContinueFolderWalk(walk, queue, FOLDER_WALK_CHUNK);
}

int ContinueFolderWalk(FolderWalk* walk, RequestQueue* queue, int files)
{
    if (!walk || !queue || walk->levels.empty())
        return 0;
    bool disk = !IsSet(walk->stops->disk), ftp = !IsSet(walk->stops->ftp);
    if (!disk && !ftp) {
        // Nothing of the rest would be served.
        walk->levels.clear();
        return 0;
    }
    Chain chain;
    int n = 0;
    try {
        char path[MAX_PATH];
        char kind;
        while (n < files && NextFile(walk, path, &kind)) {
            if (kind != 'f')
                ReportUnshowable(*walk, path, kind, disk, ftp);
            if (kind == 'u' || (kind == 'f' && BelongsToWalk(*walk, path) &&
                                ChainFile(&chain, *walk, path, disk, ftp)))
                ++n;
        }
    } catch (const std::bad_alloc&) {
        // Out of memory for a listing: what was walked is served, the rest not.
        walk->levels.clear();
    }
    AppendRequests(queue, chain.first);
    walk->queued += n;
    // Files that came or went since the count, or were dropped for want of
    // memory: the totals follow what was really queued.
    if (walk->levels.empty() && walk->queued != walk->announced) {
        walk->announced = walk->queued;
        SendTotals(*walk, walk->queued);
    }
    return n;
}

void EndFolderWalk(FolderWalk* walk)
{
    if (!walk)
        return;
    ReleaseFolderStops(walk->stops);
    delete walk;
}

int DeleteFolderContents(const char* folder)
{
    if (!IsFullFolderPath(folder))
        return 0;
    FoundName found;
    const WIN32_FIND_DATAA& data = found.data;
    HANDLE find = FindFirstEntry(folder, &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        // A name shown with '?' is no name to delete by; the entry stays.
        char path[MAX_PATH];
        if (!found.exact || !JoinPath(path, folder, data.cFileName))
            continue;
        if (!IsFolder(data)) {
            DeleteFileA(path);
        } else if (!EndsWithDot(data.cFileName)) {
            // A junction is removed as a link; what it points to is not ours.
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteFolderContents(path);
            RemoveDirectoryA(path);
        }
    } while (FindNextName(find, &found));
    FindClose(find);
    return 1;
}

int StartFolderTransfer(FolderTransfer* block)
{
    if (!block || !block->folder || !*block->folder)
        return 0;
    if (!IsSlash(block->folder[strlen(block->folder) - 1]))
        return 0;
    ScopedItemSettings settings(block->folder);
    if (!settings.loaded() || !ClearDiskTargets(block, settings.get()))
        return 0;

    FolderWalk* walk = NewFolderWalk(block, settings.get());
    WorkerStart* start = walk ? static_cast<WorkerStart*>(calloc(1, sizeof(WorkerStart))) : NULL;
    block->queue = start ? NewRequestQueue() : NULL;
    if (!block->queue) {
        free(start);
        EndFolderWalk(walk);
        ShowMessageBox(block->mainWindow, kNoMemory, "Error", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    // The worker counts the folder and queues its files as it goes, so that
    // the main window waits for neither however large the folder is.
    if (!StartFolderWorker(block, start, walk)) {
        free(start);
        FreeRequestQueue(block->queue);
        block->queue = NULL;
        EndFolderWalk(walk);
        ShowMessageBox(block->mainWindow, kNoMemory, "Error", MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    return 1;
}
