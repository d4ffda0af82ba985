// The FTP command sequence: replies and states decide the next command.
#include "transfer/ftp/ftpsequence.h"

namespace {

// Replies after which the server will not go on with this session.
bool EndsSession(int code)
{
    switch (code) {
    case 332:
    case 421:
    case 425:
    case 426:
    case 451:
    case 452:
    case 500:
    case 501:
    case 502:
    case 503:
    case 504:
    case 530:
    case 532:
        return true;
    default:
        return false;
    }
}

bool Transferring(WORD state)
{
    return state == FTP_STATE_STOR || state == FTP_STATE_RETR || state == FTP_STATE_DATA_ENDED ||
           state == FTP_STATE_REPLY_ENDED;
}

bool LoggingIn(WORD state)
{
    return state == FTP_STATE_NEW || state == FTP_STATE_USER || state == FTP_STATE_PASS;
}

}  // namespace

FtpStep DecideFtpStep(int code, WORD state, bool hasFiles, bool chainOpen, bool passive)
{
    if (code == 0 || state == FTP_STATE_QUIT)
        return {FTP_DO_NOTHING, state};
    if (code == 220)
        return state == FTP_STATE_USER ? FtpStep{FTP_DO_NOTHING, state}
                                       : FtpStep{FTP_SEND_USER, FTP_STATE_USER};
    if (code == 331)
        return {FTP_SEND_PASS, FTP_STATE_PASS};
    if (code == 230 && LoggingIn(state))
        return {FTP_BEGIN_FILE, state};
    switch (state) {
    case FTP_STATE_FOLDERS:
        return chainOpen ? FtpStep{FTP_NEXT_FOLDER, FTP_STATE_FOLDERS}
                         : FtpStep{FTP_CWD_FOLDER, FTP_STATE_CWD};
    case FTP_STATE_CWD:
        return {FTP_SEND_TYPE, FTP_STATE_TYPE};
    case FTP_STATE_TYPE:
        if (!hasFiles)
            return {FTP_DO_NOTHING, state};
        return passive ? FtpStep{FTP_SEND_PASV, FTP_STATE_PASV}
                       : FtpStep{FTP_SEND_PORT, FTP_STATE_PORT};
    case FTP_STATE_PORT:
        return {hasFiles ? FTP_SEND_TRANSFER : FTP_DO_NOTHING, state};
    case FTP_STATE_PASV:
        return {hasFiles ? FTP_CONNECT_DATA : FTP_DO_NOTHING, state};
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
    if (Transferring(state) && (code == 226 || code == 250))
        return FTP_REPLY_FILE_DONE;
    if (code == 553)
        return FTP_REPLY_FAIL_FILE;
    if (code < 400)
        return FTP_REPLY_ADVANCE;
    if (LoggingIn(state))
        return FTP_REPLY_END_BATCH;  // a login refused with a code of the server's own choosing
    if (state == FTP_STATE_FOLDERS)
        return FTP_REPLY_ADVANCE;  // a folder that exists already, or that another level makes
    return FTP_REPLY_FAIL_FILE;
}
