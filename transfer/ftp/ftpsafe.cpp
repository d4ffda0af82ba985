// Uploads under a temporary name: the file goes up beside its stored copy, its size is checked,
// and a rename puts it in place. Until the rename the stored copy and its record stay as they were.
#include "transfer/ftp/ftpclient.h"

#include "log/errors.h"
#include "log/log.h"
#include "store/store.h"
#include "transfer/ftp/ftpsequence.h"

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

void SendNamed(FtpBatch* batch, WORD state, const char* verb, const char* name)
{
    char command[MAX_PATH + 16];
    SetFtpState(batch, state);
    // Both names went out once already, with STOR; they fit.
    if (FormatFtpCommand(command, sizeof command, verb, name))
        SendFtpCommand(batch, command);
}

void SendRenameFrom(FtpBatch* batch)
{
    SendNamed(batch, FTP_STATE_RNFR, "RNFR", batch->temp.name);
}

// SIZE 213: a server that holds another number of bytes than were sent has
// no whole copy, whatever its 226 said.
void CheckTemporarySize(FtpBatch* batch, const char* line)
{
    ULONGLONG size = 0;
    if (ParseSizeReply(line, &size) && size != batch->finished.bytes) {
        std::string text = "The FTP server holds " + std::to_string(size) + " bytes of " +
                           batch->finished.localPath + " where " +
                           std::to_string(batch->finished.bytes) +
                           " were sent; the stored copy was left as it was";
        WriteLog(text.c_str(), 0, LOG_BACKUP);
        FailCurrentFile(batch, ERR_FILE_OPERATION);
        return;
    }
    SendRenameFrom(batch);
}

void EndRenamed(FtpBatch* batch)
{
    TemporaryUpload& t = batch->temp;
    if (t.storedDeleted) {
        char line[3 * MAX_PATH];
        snprintf(line, sizeof line,
                 "The FTP server does not rename over an existing file: the old copy %s was "
                 "deleted first, then replaced by %s",
                 batch->finished.remotePath, batch->finished.localPath);
        WriteLog(line, 0, LOG_BACKUP);
    }
    t.onServer = false;
    ConfirmFinishedFile(batch);
    StartNextFile(batch);
}

}  // namespace

void FinishFile(FtpBatch* batch)
{
    if (batch->temp.onServer && batch->finished.present) {
        if (batch->sizeUnknown)
            SendRenameFrom(batch);
        else
            SendNamed(batch, FTP_STATE_SIZE, "SIZE", batch->temp.name);
        return;
    }
    ConfirmFinishedFile(batch);
    StartNextFile(batch);
}

const char* StartTemporaryUpload(FtpBatch* batch, const char* finalName)
{
    TemporaryUpload& t = batch->temp;
    memset(&t, 0, sizeof t);
    if (!MakeTemporaryName(batch->files->localPath, t.name, sizeof t.name))
        return finalName;
    lstrcpynA(t.finalName, finalName, sizeof t.finalName);
    t.onServer = true;
    return t.name;
}

void AdvanceRename(FtpBatch* batch, FtpAction action, int code, const char* line)
{
    TemporaryUpload& t = batch->temp;
    switch (action) {
    case FTP_CHECK_SIZE:
        CheckTemporarySize(batch, line);
        break;
    case FTP_SIZE_UNKNOWN:
        batch->sizeUnknown = true;
        SendRenameFrom(batch);
        break;
    case FTP_SEND_RNFR:
        if (batch->state == FTP_STATE_DELE_STORED) {
            t.retried = true;
            t.storedDeleted = code >= 200 && code < 300;
        }
        SendRenameFrom(batch);
        break;
    case FTP_SEND_RNTO:
        SendNamed(batch, FTP_STATE_RNTO, "RNTO", t.finalName);
        break;
    case FTP_DELETE_STORED:
        SendNamed(batch, FTP_STATE_DELE_STORED, "DELE", t.finalName);
        break;
    case FTP_FILE_RENAMED:
        EndRenamed(batch);
        break;
    case FTP_RENAME_REFUSED:
        RefuseRenamedUploads(batch);
        break;
    case FTP_RENAME_FAILED:
        FailCurrentFile(batch, code);
        break;
    case FTP_NEXT_FILE:
        StartNextFile(batch);
        break;
    default:  // the actions of the command sequence before the data
        break;
    }
}

void RefuseRenamedUploads(FtpBatch* batch)
{
    // One message for the target, not one per file: the next files would
    // meet the same refusal.
    ReportBatchError(batch, ERR_RENAME_REFUSED);
    AbandonTransfer(batch);
    SendQuit(batch);
}

bool DeleteTemporaryFile(FtpBatch* batch, bool awaitReply)
{
    TemporaryUpload& t = batch->temp;
    if (!t.onServer)
        return false;
    t.onServer = false;
    if (t.storedDeleted) {
        // The stored copy is gone and the temporary file is the only whole
        // one: it stays, and the record of the old copy, which leads nowhere
        // now, goes.
        char line[3 * MAX_PATH];
        snprintf(line, sizeof line,
                 "The FTP server deleted %s for a rename that then failed; the new copy of %s "
                 "stays there as %s until the next upload of the file",
                 batch->finished.remotePath, batch->finished.localPath, t.name);
        WriteLog(line, 0, LOG_ERROR);
        DeleteRestoreRecord(batch->finished.localPath, batch->finished.remotePath, KIND_FTP);
        return false;
    }
    char command[32];
    FormatFtpCommand(command, sizeof command, "DELE", t.name);
    if (awaitReply)
        SetFtpState(batch, FTP_STATE_DELE_TEMP);
    SendFtpCommand(batch, command);
    return awaitReply;
}
