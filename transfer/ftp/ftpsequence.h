// The FTP command sequence as a table: what a reply means and what to send next.
#pragma once
#include <windows.h>

#include "transfer/ftp/ftpbatch.h"

enum FtpAction {
    FTP_DO_NOTHING,
    FTP_SEND_USER,
    FTP_SEND_PASS,
    FTP_BEGIN_FILE,   // logged in: start the first file of the batch, or QUIT
    FTP_NEXT_FOLDER,  // MKD the next level of the first file's folder
    FTP_CWD_FOLDER,   // CWD the whole remote folder of the first file
    FTP_SEND_TYPE,
    FTP_SEND_PORT,      // open the data listener and announce it
    FTP_SEND_PASV,      // ask the server for a port to connect to
    FTP_CONNECT_DATA,   // the server named its port: connect, then STOR or RETR
    FTP_SEND_TRANSFER,  // STOR or RETR of the first file
    // Uploads under a temporary name (DecideRenameStep).
    FTP_CHECK_SIZE,      // the server named the temporary file's size: compare, then RNFR
    FTP_SIZE_UNKNOWN,    // the server knows no SIZE: RNFR without the check
    FTP_SEND_RNFR,       // RNFR of the temporary file
    FTP_SEND_RNTO,       // RNTO of the stored name
    FTP_DELETE_STORED,   // the server will not rename over the stored copy: DELE it first
    FTP_FILE_RENAMED,    // the file is in place: stored
    FTP_RENAME_REFUSED,  // the server has no rename: the target cannot take these uploads
    FTP_RENAME_FAILED,   // this file was not renamed: it failed, the stored copy stands
    FTP_NEXT_FILE,       // the temporary file of a failed upload was deleted (or not)
    // Encrypted FTP.
    FTP_SEND_AUTH,        // the greeting came: AUTH TLS before anything else
    FTP_START_TLS,        // the server agreed: the control connection's handshake
    FTP_TLS_NOT_OFFERED,  // the server will not encrypt: never go on in clear
    FTP_SEND_PBSZ,        // logged in: PBSZ 0, then PROT P, before any data connection
    FTP_SEND_PROT,
    FTP_PROT_REFUSED,  // the server will not encrypt the data connections
};

struct FtpStep {
    FtpAction action;
    WORD state;  // the batch's state after the action (actions that decide it themselves keep it)
};

// The next step after a reply that moves the sequence on. chainOpen: more
// folder levels remain to be made for the first file; tls: the target asks
// for explicit FTPS.
FtpStep DecideFtpStep(int code, WORD state, bool hasFiles, bool chainOpen, bool passive, bool tls);

// True in the states after the data of an upload under a temporary name.
bool IsRenameState(WORD state);

// The next step after a reply in a rename state. retried: the stored name
// was deleted already for a second rename.
FtpStep DecideRenameStep(int code, WORD state, bool retried);

enum FtpReplyClass {
    FTP_REPLY_ADVANCE,       // move the sequence on (DecideFtpStep)
    FTP_REPLY_END_BATCH,     // report the code, QUIT, drop the batch's files
    FTP_REPLY_FAIL_FILE,     // report the code, drop the current file, go on with the next
    FTP_REPLY_FILE_DONE,     // the server has the whole file: go on with the next
    FTP_REPLY_CLOSING,       // the answer to QUIT
    FTP_REPLY_TEMP_REFUSED,  // the temporary name is not allowed: the target cannot take it
};

// What a completed reply means in the given state. underTemporaryName: the
// STOR in progress names a temporary file.
FtpReplyClass ClassifyFtpReply(int code, WORD state, bool underTemporaryName = false);
