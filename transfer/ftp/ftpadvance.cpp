// The command sequence of a batch: each reply sends the next command; files start, fail and follow
// one another.
#include "transfer/ftp/ftpclient.h"

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "transfer/diskcopy.h"
#include "transfer/ftp/ftpsequence.h"
#include "transfer/outcome.h"

#include <string.h>

namespace {

enum { COMMAND_SIZE = 600 };

// A text that would break the command (a line break, or too long): the
// target cannot be served, so the batch ends with a report.
void FailOnText(FtpBatch* batch)
{
    ReportBatchError(batch, ERR_GENERIC);
    SendQuit(batch);
}

void SendArgumentCommand(FtpBatch* batch, const char* verb, const char* argument)
{
    char command[COMMAND_SIZE];
    if (!FormatFtpCommand(command, sizeof command, verb, argument)) {
        FailOnText(batch);
        return;
    }
    SendFtpCommand(batch, command);
}

void SendType(FtpBatch* batch)
{
    SetFtpState(batch, FTP_STATE_TYPE);
    SendFtpCommand(batch, "TYPE I\r\n");
}

// The folder the CWD in progress enters, named from the folder entered now.
void SendCwd(FtpBatch* batch, const char* folder)
{
    SetFtpState(batch, FTP_STATE_CWD);
    SendArgumentCommand(batch, "CWD", folder);
}

// MKD of the first file's remote folder up to cut (the whole folder when
// cut < 0).
void SendFolderLevel(FtpBatch* batch, int cut)
{
    const char* folder = batch->current.remotePath;
    char prefix[MAX_PATH];
    lstrcpynA(prefix, folder, cut >= 0 && cut < MAX_PATH ? cut + 1 : MAX_PATH);
    batch->folderCut = cut;
    SetFtpState(batch, FTP_STATE_FOLDERS);
    SendArgumentCommand(batch, "MKD", prefix);
}

// Upload: works out the first file's remote folder and makes its first level.
void BeginUpload(FtpBatch* batch)
{
    const char* path = batch->files->localPath;
    char itemPath[MAX_PATH];
    // An item that has gone since the batch was made leaves the target
    // folder as it is (the file is then treated as directly in the item).
    if (OpenItemKey(path, itemPath, NULL))
        DecodeKeyName(itemPath);
    else
        lstrcpynA(itemPath, path, sizeof itemPath);
    // The file's folder as the login folder sees it, then as named from the
    // folder the previous file entered (it differs for relative folders).
    if (!MakeRemoteFolder(path, itemPath, batch->target.folder, batch->pendingCwd,
                          sizeof batch->pendingCwd) ||
        !FolderFromCurrent(batch->cwd, batch->pendingCwd, batch->current.remotePath,
                           sizeof batch->current.remotePath)) {
        FailOnText(batch);
        return;
    }
    if (!batch->current.remotePath[0]) {
        batch->folderCut = -1;
        SendType(batch);
        return;
    }
    SendFolderLevel(batch, NextFolderCut(batch->current.remotePath, 0));
}

// Download: enters the stored file's folder.
void BeginDownload(FtpBatch* batch)
{
    char folder[MAX_PATH];
    RemoteFolderPart(batch->storedName, folder, sizeof folder);
    lstrcpynA(batch->pendingCwd, folder, sizeof batch->pendingCwd);
    if (folder[0])
        SendCwd(batch, folder);
    else
        SendType(batch);
}

void BeginFile(FtpBatch* batch)
{
    batch->folderCut = -1;
    batch->current.remotePath[0] = '\0';
    if (!batch->files) {
        SendQuit(batch);
        return;
    }
    if (batch->direction == FTP_DOWNLOAD)
        BeginDownload(batch);
    else
        BeginUpload(batch);
}

// Opens the upload's source before the server is told to expect it; a file
// that cannot be read is reported (one that has gone only logged, as for disk
// targets) and dropped, and the next file starts with its own folders. False
// when the batch went on without it.
bool PrepareSource(FtpBatch* batch)
{
    if (batch->direction != FTP_UPLOAD || OpenUploadSource(batch))
        return true;
    DWORD error = GetLastError();
    if (NoteVanishedSource(batch->files->localPath, error))
        NoteSourceGone(batch->files->localPath, KIND_FTP, batch->targetId, batch->target.address);
    else
        ReportFileError(batch, ERR_SOURCE_OPEN, batch->files->localPath, error);
    TellFileDone(batch);
    DropFirstFileJob(Client().batches, batch);
    BeginFile(batch);
    return false;
}

void SendPort(FtpBatch* batch)
{
    if (!PrepareSource(batch))
        return;
    DWORD address = 0;
    WORD port = 0;
    if (!OpenDataListener(batch, &address, &port)) {
        // A port we could not open may be another program's: announced, the
        // server would store what that program sends over the good copy.
        ReportFileError(batch, ERR_TCPIP, batch->files->localPath, 0);
        StartNextFile(batch);
        return;
    }
    char command[COMMAND_SIZE];
    FormatPortCommand(command, sizeof command, address, port);
    SetFtpState(batch, FTP_STATE_PORT);
    SendFtpCommand(batch, command);
}

void SendPasv(FtpBatch* batch)
{
    if (!PrepareSource(batch))
        return;
    SetFtpState(batch, FTP_STATE_PASV);
    SendFtpCommand(batch, "PASV\r\n");
}

void SendTransfer(FtpBatch* batch)
{
    const char* path = batch->files->localPath;
    char folder[MAX_PATH];
    char nameSource[MAX_PATH];
    if (batch->direction == FTP_DOWNLOAD) {
        RemoteFolderPart(batch->storedName, folder, sizeof folder);
        lstrcpynA(nameSource, path, sizeof nameSource);
    } else {
        lstrcpynA(folder, batch->cwd, sizeof folder);
        if (!(batch->target.storageType & STORAGE_BACKUP))
            lstrcpynA(nameSource, path, sizeof nameSource);
        else if (!MakeBackupName(path, nameSource)) {
            FailOnText(batch);
            return;
        }
    }
    const char* name = RemoteNamePart(nameSource);
    if (!JoinRemotePath(folder, name, batch->current.remotePath,
                        sizeof batch->current.remotePath)) {
        FailOnText(batch);
        return;
    }
    if (batch->direction == FTP_DOWNLOAD) {
        SetFtpState(batch, FTP_STATE_RETR);
        SendArgumentCommand(batch, "RETR", name);
        return;
    }
    if (batch->target.safeUpload)
        name = StartTemporaryUpload(batch, name);
    SetFtpState(batch, FTP_STATE_STOR);
    SendArgumentCommand(batch, "STOR", name);
}

// The 227 reply to PASV: the port comes from the reply, the address is the
// control connection's peer.
void ConnectData(FtpBatch* batch, const char* line)
{
    DWORD announced = 0;
    WORD port = 0;
    if (!ParsePasvReply(line, &announced, &port)) {
        ReportBatchError(batch, ERR_CANNOT_CONNECT);
        AbandonTransfer(batch);
        SendQuit(batch);
        return;
    }
    sockaddr_in peer;
    int length = sizeof peer;
    if (getpeername(batch->control, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
        peer.sin_addr.s_addr != announced) {
        char text[MAX_PATH + 128];
        const BYTE* a = reinterpret_cast<const BYTE*>(&announced);
        snprintf(text, sizeof text,
                 "FTP server announced data address %d.%d.%d.%d for %s; connecting to the "
                 "server's own address instead",
                 a[0], a[1], a[2], a[3], batch->files->localPath);
        LogPathLine("%s", text);
    }
    if (!ConnectPassiveData(batch, port)) {
        ReportBatchError(batch, ERR_CANNOT_CONNECT);
        AbandonTransfer(batch);
        SendQuit(batch);
    }
    // STOR or RETR waits for the connection: a server opens (and for STOR
    // empties) its file when it hears the command, even if no connection
    // ever comes.
}

}  // namespace

bool SendPassiveTransfer(FtpBatch* batch)
{
    SendTransfer(batch);
    return batch->state == FTP_STATE_STOR || batch->state == FTP_STATE_RETR;
}

void SendUser(FtpBatch* batch)
{
    SetFtpState(batch, FTP_STATE_USER);
    if (batch->target.anonymous)
        SendFtpCommand(batch, "USER anonymous\r\n");
    else
        SendArgumentCommand(batch, "USER", batch->target.userName);
}

bool AdvanceBatch(FtpBatch* batch, int code, const char* line)
{
    if (batch->state == FTP_STATE_CWD)
        lstrcpynA(batch->cwd, batch->pendingCwd, sizeof batch->cwd);
    FtpStep step =
        IsRenameState(batch->state)
            ? DecideRenameStep(code, batch->state, batch->temp.retried)
            : DecideFtpStep(code, batch->state, batch->files != NULL, batch->folderCut >= 0,
                            batch->target.passive != 0, batch->target.tls != 0);
    switch (step.action) {
    case FTP_SEND_USER:
        SendUser(batch);
        break;
    case FTP_SEND_PASS:
        SetFtpState(batch, step.state);
        SendArgumentCommand(batch, "PASS", batch->target.password);
        break;
    case FTP_BEGIN_FILE:
        BeginFile(batch);
        break;
    case FTP_NEXT_FOLDER:
        SendFolderLevel(batch, NextFolderCut(batch->current.remotePath, batch->folderCut));
        break;
    case FTP_CWD_FOLDER:
        batch->folderCut = -1;
        if (batch->current.remotePath[0])
            SendCwd(batch, batch->current.remotePath);
        else
            SendType(batch);
        break;
    case FTP_SEND_TYPE:
        SendType(batch);
        break;
    case FTP_SEND_PORT:
        SendPort(batch);
        break;
    case FTP_SEND_PASV:
        SendPasv(batch);
        break;
    case FTP_CONNECT_DATA:
        ConnectData(batch, line);
        break;
    case FTP_SEND_TRANSFER:
        SendTransfer(batch);
        break;
    case FTP_CHECK_SIZE:
    case FTP_SIZE_UNKNOWN:
    case FTP_SEND_RNFR:
    case FTP_SEND_RNTO:
    case FTP_DELETE_STORED:
    case FTP_FILE_RENAMED:
    case FTP_RENAME_REFUSED:
    case FTP_RENAME_FAILED:
    case FTP_NEXT_FILE:
        AdvanceRename(batch, step.action, code, line);
        break;
    case FTP_SEND_AUTH:
    case FTP_START_TLS:
    case FTP_TLS_NOT_OFFERED:
    case FTP_SEND_PBSZ:
    case FTP_SEND_PROT:
    case FTP_PROT_REFUSED:
        return AdvanceSecure(batch, step.action, step.state);
    case FTP_DO_NOTHING:
        SetFtpState(batch, step.state);
        break;
    }
    return true;
}

void StartNextFile(FtpBatch* batch)
{
    AbandonTransfer(batch);
    // The temporary file of a failed upload goes first; its answer comes
    // back here.
    if (DeleteTemporaryFile(batch, true))
        return;
    if (batch->files) {
        // A file given up without a word (a server that took a short upload
        // as whole, say) waits to be retried all the same.
        NoteFtpFailure(batch, ERR_FILE_OPERATION, 0, true);
        // The file is over: stored, or given up. A progress window counts it
        // only now, so that "complete" never comes before its record.
        DropFirstFileJob(Client().batches, batch);
        TellFileDone(batch);
    }
    BeginFile(batch);
}

void FailCurrentFile(FtpBatch* batch, int code)
{
    if (code != 553 || !EndsWithSeparator(batch->localPath))
        ReportFileError(batch, code, NULL, 0);
    else
        NoteFtpFailure(batch, code, 0, true);
    StartNextFile(batch);
}
