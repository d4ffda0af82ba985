// The FTP client: control and data connections, driven by socket messages on the main thread.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include "transfer/queue.h"

// Starts the non-blocking connect of a batch to its target (the batch's
// local path names the item, its target id the FtpTarget). Called by the
// workers and the restore function; socket events go to window. Returns 1
// when the connect was started, else an error code (2, 3, 4, 5, 6).
int StartFtpConnection(HWND window, FtpJob* batch);

// What the FTP client is given once, by the main window at start: the window
// that receives its socket events and notices, the program's batch list, and
// the window that shows reply lines (NULL for none).
void InitFtpClient(HWND window, BatchList* batches, HWND repliesWindow);

// Starts the download of a stored file for a restore record (location is the
// record's data). ERR_SUCCESS when started, else the error code that says why
// it could not start.
int StartFtpDownload(const char* itemPath, const char* storedName, const char* location);

// Moves a batch on after one complete reply line: sends the next command of
// the sequence. Returns the reply's code, 0 when the line has none or the
// batch's settings or target cannot be found. Listening sockets report to
// the main window (or to window when there is none).
int AdvanceFtpBatch(HWND window, const char* line, FtpJob* batch);

// Handlers of UM_FTPCONTROL and UM_FTPDATA at the main window.
void OnControlSocketEvent(SOCKET socket, WORD event, WORD error);
void OnDataSocketEvent(SOCKET socket, WORD event, WORD error);

// UM_STOPTRANSFER with wParam 1: stops the batches of one progress window.
void StopFtpBatches(HWND progressWindow);

// Command Stop All Transfers: sets the live-stop event and ends every batch.
void StopAllTransfers(void);
