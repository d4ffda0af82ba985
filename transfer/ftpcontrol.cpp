// The FTP control connection: connect, the reply handler that drives each batch, and stopping batches.
#include "transfer/ftp.h"

#include "app/appstate.h"
#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "log/log.h"
#include "resources/brand.h"
#include "store/store.h"
#include "transfer/ftpsequence.h"
#include "transfer/ftpsession.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

struct FtpClient {
    HWND window;
    BatchList* batches;
    HWND repliesWindow;
};
FtpClient g_client;

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

// Creates the control socket of a batch and starts its connect; 1, or the
// error code (4, 5, 9).
int ConnectBatch(HWND window, BatchList* list, FtpJob* batch, const char* address, WORD port)
{
    in_addr ip;
    if (!address[0] || !ResolveAddress(address, &ip))
        return ERR_HOST_NOT_RESOLVED;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return ERR_TCPIP;
    if (WSAAsyncSelect(s, window, UM_FTPCONTROL, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0) {
        closesocket(s);
        return ERR_TCPIP;
    }
    // The main thread looks batches up by socket under the list's lock.
    if (list)
        LockBatches(list);
    batch->socket = s;
    batch->lastActivity = GetTickCount();
    if (list)
        UnlockBatches(list);
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr = ip;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        if (list)
            LockBatches(list);
        batch->socket = INVALID_SOCKET;
        if (list)
            UnlockBatches(list);
        closesocket(s);
        return ERR_CANNOT_CONNECT;
    }
    return ERR_SUCCESS;
}

FtpJob* FindBatchBySocket(SOCKET socket)
{
    FtpJob* found = FindFtpJobLocked(g_app.live.batches, socket, NULL, NULL);
    return found && !found->batch ? found : NULL;
}

bool BatchStillListed(FtpJob* batch, SOCKET socket)
{
    return socket != INVALID_SOCKET && FindBatchBySocket(socket) == batch;
}

void OnControlConnect(FtpJob* batch, WORD error)
{
    ResetFtpSession(batch);
    if (error) {
        ReportBatchError(batch, ERR_CANNOT_CONNECT);
        CloseBatch(batch, false);
        return;
    }
    GetFtpSession(batch)->connected = true;
    TouchBatch(batch);
    ArmFtpWatchdog();
    char text[MAX_PATH + 64];
    if (batch->progressWindow) {
        snprintf(text, sizeof text, "Transferring %s", batch->localPath);
        SendMessageA(batch->progressWindow, UM_SETCAPTION, 0, reinterpret_cast<LPARAM>(text));
    }
    snprintf(text, sizeof text, "FTP control connection accepted for %s", batch->localPath);
    WriteLog(text, 0, LOG_BACKUP);
    SetTrayTransferring(g_app.mainWindow,
                        batch->direction == FTP_DOWNLOAD ? TRAY_DOWNLOAD : TRAY_UPLOAD,
                        batch->localPath);
    LockBatches(g_app.live.batches);
    int files = CountNodes(batch->files);
    UnlockBatches(g_app.live.batches);
    const FtpTargetCopy* target = BatchTarget(batch);
    if (files > 0 && batch->progressWindow && target)
        SendMessageA(batch->progressWindow, UM_FTPSETTOTAL,
                     static_cast<WPARAM>(target->targetCount) * files, 0);
}

void CollectLine(const char* line, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(line);
}

// A reply that ends the file in transfer, or the one just ended, without a
// stored copy; the batch goes on with its next file.
void FailCurrentFile(FtpJob* batch, int code)
{
    if (code != 553 || !EndsWithBackslash(batch->localPath))
        ReportBatchError(batch, code);
    if (batch->state == FTP_STATE_DATA_ENDED)
        DropFinishedFile(batch);
    else
        DropFirstFile(batch);
    StartNextFile(batch);
}

