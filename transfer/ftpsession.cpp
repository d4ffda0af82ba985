// Per-batch session data, the target cache, batch endings and the watchdog for silent servers.
#include "transfer/ftpsession.h"

#include "app/appstate.h"
#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "log/log.h"
#include "resources/brand.h"
#include "resources/resource.h"
#include "store/store.h"
#include "transfer/ftp.h"
#include "transfer/ftpsequence.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <vector>

namespace {

// Keyed by batch; only the main thread touches it. An entry is made fresh
// when the batch's connect completes, so a stale entry of a freed batch at
// the same address is never read.
std::map<const FtpJob*, FtpSession> g_sessions;

const UINT_PTR kWatchdogTimer = 0x4654;  // "FT"
DWORD g_idleLimit = 60000;
WORD g_dataPort = 1164;

void CALLBACK OnWatchdogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    CheckIdleBatches();
}

void FreshSession(FtpSession* s)
{
    memset(s, 0, sizeof *s);
    s->folderCut = -1;
}

}  // namespace

FtpSession* GetFtpSession(FtpJob* batch)
{
    auto found = g_sessions.find(batch);
    if (found != g_sessions.end())
        return &found->second;
    FtpSession& s = g_sessions[batch];
    FreshSession(&s);
    return &s;
}

void ResetFtpSession(FtpJob* batch)
{
    FreshSession(GetFtpSession(batch));
}

int LoadFtpTarget(const char* path, DWORD targetId, bool requireEnabled, FtpTargetCopy* out)
{
    ItemSettings* s = NewItemSettings(path);
    if (!s)
        return ERR_NO_MEMORY;
    if (LoadItemSettings(path, s) != 1) {
        FreeItemSettings(s);
        return ERR_NO_SETTINGS;
    }
    if (requireEnabled && !s->switches->ftpEnabled) {
        FreeItemSettings(s);
        return ERR_FTP_NOT_ENABLED;
    }
    FtpTarget* t = FindFtpTargetById(s, targetId);
    if (!t) {
        FreeItemSettings(s);
        return ERR_FTP_REJECTED;
    }
    memset(out, 0, sizeof *out);
    lstrcpynA(out->address, t->address, sizeof out->address);
    lstrcpynA(out->userName, t->userName, sizeof out->userName);
    lstrcpynA(out->password, t->password, sizeof out->password);
    lstrcpynA(out->folder, t->folder, sizeof out->folder);
    out->port = t->port;
    out->storageType = t->storageType;
    out->anonymous = t->anonymous;
    out->targetCount = s->switches->ftpCount;
    FreeItemSettings(s);
    return ERR_SUCCESS;
}

const FtpTargetCopy* BatchTarget(FtpJob* batch)
{
    FtpSession* s = GetFtpSession(batch);
    if (!s->haveTarget)
        s->haveTarget = LoadFtpTarget(batch->localPath, batch->targetId, false, &s->target) == ERR_SUCCESS;
    return s->haveTarget ? &s->target : NULL;
}

void SendFtpCommand(FtpJob* batch, const char* command)
{
    if (batch->socket != INVALID_SOCKET && command && *command)
        send(batch->socket, command, static_cast<int>(strlen(command)), 0);
}

void SendQuit(FtpJob* batch)
{
    SendFtpCommand(batch, "QUIT\r\n");
    batch->state = FTP_STATE_QUIT;
}

void ReportFtpError(int code, const char* subject)
{
    ErrorReport report;
    FillErrorReport(&report, code, subject ? subject : "");
    ReportError(&report);
}

void ReportBatchError(FtpJob* batch, int code)
{
    const FtpTargetCopy* target = BatchTarget(batch);
    ReportFtpError(code, target ? target->address : batch->localPath);
}

void CloseFileSockets(FtpJob* file)
{
    if (file && file->socket != INVALID_SOCKET) {
        closesocket(file->socket);
        file->socket = INVALID_SOCKET;
    }
}

void CloseBatch(FtpJob* batch, bool logClose)
{
    BatchList* list = g_app.live.batches;
    if (logClose) {
        SetStatusString(IDS_READY);
        char line[MAX_PATH + 64];
        snprintf(line, sizeof line, "FTP control connection closed for %s", batch->localPath);
        WriteLog(line, 0, LOG_BACKUP);
    }

    // Files that will not be sent still count as over for a progress window
    // that waits for its total.
    HWND progress = batch->progressWindow;
    int leftOver = CountNodes(batch->files);
    AbandonFile(batch->files);
    DropFinishedFile(batch);
    CloseFileSockets(batch->files);
    if (batch->socket != INVALID_SOCKET)
        closesocket(batch->socket);
    batch->socket = INVALID_SOCKET;
    g_sessions.erase(batch);
    RemoveFtpJob(list, batch);
    if (progress)
        for (int i = 0; i < leftOver; ++i)
            SendMessageA(progress, UM_FTPFILEDONE, 0, 0);

    LockBatches(list);
    bool last = list->first == NULL;
    UnlockBatches(list);
    if (last) {
        SetTrayIcon(g_app.mainWindow, TRAY_IDLE, NULL, TRAY_MODIFY);
        SetMainTitle(TK_TITLE);
    }
}

