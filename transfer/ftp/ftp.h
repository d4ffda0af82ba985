// The FTP client: batches on control and data connections, driven by socket messages on the main
// window's thread.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include "transfer/ftp/ftpbatch.h"
#include "transfer/queue.h"

// What the main window gives the client once, at start.
struct FtpClientSetup {
    HWND window;              // receives the client's socket messages and its notices
                              // (UM_TRAYSTATE, UM_STATUSTEXT)
    BatchList* batches;       // the program's batch list
    HWND repliesWindow;       // receives every reply line (UM_FTPREPLY); NULL for none
    RequestQueue* liveQueue;  // where a file changed during its own upload is queued again
    HANDLE liveWorkEvent;
    HANDLE liveStopEvent;  // set by Stop All Transfers; abort event of live requests
};
void InitFtpClient(const FtpClientSetup& setup);
// The replies window, created later in the start than the client.
void SetFtpRepliesWindow(HWND repliesWindow);

// The main window hands over every message of the client here: UM_FTPCONTROL,
// UM_FTPDATA, UM_FTPRETIRED and UM_FTPCONTINUE. TRUE when it was one.
BOOL OnFtpClientMessage(UINT msg, WPARAM wParam, LPARAM lParam);

// What StartFtpConnection returns for a folder transfer's batch whose FTP
// half was stopped meanwhile: nothing started, nothing to report.
enum { FTP_HALF_STOPPED = 0 };

// Copies the item's FtpTarget with targetId into the batch and starts the
// non-blocking connect of its control connection; the batch is listed once
// the connect has started (the worker must not touch it afterwards). Returns
// ERR_SUCCESS, or the code that says why nothing was started (2 no settings,
// 3 FTP off for the item, 4 no socket, 5 address not resolved, 6 no such
// target, 10 a text that cannot be sent); the batch is then not listed and
// stays the caller's.
int StartFtpConnection(FtpBatch* batch);

// Starts the download of a stored file for a restore record (location is the
// record's data). ERR_SUCCESS when started, else the code that says why not.
int StartFtpDownload(const char* itemPath, const char* storedName, const char* location);

// UM_STOPTRANSFER with wParam 1: stops the batches of one progress window.
void StopFtpBatches(HWND progressWindow);

// Command Stop All Transfers: sets the live-stop event and ends every batch.
void StopAllTransfers(void);

// At close: frees every batch (their sockets go with Windows Sockets).
void ShutDownFtpClient(void);

// The intake, for the FTP request of a change: true when path is the file an
// upload is sending right now (each such upload is told). The intake then
// leaves that request to the upload, which queues it again when it ends
// however it ends, unless the server confirmed a copy that already holds the
// change, or the user stopped every transfer. The disk request is queued at
// once all the same.
bool NoteChangeDuringUpload(BatchList* batches, const char* path);

// Test seam: the silence after which a batch is given up (60 s by default).
// Returns the previous value.
DWORD SetFtpIdleLimit(DWORD milliseconds);
// The check for silent batches, also called by tests.
void CheckIdleBatches(void);
