// The FTP client's own plumbing: its setup, socket messages, retired socket numbers, commands,
// notices and batch endings.
#include "transfer/ftp/ftpclient.h"

#include "common/messages.h"
#include "log/errors.h"
#include "log/log.h"
#include "transfer/ftp/ftpsequence.h"
#include "transfer/ftp/ftptls.h"
#include "transfer/outcome.h"

#include <stdio.h>
#include <string.h>

#include <map>
#include <vector>

namespace {

FtpClientSetup g_client;

// Socket numbers closed whose marker has not come back yet, with a count:
// a number can be closed again, reused in between, before its first marker
// arrives. Main thread only.
std::map<SOCKET, int> g_retiring;

const UINT_PTR kWatchdogTimer = 0x4654;  // "FT"
DWORD g_idleLimit = 60000;

// A progress window repaints its bars and its file field for every message,
// under Wine before the message returns: for files of a few KiB that cost
// more than sending them. What it is told of a batch's files is therefore
// held back for at most this long, and told before the batch ends.
const UINT_PTR kTellTimer = 0x4650;  // "FP"
enum { TELL_DELAY_MS = 100 };
bool g_tellTimerArmed = false;

void CALLBACK OnWatchdogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    CheckIdleBatches();
}

void CALLBACK OnTellTimer(HWND window, UINT, UINT_PTR id, DWORD)
{
    KillTimer(window, id);
    g_tellTimerArmed = false;
    if (!g_client.batches)
        return;
    std::vector<FtpBatch*> batches;
    LockBatches(g_client.batches);
    for (FtpBatch* b = g_client.batches->first; b; b = b->next)
        batches.push_back(b);
    UnlockBatches(g_client.batches);
    // Only this thread removes batches, and telling a window removes none.
    for (FtpBatch* b : batches)
        TellProgressWindow(b);
}

void ArmTellTimer(void)
{
    if (g_tellTimerArmed || !g_client.window)
        return;
    g_tellTimerArmed = SetTimer(g_client.window, kTellTimer, TELL_DELAY_MS, OnTellTimer) != 0;
}

void ShowFileStartNow(FtpBatch* batch, const char* path, bool barAtZero)
{
    batch->fileShown = true;
    batch->fileShownAt = GetTickCount();
    SendMessageA(batch->progressWindow, UM_FTPFILESTART, 0, reinterpret_cast<LPARAM>(path));
    if (barAtZero)
        SendMessageA(batch->progressWindow, UM_FTPPERCENT, 0, 0);
}

// Finds the batch of a socket event; NULL for a retired number or a socket
// that belongs to no batch.
FtpBatch* BatchOfEvent(SOCKET socket)
{
    if (IsRetiring(socket) || !g_client.batches)
        return NULL;
    LockBatches(g_client.batches);
    FtpBatch* batch = FindBatchBySocket(g_client.batches, socket);
    UnlockBatches(g_client.batches);
    return batch;
}

void OnControlEvent(SOCKET socket, WORD event, WORD error)
{
    FtpBatch* batch = BatchOfEvent(socket);
    if (batch && batch->control == socket)
        OnControlSocketEvent(batch, event, error);
}

void OnDataEvent(SOCKET socket, WORD event, WORD error)
{
    FtpBatch* batch = BatchOfEvent(socket);
    if (batch && batch->control != socket)
        OnDataSocketEvent(batch, socket, event, error);
}

void OnContinue(SOCKET socket)
{
    FtpBatch* batch = BatchOfEvent(socket);
    if (batch && batch->current.data == socket)
        ContinueTransfer(batch);
}

}  // namespace

void QueueFtpRequestAgain(const char* path)
{
    RequestQueue* queue = g_client.liveQueue;
    if (!queue || !path)
        return;
    bool waiting = false;
    LockQueue(queue);
    for (TransferRequest* r = queue->first; r && !waiting; r = r->next)
        waiting = r->kind == KIND_FTP && !r->targetId && strcmp(r->path, path) == 0;
    UnlockQueue(queue);
    if (!waiting)
        QueueRequest(queue, g_client.liveWorkEvent, path, KIND_FTP, g_client.window, NULL,
                     g_client.liveStopEvent);
}

const FtpClientSetup& Client(void)
{
    return g_client;
}

