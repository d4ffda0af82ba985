// The FTP control connection: starting batches, the connect, the replies that drive each batch, and
// its close.
#include "transfer/ftp/ftpclient.h"

#include "common/messages.h"
#include "log/errors.h"
#include "log/log.h"
#include "store/scoped.h"
#include "transfer/ftp/ftpsequence.h"
#include "transfer/ftp/ftptls.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

// Reply bytes a batch may read without progress before it pauses: a server
// that streams text without end must not starve the window or the other
// batches. The pause ends on a timer, which comes only once the window's
// queue holds nothing else.
enum { READ_BUDGET = 16384, READ_PAUSE_MS = 20, CLOSE_READ_ROUNDS = 64 };
const UINT_PTR kResumeTimer = 0x4652;  // "FR"

// Resolves a dotted address directly, anything else by name (first address).
bool ResolveAddress(const char* text, in_addr* out)
{
    unsigned long dotted = inet_addr(text);
    if (dotted != INADDR_NONE) {
        out->s_addr = dotted;
        return true;
    }
    hostent* host = gethostbyname(text);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0])
        return false;
    memcpy(out, host->h_addr_list[0], sizeof *out);
    return true;
}

void CopyTarget(const FtpTarget* t, DWORD targetCount, FtpTargetCopy* out)
{
    memset(out, 0, sizeof *out);
    lstrcpynA(out->address, t->address, sizeof out->address);
    lstrcpynA(out->userName, t->userName, sizeof out->userName);
    lstrcpynA(out->password, t->password, sizeof out->password);
    lstrcpynA(out->folder, t->folder, sizeof out->folder);
    out->port = t->port;
    out->storageType = t->storageType;
    out->anonymous = t->anonymous;
    out->passive = t->passive == 1;
    out->safeUpload = t->safeUpload == 1;
    out->tls = t->tls != 0;  // anything but 0 asks for encryption: never plain by mistake
    lstrcpynA(out->fingerprint, t->fingerprint, sizeof out->fingerprint);
    out->targetCount = targetCount;
}

bool SendableTexts(const FtpTargetCopy& t)
{
    return !HasLineBreak(t.userName) && !HasLineBreak(t.password) && !HasLineBreak(t.folder);
}

// Creates the control socket, lists the batch and starts the connect. From
// the listing on, the batch belongs to the main thread: a connect that fails
// at once is handed to it as a failed connect event.
int ConnectBatch(FtpBatch* batch, WORD port)
{
    if (!Client().batches || !Client().window)
        return ERR_TCPIP;
    in_addr ip;
    if (!batch->target.address[0] || !ResolveAddress(batch->target.address, &ip))
        return ERR_HOST_NOT_RESOLVED;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return ERR_TCPIP;
    if (!SelectEvents(s, UM_FTPCONTROL, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE)) {
        closesocket(s);
        return ERR_TCPIP;
    }
    batch->controlLink = NewFtpLink(s, Client().window, UM_FTPCONTROL);
    if (!batch->controlLink) {
        closesocket(s);
        return ERR_NO_MEMORY;
    }
    batch->control = s;
    batch->lastProgress = GetTickCount();
    // The logs stay open while batches run: three lines a file (see CloseBatch).
    KeepLogsOpen(true);
    if (!ListBatch(Client().batches, batch)) {
        closesocket(FreeFtpLink(batch->controlLink));
        batch->controlLink = NULL;
        batch->control = INVALID_SOCKET;
        return FTP_HALF_STOPPED;
    }
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = ip;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        int error = WSAGetLastError();
        if (error != WSAEWOULDBLOCK)
            PostMessageA(Client().window, UM_FTPCONTROL, s, WSAMAKESELECTREPLY(FD_CONNECT, error));
    }
    return ERR_SUCCESS;
}

void OnControlConnect(FtpBatch* batch, WORD error)
{
    if (error) {
        ReportBatchError(batch, ERR_CANNOT_CONNECT);
        CloseBatch(batch, false);
        return;
    }
    batch->connected = true;
    TouchBatch(batch);
    ArmFtpWatchdog();
    char text[MAX_PATH + 64];
    if (batch->progressWindow) {
        snprintf(text, sizeof text, "Transferring %s", batch->localPath);
        SendMessageA(batch->progressWindow, UM_SETCAPTION, 0, reinterpret_cast<LPARAM>(text));
    }
    LogPathLine("FTP control connection accepted for %s", batch->localPath);
    ShowTransferring(batch->direction, batch->localPath);
    int files = CountFileJobs(batch);
    if (files > 0 && batch->progressWindow)
        SendMessageA(batch->progressWindow, UM_FTPSETTOTAL,
                     static_cast<WPARAM>(batch->target.targetCount) * static_cast<WPARAM>(files),
                     0);
}

