// The FTP data connection: the server's connection (or ours, in passive mode), streaming the file
// in slices, and its end.
#include "transfer/ftp/ftpclient.h"

#include "common/messages.h"
#include "log/errors.h"
#include "log/log.h"
#include "store/store.h"
#include "transfer/ftp/ftpsequence.h"
#include "transfer/ftp/ftptls.h"

#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

// Bytes per read and send, and how long one call may hold the main thread
// before it leaves the rest for a message of its own.
enum { DATA_BLOCK = 65536, SLICE_MS = 15, SLICE_BLOCKS = 64 };
const UINT_PTR kContinueTimer = 0x4643;  // "FC"

int Percentage(ULONGLONG done, ULONGLONG size)
{
    if (size == 0 || done >= size)
        return 100;
    return static_cast<int>(done * 100 / size);
}

const char* CurrentPath(FtpBatch* batch)
{
    return batch->files ? batch->files->localPath : batch->localPath;
}

// True when the source's last-write time or size differs from what the
// upload read, or it cannot be looked at: a save that replaces the file
// counts too.
bool SourceChangedSinceRead(const char* path, const FtpTransfer& t)
{
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &now))
        return true;
    ULONGLONG size = (static_cast<ULONGLONG>(now.nFileSizeHigh) << 32) | now.nFileSizeLow;
    return size != t.size || CompareFileTime(&now.ftLastWriteTime, &t.written) != 0;
}

// The upload's source closes, so the intake queues the file's changes itself
// from now on. A change it left to this upload is queued again now, unless
// the data ended whole from a source still as it was read: the server may
// yet confirm a copy that holds the change, and only an unconfirmed end
// queues it then (AbandonTransfer).
void EndSending(FtpBatch* batch)
{
    FtpTransfer& t = batch->current;
    LockBatches(Client().batches);
    bool deferred = t.changeDeferred;
    t.sending = t.changeDeferred = false;
    UnlockBatches(Client().batches);
    if (!deferred || batch->stoppedByUser)
        return;
    // A copy retried to this target alone cannot stand for the change's copies to the others.
    bool oneTarget = batch->files && batch->files->oneTarget;
    if (batch->finished.present && !oneTarget && !SourceChangedSinceRead(CurrentPath(batch), t))
        batch->finished.changeDeferred = true;
    else
        QueueFtpRequestAgain(CurrentPath(batch));
}

// Uploads only: a download's size is not known beforehand.
void ShowProgress(FtpBatch* batch)
{
    int pct = Percentage(batch->current.done, batch->current.size);
    if (pct == batch->current.lastPercent)
        return;
    batch->current.lastPercent = pct;
    if (batch->mode == WORKER_LIVE) {
        char text[MAX_PATH + 64];
        snprintf(text, sizeof text, "Transferring file %s.  %d%% complete", CurrentPath(batch),
                 pct);
        ShowStatus(text);
    }
    TellFilePercent(batch, pct);
}

