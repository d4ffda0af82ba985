// The FTP command sequence as a table: what a reply means and what to send next.
#pragma once
#include <windows.h>

// Positions of a batch in the command sequence (its state field).
enum FtpState {
    FTP_STATE_NEW = 0,
    FTP_STATE_PORT = 1,       // PORT sent
    FTP_STATE_CWD = 2,        // CWD sent
    FTP_STATE_TYPE = 3,       // TYPE I sent
    FTP_STATE_USER = 4,       // USER sent
    FTP_STATE_PASS = 5,       // PASS sent, or logged in and about to start a file
    FTP_STATE_RETR = 6,       // RETR sent
    FTP_STATE_STOR = 7,       // STOR sent
    FTP_STATE_FOLDERS = 8,    // MKD chain in progress
    FTP_STATE_DATA_ENDED = 9, // the data connection closed; the end reply is awaited
    FTP_STATE_REPLY_ENDED = 10, // the end reply came; the data connection is still open
    FTP_STATE_QUIT = 11,      // QUIT sent; only the close is awaited
};

enum FtpAction {
    FTP_DO_NOTHING,
    FTP_SEND_USER,
    FTP_SEND_PASS,
    FTP_START_FOLDERS,  // work out the first file's remote folder, MKD its first level
    FTP_NEXT_FOLDER,    // MKD the next level
    FTP_CWD_FOLDER,     // CWD the whole remote folder of the first file
    FTP_CWD_DOWNLOAD,   // CWD the folder of the batch's remote path
    FTP_SEND_TYPE,
    FTP_SEND_PORT,
    FTP_SEND_TRANSFER,  // STOR or RETR of the first file
};

struct FtpStep {
    FtpAction action;
    WORD state;  // the batch's state after the action
};

// The next step after a reply that moves the sequence on. chainOpen: more
// folder levels remain to be made for the first file.
FtpStep DecideFtpStep(int code, WORD state, BYTE direction, bool hasFiles, bool chainOpen);

enum FtpReplyClass {
    FTP_REPLY_ADVANCE,    // move the sequence on (DecideFtpStep)
    FTP_REPLY_END_BATCH,  // report the code, QUIT, drop the batch's files
    FTP_REPLY_FAIL_FILE,  // report the code, drop the current file, go on with the next
    FTP_REPLY_FILE_DONE,  // the server has the whole file: go on with the next
    FTP_REPLY_CLOSING,    // the answer to QUIT
};

// What a completed reply means in the given state.
FtpReplyClass ClassifyFtpReply(int code, WORD state);