void CollectLine(const char* line, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(line);
}

// Acts on one complete reply line; early: it began to arrive while the
// upload in transfer was unfinished. Returns false when the batch is gone or
// the rest of this receive is to be passed over.
bool HandleReplyLine(FtpBatch* batch, const char* line, bool early, bool* gone)
{
    if (Client().repliesWindow)
        SendMessageA(Client().repliesWindow, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>(line));
    int code = CompleteReplyCode(&batch->replies, line);
    if (!code)
        return true;
    if (code >= 100 && code < 200 &&
        (batch->state == FTP_STATE_STOR || batch->state == FTP_STATE_RETR)) {
        OnServerReady(batch);
        return true;
    }
    switch (ClassifyFtpReply(code, batch->state, batch->temp.onServer)) {
    case FTP_REPLY_ADVANCE:
        if (AdvanceBatch(batch, code, line))
            return true;
        *gone = true;
        return false;
    case FTP_REPLY_FILE_DONE:
        if (early && batch->direction == FTP_UPLOAD) {
            // A server confirms an upload once it has read our end of the
            // data; this one spoke before that end was sent.
            AbortEarlyConfirmedUpload(batch);
        } else if (batch->state == FTP_STATE_DATA_ENDED) {
            FinishFile(batch);
        } else {
            SetFtpState(batch, FTP_STATE_REPLY_ENDED);
        }
        return true;
    case FTP_REPLY_FAIL_FILE:
        FailCurrentFile(batch, code);
        // Whatever else came in this receive answered the dropped file.
        return false;
    case FTP_REPLY_END_BATCH:
        AbandonTransfer(batch);
        SendQuit(batch);
        ReportBatchError(batch, code);
        return true;
    case FTP_REPLY_TEMP_REFUSED:
        batch->temp.onServer = false;  // not made
        RefuseRenamedUploads(batch);
        return true;
    case FTP_REPLY_CLOSING:
        CloseBatch(batch, true);
        *gone = true;
        return false;
    }
    return true;
}

// Receives once and acts on every line completed. Returns false when
// nothing could be read or the batch is gone; *gone (when given) says the
// batch is gone: its memory may hold another batch by then.
bool ReadReplies(FtpBatch* batch, bool* gone = NULL)
{
    char buffer[REPLY_RECEIVE_SIZE];
    // Taken before the receive: what it brings arrived before anything sent
    // after it. A line completed now that began in an earlier receive is as
    // early as that receive was.
    const bool early = UploadUnfinished(batch);
    const bool tailEarly = batch->replyTailEarly;
    int got = ReceiveFtpLink(batch->controlLink, buffer, sizeof buffer);
    if (got <= 0) {
        NoticeControlLinkFailure(batch);
        return false;
    }
    batch->readBytes += static_cast<DWORD>(got);
    // Lines are collected first: acting on one may end the batch, which
    // holds the assembler.
    std::vector<std::string> lines;
    SplitReplyLines(&batch->replies, buffer, got, CollectLine, &lines);
    bool tail = batch->replies.length > 0 || batch->replies.pendingCr;
    batch->replyTailEarly = tail && (early || (lines.empty() && tailEarly));
    bool ended = false;
    for (size_t i = 0; i < lines.size(); ++i)
        if (!HandleReplyLine(batch, lines[i].c_str(), early || (i == 0 && tailEarly), &ended))
            break;
    if (gone)
        *gone = ended;
    return !ended;
}

void CALLBACK OnResumeTimer(HWND window, UINT, UINT_PTR id, DWORD)
{
    KillTimer(window, id);
    BatchList* list = Client().batches;
    std::vector<FtpBatch*> paused;
    LockBatches(list);
    for (FtpBatch* b = list->first; b; b = b->next)
        if (b->readBytes >= READ_BUDGET)
            paused.push_back(b);
    UnlockBatches(list);
    for (FtpBatch* b : paused) {
        b->readBytes = 0;
        // A read re-arms the socket's read events when more is waiting.
        ReadReplies(b);
    }
}