// Acts on one complete reply line. Returns false when the batch is gone.
bool HandleReplyLine(FtpJob* batch, const char* line)
{
    if (g_app.repliesWindow)
        SendMessageA(g_app.repliesWindow, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>(line));
    FtpSession* session = GetFtpSession(batch);
    if (session->skipRestOfReceive)
        return true;
    int code = CompleteReplyCode(&session->replies, line);
    if (!code)
        return true;
    if (code >= 100 && code < 200 && batch->state == FTP_STATE_STOR) {
        // Data sent before the server is ready for it may be thrown away
        // (servers that connect at PORT do so).
        session->serverReady = true;
        if (session->dataAccepted && batch->files)
            ResumeUpload(batch->files);
        return true;
    }
    switch (ClassifyFtpReply(code, batch->state)) {
    case FTP_REPLY_ADVANCE:
        if (batch->state == FTP_STATE_CWD)
            lstrcpynA(session->cwd, session->pendingCwd, sizeof session->cwd);
        AdvanceFtpBatch(g_app.mainWindow, line, batch);
        break;
    case FTP_REPLY_FILE_DONE:
        if (batch->state == FTP_STATE_DATA_ENDED) {
            ConfirmFinishedFile(batch);
            StartNextFile(batch);
        } else {
            batch->state = FTP_STATE_REPLY_ENDED;
        }
        break;
    case FTP_REPLY_FAIL_FILE:
        FailCurrentFile(batch, code);
        // Whatever else came in this receive answered the dropped file.
        session->skipRestOfReceive = true;
        break;
    case FTP_REPLY_END_BATCH:
        DropFinishedFile(batch);
        SendQuit(batch);
        ReportBatchError(batch, code);
        break;
    case FTP_REPLY_CLOSING:
        CloseBatch(batch, true);
        return false;
    }
    return true;
}

// Receives once and acts on every line completed. Returns false when the
// batch is gone, or nothing more can be read.
bool ReadReplies(FtpJob* batch)
{
    char buffer[REPLY_RECEIVE_SIZE];
    int got = recv(batch->socket, buffer, sizeof buffer, 0);
    if (got <= 0)
        return false;
    TouchBatch(batch);
    FtpSession* session = GetFtpSession(batch);
    // Lines are collected first: acting on one may end the batch and its
    // session, which holds the assembler.
    std::vector<std::string> lines;
    SplitReplyLines(&session->replies, buffer, got, CollectLine, &lines);
    session->skipRestOfReceive = false;
    SOCKET socket = batch->socket;
    for (const std::string& line : lines) {
        if (!HandleReplyLine(batch, line.c_str()) || !BatchStillListed(batch, socket))
            return false;
    }
    return true;
}

void OnControlClose(FtpJob* batch, WORD error)
{
    SOCKET socket = batch->socket;
    // Replies that arrived just before the close (a 421, say) still count.
    for (int i = 0; i < 64 && ReadReplies(batch); ++i) {
    }
    if (!BatchStillListed(batch, socket) || (!error && !SocketPeerClosed(socket)))
        return;
    // A close the client did not ask for, with work still outstanding.
    bool unconfirmed = batch->state == FTP_STATE_STOR || batch->state == FTP_STATE_RETR ||
                       batch->state == FTP_STATE_DATA_ENDED ||
                       batch->state == FTP_STATE_REPLY_ENDED;
    if (batch->state != FTP_STATE_QUIT && (batch->files || unconfirmed))
        ReportBatchError(batch, ERR_CANNOT_CONNECT);
    CloseBatch(batch, true);
}

void SetIdleWhenNoBatches(const char* tip)
{
    BatchList* list = g_app.live.batches;
    LockBatches(list);
    bool empty = list->first == NULL;
    UnlockBatches(list);
    if (empty) {
        SetTrayIcon(g_app.mainWindow, TRAY_IDLE, tip, TRAY_MODIFY);
        SetMainTitle(TK_TITLE);
    }
}

}  // namespace

bool EndsWithBackslash(const char* path)
{
    size_t len = path ? strlen(path) : 0;
    return len > 0 && path[len - 1] == '\\';
}

bool SocketPeerClosed(SOCKET socket)
{
    char byte;
    // Bytes still unread after the close handler's reads count as closed.
    if (recv(socket, &byte, 1, MSG_PEEK) >= 0)
        return true;
    int error = WSAGetLastError();
    return error != WSAEWOULDBLOCK && error != WSAENOTCONN;
}

int StartFtpConnection(HWND window, FtpJob* batch)
{
    if (!batch)
        return ERR_NO_SETTINGS;
    FtpTargetCopy target;
    int result = LoadFtpTarget(batch->localPath, batch->targetId, true, &target);
    if (result != ERR_SUCCESS)
        return result;
    if (HasLineBreak(target.userName) || HasLineBreak(target.password) ||
        HasLineBreak(target.folder))
        return ERR_GENERIC;
    return ConnectBatch(window, g_app.live.batches, batch, target.address, target.port);
}