bool OpenDownloadPart(FtpBatch* batch)
{
    // No other handle may write to it while this download does.
    batch->current.file = CreateFileA(batch->partPath, GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (batch->current.file == INVALID_HANDLE_VALUE) {
        ReportFtpError(ERR_DEST_OPEN, batch->restorePath);
        return false;
    }
    return true;
}

void DeleteDownloadPart(FtpBatch* batch)
{
    if (batch->partPath[0])
        DeleteFileA(batch->partPath);
}

void CommitDownload(FtpBatch* batch)
{
    if (!batch->partPath[0])
        return;
    if (MoveFileExA(batch->partPath, batch->restorePath, MOVEFILE_REPLACE_EXISTING)) {
        batch->partPath[0] = '\0';  // the user's file now, no longer ours to delete
        return;
    }
    DeleteDownloadPart(batch);
    ReportFtpError(ERR_DEST_OPEN, batch->restorePath);
}

// A stored copy without a record cannot be restored from the Restore window;
// the user learns of it here, since the copy itself was a success.
void LogRecordNotWritten(const char* path)
{
    char line[2 * MAX_PATH];
    snprintf(line, sizeof line,
             "No restore record could be written for %s: the record is too long for the "
             "registry, or the item's restore key is missing",
             path);
    WriteLog(line, 0, LOG_ERROR);
}

// The data side of the file in transfer is over. whole: every byte went
// (uploads) or came (downloads) and the connection closed cleanly; the file
// is stored only once the server confirms it as well.
void EndTransfer(FtpBatch* batch, bool whole)
{
    const char* path = CurrentPath(batch);
    LogPathLine("FTP data connection closed for %s", path);
    if (!whole) {
        LogPathLine("Transfer of file %s was aborted", path);
        if (batch->mode == WORKER_LIVE) {
            char text[MAX_PATH + 64];
            snprintf(text, sizeof text, "Transfer of file %s was aborted", path);
            ShowStatus(text);
        }
    }
    FinishedFile& f = batch->finished;
    memset(&f, 0, sizeof f);
    f.present = whole;
    f.version = batch->current.version;
    f.logSuccess = whole && batch->direction == FTP_UPLOAD && batch->current.size > 0;
    f.bytes = batch->current.done;
    lstrcpynA(f.localPath, path, sizeof f.localPath);
    lstrcpynA(f.remotePath, batch->current.remotePath, sizeof f.remotePath);
    bool upload = batch->direction == FTP_UPLOAD;
    CloseTransfer(batch, !upload && !whole);
    if (batch->state == FTP_STATE_REPLY_ENDED) {
        FinishFile(batch);
    } else if (batch->state != FTP_STATE_QUIT) {
        SetFtpState(batch, FTP_STATE_DATA_ENDED);
    }
}

// The user's input and painting came first: every transfer that left work
// for later goes on.
void CALLBACK OnContinueTimer(HWND window, UINT, UINT_PTR id, DWORD)
{
    KillTimer(window, id);
    BatchList* list = Client().batches;
    std::vector<SOCKET> waiting;
    LockBatches(list);
    for (FtpBatch* b = list->first; b; b = b->next)
        if (b->current.continueLater) {
            b->current.continueLater = false;
            waiting.push_back(b->current.data);
        }
    UnlockBatches(list);
    for (SOCKET s : waiting)
        PostMessageA(window, UM_FTPCONTINUE, s, 0);
}

// Leaves the rest of a transfer for later: by a message of its own, or by a
// timer when the user is waiting for the window (a timer comes only once
// input and painting are done; messages would come first).
void ScheduleContinue(FtpBatch* batch)
{
    if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT))) {
        batch->current.continueLater = true;
        SetTimer(Client().window, kContinueTimer, 1, OnContinueTimer);
    } else {
        PostMessageA(Client().window, UM_FTPCONTINUE, batch->current.data, 0);
    }
}

// Sends until the socket would block, the file ends or the slice is used up.
void SendUploadSlice(FtpBatch* batch)
{
    FtpTransfer& t = batch->current;
    if (!t.serverReady || t.data == INVALID_SOCKET || t.connecting ||
        t.file == INVALID_HANDLE_VALUE || t.allSent || !FtpLinkReady(t.link))
        return;
    static char block[DATA_BLOCK];
    DWORD start = GetTickCount();
    for (int round = 0;; ++round) {
        if (t.pending.empty()) {
            DWORD got = 0;
            if (!ReadFile(t.file, block, sizeof block, &got, NULL)) {
                // The source can no longer be read: the copy would be short.
                EndBrokenTransfer(batch);
                return;
            }
            if (got == 0) {
                // Everything went out (over TLS, once the link has handed its
                // close_notify to the socket too); the server closing its
                // side confirms it.
                t.allSent = true;
                if (!ShutdownFtpLink(t.link))
                    EndBrokenTransfer(batch);
                return;
            }
            t.pending.assign(block, got);
        }
        int sent = SendFtpLink(t.link, t.pending.data(), static_cast<int>(t.pending.size()));
        if (sent == SOCKET_ERROR) {
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                EndBrokenTransfer(batch);
            return;  // the next write event goes on
        }
        t.pending.erase(0, static_cast<size_t>(sent));
        t.done += static_cast<ULONGLONG>(sent);
        TouchBatch(batch);
        ShowProgress(batch);
        if (round + 1 >= SLICE_BLOCKS || GetTickCount() - start >= SLICE_MS) {
            ScheduleContinue(batch);
            return;
        }
    }
}

