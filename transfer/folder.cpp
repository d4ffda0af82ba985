// Whole-folder transfers: clearing the disk targets, counting and queuing a folder's files, starting its worker.
#include "transfer/folder.h"

#include "common/messages.h"
#include "common/seams.h"
#include "store/store.h"
#include "transfer/worker.h"

#include <process.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kDeleteQuestion[] =
    "There was an error deleting all stored files in one or more of your target directories.  "
    "Continue with transfer anyway?";
const char kNoMemory[] =
    "There's not enough memory to complete the transfer operation.  Transfer aborted.";

bool IsSlash(char c) { return c == '\\' || c == '/'; }

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

// Starts a listing of folder ("folder\*"); INVALID_HANDLE_VALUE when it cannot be listed.
HANDLE FindFirstEntry(const char* folder, WIN32_FIND_DATAA* data)
{
    char pattern[MAX_PATH];
    if (!folder || !*folder || !JoinPath(pattern, folder, "*"))
        return INVALID_HANDLE_VALUE;
    return FindFirstFileA(pattern, data);
}

bool IsFolder(const WIN32_FIND_DATAA& data)
{
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The walk's one rule for subfolders, shared with the count so that the
// totals a transfer announces are the ones it can reach.
bool WalkEnters(const WIN32_FIND_DATAA& data, int includeSubfolders)
{
    return IsFolder(data) && includeSubfolders && data.cFileName[0] != '.';
}

// "." and "..", and names the delete leaves alone.
bool EndsWithDot(const char* name)
{
    size_t n = strlen(name);
    return n > 0 && name[n - 1] == '.';
}

// A path of a drive ("C:\...") or a share ("\\server\..."). A relative or
// empty folder would make the delete work on the current folder or drive.
bool IsFullPath(const char* path)
{
    if (!path)
        return false;
    char c = path[0];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter && path[1] == ':' && IsSlash(path[2]))
        return true;
    return IsSlash(path[0]) && IsSlash(path[1]) && path[2] && !IsSlash(path[2]);
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
    if (CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, static_cast<int>(strlen(a) < n ? strlen(a) : n),
                       b, static_cast<int>(n)) != CSTR_EQUAL)
        return false;
    return a[n] == '\0' || a[n] == '\\' || b[n - 1] == '\\';
}

// One walk: the requests are chained here and handed to the queue in one
// step at the end, so queuing stays linear in the number of files.
struct Walk {
    FolderTransfer* block;
    HANDLE abortEvent;
    TransferRequest* first;
    TransferRequest** tail;
    int files;
};

TransferRequest* MakeRequest(const Walk& walk, const char* path, BYTE kind)
{
    TransferRequest* r = NewRequest(path);
    if (r) {
        r->kind = kind;
        r->mainWindow = walk.block->mainWindow;
        r->progressWindow = walk.block->progressWindow;
        r->abortEvent = walk.abortEvent;
    }
    return r;
}

// Both requests of a file or neither, so every file counts once on each half.
void ChainFile(Walk* walk, const char* path)
{
    TransferRequest* disk = MakeRequest(*walk, path, KIND_HD);
    TransferRequest* ftp = MakeRequest(*walk, path, KIND_FTP);
    if (!disk || !ftp) {
        FreeRequest(disk);
        FreeRequest(ftp);
        return;
    }
    disk->next = ftp;
    ftp->next = NULL;
    *walk->tail = disk;
    walk->tail = &ftp->next;
    ++walk->files;
}