void InitFtpClient(HWND window, BatchList* batches, HWND repliesWindow)
{
    g_client.window = window;
    g_client.batches = batches;
    g_client.repliesWindow = repliesWindow;
}

int StartFtpDownload(const char* itemPath, const char* storedName, const char* location)
{
    HWND window = g_client.window;
    BatchList* batches = g_client.batches;
    if (!batches || !itemPath || !storedName || !location || HasLineBreak(storedName))
        return 0;
    char user[FTP_BUFFER_SIZE], password[FTP_BUFFER_SIZE], address[FTP_BUFFER_SIZE];
    WORD port = 0;
    if (!ParseFtpLocation(location, user, password, address, sizeof address, &port))
        return 0;

    ItemSettings* s = NewItemSettings(itemPath);
    if (!s)
        return 0;
    if (LoadItemSettings(itemPath, s) != 1) {
        FreeItemSettings(s);
        return 0;
    }
    FtpTarget* target = NULL;
    for (DWORD i = 0; i < s->switches->ftpCount && i < s->ftpSlots; ++i)
        if (strcmp(s->ftpTargets[i]->address, address) == 0) {
            target = s->ftpTargets[i];
            break;
        }
    bool usable = target && !HasLineBreak(target->userName) && !HasLineBreak(target->password);
    DWORD targetId = target ? target->id : 0;
    if (target && port == 0)
        port = target->port;
    FreeItemSettings(s);
    if (!usable)
        return 0;

    FtpJob* batch = NewFtpJob(itemPath, targetId);
    FtpJob* file = NewFtpJob(storedName, targetId);
    if (!batch || !file) {
        FreeFtpJob(batch);
        FreeFtpJob(file);
        return 0;
    }
    lstrcpynA(batch->userName, user, FTP_BUFFER_SIZE);
    lstrcpynA(batch->password, password, FTP_BUFFER_SIZE);
    lstrcpynA(batch->remotePath, storedName, FTP_BUFFER_SIZE);
    batch->direction = FTP_DOWNLOAD;
    batch->mode = WORKER_LIVE;
    file->direction = FTP_DOWNLOAD;
    file->mode = WORKER_LIVE;
    AppendNode(batches, batch);
    AppendFileJob(batches, batch, file);
    if (ConnectBatch(window, batches, batch, address, port) != ERR_SUCCESS) {
        RemoveFtpJob(batches, batch);
        return 0;
    }
    return 1;
}

void OnControlSocketEvent(SOCKET socket, WORD event, WORD error)
{
    FtpJob* batch = FindBatchBySocket(socket);
    if (!batch)
        return;
    switch (event) {
    case FD_CONNECT:
        OnControlConnect(batch, error);
        break;
    case FD_READ:
        ReadReplies(batch);
        break;
    case FD_CLOSE:
        // A close before the connect is another socket's, reused number and all.
        if (GetFtpSession(batch)->connected)
            OnControlClose(batch, error);
        break;
    default:
        break;
    }
}

void StopFtpBatches(HWND progressWindow)
{
    BatchList* list = g_app.live.batches;
    if (!list || !progressWindow)
        return;
    SetIdleWhenNoBatches(NULL);
    // Each round removes one batch, so the loop ends with the list.
    for (;;) {
        FtpJob* found = FindFtpJobLocked(list, INVALID_SOCKET, progressWindow, NULL);
        if (!found)
            break;
        StopBatch(found->batch ? found->batch : found);
        SetStatusText("FTP Transfer Stopped");
    }
    SetIdleWhenNoBatches(NULL);
}

void StopAllTransfers(void)
{
    if (g_app.live.liveStopEvent)
        SetEvent(g_app.live.liveStopEvent);
    BatchList* list = g_app.live.batches;
    if (!list)
        return;
    for (;;) {
        LockBatches(list);
        FtpJob* first = list->first;
        UnlockBatches(list);
        if (!first)
            break;
        StopBatch(first);
    }
    SetTrayIcon(g_app.mainWindow, TRAY_IDLE, TK_TITLE, TRAY_MODIFY);
    SetMainTitle(TK_TITLE);
}
