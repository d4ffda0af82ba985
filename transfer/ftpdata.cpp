// The FTP data connection: accepting the server's connection, streaming the file, ending the file job.
#include "transfer/ftp.h"

#include "app/appstate.h"
#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "log/log.h"
#include "store/store.h"
#include "transfer/ftpsequence.h"
#include "transfer/ftpsession.h"

#include <stdio.h>
#include <string.h>

namespace {

enum { UPLOAD_BLOCK = 1024, MAX_UPLOAD_BLOCK = 65536, DOWNLOAD_BLOCK = 4096,
       RESTORE_FOLDER_SIZE = 4096 };
DWORD g_uploadBlock = UPLOAD_BLOCK;
// Bounds the draining of a closed download connection (4 KiB per round).
enum { MAX_DRAIN_ROUNDS = 1 << 16 };

void LogPathLine(const char* format, const char* path)
{
    char line[MAX_PATH + 64];
    snprintf(line, sizeof line, format, path);
    WriteLog(line, 0, LOG_BACKUP);
}

int Percentage(LONG done, DWORD size)
{
    if (size == 0)
        return 100;
    unsigned long long pct = static_cast<unsigned long long>(static_cast<DWORD>(done)) * 100 / size;
    return pct > 100 ? 100 : static_cast<int>(pct);
}

// The data side of a file job is over. A complete transfer is only recorded
// once the server confirms it on the control connection.
void EndFileJob(FtpJob* file, bool complete)
{
    FtpJob* batch = file->batch;
    LogPathLine("FTP data connection closed for %s", file->localPath);
    if (!complete) {
        LogPathLine("Transfer of file %s was aborted", file->localPath);
        if (file->mode == WORKER_LIVE) {
            char text[MAX_PATH + 64];
            snprintf(text, sizeof text, "Transfer of file %s was aborted", file->localPath);
            SetStatusText(text);
        }
    }
    if (file->file != INVALID_HANDLE_VALUE) {
        CloseHandle(file->file);
        file->file = INVALID_HANDLE_VALUE;
    }
    FinishedFile finished;
    memset(&finished, 0, sizeof finished);
    finished.present = complete;
    finished.logSuccess = complete && file->direction == FTP_UPLOAD && file->fileSize > 0;
    finished.direction = file->direction;
    finished.mode = file->mode;
    finished.targetId = file->targetId;
    lstrcpynA(finished.localPath, file->localPath, sizeof finished.localPath);
    lstrcpynA(finished.remotePath, file->remotePath, sizeof finished.remotePath);

    CloseFileSockets(file);
    RemoveFtpJob(g_app.live.batches, file);
    if (batch->progressWindow)
        SendMessageA(batch->progressWindow, UM_FTPFILEDONE, 0, 0);
    OnFileJobEnded(batch, finished);
}

// Sends 1,024-byte blocks until the socket would block (the next write
// event goes on from bytes done) or the file ends.
void SendUploadBlocks(FtpJob* file)
{
    if (file->file == INVALID_HANDLE_VALUE || !GetFtpSession(file->batch)->serverReady)
        return;
    if (file->fileSize == 0) {
        EndFileJob(file, true);
        return;
    }
    static char block[MAX_UPLOAD_BLOCK];
    for (;;) {
        SetFilePointer(file->file, file->bytesDone, NULL, FILE_BEGIN);
        DWORD got = 0;
        if (!ReadFile(file->file, block, g_uploadBlock, &got, NULL) || got == 0)
            break;
        int sent = send(file->socket, block, static_cast<int>(got), 0);
        if (sent <= 0)
            return;
        LONG before = file->bytesDone;
        file->bytesDone += sent;
        TouchBatch(file->batch);
        int pct = Percentage(file->bytesDone, file->fileSize);
        // Progress only when the figure changes: a large file would
        // otherwise flood the progress window's queue.
        if (before != 0 && pct == Percentage(before, file->fileSize))
            continue;
        if (file->mode == WORKER_LIVE) {
            char text[MAX_PATH + 64];
            snprintf(text, sizeof text, "Transferring file %s.  %d%% complete", file->localPath,
                     pct);
            SetStatusText(text);
        }
        if (file->batch->progressWindow)
            PostMessageA(file->batch->progressWindow, UM_FTPPERCENT, pct, 0);
    }
    EndFileJob(file, true);
}

void ReceiveDownload(FtpJob* file)
{
    char block[DOWNLOAD_BLOCK];
    int got = recv(file->socket, block, sizeof block, 0);
    if (got <= 0)
        return;
    file->bytesDone += got;
    TouchBatch(file->batch);
    DWORD written = 0;
    if (file->file != INVALID_HANDLE_VALUE)
        WriteFile(file->file, block, static_cast<DWORD>(got), &written, NULL);
}

// The folder downloads go to: restorefolder, or the installation folder
// when it is empty. False when the program's key cannot be opened.
bool ReadRestoreFolder(char* out, DWORD size)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TK_PRODUCT_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, length = size - 1;
    out[0] = '\0';
    if (RegQueryValueExA(key, "restorefolder", NULL, &type, reinterpret_cast<BYTE*>(out),
                         &length) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        out[length < size ? length : size - 1] = '\0';
    else
        out[0] = '\0';
    RegCloseKey(key);
    if (!out[0] && !GetInstallDir(out, size))
        out[0] = '\0';
    return true;
}

void DropFileJob(FtpJob* file)
{
    AbandonFile(file);
    CloseFileSockets(file);
    RemoveFtpJob(g_app.live.batches, file);
}

// The local file a download is for: restore folder, '\', the stored name's
// file-name part (the RETR names it too; the data connection may come
// before the RETR has gone out). part gets the file written meanwhile.
bool DownloadTarget(const char* storedName, char* target, char* part, int size)
{
    char folder[RESTORE_FOLDER_SIZE];
    if (!ReadRestoreFolder(folder, sizeof folder))
        return false;
    int n = snprintf(target, size, "%s\\%s", folder, RemoteNamePart(storedName));
    int m = snprintf(part, size, "%s.tkpart", target);
    return n > 0 && n < size && m > 0 && m < size;
}

bool OpenDownloadTarget(FtpJob* file)
{
    char target[RESTORE_FOLDER_SIZE + MAX_PATH], part[RESTORE_FOLDER_SIZE + MAX_PATH];
    if (!DownloadTarget(file->localPath, target, part, sizeof target))
        return false;
    file->file = CreateFileA(part, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file->file == INVALID_HANDLE_VALUE) {
        ReportFtpError(ERR_DEST_OPEN, target);
        return false;
    }
    return true;
}

// True when the connection comes from the server of the batch's control
// connection; anyone else on the data port is turned away.
bool FromControlPeer(FtpJob* batch, const sockaddr_in& peer)
{
    sockaddr_in server;
    int length = sizeof server;
    if (getpeername(batch->socket, reinterpret_cast<sockaddr*>(&server), &length) != 0)
        return false;
    return server.sin_addr.s_addr == peer.sin_addr.s_addr;
}

void OnDataAccept(FtpJob* file, WORD error)
{
    FtpJob* batch = file->batch;
    if (error) {
        DropFileJob(file);
        return;
    }
    sockaddr_in peer;
    int length = sizeof peer;
    SOCKET data = accept(file->socket, reinterpret_cast<sockaddr*>(&peer), &length);
    if (data == INVALID_SOCKET)
        return;
    if (!FromControlPeer(batch, peer)) {
        closesocket(data);
        return;
    }
    if (file->direction == FTP_DOWNLOAD && !OpenDownloadTarget(file)) {
        closesocket(data);
        DropFileJob(file);
        return;
    }
    closesocket(file->socket);
    file->socket = data;
    WSAAsyncSelect(data, g_app.mainWindow, UM_FTPDATA, FD_READ | FD_WRITE | FD_CLOSE);
    TouchBatch(batch);
    if (batch->progressWindow) {
        SendMessageA(batch->progressWindow, UM_FTPFILESTART, 0,
                     reinterpret_cast<LPARAM>(file->localPath));
        SendMessageA(batch->progressWindow, UM_FTPPERCENT, 0, 0);
    }
    LogPathLine("Accepted FTP data connection for %s", file->localPath);
    SetTrayTransferring(g_app.mainWindow,
                        file->direction == FTP_DOWNLOAD ? TRAY_DOWNLOAD : TRAY_UPLOAD,
                        file->localPath);
    GetFtpSession(batch)->dataAccepted = true;
    if (file->direction == FTP_UPLOAD)
        SendUploadBlocks(file);
}

void OnDataClose(FtpJob* file)
{
    if (file->direction == FTP_DOWNLOAD) {
        SOCKET socket = file->socket;
        for (int i = 0; i < MAX_DRAIN_ROUNDS; ++i) {
            LONG before = file->bytesDone;
            ReceiveDownload(file);
            if (file->bytesDone == before || file->socket != socket)
                break;
        }
        EndFileJob(file, true);
        return;
    }
    // The server closed an upload: complete only when everything went out.
    GetFtpSession(file->batch)->serverReady = true;
    SOCKET socket = file->socket;
    SendUploadBlocks(file);
    if (FindFtpJobLocked(g_app.live.batches, socket, NULL, NULL) == file)
        EndFileJob(file, false);
}

}  // namespace

