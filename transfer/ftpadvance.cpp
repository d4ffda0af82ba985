// The command sequence of a batch: each reply sends the next command, the data listener and PORT.
#include "transfer/ftp.h"

#include "app/appstate.h"
#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "transfer/diskcopy.h"
#include "transfer/ftpsequence.h"
#include "transfer/ftpsession.h"

#include <string.h>

namespace {

enum { COMMAND_SIZE = 600, LISTEN_ATTEMPTS = 5 };

// A text that would break the command (a line break, or too long): the
// target cannot be served, so the batch ends with a report.
void FailOnText(FtpJob* batch)
{
    ReportBatchError(batch, ERR_GENERIC);
    SendQuit(batch);
}

void SendArgumentCommand(FtpJob* batch, const char* verb, const char* argument)
{
    char command[COMMAND_SIZE];
    if (!FormatFtpCommand(command, sizeof command, verb, argument)) {
        FailOnText(batch);
        return;
    }
    SendFtpCommand(batch, command);
}

// MKD of the remote folder up to cut (the whole folder when cut < 0).
void SendFolderLevel(FtpJob* batch, FtpJob* file, int cut)
{
    char prefix[MAX_PATH];
    lstrcpynA(prefix, file->remotePath, cut >= 0 && cut < MAX_PATH ? cut + 1 : MAX_PATH);
    GetFtpSession(batch)->folderCut = cut;
    SendArgumentCommand(batch, "MKD", prefix);
}

void SendType(FtpJob* batch)
{
    batch->state = FTP_STATE_TYPE;
    SendFtpCommand(batch, "TYPE I\r\n");
}

void StartFolders(FtpJob* batch, const FtpTargetCopy* target)
{
    FtpJob* file = batch->files;
    char itemPath[MAX_PATH];
    // An item that has gone since the batch was made leaves the target
    // folder as it is (the file is then treated as directly in the item).
    if (OpenItemKey(file->localPath, itemPath, NULL))
        DecodeKeyName(itemPath);
    else
        lstrcpynA(itemPath, file->localPath, sizeof itemPath);
    FtpSession* session = GetFtpSession(batch);
    // The file's folder as the login folder sees it, then as named from the
    // folder the previous file entered (it differs for relative folders).
    if (!MakeRemoteFolder(file->localPath, itemPath, target->folder, session->pendingCwd,
                          sizeof session->pendingCwd) ||
        !FolderFromCurrent(session->cwd, session->pendingCwd, file->remotePath, FTP_BUFFER_SIZE)) {
        FailOnText(batch);
        return;
    }
    if (!file->remotePath[0]) {
        GetFtpSession(batch)->folderCut = -1;
        SendType(batch);
        return;
    }
    SendFolderLevel(batch, file, NextFolderCut(file->remotePath, 0));
}

// A listening socket on the control connection's local address, with the
// port taken from the program-wide counter. Returns the socket or
// INVALID_SOCKET; *port is the port announced either way.
SOCKET OpenDataListener(FtpJob* batch, HWND window, DWORD* address, WORD* port)
{
    sockaddr_in local;
    int length = sizeof local;
    memset(&local, 0, sizeof local);
    if (getsockname(batch->socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
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
            WSAAsyncSelect(s, window, UM_FTPDATA, FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE) == 0) {
            length = sizeof bound;
            if (getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
                *port = ntohs(bound.sin_port);
            return s;
        }
        closesocket(s);
    }
    return INVALID_SOCKET;
}

// Opens the local file of an upload before the server is told to expect
// it, so that a file that cannot be read is dropped without a transfer.
bool OpenUploadSource(FtpJob* file)
{
    file->file = CreateFileA(file->localPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file->file == INVALID_HANDLE_VALUE)
        return false;
    file->fileSize = GetFileSize(file->file, NULL);
    if (file->fileSize == INVALID_FILE_SIZE)
        file->fileSize = 0;
    return true;
}

void SendPort(FtpJob* batch, HWND window)
{
    FtpJob* file = batch->files;
    if (batch->direction == FTP_UPLOAD) {
        bool dropped = false;
        while (file && !OpenUploadSource(file)) {
            ReportFtpError(ERR_SOURCE_OPEN, file->localPath);
            DropFirstFile(batch);
            file = batch->files;
            dropped = true;
        }
        if (dropped) {
            // The next file needs its own folders first.
            StartNextFile(batch);
            return;
        }
    }
    file->direction = batch->direction;
    file->bytesDone = 0;
    FtpSession* session = GetFtpSession(batch);
    session->dataAccepted = false;
    session->serverReady = false;
    DWORD address = 0;
    WORD port = 0;
    file->socket = OpenDataListener(batch, window, &address, &port);
    char command[COMMAND_SIZE];
    FormatPortCommand(command, sizeof command, address, port);
    SendFtpCommand(batch, command);
}

void SendTransfer(FtpJob* batch, const FtpTargetCopy* target)
{
    FtpJob* file = batch->files;
    char folder[MAX_PATH];
    char nameSource[MAX_PATH];
    if (batch->direction == FTP_DOWNLOAD) {
        RemoteFolderPart(batch->remotePath, folder, sizeof folder);
        lstrcpynA(nameSource, file->localPath, sizeof nameSource);
    } else {
        lstrcpynA(folder, GetFtpSession(batch)->cwd, sizeof folder);
        if (!(target->storageType & STORAGE_BACKUP))
            lstrcpynA(nameSource, file->localPath, sizeof nameSource);
        else if (!MakeBackupName(file->localPath, nameSource)) {
            FailOnText(batch);
            return;
        }
    }
    const char* name = RemoteNamePart(nameSource);
    if (!JoinRemotePath(folder, name, file->remotePath, FTP_BUFFER_SIZE)) {
        FailOnText(batch);
        return;
    }
    SendArgumentCommand(batch, batch->direction == FTP_DOWNLOAD ? "RETR" : "STOR", name);
}

}  // namespace

int AdvanceFtpBatch(HWND window, const char* line, FtpJob* batch)
{
    int code = ReplyCode(line);
    if (!code || !batch)
        return 0;
    const FtpTargetCopy* target = BatchTarget(batch);
    if (!target)
        return 0;
    if (g_app.mainWindow)
        window = g_app.mainWindow;
    FtpSession* session = GetFtpSession(batch);
    FtpJob* first = batch->files;
    FtpStep step = DecideFtpStep(code, batch->state, batch->direction, first != NULL,
                                 session->folderCut >= 0);
    batch->state = step.state;
    // The worker adds the files right after the connect has started; a
    // quick server can log in first. The watchdog starts them once there.
    session->awaitingFiles = code == 230 && !first && batch->direction == FTP_UPLOAD;
    switch (step.action) {
    case FTP_SEND_USER:
        if (target->anonymous)
            SendFtpCommand(batch, "USER anonymous\r\n");
        else
            SendArgumentCommand(batch, "USER", target->userName);
        break;
    case FTP_SEND_PASS:
        SendArgumentCommand(batch, "PASS", target->password);
        break;
    case FTP_START_FOLDERS:
        StartFolders(batch, target);
        break;
    case FTP_NEXT_FOLDER:
        SendFolderLevel(batch, first, NextFolderCut(first->remotePath, session->folderCut));
        break;
    case FTP_CWD_FOLDER:
        if (first->remotePath[0])
            SendArgumentCommand(batch, "CWD", first->remotePath);
        else
            SendType(batch);
        break;
    case FTP_CWD_DOWNLOAD: {
        char folder[MAX_PATH];
        RemoteFolderPart(batch->remotePath, folder, sizeof folder);
        lstrcpynA(session->pendingCwd, folder, sizeof session->pendingCwd);
        if (folder[0])
            SendArgumentCommand(batch, "CWD", folder);
        else
            SendType(batch);
        break;
    }
    case FTP_SEND_TYPE:
        SendType(batch);
        break;
    case FTP_SEND_PORT:
        SendPort(batch, window);
        break;
    case FTP_SEND_TRANSFER:
        SendTransfer(batch, target);
        break;
    case FTP_DO_NOTHING:
        break;
    }
    return code;
}
