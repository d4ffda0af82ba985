// FTP batches and their file jobs, the program's batch list, and the one way a batch changes state.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include <string>

#include "store/layout.h"
#include "store/storedstate.h"
#include "transfer/ftp/ftptext.h"

enum { FTP_UPLOAD = 0, FTP_DOWNLOAD = 1 };

// A connection's plain or encrypted bytes (ftptls.h).
struct FtpLink;

// Positions of a batch in its conversation with the server.
enum FtpState : WORD {
    FTP_STATE_NEW = 0,           // connecting, or connected and waiting for the greeting
    FTP_STATE_PORT = 1,          // PORT sent
    FTP_STATE_CWD = 2,           // CWD sent
    FTP_STATE_TYPE = 3,          // TYPE I sent
    FTP_STATE_USER = 4,          // USER sent
    FTP_STATE_PASS = 5,          // PASS sent
    FTP_STATE_RETR = 6,          // RETR sent
    FTP_STATE_STOR = 7,          // STOR sent
    FTP_STATE_FOLDERS = 8,       // MKD of the first file's folder chain sent
    FTP_STATE_DATA_ENDED = 9,    // the data connection ended whole; the end reply is awaited
    FTP_STATE_REPLY_ENDED = 10,  // the end reply came; the data connection is still open
    FTP_STATE_QUIT = 11,         // QUIT sent; only the server's goodbye is awaited
    FTP_STATE_PASV = 12,         // PASV sent (passive mode)
    // Uploads under a temporary name: after the server confirmed the data.
    FTP_STATE_SIZE = 13,         // SIZE of the temporary file sent
    FTP_STATE_RNFR = 14,         // RNFR of the temporary file sent
    FTP_STATE_RNTO = 15,         // RNTO of the stored name sent
    FTP_STATE_DELE_STORED = 16,  // DELE of the stored name sent, for a second rename
    FTP_STATE_DELE_TEMP = 17,    // DELE of the temporary file of a failed upload sent
    // Encrypted FTP (explicit FTPS).
    FTP_STATE_AUTH = 18,       // AUTH TLS sent
    FTP_STATE_HANDSHAKE = 19,  // the control connection's TLS handshake runs
    FTP_STATE_PBSZ = 20,       // PBSZ 0 sent, after the login
    FTP_STATE_PROT = 21,       // PROT P sent
    FTP_STATE_COUNT
};

// Name of a state for traces.
const char* FtpStateName(WORD state);

// One file of a batch: a file job. Only the first of a batch is ever in
// transfer; what its transfer needs lives in the batch.
struct FtpJob {
    FtpJob* next;
    char* localPath;  // heap, its length + 1
    bool oneTarget;   // a copy retried to this batch's target alone, not a change for every target
    bool settled;     // its copy was stored, or its failure noted for retrying
};

// What the batch serves, copied from its FtpTarget before it is listed, so
// that the main thread never goes to the registry for it.
struct FtpTargetCopy {
    char address[TK_FTPTEXT_SIZE];
    char userName[TK_FTPTEXT_SIZE];
    char password[TK_FTPTEXT_SIZE];
    char folder[TK_PATH_SIZE];
    WORD port;
    BYTE storageType;
    BYTE anonymous;
    BYTE passive;
    BYTE safeUpload;
    BYTE tls;                                    // every connection encrypted (FTPS)
    char fingerprint[TK_FINGERPRINT_TEXT_SIZE];  // the one certificate accepted; "" for none
    DWORD targetCount;                           // FTP targets of the item
};

// A file whose data connection has ended whole; it counts as stored only
// when the server confirms it with its end reply.
struct FinishedFile {
    bool present;
    bool logSuccess;      // a non-empty upload sent whole
    bool changeDeferred;  // a change the intake left to this upload, not in it if unconfirmed
    ULONGLONG bytes;      // bytes sent or received
    char localPath[MAX_PATH];
    char remotePath[MAX_PATH];
    FileVersion version;  // uploads: the source as it was when opened
};

// The data side of the first file job.
struct FtpTransfer {
    SOCKET listener;            // active mode: where the server connects to
    SOCKET data;                // the data connection
    FtpLink* link;              // data's bytes, plain or encrypted; NULL with no connection
    HANDLE file;                // upload source or download part file
    ULONGLONG size;             // uploads: size of the source when opened (what is read)
    ULONGLONG done;             // bytes sent or received
    FILETIME written;           // uploads: last write time of the source when opened
    FileVersion version;        // uploads: the source as its folder listed it before it opened
    bool serverReady;           // the server's preliminary reply to STOR/RETR came
    bool allSent;               // uploads: every byte sent, our side shut down
    bool failed;                // downloads: a write to the part file failed
    bool connecting;            // passive mode: our connect has not completed yet
    bool continueLater;         // a slice left work for the continue timer
    bool peerClosed;            // downloads: the server closed; what is left is read to the end
    bool sending;               // uploads: the source is open (the intake looks, under the lock)
    bool changeDeferred;        // the intake left the FTP request of a change to this upload
    int lastPercent;            // -1 before the first figure
    std::string pending;        // uploads: bytes read but not yet taken by send
    char remotePath[MAX_PATH];  // folder entered + name sent with STOR/RETR
};

