// The worker threads: each serves its request queue, copying to disk targets
// itself and handing FTP targets to batches that run on the main thread.
#include "transfer/worker.h"

#include "common/messages.h"
#include "log/errors.h"
#include "log/log.h"
#include "store/scoped.h"
#include "store/store.h"
#include "transfer/diskcopy.h"
#include "transfer/folder.h"
#include "transfer/ftp/ftp.h"
#include "transfer/outcome.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

// A folder worker serves the settings it loaded for this long before it
// loads them again: the files of a folder share their item, a load is some
// sixty registry calls, and a change the user makes meanwhile still applies
// within a second. The live worker loads them for every request.
const DWORD kFolderSettingsReuseMs = 1000;

// The disk half's current-file field changes at most this often. Small files
// go by far faster than anyone reads them, and each path is a message the
// worker waits for while the main window may be painting.
const DWORD kShowFileMs = 100;

// The live worker's tray icon goes idle after this long without work.
const DWORD kIdleIconMs = 50;

bool IsSet(HANDLE event)
{
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

enum Stops { STOPS_NONE, STOPS_SHUTDOWN, STOPS_ABORT };

// The shutdown event and a request's abort event in one look (each look is a
// call into the system); shutdown wins when both are set.
Stops LookAtStops(HANDLE shutdown, HANDLE abort)
{
    HANDLE events[2];
    Stops kinds[2];
    DWORD n = 0;
    if (shutdown) {
        events[n] = shutdown;
        kinds[n++] = STOPS_SHUTDOWN;
    }
    if (abort && abort != shutdown) {
        events[n] = abort;
        kinds[n++] = STOPS_ABORT;
    }
    if (n == 0)
        return STOPS_NONE;
    DWORD got = WaitForMultipleObjects(n, events, FALSE, 0);
    if (got < WAIT_OBJECT_0 + n)
        return kinds[got - WAIT_OBJECT_0];
    if (got != WAIT_FAILED)
        return STOPS_NONE;
    return IsSet(shutdown) ? STOPS_SHUTDOWN : IsSet(abort) ? STOPS_ABORT : STOPS_NONE;
}

void SendReport(HWND window, int code, const char* subject)
{
    ErrorReport report;
    FillErrorReport(&report, code, subject);
    if (window)
        SendMessageA(window, UM_REPORTERROR, 0, reinterpret_cast<LPARAM>(&report));
}

// The main window shows it in the tray; it changes the icon only when the
// state changes, so a worker tells it at every request.
void ShowTray(const WorkerStart& worker, int state)
{
    if (worker.mainWindow)
        PostMessageA(worker.mainWindow, UM_TRAYSTATE, static_cast<WPARAM>(state), 0);
}

// What a worker keeps between requests.
struct WorkerState {
    WorkerStart start;
    char path[TK_PATH_SIZE];       // the request path keyName was looked up for
    char keyName[TK_PATH_SIZE];    // the item that covers it
    char loadedKey[TK_PATH_SIZE];  // the item whose settings are loaded
    std::optional<ScopedItemSettings> settings;
    DWORD loadedAt;
    // The current-file field: when it was last set, and the path of a file
    // started since then that it does not show yet ("" when none).
    DWORD shownAt;
    HWND pendingWindow;
    char pendingPath[TK_PATH_SIZE];
    // The percentage the disk file bar of percentWindow shows: only this
    // worker's copies set it (-1 when not known).
    HWND percentWindow;
    int shownPercent;
    // Copies done that the progress window has not been told of yet; they
    // are told before the worker says anything else to it, or waits, or ends.
    DoneCount done;
};

void ShowFile(WorkerState& w, HWND window, const char* path)
{
    PostFilesDone(&w.done);
    SendMessageA(window, UM_DISKFILESTART, 0, reinterpret_cast<LPARAM>(path));
    w.shownAt = GetTickCount();
    w.pendingPath[0] = '\0';
}

// Before the worker moves on to anything but the next file, or ends, the
// field is given the last file that started.
void ShowPendingFile(WorkerState& w)
{
    if (w.pendingPath[0])
        ShowFile(w, w.pendingWindow, w.pendingPath);
}

// Shows a starting file's path now, or keeps it for later; true when kept.
bool StartFile(WorkerState& w, HWND window, const char* path)
{
    if (window != w.pendingWindow)
        ShowPendingFile(w);
    w.pendingWindow = window;
    if (GetTickCount() - w.shownAt < kShowFileMs && strlen(path) < sizeof w.pendingPath) {
        lstrcpynA(w.pendingPath, path, sizeof w.pendingPath);
        return true;
    }
    ShowFile(w, window, path);
    return false;
}

// The settings of the item that covers the head's path, or NULL when no item
// covers it or they cannot be loaded; w.keyName names the item.
ItemSettings* SettingsFor(WorkerState& w, const TransferRequest* head)
{
    const bool folder = w.start.mode == WORKER_FOLDER;
    DWORD now = GetTickCount();
    bool fresh =
        folder && w.settings && w.settings->loaded() && now - w.loadedAt < kFolderSettingsReuseMs;
    // A file's FTP request follows its disk request: same path, same item.
    bool known = folder && strcmp(w.path, head->path) == 0;
    if (fresh && !known) {
        w.path[0] = '\0';
        if (!OpenItemKey(head->path, w.keyName, NULL))
            return NULL;
        lstrcpynA(w.path, head->path, sizeof w.path);
        known = true;
    }
    if (fresh && known && strcmp(w.loadedKey, w.keyName) == 0)
        return w.settings->get();
    // Otherwise the load looks the item up itself and names it.
    w.path[0] = '\0';
    w.settings.emplace(head->path);
    if (!w.settings->loaded())
        return NULL;
    lstrcpynA(w.keyName, w.settings->keyName(), sizeof w.keyName);
    lstrcpynA(w.loadedKey, w.keyName, sizeof w.loadedKey);
    lstrcpynA(w.path, head->path, sizeof w.path);
    w.loadedAt = now;
    return w.settings->get();
}

// A file larger than the item's size limit (kilobytes of 1,024 bytes, 0 for
// none) is not copied to disk targets; FTP targets still get it. A file that
// cannot be looked at is left to the copy, which knows what to do with it.
bool IsOverSizeLimit(const char* path, const ItemSettings* settings)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (settings->options->sizeLimit == 0 ||
        !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    ULONGLONG size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return !FitsSizeLimit(settings, KIND_HD, size);
}

void LogOverSizeLimit(const char* path, DWORD limitKb)
{
    char line[TK_PATH_SIZE + 128];
    snprintf(line, sizeof line,
             "Not copied to disk/network targets: %s is larger than the file size limit of %lu KB",
             path, static_cast<unsigned long>(limitKb));
    WriteLog(line, 0, LOG_BACKUP);
}

// Copies the head request to each disk target in list order (to its one
// target, for a retried copy); aborted: its abort event was seen set when the
// worker took it up. Returns true when the head left the queue because the
// user stopped its transfer.
bool ServeDiskTargets(WorkerState& w, TransferRequest* head, ItemSettings* settings, bool aborted)
{
    DWORD count = settings->switches->hdCount;
    bool looked = false, tooLarge = false;
    const WORD itemLength = static_cast<WORD>(strlen(w.keyName));
    // Read before the copy: a change made during it is then sent again, never lost.
    FileVersion version;
    const FileVersion* read =
        RecordsVersions() && ReadFileVersion(head->path, &version) ? &version : NULL;
    for (DWORD i = 0; i < count && i < settings->hdSlots; ++i) {
        const DiskTarget* target = settings->hdTargets[i];
        if (head->targetId && target->id != head->targetId)
            continue;
        // The first target's look is the one the worker took with the head.
        bool stopped = looked ? IsSet(head->abortEvent) : aborted;
        if (stopped) {
            HANDLE event = head->abortEvent;
            RemoveRequests(w.start.queue, KIND_HD, event);
            ShowPendingFile(w);
            // Stop All Transfers ends with the copies it stopped. A folder
            // transfer's stopped half stays stopped, so that the rest of its
            // walk is not queued for it.
            if (w.start.mode == WORKER_LIVE)
                ResetEvent(event);
            return true;
        }
        const bool firstTarget = !looked;
        if (firstTarget && IsOverSizeLimit(head->path, settings)) {
            tooLarge = true;
            LogOverSizeLimit(head->path, settings->options->sizeLimit);
        }
        looked = true;
        if (tooLarge) {
            ForgetPendingCopy(head->path, KIND_HD, target->id);
            // Done for the progress window all the same: its bar fills.
            if (head->progressWindow)
                CountFileDone(&w.done, head->progressWindow);
            continue;
        }
        DiskCopy copy = {};
        if (head->progressWindow)
            copy.showPath = StartFile(w, head->progressWindow, head->path);
        copy.request = head;
        copy.shutdownEvent = w.start.shutdownEvent;
        copy.keyName = w.keyName;
        copy.folder = target->folder;
        copy.storageType = target->storageType;
        copy.stopsLooked = firstTarget;
        if (head->progressWindow != w.percentWindow) {
            w.percentWindow = head->progressWindow;
            w.shownPercent = -1;
        }
        copy.shownPercent = w.shownPercent;
        copy.done = &w.done;
        int result = CopyToDiskFolder(&copy);
        w.shownPercent = copy.shownPercent;
        if (head->progressWindow && !copy.showPath && w.pendingPath[0]) {
            w.pendingPath[0] = '\0';  // a long copy showed its path itself
            w.shownAt = GetTickCount();
        }
        // A folder transfer reports each failure: the user asked for it and watches it.
        if (result != ERR_SUCCESS && (NoteCopyFailed(head->path, KIND_HD, target->id, itemLength,
                                                     result, copy.systemError) ||
                                      w.start.mode == WORKER_FOLDER))
            SendReport(head->mainWindow, result, copy.subject);
        // Posted: the step needs nothing of the worker's, and the worker need
        // not wait while the window paints it.
        if (head->progressWindow)
            CountFileDone(&w.done, head->progressWindow);
        if (result == ERR_SUCCESS && copy.targetPath[0]) {
            WriteItemDiskRecord(w.keyName, head->path, copy.targetPath);
            NoteCopyStored(head->path, KIND_HD, target->id, itemLength, target->folder, read);
        } else if (copy.gone) {
            NoteSourceGone(head->path, KIND_HD, target->id, target->folder);
        }
    }
    // A retried copy whose target is no longer there.
    if (head->targetId && !looked)
        ForgetPendingCopy(head->path, KIND_HD, head->targetId);
    return false;
}

// The FTP requests of the item with this key name, from head to the end of
// the queue, in queue order: for a copy retried to one target, the copies
// retried to that target; else every one. Only this worker removes
// requests, so the records stay valid without the lock.
std::vector<TransferRequest*> GatherFtpRequests(const WorkerStart& worker, TransferRequest* head,
                                                const char* keyName)
{
    std::vector<TransferRequest*> gathered;
    for (TransferRequest* r = head; r; r = NextRequest(worker.queue, r)) {
        char name[TK_PATH_SIZE];
        if (r->kind == KIND_FTP && (!head->targetId || r->targetId == head->targetId) &&
            OpenItemKey(r->path, name, NULL) && strcmp(name, keyName) == 0)
            gathered.push_back(r);
    }
    return gathered;
}

// The gathered files that go to one target: the changes, and the copies
// retried to it that no change of the same file covers already.
std::vector<TransferRequest*> FilesFor(const std::vector<TransferRequest*>& gathered, DWORD id)
{
    std::set<std::string> changed;
    for (TransferRequest* r : gathered)
        if (!r->targetId)
            changed.insert(r->path);
    std::vector<TransferRequest*> files;
    for (TransferRequest* r : gathered)
        if (!r->targetId || (r->targetId == id && !changed.count(r->path)))
            files.push_back(r);
    return files;
}

// A batch that could not start: its files wait to be retried, and the user
// hears of it once (a folder transfer, each time).
void NoteUnstartedBatch(const WorkerStart& worker, TransferRequest* head, const FtpTarget* target,
                        const std::vector<TransferRequest*>& files, WORD itemLength, int result)
{
    bool report = true;
    try {
        std::vector<CopyFailure> failures;
        for (TransferRequest* r : files)
            failures.push_back(
                CopyFailure{r->path, KIND_FTP, target->id, itemLength, result, 0, 0});
        report = NoteCopiesFailed(failures.data(), failures.size());
    } catch (const std::bad_alloc&) {
        // Reported as ever, and waiting for no retry.
    }
    if (report || worker.mode == WORKER_FOLDER)
        SendReport(head->mainWindow, result, target->address);
}

// One batch per FTP target, in list order (the one target of a retried
// copy), each carrying the files for it: the requests are gathered once,
// before the first batch is made, and exactly those leave the queue at the
// end (a request queued meanwhile waits for the next round, for every target
// alike). Each batch is filled before it is listed, so the main thread never
// meets it without its files. A target whose connection cannot be started is
// reported with its address and does not stop the others.
void ServeFtpTargets(const WorkerStart& worker, TransferRequest* head, ItemSettings* settings)
{
    char keyName[TK_PATH_SIZE] = "";
    std::vector<TransferRequest*> gathered;
    std::vector<std::pair<FtpTarget*, std::vector<TransferRequest*>>> plan;
    std::set<DWORD> served;
    try {
        if (OpenItemKey(head->path, keyName, NULL))
            gathered = GatherFtpRequests(worker, head, keyName);
        if (gathered.empty())
            gathered.push_back(head);
        DWORD count = settings->switches->ftpCount;
        if (count > settings->ftpSlots)
            count = settings->ftpSlots;
        for (DWORD i = 0; i < count; ++i) {
            FtpTarget* target = settings->ftpTargets[i];
            if (head->targetId && target->id != head->targetId)
                continue;
            served.insert(target->id);
            plan.emplace_back(target, FilesFor(gathered, target->id));
        }
    } catch (...) {
        // Out of memory: the requests stay queued for a later round.
        return;
    }
    const WORD itemLength = static_cast<WORD>(strlen(keyName));
    for (const auto& step : plan) {
        FtpTarget* target = step.first;
        const std::vector<TransferRequest*>& files = step.second;
        FtpBatch* batch = files.empty() ? NULL
                                        : NewFtpBatch(head->path, target->id, FTP_UPLOAD,
                                                      worker.mode, head->progressWindow);
        if (!batch)
            continue;
        if (head->progressWindow)
            batch->stopEvent = head->abortEvent;
        batch->itemLength = itemLength;
        for (TransferRequest* r : files) {
            FtpJob* job = NewFtpJob(r->path);
            if (job)
                job->oneTarget = r->targetId != 0;
            AddFileJob(batch, job);
        }
        int result = StartFtpConnection(batch);
        if (result != ERR_SUCCESS)
            FreeFtpBatch(batch);
        if (result != ERR_SUCCESS && result != FTP_HALF_STOPPED) {
            NoteUnstartedBatch(worker, head, target, files, itemLength, result);
            // The files this target will not get still count as over for a
            // progress window that waits for its total, as they do when a
            // batch ends early.
            if (head->progressWindow)
                for (size_t n = 0; n < files.size(); ++n)
                    PostMessageA(head->progressWindow, UM_FTPFILEDONE, 0, 0);
        }
    }
    // Copies retried to a target the item no longer has.
    for (TransferRequest* r : gathered)
        if (r->targetId && !served.count(r->targetId))
            ForgetPendingCopy(r->path, KIND_FTP, r->targetId);
    RemoveListedRequests(worker.queue, gathered.data(), gathered.size());
}

bool ServesFtp(const ItemSettings* s, const TransferRequest* r)
{
    return r->kind == KIND_FTP && s->switches->ftpEnabled && s->switches->ftpCount > 0;
}

bool ServesDisk(const ItemSettings* s, const TransferRequest* r)
{
    return r->kind == KIND_HD && s->switches->hdEnabled && s->switches->hdCount > 0;
}

// Serves the head request and takes it off the queue; aborted: its abort
// event was seen set when the worker took it up.
void ServeHead(WorkerState& w, TransferRequest* head, bool aborted)
{
    const WorkerStart& worker = w.start;
    ItemSettings* settings = SettingsFor(w, head);
    if (!settings) {
        // A retried copy of an item that is gone.
        if (head->targetId)
            ForgetPendingCopy(head->path, head->kind, head->targetId);
        RemoveRequest(worker.queue, &head);
        return;
    }
    ShowTray(worker, TRAY_UPLOAD);
    if (ServesFtp(settings, head)) {
        // The FTP half of a folder transfer was stopped: none of its files
        // goes to a batch, not even when no batch has started yet.
        if (worker.mode == WORKER_FOLDER && aborted) {
            RemoveRequests(worker.queue, KIND_FTP, head->abortEvent);
            return;
        }
        ShowPendingFile(w);
        PostFilesDone(&w.done);
        // A batch carries every FTP request of the folder: the rest of the
        // walk is queued first.
        ContinueFolderWalk(worker.queue->walk, worker.queue, FOLDER_WALK_ALL);
        ServeFtpTargets(worker, head, settings);
    } else if (ServesDisk(settings, head)) {
        if (!ServeDiskTargets(w, head, settings, aborted))
            RemoveRequest(worker.queue, &head);
    } else {
        // A retried copy for targets switched off or gone.
        if (head->targetId)
            ForgetPendingCopy(head->path, head->kind, head->targetId);
        RemoveRequest(worker.queue, &head);
    }
}

void WaitForWork(const WorkerStart& worker)
{
    if (worker.mode == WORKER_FOLDER) {
        ShowTray(worker, TRAY_IDLE);
        HANDLE events[2] = {worker.workEvent, worker.shutdownEvent};
        WaitForMultipleObjects(2, events, FALSE, INFINITE);
        return;
    }
    // The live worker wakes for Stop All Transfers too: pressed with nothing
    // queued it has nothing to stop, and left set it would drop the next
    // change's copy. Pressed after a change was queued it holds, and that
    // change's copy is dropped.
    HANDLE events[2] = {worker.workEvent, worker.liveStopEvent};
    DWORD count = worker.liveStopEvent ? 2 : 1;
    // The icon goes idle once no work has come for kIdleIconMs, as if the
    // worker had been that much slower to find its queue empty: in a burst of
    // changes the queue empties between two of them, and the icon flickered
    // to idle and back, two calls into the shell on the main window's thread.
    if (WaitForMultipleObjects(count, events, FALSE, kIdleIconMs) == WAIT_TIMEOUT) {
        ShowTray(worker, TRAY_IDLE);
        WaitForMultipleObjects(count, events, FALSE, INFINITE);
    }
    ResetEventWhenEmpty(worker.queue, worker.liveStopEvent);
}

// At shutdown the queue is dropped; a folder transfer's progress window is
// told to close without asking.
void DropQueueAtShutdown(const WorkerStart& worker)
{
    TransferRequest* head = FirstRequest(worker.queue);
    if (head && head->progressWindow)
        PostMessageA(head->progressWindow, UM_TRANSFERSTOPPED, 0, 0);
    ClearRequests(worker.queue);
}

// A folder worker owns its queue, work event and walk and releases them as
// it ends; the stop events go with the last of the walk and the window.
void EndFolderWorker(const WorkerStart& worker)
{
    FolderWalk* walk = worker.queue->walk;
    FreeRequestQueue(worker.queue);
    if (worker.workEvent)
        CloseHandle(worker.workEvent);
    EndFolderWalk(walk);
}

}  // namespace