void InitFtpClient(const FtpClientSetup& setup)
{
    g_client = setup;
    g_retiring.clear();
}

void SetFtpRepliesWindow(HWND repliesWindow)
{
    g_client.repliesWindow = repliesWindow;
}

BOOL OnFtpClientMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    SOCKET socket = static_cast<SOCKET>(wParam);
    switch (msg) {
    case UM_FTPCONTROL:
        OnControlEvent(socket, WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return TRUE;
    case UM_FTPDATA:
        OnDataEvent(socket, WSAGETSELECTEVENT(lParam), WSAGETSELECTERROR(lParam));
        return TRUE;
    case UM_FTPRETIRED:
        OnSocketRetired(socket);
        return TRUE;
    case UM_FTPCONTINUE:
        OnContinue(socket);
        return TRUE;
    }
    return FALSE;
}

void RetireSocket(SOCKET socket)
{
    if (socket == INVALID_SOCKET)
        return;
    closesocket(socket);
    // Events of this socket already queued come before the marker; any event
    // of a new socket with the same number comes after it.
    if (g_client.window && PostMessageA(g_client.window, UM_FTPRETIRED, socket, 0))
        ++g_retiring[socket];
}

bool IsRetiring(SOCKET socket)
{
    return g_retiring.count(socket) != 0;
}

void OnSocketRetired(SOCKET socket)
{
    auto found = g_retiring.find(socket);
    if (found != g_retiring.end() && --found->second <= 0)
        g_retiring.erase(found);
}

bool SelectEvents(SOCKET socket, UINT msg, long events)
{
    return WSAAsyncSelect(socket, g_client.window, msg, events) == 0;
}

void SendFtpCommand(FtpBatch* batch, const char* command)
{
    if (batch->control == INVALID_SOCKET || !command || !*command)
        return;
    batch->sendLeft += command;
    SendCommandTail(batch);
}

void SendCommandTail(FtpBatch* batch)
{
    while (!batch->sendLeft.empty()) {
        int sent = SendFtpLink(batch->controlLink, batch->sendLeft.data(),
                               static_cast<int>(batch->sendLeft.size()));
        if (sent <= 0) {
            // Full (the write event sends the rest) or broken (the close
            // event ends it, or an event of its own for a failed TLS link).
            NoticeControlLinkFailure(batch);
            return;
        }
        batch->sendLeft.erase(0, static_cast<size_t>(sent));
    }
}

void SendQuit(FtpBatch* batch)
{
    TellProgressWindow(batch);
    DeleteTemporaryFile(batch, false);
    SendFtpCommand(batch, "QUIT\r\n");
    SetFtpState(batch, FTP_STATE_QUIT);
}