bool WalkInto(Walk* walk, const char* folder)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstEntry(folder, &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    do {
        char path[MAX_PATH];
        if (!JoinPath(path, folder, data.cFileName))
            continue;
        if (!IsFolder(data))
            ChainFile(walk, path);
        else if (WalkEnters(data, walk->block->includeSubfolders))
            WalkInto(walk, path);
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
}

void SpliceIntoQueue(RequestQueue* queue, TransferRequest* first)
{
    LockQueue(queue);
    TransferRequest** tail = &queue->first;
    while (*tail)
        tail = &(*tail)->next;
    *tail = first;
    UnlockQueue(queue);
}

// WalkFolder with the number of files queued; -1 when the folder cannot be listed.
int WalkAndCount(FolderTransfer* block, HANDLE abortEvent)
{
    if (!block || !block->folder || !block->queue)
        return -1;
    bool ownEvent = abortEvent == NULL;
    if (ownEvent) {
        abortEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
        if (!abortEvent)
            return -1;
    }
    Walk walk = {block, abortEvent, NULL, NULL, 0};
    walk.tail = &walk.first;
    bool listed = WalkInto(&walk, block->folder);
    if (walk.first) {
        SpliceIntoQueue(block->queue, walk.first);
        // The event stays alive with the requests that carry it; the progress
        // window only borrows it for the main window's disk stop.
        if (block->progressWindow)
            SetWindowLongPtrA(block->progressWindow, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(abortEvent));
    } else if (ownEvent) {
        CloseHandle(abortEvent);
    }
    return listed ? walk.files : -1;
}

int CountInto(const char* folder, int includeSubfolders)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstEntry(folder, &data);
    if (find == INVALID_HANDLE_VALUE)
        return -1;
    int count = 0;
    do {
        char path[MAX_PATH];
        if (!JoinPath(path, folder, data.cFileName))
            continue;
        if (!IsFolder(data)) {
            ++count;
        } else if (WalkEnters(data, includeSubfolders)) {
            int sub = CountInto(path, includeSubfolders);
            if (sub > 0)
                count += sub;
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return count;
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
        if (!IsFullPath(target) || PathWithin(block->folder, target))
            failed = true;
        else
            failed = DeleteFolderContents(target) == 0;
    }
    if (!failed)
        return true;
    return ShowMessageBox(block->mainWindow, kDeleteQuestion, "Continue?",
                          MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

// Totals of both halves: every file of the walk once per target of a kind
// that is switched on; a kind that is off is done from the start.
void SendTotals(const FolderTransfer* block, const ItemSettings* settings, int files)
{
    if (!block->progressWindow)
        return;
    const TargetSwitches* sw = settings->switches;
    DWORD disk = sw->hdEnabled ? sw->hdCount * static_cast<DWORD>(files) : 0;
    DWORD ftp = sw->ftpEnabled ? sw->ftpCount * static_cast<DWORD>(files) : 0;
    SendMessageA(block->progressWindow, UM_DISKSETTOTAL, disk, 0);
    SendMessageA(block->progressWindow, UM_FTPSETTOTAL, ftp, 0);
}

// Hands the queue to a new folder worker; false (and nothing started) on failure.
bool StartFolderWorker(FolderTransfer* block, WorkerStart* start)
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
    HANDLE workEvent = start->workEvent;
    SetEvent(workEvent);
    if (_beginthread(TransferWorker, 0, start) == static_cast<uintptr_t>(-1)) {
        CloseHandle(workEvent);
        return false;
    }
    return true;
}

} // namespace

int CountFolderFiles(const char* folder, int includeSubfolders)
{
    return CountInto(folder, includeSubfolders);
}

int WalkFolder(FolderTransfer* block, HANDLE abortEvent)
{
    return WalkAndCount(block, abortEvent) < 0 ? 0 : 1;
}

int DeleteFolderContents(const char* folder)
{
    if (!IsFullPath(folder))
        return 0;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstEntry(folder, &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        char path[MAX_PATH];
        if (!JoinPath(path, folder, data.cFileName))
            continue;
        if (!IsFolder(data)) {
            DeleteFileA(path);
        } else if (!EndsWithDot(data.cFileName)) {
            // A junction is removed as a link; what it points to is not ours.
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                DeleteFolderContents(path);
            RemoveDirectoryA(path);
        }
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return 1;
}

int StartFolderTransfer(FolderTransfer* block)
{
    if (!block || !block->folder || !*block->folder)
        return 0;
    if (!IsSlash(block->folder[strlen(block->folder) - 1]))
        return 0;
    ItemSettings* settings = NewItemSettings(block->folder);
    if (!settings)
        return 0;
    if (LoadItemSettings(block->folder, settings) != 1 || !ClearDiskTargets(block, settings)) {
        FreeItemSettings(settings);
        return 0;
    }

    int files = CountFolderFiles(block->folder, block->includeSubfolders);
    if (files < 0) {
        // Nothing can be listed: no totals, no worker; the window keeps its first state.
        FreeItemSettings(settings);
        return 1;
    }
    SendTotals(block, settings, files);

    WorkerStart* start = static_cast<WorkerStart*>(calloc(1, sizeof(WorkerStart)));
    block->queue = start ? NewRequestQueue() : NULL;
    if (!start || !block->queue) {
        free(start);
        ShowMessageBox(block->mainWindow, kNoMemory, "Error", MB_OK | MB_ICONEXCLAMATION);
        FreeItemSettings(settings);
        return 0;
    }

    int queued = WalkAndCount(block, NULL);
    // Files that came or went since the count, or were dropped for want of
    // memory: the totals follow what was really queued.
    if (queued >= 0 && queued != files)
        SendTotals(block, settings, queued);

    int result = 1;
    if (queued > 0) {
        if (!StartFolderWorker(block, start)) {
            free(start);
            FreeRequestQueue(block->queue);
            block->queue = NULL;
            ShowMessageBox(block->mainWindow, kNoMemory, "Error", MB_OK | MB_ICONEXCLAMATION);
            result = 0;
        }
    } else {
        // Nothing to serve: no worker is left waiting for the end of the program.
        free(start);
        FreeRequestQueue(block->queue);
        block->queue = NULL;
    }
    FreeItemSettings(settings);
    return result;
}