// Receives until nothing is waiting, the file ends or the slice is used up;
// what is left goes on from the next read event, or from a message of its
// own when the slice ran out. The download ends here when the server's close
// has come and everything is read, or when the part file cannot be written.
void ReceiveDownloadSlice(FtpBatch* batch)
{
    FtpTransfer& t = batch->current;
    static char block[DATA_BLOCK];
    DWORD start = GetTickCount();
    for (int round = 0;; ++round) {
        int got = ReceiveFtpLink(t.link, block, sizeof block);
        // Over TLS only its close_notify (a 0) says the file is whole: a
        // connection that ends without one may have been cut short.
        bool drained = got < 0 && WSAGetLastError() == WSAEWOULDBLOCK && t.peerClosed;
        if (got == 0 || (drained && !FtpLinkIsTls(t.link))) {
            EndTransfer(batch, true);
            return;
        }
        if (drained) {
            EndBrokenTransfer(batch);
            return;
        }
        if (got < 0) {
            if (WSAGetLastError() != WSAEWOULDBLOCK)
                EndBrokenTransfer(batch);
            return;
        }
        t.done += static_cast<ULONGLONG>(got);
        TouchBatch(batch);
        DWORD written = 0;
        if (t.file == INVALID_HANDLE_VALUE ||
            !WriteFile(t.file, block, static_cast<DWORD>(got), &written, NULL) ||
            written != static_cast<DWORD>(got)) {
            // A full disk, say: the file the user has stays as it is.
            char target[MAX_PATH];
            lstrcpynA(target, batch->restorePath, sizeof target);
            EndTransfer(batch, false);
            ReportFtpError(ERR_FILE_OPERATION, target);
            return;
        }
        if (round + 1 >= SLICE_BLOCKS || GetTickCount() - start >= SLICE_MS) {
            ScheduleContinue(batch);
            return;
        }
    }
}

// The data connection is up (accepted, or connected in passive mode).
void OnDataConnected(FtpBatch* batch)
{
    const char* path = CurrentPath(batch);
    if (batch->direction == FTP_DOWNLOAD && !OpenDownloadPart(batch)) {
        EndTransfer(batch, false);
        return;
    }
    TouchBatch(batch);
    TellFileStart(batch, path);
    LogPathLine("Accepted FTP data connection for %s", path);
    ShowTransferring(batch->direction, path);
    StartDataTlsWhenDue(batch);
    if (batch->direction == FTP_UPLOAD)
        SendUploadSlice(batch);
}

// True when the connection comes from the server of the batch's control
// connection; anyone else on the data port is turned away.
bool FromControlPeer(FtpBatch* batch, const sockaddr_in& peer)
{
    sockaddr_in server;
    int length = sizeof server;
    if (getpeername(batch->control, reinterpret_cast<sockaddr*>(&server), &length) != 0)
        return false;
    return server.sin_addr.s_addr == peer.sin_addr.s_addr;
}

void OnDataAccept(FtpBatch* batch, WORD error)
{
    FtpTransfer& t = batch->current;
    if (error) {
        RetireSocket(t.listener);
        t.listener = INVALID_SOCKET;
        return;
    }
    sockaddr_in peer;
    int length = sizeof peer;
    SOCKET data = accept(t.listener, reinterpret_cast<sockaddr*>(&peer), &length);
    if (data == INVALID_SOCKET)
        return;
    if (!FromControlPeer(batch, peer)) {
        RetireSocket(data);  // it inherited the listener's events
        return;
    }
    RetireSocket(t.listener);
    t.listener = INVALID_SOCKET;
    t.data = data;
    SelectEvents(data, UM_FTPDATA, FD_READ | FD_WRITE | FD_CLOSE);
    // Over TLS the program is the client here too, though the server connected.
    t.link = NewFtpLink(data, Client().window, UM_FTPDATA);
    if (!t.link) {
        EndBrokenTransfer(batch);
        return;
    }
    OnDataConnected(batch);
}