DWORD SetFtpUploadBlock(DWORD bytes)
{
    DWORD old = g_uploadBlock;
    g_uploadBlock = bytes >= 1 && bytes <= DWORD(MAX_UPLOAD_BLOCK) ? bytes : DWORD(UPLOAD_BLOCK);
    return old;
}

void CommitDownload(const char* storedName)
{
    char target[RESTORE_FOLDER_SIZE + MAX_PATH], part[RESTORE_FOLDER_SIZE + MAX_PATH];
    if (!DownloadTarget(storedName, target, part, sizeof target))
        return;
    if (!MoveFileExA(part, target, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(part);
        ReportFtpError(ERR_DEST_OPEN, target);
    }
}

void DeleteDownloadPart(const char* storedName)
{
    char target[RESTORE_FOLDER_SIZE + MAX_PATH], part[RESTORE_FOLDER_SIZE + MAX_PATH];
    if (DownloadTarget(storedName, target, part, sizeof target))
        DeleteFileA(part);
}

void AbandonFile(FtpJob* file)
{
    if (!file || file->file == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(file->file);
    file->file = INVALID_HANDLE_VALUE;
    if (file->direction == FTP_DOWNLOAD)
        DeleteDownloadPart(file->localPath);
}

void ResumeUpload(FtpJob* file)
{
    SendUploadBlocks(file);
}

void OnDataSocketEvent(SOCKET socket, WORD event, WORD error)
{
    FtpJob* file = FindFtpJobLocked(g_app.live.batches, socket, NULL, NULL);
    if (!file || !file->batch)
        return;
    switch (event) {
    case FD_ACCEPT:
        OnDataAccept(file, error);
        break;
    case FD_WRITE:
        if (file->direction == FTP_UPLOAD)
            SendUploadBlocks(file);
        break;
    case FD_READ:
        if (file->direction == FTP_DOWNLOAD)
            ReceiveDownload(file);
        break;
    case FD_CLOSE:
        OnDataClose(file);
        break;
    default:
        break;
    }
}