void OnControlRead(FtpBatch* batch)
{
    if (batch->readBytes >= READ_BUDGET) {
        // Not reading leaves the socket quiet until the timer reads again.
        SetTimer(Client().window, kResumeTimer, READ_PAUSE_MS, OnResumeTimer);
        return;
    }
    ReadReplies(batch);
}

void OnControlClose(FtpBatch* batch)
{
    // Replies that arrived just before the close (a 421, say) still count;
    // the server's goodbye among them ends the batch.
    bool gone = false;
    for (int i = 0; i < CLOSE_READ_ROUNDS; ++i) {
        if (!ReadReplies(batch, &gone))
            break;
    }
    if (gone)
        return;
    if (LinkFailed(batch->controlLink))
        EndOnControlLinkFailure(batch);
    else
        EndClosedBatch(batch);
}

}  // namespace

void EndClosedBatch(FtpBatch* batch)
{
    // A close the client did not ask for, with work still outstanding.
    bool unconfirmed = batch->state == FTP_STATE_STOR || batch->state == FTP_STATE_RETR ||
                       batch->state == FTP_STATE_DATA_ENDED ||
                       batch->state == FTP_STATE_REPLY_ENDED;
    if (batch->state != FTP_STATE_QUIT && (batch->files || unconfirmed))
        ReportBatchError(batch, ERR_CANNOT_CONNECT);
    CloseBatch(batch, true);
}

void OnControlSocketEvent(FtpBatch* batch, WORD event, WORD error)
{
    if (ControlLinkEvent(batch, event, error))
        return;
    switch (event) {
    case FD_CONNECT:
        OnControlConnect(batch, error);
        break;
    case FD_READ:
        OnControlRead(batch);
        break;
    case FD_WRITE:
        SendCommandTail(batch);
        break;
    case FD_CLOSE:
        OnControlClose(batch);
        break;
    default:
        break;
    }
}

int StartFtpConnection(FtpBatch* batch)
{
    if (!batch)
        return ERR_NO_SETTINGS;
    ScopedItemSettings settings(batch->localPath);
    if (!settings.loaded())
        return ERR_NO_SETTINGS;
    if (!settings->switches->ftpEnabled)
        return ERR_FTP_NOT_ENABLED;
    const FtpTarget* t = FindFtpTargetById(settings.get(), batch->targetId);
    if (!t)
        return ERR_FTP_REJECTED;
    CopyTarget(t, settings->switches->ftpCount, &batch->target);
    if (!SendableTexts(batch->target))
        return ERR_GENERIC;
    return ConnectBatch(batch, batch->target.port);
}

int StartFtpDownload(const char* itemPath, const char* storedName, const char* location)
{
    if (!Client().batches || !itemPath || !storedName || !location || HasLineBreak(storedName) ||
        strlen(storedName) >= MAX_PATH)
        return ERR_GENERIC;
    char address[TK_FTPTEXT_SIZE];
    WORD port = 0;
    if (!ParseFtpLocation(location, address, sizeof address, &port))
        return ERR_GENERIC;

    ScopedItemSettings settings(itemPath);
    if (!settings.loaded())
        return settings.result();
    const FtpTarget* target = NULL;
    for (DWORD i = 0; i < settings->switches->ftpCount && i < settings->ftpSlots; ++i)
        if (strcmp(settings->ftpTargets[i]->address, address) == 0) {
            target = settings->ftpTargets[i];
            break;
        }
    if (!target)
        return ERR_FTP_REJECTED;

    FtpBatch* batch = NewFtpBatch(itemPath, target->id, FTP_DOWNLOAD, WORKER_LIVE, NULL);
    FtpJob* file = NewFtpJob(storedName);
    if (!batch || !file) {
        FreeFtpBatch(batch);
        FreeFtpJob(file);
        return ERR_NO_MEMORY;
    }
    CopyTarget(target, settings->switches->ftpCount, &batch->target);
    lstrcpynA(batch->storedName, storedName, sizeof batch->storedName);
    AddFileJob(batch, file);
    if (!SendableTexts(batch->target)) {
        FreeFtpBatch(batch);
        return ERR_GENERIC;
    }
    int result = PlaceDownload(batch);
    if (result == ERR_SUCCESS)
        result = ConnectBatch(batch, port ? port : target->port);
    if (result != ERR_SUCCESS)
        FreeFtpBatch(batch);
    return result;
}
