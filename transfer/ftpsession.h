// What the FTP control and data sides share on the main thread: per-batch session data and batch endings.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include "transfer/ftptext.h"
#include "transfer/queue.h"

// The values of the batch's FtpTarget, read once per connection.
struct FtpTargetCopy {
    char address[256];
    char userName[256];
    char password[256];
    char folder[MAX_PATH];
    WORD port;
    BYTE storageType;
    BYTE anonymous;
    DWORD targetCount;  // FTP targets of the item
};

// A file whose data connection has closed; it counts as stored only when
// the server confirms it with its end reply.
struct FinishedFile {
    bool present;
    bool logSuccess;  // a non-empty upload sent whole
    BYTE direction;
    BYTE mode;
    DWORD targetId;
    char localPath[MAX_PATH];
    char remotePath[MAX_PATH];
};

// Main-thread data of one batch that FtpJob has no room for.
struct FtpSession {
    ReplyAssembler replies;
    FtpTargetCopy target;
    bool haveTarget;
    bool connected;      // the control connection's connect event has come
    bool skipRestOfReceive;
    bool awaitingFiles;  // logged in before the worker had added the batch's files
    bool dataAccepted;  // the first file's data connection is up
    bool serverReady;   // the server answered STOR with its preliminary reply
    char cwd[MAX_PATH];         // folder entered, relative to the login folder or absolute
    char pendingCwd[MAX_PATH];  // the same for the CWD in progress
    int folderCut;  // index in the first file's remote path where the current MKD ends, -1 when done
    FinishedFile finished;
};

// The session of a batch, created on first use; a fresh one at connect.
FtpSession* GetFtpSession(FtpJob* batch);
void ResetFtpSession(FtpJob* batch);

// Reads the target with targetId of the item that owns path. Returns 1, or
// the error code: 2 no settings, 3 FTP off (only when requireEnabled), 6 no
// such target, 8 no memory.
int LoadFtpTarget(const char* path, DWORD targetId, bool requireEnabled, FtpTargetCopy* out);
// The cached target of a batch, loaded when missing; NULL when it cannot be.
const FtpTargetCopy* BatchTarget(FtpJob* batch);

// Sends a whole command on the control connection (errors are left to the
// replies and the watchdog).
void SendFtpCommand(FtpJob* batch, const char* command);
// Sends QUIT; the batch then only waits for the server's goodbye.
void SendQuit(FtpJob* batch);

// Error report with the code and a subject (main thread).
void ReportFtpError(int code, const char* subject);
// The same with the batch's server address as subject.
void ReportBatchError(FtpJob* batch, int code);

// Ends a batch: logs the close (logClose), sets the idle icon and title when
// it was the last one, closes its sockets and removes it with its files.
void CloseBatch(FtpJob* batch, bool logClose);
// Ends a batch on the user's request: QUIT, sockets closed, removed.
void StopBatch(FtpJob* batch);
// Closes the sockets of a file job (listener or data connection).
void CloseFileSockets(FtpJob* file);
// Drops the first file of a batch (its sockets closed, record removed) and
// tells the progress window it is over.
void DropFirstFile(FtpJob* batch);
// After a file is over: starts the next file of the batch, or QUIT.
void StartNextFile(FtpJob* batch);
// Called by the data side when a file job's data connection has ended.
void OnFileJobEnded(FtpJob* batch, const FinishedFile& finished);
// The server confirmed the file that ended last: record and log it.
void ConfirmFinishedFile(FtpJob* batch);

// Sends the upload of the batch's first file once its data connection is up
// and the server has said it is ready for it (data side).
void ResumeUpload(FtpJob* file);

// Benchmark seam: bytes per upload read and send (1,024 by default, at
// most 65,536). Returns the previous value.
DWORD SetFtpUploadBlock(DWORD bytes);

// Downloads land in a part file beside their target and replace the target
// only when the server confirms the whole file (data side).
void CommitDownload(const char* storedName);
void DeleteDownloadPart(const char* storedName);
// Closes a file job's local file; a download's part file is deleted.
void AbandonFile(FtpJob* file);
// Forgets the file that ended last without storing it.
void DropFinishedFile(FtpJob* batch);

// The batch saw a reply or data moving now.
void TouchBatch(FtpJob* batch);
// Starts the main thread's check for batches that have gone silent.
void ArmFtpWatchdog(void);
// Test seam: the silence after which a batch is dropped (60 s by default).
// Returns the previous value.
DWORD SetFtpIdleLimit(DWORD milliseconds);
// The check itself, also called by tests.
void CheckIdleBatches(void);

// The program-wide data port counter: increased before each bind.
WORD NextDataPort(void);

// True when path ends with '\' (a folder).
bool EndsWithBackslash(const char* path);

// Whether the peer of a connected socket has really closed it. A closed
// socket's number can be handed to a new socket while a close event of the
// old one still waits in the main window's queue; the new connection is then
// still open and the event is not its own.
bool SocketPeerClosed(SOCKET socket);