void OnDataClose(FtpBatch* batch, WORD error)
{
    FtpTransfer& t = batch->current;
    if (batch->direction == FTP_DOWNLOAD) {
        if (error) {
            EndBrokenTransfer(batch);
        } else {
            // What the server sent before closing is read in slices as well.
            t.peerClosed = true;
            ReceiveDownloadSlice(batch);
        }
        return;
    }
    if (error)
        EndBrokenTransfer(batch);
    else
        EndTransfer(batch, t.allSent && FtpLinkSentAll(t.link));
}

// Uploads: what the server sends on the data connection is read and dropped
// (over TLS its close_notify is answered). A TLS link that fails here passes
// no close event on: the end is taken from here. A server that cuts the
// connection after our close_notify has had every byte.
void DrainUploadReplies(FtpBatch* batch)
{
    char sink[512];
    FtpTransfer& t = batch->current;
    if (ReceiveFtpLink(t.link, sink, sizeof sink) >= 0 || !LinkFailed(t.link))
        return;
    if (t.allSent && FtpLinkSentAll(t.link))
        EndTransfer(batch, true);
    else
        EndBrokenTransfer(batch);
}

}  // namespace

void EndBrokenTransfer(FtpBatch* batch)
{
    char path[MAX_PATH];
    lstrcpynA(path, CurrentPath(batch), sizeof path);
    if (LinkFailed(batch->current.link)) {
        TlsFailureInfo info = FtpLinkFailure(batch->current.link);
        // Noted while it is still the batch's first file: the end may start the next.
        ReportTlsFailure(batch, info, true);
        EndTransfer(batch, false);
        return;
    }
    bool report = NoteFtpFailure(batch, ERR_FILE_OPERATION, 0, true);
    EndTransfer(batch, false);
    if (report)
        ReportFtpError(ERR_FILE_OPERATION, path);
}