void ShowStatus(const char* text)
{
    if (g_client.window)
        SendMessageA(g_client.window, UM_STATUSTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void ShowTransferring(BYTE direction, const char* path)
{
    if (g_client.window)
        SendMessageA(g_client.window, UM_TRAYSTATE,
                     direction == FTP_DOWNLOAD ? TRAY_DOWNLOAD : TRAY_UPLOAD,
                     reinterpret_cast<LPARAM>(path));
}

void CloseLogsWhenNoBatches(void)
{
    // Asked after the tray turned idle: a batch that starts then keeps them
    // open. One listed meanwhile by a worker keeps them open again when it
    // connects; at worst its lines open the log each.
    if (!HasBatches(g_client.batches))
        KeepLogsOpen(false);
}

void ShowIdleWhenNoBatches(void)
{
    if (g_client.window && !HasBatches(g_client.batches))
        SendMessageA(g_client.window, UM_TRAYSTATE, TRAY_IDLE, 0);
}

void TellFileDone(FtpBatch* batch)
{
    if (!batch->progressWindow)
        return;
    ++batch->doneUntold;
    ArmTellTimer();
}

void TellFileStart(FtpBatch* batch, const char* path)
{
    if (!batch->progressWindow)
        return;
    if (!batch->fileShown || GetTickCount() - batch->fileShownAt >= TELL_DELAY_MS) {
        batch->unshownFile[0] = '\0';
        ShowFileStartNow(batch, path, true);
        return;
    }
    lstrcpynA(batch->unshownFile, path, sizeof batch->unshownFile);
    batch->unshownBarSet = false;
    ArmTellTimer();
}

void TellFilePercent(FtpBatch* batch, int percent)
{
    if (!batch->progressWindow)
        return;
    // A file that takes longer than one send shows its own name from here.
    if (batch->unshownFile[0] && percent < 100) {
        ShowFileStartNow(batch, batch->unshownFile, true);
        batch->unshownFile[0] = '\0';
    }
    PostMessageA(batch->progressWindow, UM_FTPPERCENT, static_cast<WPARAM>(percent), 0);
    batch->unshownBarSet = batch->unshownFile[0] != '\0';
}

void TellProgressWindow(FtpBatch* batch)
{
    if (!batch->progressWindow)
        return;
    // One message for several files: the window counts wParam files (0 is one).
    int files = batch->doneUntold;
    batch->doneUntold = 0;
    if (files > 0)
        SendMessageA(batch->progressWindow, UM_FTPFILEDONE, files == 1 ? 0 : files, 0);
    if (batch->unshownFile[0]) {
        // Its bar went to 0 first, then to what was posted since.
        ShowFileStartNow(batch, batch->unshownFile, !batch->unshownBarSet);
        batch->unshownFile[0] = '\0';
    }
}

void LogPathLine(const char* format, const char* path)
{
    char line[MAX_PATH + 64];
    snprintf(line, sizeof line, format, path);
    WriteLog(line, 0, LOG_BACKUP);
}

void ReportFtpError(int code, const char* subject)
{
    ErrorReport report;
    FillErrorReport(&report, code, subject ? subject : "");
    ReportError(&report);
}

bool NoteFtpFailure(FtpBatch* batch, int code, DWORD systemError, bool firstOnly)
{
    if (batch->direction != FTP_UPLOAD)
        return true;
    std::vector<CopyFailure> failures;
    // Only this thread changes a listed batch's files.
    for (FtpJob* job = batch->files; job; job = firstOnly ? NULL : job->next) {
        if (job->settled)
            continue;
        job->settled = true;
        failures.push_back(
            {job->localPath, KIND_FTP, batch->targetId, batch->itemLength, code, systemError, 0});
    }
    return NoteCopiesFailed(failures.data(), failures.size()) || batch->mode == WORKER_FOLDER;
}

void ReportBatchError(FtpBatch* batch, int code)
{
    if (NoteFtpFailure(batch, code, 0, false))
        ReportFtpError(code, batch->target.address[0] ? batch->target.address : batch->localPath);
}

void ReportFileError(FtpBatch* batch, int code, const char* subject, DWORD systemError)
{
    if (NoteFtpFailure(batch, code, systemError, true))
        ReportFtpError(code, subject                    ? subject
                             : batch->target.address[0] ? batch->target.address
                                                        : batch->localPath);
}

void NoteUploadStored(FtpBatch* batch)
{
    const FinishedFile& f = batch->finished;
    if (batch->files && strcmp(batch->files->localPath, f.localPath) == 0)
        batch->files->settled = true;
    NoteCopyStored(f.localPath, KIND_FTP, batch->targetId, batch->itemLength, batch->target.address,
                   f.version.lastWrite ? &f.version : NULL);
}

void CloseBatch(FtpBatch* batch, bool logClose)
{
    if (logClose) {
        ShowStatus(NULL);
        LogPathLine("FTP control connection closed for %s", batch->localPath);
    }
    AbandonTransfer(batch);
    RetireLink(&batch->controlLink, &batch->control);
    TellProgressWindow(batch);
    // Files that will not be sent still count as over for a progress window
    // that waits for its total.
    HWND progress = batch->progressWindow;
    int leftOver = CountFileJobs(batch);
    RemoveBatch(g_client.batches, batch);
    if (progress)
        for (int i = 0; i < leftOver; ++i)
            SendMessageA(progress, UM_FTPFILEDONE, 0, 0);
    ShowIdleWhenNoBatches();
    CloseLogsWhenNoBatches();
}

void StopBatch(FtpBatch* batch)
{
    // A file the server has not confirmed yet is not stored.
    const char* aborted = NULL;
    if ((batch->state == FTP_STATE_DATA_ENDED || IsRenameState(batch->state)) &&
        batch->finished.present)
        aborted = batch->finished.localPath;
    else if (batch->files && (batch->state == FTP_STATE_STOR || batch->state == FTP_STATE_RETR ||
                              batch->state == FTP_STATE_REPLY_ENDED))
        aborted = batch->files->localPath;
    if (aborted)
        LogPathLine("Transfer of file %s was aborted", aborted);
    AbandonTransfer(batch);
    TellProgressWindow(batch);
    if (batch->control != INVALID_SOCKET) {
        DeleteTemporaryFile(batch, false);
        SendFtpCommand(batch, "QUIT\r\n");
        RetireLink(&batch->controlLink, &batch->control);
    }
    RemoveBatch(g_client.batches, batch);
    CloseLogsWhenNoBatches();
}

void StopFtpBatches(HWND progressWindow)
{
    BatchList* list = g_client.batches;
    if (!list || !progressWindow)
        return;
    ShowIdleWhenNoBatches();
    for (;;) {
        LockBatches(list);
        FtpBatch* found = list->first;
        while (found && found->progressWindow != progressWindow)
            found = found->next;
        UnlockBatches(list);
        if (!found)
            break;
        StopBatch(found);
        ShowStatus("FTP Transfer Stopped");
    }
    ShowIdleWhenNoBatches();
}

void StopAllTransfers(void)
{
    if (g_client.liveStopEvent)
        SetEvent(g_client.liveStopEvent);
    BatchList* list = g_client.batches;
    if (!list)
        return;
    for (;;) {
        LockBatches(list);
        FtpBatch* first = list->first;
        UnlockBatches(list);
        if (!first)
            break;
        first->stoppedByUser = true;
        StopBatch(first);
    }
    if (g_client.window)
        SendMessageA(g_client.window, UM_TRAYSTATE, TRAY_IDLE, 0);
}

void ShutDownFtpClient(void)
{
    if (g_client.window) {
        KillTimer(g_client.window, kWatchdogTimer);
        KillTimer(g_client.window, kTellTimer);
    }
    g_tellTimerArmed = false;
    // The program ends during uploads in place: their stored copies may be partial now.
    std::vector<FtpBatch*> open;
    if (g_client.batches) {
        LockBatches(g_client.batches);
        for (FtpBatch* b = g_client.batches->first; b; b = b->next)
            if (b->openedInPlace[0])
                open.push_back(b);
        UnlockBatches(g_client.batches);
    }
    for (FtpBatch* b : open)
        ForgetCopyInPlace(b);
    ClearBatches(g_client.batches);
    KeepLogsOpen(false);
}

bool NoteChangeDuringUpload(BatchList* batches, const char* path)
{
    if (!batches || !path)
        return false;
    bool found = false;
    // Every upload of the file is told: each may have read it before the
    // change, to a target of its own.
    LockBatches(batches);
    for (FtpBatch* b = batches->first; b; b = b->next) {
        if (b->direction == FTP_UPLOAD && b->current.sending && b->files &&
            strcmp(b->files->localPath, path) == 0) {
            b->current.changeDeferred = true;
            found = true;
        }
    }
    UnlockBatches(batches);
    return found;
}

void TouchBatch(FtpBatch* batch)
{
    batch->lastProgress = GetTickCount();
    batch->readBytes = 0;
}

void ArmFtpWatchdog(void)
{
    DWORD period = g_idleLimit / 4;
    if (period < 50)
        period = 50;
    if (period > 1000)
        period = 1000;
    SetTimer(g_client.window, kWatchdogTimer, period, OnWatchdogTimer);
}

DWORD SetFtpIdleLimit(DWORD milliseconds)
{
    DWORD old = g_idleLimit;
    g_idleLimit = milliseconds;
    return old;
}

void CheckIdleBatches(void)
{
    BatchList* list = g_client.batches;
    if (!list)
        return;
    DWORD now = GetTickCount();
    std::vector<FtpBatch*> silent;
    LockBatches(list);
    bool any = list->first != NULL;
    for (FtpBatch* b = list->first; b; b = b->next)
        if (now - b->lastProgress > g_idleLimit)
            silent.push_back(b);
    UnlockBatches(list);
    // Only this thread removes batches, so the pointers stay valid here.
    for (FtpBatch* b : silent) {
        if (b->state != FTP_STATE_QUIT)
            ReportBatchError(b, ERR_CANNOT_CONNECT);
        CloseBatch(b, true);
    }
    if (!any && g_client.window)
        KillTimer(g_client.window, kWatchdogTimer);
}
