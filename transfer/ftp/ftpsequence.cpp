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

// The steps of encrypted FTP that judge their replies themselves.
bool SecuringState(WORD state)
{
    return state == FTP_STATE_AUTH || state == FTP_STATE_PBSZ || state == FTP_STATE_PROT;
}

FtpStep DecideSecureStep(int code, WORD state)
{
    if (code < 200)
        return {FTP_DO_NOTHING, state};
    switch (state) {
    case FTP_STATE_AUTH:
        // 234 is the only yes; a 334 would ask for a security exchange of
        // another kind than TLS.
        return code == 234 ? FtpStep{FTP_START_TLS, FTP_STATE_HANDSHAKE}
                           : FtpStep{FTP_TLS_NOT_OFFERED, state};
    case FTP_STATE_PBSZ:
        return code < 300 ? FtpStep{FTP_SEND_PROT, FTP_STATE_PROT}
                          : FtpStep{FTP_PROT_REFUSED, state};
    default:  // PROT
        return code < 300 ? FtpStep{FTP_BEGIN_FILE, state} : FtpStep{FTP_PROT_REFUSED, state};
    }
}

// Replies that say the server has no such command (or takes no argument of
// that form), rather than anything about the file.
bool NotImplemented(int code)
{
    return code == 500 || code == 501 || code == 502 || code == 504;
}

}  // namespace

FtpStep DecideFtpStep(int code, WORD state, bool hasFiles, bool chainOpen, bool passive, bool tls)
{
    if (code == 0 || state == FTP_STATE_QUIT || state == FTP_STATE_HANDSHAKE)
        return {FTP_DO_NOTHING, state};
    if (code == 220 && tls)  // only the first greeting: encryption comes before the login
        return state == FTP_STATE_NEW ? FtpStep{FTP_SEND_AUTH, FTP_STATE_AUTH}
                                      : FtpStep{FTP_DO_NOTHING, state};
    if (SecuringState(state))
        return DecideSecureStep(code, state);
    if (code == 220)
        return state == FTP_STATE_USER ? FtpStep{FTP_DO_NOTHING, state}
                                       : FtpStep{FTP_SEND_USER, FTP_STATE_USER};
    if (code == 331)
        return {FTP_SEND_PASS, FTP_STATE_PASS};
    if (code == 230 && LoggingIn(state))
        return tls ? FtpStep{FTP_SEND_PBSZ, FTP_STATE_PBSZ} : FtpStep{FTP_BEGIN_FILE, state};
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

bool IsRenameState(WORD state)
{
    return state >= FTP_STATE_SIZE && state <= FTP_STATE_DELE_TEMP;
}

FtpStep DecideRenameStep(int code, WORD state, bool retried)
{
    if (code < 200)
        return {FTP_DO_NOTHING, state};
    switch (state) {
    case FTP_STATE_SIZE:
        if (code == 213)
            return {FTP_CHECK_SIZE, state};
        // A 550 and the like say nothing of the server's other files.
        return {code == 500 || code == 502 || code == 504 ? FTP_SIZE_UNKNOWN : FTP_SEND_RNFR,
                state};
    case FTP_STATE_RNFR:
        if (code == 350)
            return {FTP_SEND_RNTO, FTP_STATE_RNTO};
        return {NotImplemented(code) ? FTP_RENAME_REFUSED : FTP_RENAME_FAILED, state};
    case FTP_STATE_RNTO:
        if (code < 300)
            return {FTP_FILE_RENAMED, state};
        if (NotImplemented(code))
            return {FTP_RENAME_REFUSED, state};
        // Some servers refuse to rename over a file that exists.
        if ((code == 550 || code == 553) && !retried)
            return {FTP_DELETE_STORED, FTP_STATE_DELE_STORED};
        return {FTP_RENAME_FAILED, state};
    case FTP_STATE_DELE_STORED:
        return {FTP_SEND_RNFR, state};
    case FTP_STATE_DELE_TEMP:
        return {FTP_NEXT_FILE, state};
    default:
        return {FTP_DO_NOTHING, state};
    }
}

FtpReplyClass ClassifyFtpReply(int code, WORD state, bool underTemporaryName)
{
    if (state == FTP_STATE_QUIT)
        return code == 221 ? FTP_REPLY_CLOSING : FTP_REPLY_ADVANCE;
    if (code == 0 || code < 200)
        return FTP_REPLY_ADVANCE;
    // The rename steps judge their replies themselves: a server without SIZE
    // or without a rename is no reason to hang up.
    if (IsRenameState(state))
        return code == 421 || code == 530 || code == 332 ? FTP_REPLY_END_BATCH : FTP_REPLY_ADVANCE;
    // So do the steps of encryption: a refusal there has a message of its own.
    if (SecuringState(state))
        return code == 421 ? FTP_REPLY_END_BATCH : FTP_REPLY_ADVANCE;
    if (underTemporaryName && state == FTP_STATE_STOR && (code == 553 || code == 501))
        return FTP_REPLY_TEMP_REFUSED;
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