bool OpenUploadSource(FtpBatch* batch)
{
    FtpTransfer& t = batch->current;
    // Read before the open: a change made from here on is sent again, never lost.
    if (!ReadFileVersion(CurrentPath(batch), &t.version))
        t.version = FileVersion();
    t.file = CreateFileA(CurrentPath(batch), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (t.file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    t.size = GetFileSizeEx(t.file, &size) ? static_cast<ULONGLONG>(size.QuadPart) : 0;
    FILETIME created, accessed;
    if (!GetFileTime(t.file, &created, &accessed, &t.written))
        memset(&t.written, 0, sizeof t.written);
    LockBatches(Client().batches);
    t.sending = true;
    UnlockBatches(Client().batches);
    return true;
}

bool OpenDataListener(FtpBatch* batch, DWORD* address, WORD* port)
{
    enum { LISTEN_ATTEMPTS = 5 };
    sockaddr_in local;
    int length = sizeof local;
    memset(&local, 0, sizeof local);
    if (getsockname(batch->control, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    *address = local.sin_addr.s_addr;
    for (int attempt = 0; attempt < LISTEN_ATTEMPTS; ++attempt) {
        *port = NextDataPort();
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (s == INVALID_SOCKET)
            continue;
        sockaddr_in bound = local;
        bound.sin_family = AF_INET;
        bound.sin_port = htons(*port);
        // A port of 0 (after the counter wraps) binds to any free port; the
        // port actually bound is the one announced.
        if (bind(s, reinterpret_cast<sockaddr*>(&bound), sizeof bound) == 0 &&
            listen(s, SOMAXCONN) == 0 &&
            SelectEvents(s, UM_FTPDATA, FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE)) {
            length = sizeof bound;
            if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
                *port = ntohs(bound.sin_port);
            batch->current.listener = s;
            return true;
        }
        closesocket(s);
    }
    return false;
}

bool ConnectPassiveData(FtpBatch* batch, WORD port)
{
    sockaddr_in to;
    int length = sizeof to;
    if (getpeername(batch->control, reinterpret_cast<sockaddr*>(&to), &length) != 0)
        return false;
    to.sin_port = htons(port);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return false;
    if (!SelectEvents(s, UM_FTPDATA, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE)) {
        closesocket(s);
        return false;
    }
    batch->current.link = NewFtpLink(s, Client().window, UM_FTPDATA);
    if (!batch->current.link) {
        closesocket(s);
        return false;
    }
    batch->current.data = s;
    batch->current.connecting = true;
    if (connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        RetireLink(&batch->current.link, &batch->current.data);
        return false;
    }
    return true;
}

void OnDataSocketEvent(FtpBatch* batch, SOCKET socket, WORD event, WORD error)
{
    FtpTransfer& t = batch->current;
    if (socket == t.data && t.link) {
        DataLinkResult link = DataLinkEvent(batch, event, error);
        if (link == DATA_LINK_READY && batch->direction == FTP_UPLOAD)
            SendUploadSlice(batch);
        if (link != DATA_EVENT_PASS)
            return;
    }
    switch (event) {
    case FD_ACCEPT:
        if (socket == t.listener)
            OnDataAccept(batch, error);
        break;
    case FD_CONNECT:
        if (socket != t.data || !t.connecting)
            break;
        t.connecting = false;
        if (error) {
            ReportBatchError(batch, ERR_CANNOT_CONNECT);
            AbandonTransfer(batch);
            SendQuit(batch);
            break;
        }
        if (SendPassiveTransfer(batch))
            OnDataConnected(batch);
        break;
    case FD_WRITE:
        if (socket == t.data && !t.connecting && batch->direction == FTP_UPLOAD)
            SendUploadSlice(batch);
        break;
    case FD_READ:
        if (socket != t.data || t.connecting)
            break;
        if (batch->direction == FTP_DOWNLOAD)
            ReceiveDownloadSlice(batch);
        else
            DrainUploadReplies(batch);
        break;
    case FD_CLOSE:
        if (socket == t.data && !t.connecting)
            OnDataClose(batch, error);
        break;
    default:
        break;
    }
}

void OnServerReady(FtpBatch* batch)
{
    // From here an upload in place writes over the stored copy.
    if (batch->direction == FTP_UPLOAD && !batch->temp.onServer && !batch->current.serverReady)
        lstrcpynA(batch->openedInPlace, batch->current.remotePath, sizeof batch->openedInPlace);
    // Data sent before the server is ready for it may be thrown away.
    batch->current.serverReady = true;
    StartDataTlsWhenDue(batch);
    if (batch->direction == FTP_UPLOAD)
        SendUploadSlice(batch);
}

bool UploadUnfinished(const FtpBatch* batch)
{
    const FtpTransfer& t = batch->current;
    return batch->direction == FTP_UPLOAD && batch->state != FTP_STATE_DATA_ENDED &&
           (!t.allSent || (t.link && !FtpLinkSentAll(t.link)));
}

void AbortEarlyConfirmedUpload(FtpBatch* batch)
{
    EndBrokenTransfer(batch);
    StartNextFile(batch);
}

void ContinueTransfer(FtpBatch* batch)
{
    if (batch->direction == FTP_UPLOAD)
        SendUploadSlice(batch);
    else
        ReceiveDownloadSlice(batch);
}

void AbandonTransfer(FtpBatch* batch)
{
    // A download that ended whole but was never confirmed is not put in place;
    // a change left to such an upload goes out after all.
    FinishedFile& f = batch->finished;
    if (f.present && batch->direction == FTP_DOWNLOAD)
        DeleteDownloadPart(batch);
    if (f.present && f.changeDeferred && !batch->stoppedByUser)
        QueueFtpRequestAgain(f.localPath);
    f.present = f.changeDeferred = false;
    if (batch->openedInPlace[0])
        ForgetCopyInPlace(batch);
    CloseTransfer(batch, batch->direction == FTP_DOWNLOAD);
}

void CloseTransfer(FtpBatch* batch, bool deletePart)
{
    FtpTransfer& t = batch->current;
    if (t.file != INVALID_HANDLE_VALUE) {
        CloseHandle(t.file);
        t.file = INVALID_HANDLE_VALUE;
        if (deletePart)
            DeleteDownloadPart(batch);
    }
    if (t.sending)
        EndSending(batch);
    RetireSocket(t.listener);
    t.listener = INVALID_SOCKET;
    RetireLink(&t.link, &t.data);
    t.size = t.done = 0;
    t.serverReady = t.allSent = t.connecting = t.continueLater = t.peerClosed = false;
    t.lastPercent = -1;
    t.pending.clear();
}

void ConfirmFinishedFile(FtpBatch* batch)
{
    FinishedFile& f = batch->finished;
    if (!f.present)
        return;
    f.present = f.changeDeferred = false;
    batch->openedInPlace[0] = '\0';
    char line[MAX_PATH + 64];
    snprintf(line, sizeof line, "File %s transferred successfully", f.localPath);
    if (batch->mode == WORKER_LIVE)
        ShowStatus(line);
    if (f.logSuccess)
        WriteLog(line, 0, LOG_BACKUP);
    if (batch->direction != FTP_UPLOAD)
        CommitDownload(batch);
    else if (!WriteFtpRestoreRecord(f.localPath, static_cast<int>(batch->targetId), f.remotePath,
                                    batch->target.userName, batch->target.address,
                                    batch->target.port))
        LogRecordNotWritten(f.localPath);
    if (batch->direction == FTP_UPLOAD)
        NoteUploadStored(batch);
}

WORD NextDataPort(void)
{
    static WORD port = 1164;
    return ++port;
}

int PlaceDownload(FtpBatch* batch)
{
    char folder[TK_RESTORE_FOLDER_SIZE];
    const char* name = RemoteNamePart(batch->storedName);
    if (!GetRestoreFolder(folder, sizeof folder) || !*name)
        return ERR_DEST_OPEN;
    int n = snprintf(batch->restorePath, sizeof batch->restorePath, "%s\\%s", folder, name);
    if (n <= 0 || n >= static_cast<int>(sizeof batch->restorePath))
        return ERR_DEST_OPEN;
    // Only this thread lists batches, so no other can take the name chosen
    // here before this one is listed. More downloads of one name at once
    // than the limit are not started by hand.
    enum { MAX_PART_FILES = 100 };
    BatchList* list = Client().batches;
    for (int i = 1; i <= MAX_PART_FILES; ++i) {
        char part[MAX_PATH];
        n = i == 1 ? snprintf(part, sizeof part, "%s.tkpart", batch->restorePath)
                   : snprintf(part, sizeof part, "%s.%d.tkpart", batch->restorePath, i);
        if (n <= 0 || n >= static_cast<int>(sizeof part))
            return ERR_DEST_OPEN;
        bool taken = false;
        LockBatches(list);
        for (const FtpBatch* b = list->first; b && !taken; b = b->next)
            taken = lstrcmpiA(b->partPath, part) == 0;
        UnlockBatches(list);
        if (!taken) {
            lstrcpynA(batch->partPath, part, sizeof batch->partPath);
            return ERR_SUCCESS;
        }
    }
    return ERR_DEST_OPEN;
}

void ForgetCopyInPlace(FtpBatch* batch)
{
    const char* path = CurrentPath(batch);
    if (DeleteRestoreRecord(path, batch->openedInPlace, KIND_FTP)) {
        char line[3 * MAX_PATH];
        snprintf(line, sizeof line,
                 "The upload of %s to %s broke off after the server had begun to store it there, "
                 "so the copy stored there may be incomplete: its restore record was removed",
                 path, batch->openedInPlace);
        WriteLog(line, 0, LOG_ERROR);
    }
    batch->openedInPlace[0] = '\0';
}
