// The FTP command sequence: replies and states decide the next command.
#include "transfer/ftpsequence.h"

#include "transfer/queue.h"

namespace {

// Replies after which the server will not go on with this session.
bool EndsSession(int code)
{
    switch (code) {
    case 332: case 421: case 425: case 426: case 451: case 452:
    case 500: case 501: case 502: case 503: case 504: case 530: case 532:
        return true;
    default:
        return false;
    }
}

FtpStep AfterFolders(BYTE direction, bool hasFiles, bool chainOpen)
{
    if (direction == FTP_DOWNLOAD)
        return {FTP_CWD_DOWNLOAD, FTP_STATE_CWD};
    if (!hasFiles)
        return {FTP_SEND_TYPE, FTP_STATE_TYPE};
    if (chainOpen)
        return {FTP_NEXT_FOLDER, FTP_STATE_FOLDERS};
    return {FTP_CWD_FOLDER, FTP_STATE_CWD};
}

}  // namespace

FtpStep DecideFtpStep(int code, WORD state, BYTE direction, bool hasFiles, bool chainOpen)
{
    if (code == 0 || state == FTP_STATE_QUIT)
        return {FTP_DO_NOTHING, state};
    if (code == 220)
        return state == FTP_STATE_USER ? FtpStep{FTP_DO_NOTHING, state}
                                       : FtpStep{FTP_SEND_USER, FTP_STATE_USER};
    if (code == 331)
        return {FTP_SEND_PASS, FTP_STATE_PASS};
    if (code == 230) {
        if (direction == FTP_DOWNLOAD)
            return AfterFolders(direction, hasFiles, chainOpen);
        if (!hasFiles)
            return {FTP_DO_NOTHING, FTP_STATE_FOLDERS};
        return {FTP_START_FOLDERS, FTP_STATE_FOLDERS};
    }
    switch (state) {
    case FTP_STATE_FOLDERS:
        return AfterFolders(direction, hasFiles, chainOpen);
    case FTP_STATE_CWD:
        return {FTP_SEND_TYPE, FTP_STATE_TYPE};
    case FTP_STATE_TYPE:
        return {hasFiles ? FTP_SEND_PORT : FTP_DO_NOTHING, FTP_STATE_PORT};
    case FTP_STATE_PORT:
        if (!hasFiles)
            return {FTP_DO_NOTHING, state};
        return {FTP_SEND_TRANSFER, direction == FTP_DOWNLOAD ? WORD(FTP_STATE_RETR)
                                                             : WORD(FTP_STATE_STOR)};
    default:
        return {FTP_DO_NOTHING, state};
    }
}

FtpReplyClass ClassifyFtpReply(int code, WORD state)
{
    if (state == FTP_STATE_QUIT)
        return code == 221 ? FTP_REPLY_CLOSING : FTP_REPLY_ADVANCE;
    if (code == 0 || code < 200)
        return FTP_REPLY_ADVANCE;
    if (EndsSession(code))
        return FTP_REPLY_END_BATCH;
    bool transferring = state == FTP_STATE_STOR || state == FTP_STATE_RETR ||
                        state == FTP_STATE_DATA_ENDED || state == FTP_STATE_REPLY_ENDED;
    if (transferring && (code == 226 || code == 250))
        return FTP_REPLY_FILE_DONE;
    if (code == 553)
        return FTP_REPLY_FAIL_FILE;
    if (code < 400)
        return FTP_REPLY_ADVANCE;
    switch (state) {
    case FTP_STATE_NEW:
    case FTP_STATE_USER:
    case FTP_STATE_PASS:
        // A login the server refused with a code of its own choosing.
        return FTP_REPLY_END_BATCH;
    case FTP_STATE_FOLDERS:
        // A folder that exists already, or that another level will make.
        return FTP_REPLY_ADVANCE;
    default:
        return FTP_REPLY_FAIL_FILE;
    }
}