bool FitsSizeLimit(const ItemSettings* settings, BYTE kind, ULONGLONG size)
{
    DWORD limitKb = settings ? settings->options->sizeLimit : 0;
    return kind != KIND_HD || limitKb == 0 || size <= static_cast<ULONGLONG>(limitKb) * 1024;
}

void ReportUnshowableName(HWND mainWindow, const char* path)
{
    char line[TK_PATH_SIZE + 96];
    snprintf(line, sizeof line,
             "Cannot transfer file %s, its name has characters outside the system's code page",
             path ? path : "");
    WriteLog(line, 0, LOG_ERROR);
    SendReport(mainWindow, ERR_NAME_NOT_SHOWN, path);
}

void __cdecl TransferWorker(void* start)
{
    if (!start)
        return;
    WorkerState w = {};
    w.start = *static_cast<WorkerStart*>(start);
    free(start);
    w.shownPercent = -1;
    const WorkerStart& worker = w.start;
    // A folder transfer's walk starts here; with nothing to serve the worker
    // ends without a word to the tray, as if it had never started.
    FolderWalk* walk = worker.mode == WORKER_FOLDER ? worker.queue->walk : NULL;
    if (walk && !BeginFolderWalk(walk, worker.queue)) {
        EndFolderWorker(worker);
        return;
    }

    for (;;) {
        if (!FirstRequest(worker.queue)) {
            ShowPendingFile(w);
            PostFilesDone(&w.done);
            WaitForWork(worker);
        }
        // Only this worker takes requests off the queue: the head stays.
        TransferRequest* head = FirstRequest(worker.queue);
        Stops stops = LookAtStops(worker.shutdownEvent, head ? head->abortEvent : NULL);
        if (stops == STOPS_SHUTDOWN) {
            PostFilesDone(&w.done);
            DropQueueAtShutdown(worker);
            if (worker.mode == WORKER_FOLDER) {
                EndFolderWorker(worker);
                return;
            }
            head = FirstRequest(worker.queue);
            stops = head && IsSet(head->abortEvent) ? STOPS_ABORT : STOPS_NONE;
        }
        if (!head) {
            ResetEvent(worker.workEvent);
            continue;
        }
        ServeHead(w, head, stops == STOPS_ABORT);
        if (worker.mode != WORKER_FOLDER || FirstRequest(worker.queue))
            continue;
        PostFilesDone(&w.done);  // the walk may tell the window of files too
        if (!ContinueFolderWalk(worker.queue->walk, worker.queue, FOLDER_WALK_CHUNK)) {
            ShowPendingFile(w);
            ShowTray(worker, TRAY_IDLE);
            EndFolderWorker(worker);
            return;
        }
    }
}