// An upload under a temporary name in the folder entered, renamed to its
// stored name once the server has it whole: the stored copy is never the
// one being written.
struct TemporaryUpload {
    char name[16];             // the temporary name; the same for every upload of a file
    char finalName[MAX_PATH];  // the stored name the rename gives it
    bool onServer;             // the server may hold the temporary file of this upload
    bool retried;              // the stored name was deleted for a second rename
    bool storedDeleted;        // ... and the server said it was gone
};

// One FTP batch: one control connection to one target, with the files to go
// over it. The worker (or the restore) fills it and lists it; from then on
// only the main thread changes it, under the list's lock for its links and
// its file list.
struct FtpBatch {
    FtpBatch* next;
    char localPath[MAX_PATH];   // path of the request that opened it
    char storedName[MAX_PATH];  // downloads: the remote file
    // Downloads: where the file goes, fixed when the download starts, and the
    // part file written meanwhile, which no other batch uses while this one
    // is listed; empty once it is the user's file.
    char restorePath[MAX_PATH];
    char partPath[MAX_PATH];
    DWORD targetId;
    WORD itemLength;      // uploads: length of the key name of the item its files belong to
    BYTE direction;       // FTP_UPLOAD or FTP_DOWNLOAD
    BYTE mode;            // worker mode of the maker (1 live, 2 folder)
    HWND progressWindow;  // folder transfers only
    HANDLE stopEvent;     // folder transfers: the stop of their FTP half, or NULL
    bool stoppedByUser;   // ended by Stop All Transfers: changes left to its upload go too
    FtpTargetCopy target;
    FtpJob* files;  // in gathering order

    SOCKET control;
    FtpLink* controlLink;  // control's bytes, plain or encrypted; NULL with no connection
    WORD state;            // change only through SetFtpState
    bool connected;
    DWORD lastProgress;  // GetTickCount() of the last real progress
    ReplyAssembler replies;
    bool replyTailEarly;        // the incomplete reply line began before the upload's end (below)
    std::string sendLeft;       // the unsent tail of the last command
    char cwd[MAX_PATH];         // folder entered, as the login folder sees it
    char pendingCwd[MAX_PATH];  // the same for the CWD in progress
    int folderCut;              // where the MKD in progress cuts the first file's folder; -1 none
    int filesDone;              // files counted as over for the progress window
    // Folder transfers: what the progress window has not been told yet (see TellFileDone).
    int doneUntold;  // files over
    bool fileShown;  // a file's start was shown once; fileShownAt is when
    DWORD fileShownAt;
    char unshownFile[MAX_PATH];  // the last file started, when its start was not shown
    bool unshownBarSet;          // ... and its percentage was posted since
    DWORD readBytes;             // reply bytes since the last progress or pause
    FtpTransfer current;
    FinishedFile finished;
    TemporaryUpload temp;
    bool sizeUnknown;  // the server knows no SIZE: not asked again in this batch
    // An upload in place whose STOR the server accepted: the stored path it
    // opened, which may hold part of the file until the server confirms it.
    char openedInPlace[MAX_PATH];
};

// The program's one list of FTP batches. One lock guards the batch links and
// the file lists: workers append, the intake looks, the main thread walks,
// changes and removes.
struct BatchList {
    FtpBatch* first;
    CRITICAL_SECTION lock;
};

BatchList* NewBatchList(void);
void FreeBatchList(BatchList* list);
void LockBatches(BatchList* list);
void UnlockBatches(BatchList* list);

// A file job with a copy of path; NULL when memory runs out.
FtpJob* NewFtpJob(const char* path);
void FreeFtpJob(FtpJob* job);
// A batch for path, not listed yet, with no sockets and no files; NULL when
// memory runs out or path does not fit.
FtpBatch* NewFtpBatch(const char* path, DWORD targetId, BYTE direction, BYTE mode,
                      HWND progressWindow);
// Frees a batch with its file jobs and links, closing its open file (not its
// sockets) and deleting a download's part file.
void FreeFtpBatch(FtpBatch* batch);

// Appends a file job to a batch that is not listed yet.
void AddFileJob(FtpBatch* batch, FtpJob* job);
// Appends a batch to the list; false (and not listed) when its stop event is
// set. The look is made under the list's lock: a stop sets the event before
// it walks the list, so a batch is either found by that walk or refused here.
bool ListBatch(BatchList* list, FtpBatch* batch);
// Unlinks a batch from the list and frees it; false when it was not listed.
bool RemoveBatch(BatchList* list, FtpBatch* batch);
// Unlinks and frees the first file job of a listed batch.
void DropFirstFileJob(BatchList* list, FtpBatch* batch);
// Unlinks every batch and frees them all.
void ClearBatches(BatchList* list);

// The batch whose control, listening or data socket is socket (lock held by
// the caller); NULL when none.
FtpBatch* FindBatchBySocket(BatchList* list, SOCKET socket);
bool HasBatches(BatchList* list);
int CountFileJobs(const FtpBatch* batch);

// The one way a batch changes state. A change of state is progress for the
// idle limit; with tracing on (TK_FTP_TRACE set in the environment) every
// change goes to the debugger output.
void SetFtpState(FtpBatch* batch, WORD state);