void StopBatch(FtpJob* batch)
{
    FtpJob* first = batch->files;
    // A file the server has not confirmed yet is not stored.
    const char* aborted = NULL;
    FinishedFile& finished = GetFtpSession(batch)->finished;
    if (batch->state == FTP_STATE_DATA_ENDED && finished.present)
        aborted = finished.localPath;
    else if (first && (batch->state == FTP_STATE_STOR || batch->state == FTP_STATE_RETR))
        aborted = first->localPath;
    if (aborted) {
        char line[MAX_PATH + 64];
        snprintf(line, sizeof line, "Transfer of file %s was aborted", aborted);
        WriteLog(line, 0, LOG_BACKUP);
    }
    AbandonFile(first);
    DropFinishedFile(batch);
    CloseFileSockets(first);
    if (batch->socket != INVALID_SOCKET) {
        SendFtpCommand(batch, "QUIT\r\n");
        closesocket(batch->socket);
        batch->socket = INVALID_SOCKET;
    }
    g_sessions.erase(batch);
    RemoveFtpJob(g_app.live.batches, batch);
}

void DropFirstFile(FtpJob* batch)
{
    FtpJob* first = batch->files;
    if (!first)
        return;
    AbandonFile(first);
    CloseFileSockets(first);
    RemoveFtpJob(g_app.live.batches, first);
    if (batch->progressWindow)
        SendMessageA(batch->progressWindow, UM_FTPFILEDONE, 0, 0);
}

void StartNextFile(FtpJob* batch)
{
    GetFtpSession(batch)->folderCut = -1;
    if (batch->files) {
        batch->state = FTP_STATE_PASS;
        AdvanceFtpBatch(g_app.mainWindow, "230 logged in\r\n", batch);
    } else {
        SendQuit(batch);
    }
}

void ConfirmFinishedFile(FtpJob* batch)
{
    FinishedFile& f = GetFtpSession(batch)->finished;
    if (!f.present)
        return;
    f.present = false;
    char line[MAX_PATH + 64];
    snprintf(line, sizeof line, "File %s transferred successfully", f.localPath);
    if (f.mode == WORKER_LIVE)
        SetStatusText(line);
    if (f.logSuccess)
        WriteLog(line, 0, LOG_BACKUP);
    if (f.direction == FTP_UPLOAD)
        WriteRestoreRecord(f.localPath, static_cast<int>(f.targetId), f.remotePath, KIND_FTP, 0);
    else
        CommitDownload(f.localPath);
}

void DropFinishedFile(FtpJob* batch)
{
    auto found = g_sessions.find(batch);
    if (found == g_sessions.end())
        return;
    FinishedFile& f = found->second.finished;
    if (f.present && f.direction == FTP_DOWNLOAD)
        DeleteDownloadPart(f.localPath);
    f.present = false;
}

void OnFileJobEnded(FtpJob* batch, const FinishedFile& finished)
{
    FtpSession* s = GetFtpSession(batch);
    s->finished = finished;
    if (batch->state == FTP_STATE_REPLY_ENDED) {
        ConfirmFinishedFile(batch);
        StartNextFile(batch);
    } else if (batch->state != FTP_STATE_QUIT) {
        batch->state = FTP_STATE_DATA_ENDED;
    }
}

void TouchBatch(FtpJob* batch)
{
    if (batch)
        batch->lastActivity = GetTickCount();
}

void ArmFtpWatchdog(void)
{
    DWORD period = g_idleLimit / 4;
    if (period < 50)
        period = 50;
    if (period > 1000)
        period = 1000;
    SetTimer(g_app.mainWindow, kWatchdogTimer, period, OnWatchdogTimer);
}

DWORD SetFtpIdleLimit(DWORD milliseconds)
{
    DWORD old = g_idleLimit;
    g_idleLimit = milliseconds;
    return old;
}

void CheckIdleBatches(void)
{
    BatchList* list = g_app.live.batches;
    if (!list)
        return;
    DWORD now = GetTickCount();
    std::vector<FtpJob*> silent;
    LockBatches(list);
    bool any = list->first != NULL;
    for (FtpJob* b = list->first; b; b = b->next)
        if (now - b->lastActivity > g_idleLimit)
            silent.push_back(b);
    UnlockBatches(list);
    std::vector<FtpJob*> waiting;
    LockBatches(list);
    for (FtpJob* b = list->first; b; b = b->next)
        if (b->files && g_sessions.count(b) && g_sessions[b].awaitingFiles)
            waiting.push_back(b);
    UnlockBatches(list);
    for (FtpJob* b : waiting) {
        g_sessions[b].awaitingFiles = false;
        TouchBatch(b);
        StartNextFile(b);
    }
    // Only this thread removes batches, so the pointers stay valid here.
    for (FtpJob* b : silent) {
        if (std::find(waiting.begin(), waiting.end(), b) != waiting.end())
            continue;
        bool idle = g_sessions.count(b) && g_sessions[b].awaitingFiles;
        if (b->state != FTP_STATE_QUIT && !idle)
            ReportBatchError(b, ERR_CANNOT_CONNECT);
        CloseBatch(b, true);
    }
    if (!any)
        KillTimer(g_app.mainWindow, kWatchdogTimer);
}

WORD NextDataPort(void)
{
    return ++g_dataPort;
}
