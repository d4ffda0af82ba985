// Inside the FTP client: what the control side, the command sequence and the data side share on the
// main thread.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include "transfer/ftp/ftp.h"
#include "transfer/ftp/ftpbatch.h"
#include "transfer/ftp/ftpsequence.h"
#include "transfer/ftp/ftptlsrules.h"

// What the main window gave the client at start.
const FtpClientSetup& Client(void);

// Sockets. Every socket the client closes goes through RetireSocket: its
// number may be handed to a new socket at once while events of the old one
// still wait in the window's queue. A retired number is ignored until the
// marker posted behind those events comes back (UM_FTPRETIRED).
void RetireSocket(SOCKET socket);
bool IsRetiring(SOCKET socket);
void OnSocketRetired(SOCKET socket);
// Asks for the client's socket messages (msg UM_FTPCONTROL or UM_FTPDATA).
bool SelectEvents(SOCKET socket, UINT msg, long events);
// Frees a connection's link and retires its socket; both are cleared.
void RetireLink(FtpLink** link, SOCKET* socket);

// Sends a command on the control connection; what send does not take now
// goes out on the next write event. Errors are left to the close event and
// the idle limit.
void SendFtpCommand(FtpBatch* batch, const char* command);
// Sends the tail a full socket left behind.
void SendCommandTail(FtpBatch* batch);
// Sends QUIT; the batch then only waits for the server's goodbye.
void SendQuit(FtpBatch* batch);

// Tells the main window (sent: the texts are ours).
void ShowStatus(const char* text);
void ShowTransferring(BYTE direction, const char* path);
void CloseLogsWhenNoBatches(void);
// The progress window of a folder transfer: a file over, a file's start (with its bar at 0),
// the file's percentage, and everything held back so far (before the batch ends).
void TellFileDone(FtpBatch* batch);
void TellFileStart(FtpBatch* batch, const char* path);
void TellFilePercent(FtpBatch* batch, int percent);
void TellProgressWindow(FtpBatch* batch);
// The plain tray icon and caption once no batch is left.
void ShowIdleWhenNoBatches(void);
void LogPathLine(const char* format, const char* path);

// Error report with the code and a subject, and with the batch's server
// address as subject (main thread).
void ReportFtpError(int code, const char* subject);
// The same for an upload's files, which then wait to be retried: those of the
// batch not yet stored nor noted, or its first file only. The user hears of
// what is news only (a folder transfer's batch: of everything).
void ReportBatchError(FtpBatch* batch, int code);
void ReportFileError(FtpBatch* batch, int code, const char* subject, DWORD systemError);
// Notes the upload's files as above without a report; true when the user is
// to hear of them.
bool NoteFtpFailure(FtpBatch* batch, int code, DWORD systemError, bool firstOnly);
// The server confirmed the upload of the finished file: its version is
// recorded and any wait to retry it ends.
void NoteUploadStored(FtpBatch* batch);

// Ends a batch: logs the close (logClose), closes its sockets, counts its
// remaining files as over for its progress window, removes it and shows the
// idle state when it was the last.
void CloseBatch(FtpBatch* batch, bool logClose);
// Ends a batch on the user's request: QUIT, sockets closed, removed.
void StopBatch(FtpBatch* batch);

// Queues an FTP request for path on the live queue, as the intake would, unless
// one for path waits there already (it serves every target, and reads the
// file only when its batch sends it).
void QueueFtpRequestAgain(const char* path);

// The control side (ftpcontrol.cpp): connect, reply and close events.
void OnControlSocketEvent(FtpBatch* batch, WORD event, WORD error);
// The control connection ended without the goodbye: a report when work was
// outstanding, and the batch ends.
void EndClosedBatch(FtpBatch* batch);

// The sequence (ftpadvance.cpp). Acts on a reply line that moves the batch
// on; false when the batch ended (its memory is gone).
bool AdvanceBatch(FtpBatch* batch, int code, const char* line);
// USER (or USER anonymous): the login starts.
void SendUser(FtpBatch* batch);
// The named step after a file is over: its job leaves the batch, and the
// next file starts, or QUIT when none is left.
void StartNextFile(FtpBatch* batch);
// The file in transfer failed or was refused: no copy is stored, it is
// counted as over, and the next file starts.
void FailCurrentFile(FtpBatch* batch, int code);

// Uploads under a temporary name (ftpsafe.cpp).
// The server confirmed the data of the file in transfer: an upload under a
// temporary name is checked and renamed first, anything else is stored now
// (ConfirmFinishedFile) and the next file starts.
void FinishFile(FtpBatch* batch);
// STOR of the file in transfer goes to a temporary name: returns that name
// (finalName when none can be made), kept in the batch with finalName.
const char* StartTemporaryUpload(FtpBatch* batch, const char* finalName);
// The step DecideRenameStep chose after a reply in a rename state.
void AdvanceRename(FtpBatch* batch, FtpAction action, int code, const char* line);
// The server takes no temporary name or no rename: one report for the
// target, and the batch ends.
void RefuseRenamedUploads(FtpBatch* batch);
// A failed upload's temporary file is deleted (DELE) when it may be on the
// server; awaitReply: the batch waits for the answer in FTP_STATE_DELE_TEMP,
// and true says so. Without it the answer comes while QUIT is awaited.
bool DeleteTemporaryFile(FtpBatch* batch, bool awaitReply);

// Encrypted FTP (ftpsecure.cpp).
// True when the link's TLS has failed: it passes no event on any more.
bool LinkFailed(const FtpLink* link);
// A step of encryption chosen by DecideFtpStep (state: the one it gave);
// false when the batch ended.
bool AdvanceSecure(FtpBatch* batch, FtpAction action, WORD state);
// Every event of the control connection goes here first: true when the
// link took it (a handshake's, the handshake's end, which sends USER, or a
// failure, which ends the batch).
bool ControlLinkEvent(FtpBatch* batch, WORD event, WORD error);
// The control connection's TLS failed: reported (a plain close when it only
// ended without TLS's close after the handshake), and the batch ends.
void EndOnControlLinkFailure(FtpBatch* batch);
// A send or receive of the control connection failed: when its TLS failed,
// the batch ends from an event of its own.
void NoticeControlLinkFailure(FtpBatch* batch);
// Reports a TLS failure of the batch's target (its upload files, or the
// first only, wait to be retried where it may pass): the certificate of a
// refusal is kept for the target's page, and a refusal of the certificate
// refused before goes to the error log without a window.
void ReportTlsFailure(FtpBatch* batch, const TlsFailureInfo& info, bool firstOnly);
// The data connection's handshake, once it is up and the server's 1xx came.
void StartDataTlsWhenDue(FtpBatch* batch);
enum DataLinkResult { DATA_EVENT_PASS, DATA_EVENT_TAKEN, DATA_LINK_READY };
// Every event of the data connection goes here first. A failure ends the
// transfer as broken (taken).
DataLinkResult DataLinkEvent(FtpBatch* batch, WORD event, WORD error);

// The data side (ftpdata.cpp).
// The data connection broke: the file is not stored and the user hears of
// it, with the TLS layer's words when its TLS failed.
void EndBrokenTransfer(FtpBatch* batch);
// Fixes where a download goes, before it is listed: the restore folder as it
// is now, the stored file's name, and a part file of its own. ERR_SUCCESS, or
// ERR_DEST_OPEN when there is no restore folder or the paths do not fit.
int PlaceDownload(FtpBatch* batch);
void OnDataSocketEvent(FtpBatch* batch, SOCKET socket, WORD event, WORD error);
// The server's preliminary reply to STOR/RETR: data may flow now.
void OnServerReady(FtpBatch* batch);
// True while the upload in transfer has not sent its last byte and shut down its side: a server
// cannot have read the whole file before that.
bool UploadUnfinished(const FtpBatch* batch);
// The server said the upload was complete before it could have read the whole file: whatever it
// keeps is not the file. The upload is aborted and reported, and the next file starts.
void AbortEarlyConfirmedUpload(FtpBatch* batch);
// The server confirmed the file whose data connection ended whole: record
// and log it (uploads), put the download in place.
void ConfirmFinishedFile(FtpBatch* batch);
// Closes the data side of the file in transfer without storing anything:
// a download's part file is deleted, also one that ended whole but was not
// confirmed yet.
void AbandonTransfer(FtpBatch* batch);
// An upload in place that the server accepted and never confirmed: the
// stored name may hold part of the file now, so the record of the copy that
// was there, if any, is removed (an error-log line says so).
void ForgetCopyInPlace(FtpBatch* batch);
// Closes the data side's file and sockets; deletePart: a download's part
// file goes too.
void CloseTransfer(FtpBatch* batch, bool deletePart);
// Opens the source of an upload before the server is told to expect it;
// false when it cannot be read (GetLastError() says why).
bool OpenUploadSource(FtpBatch* batch);
// Passive mode: connects to the port the server named (host order) at the
// control connection's peer. False when the connect cannot be started.
bool ConnectPassiveData(FtpBatch* batch, WORD port);
// Passive mode, once the data connection is up: sends STOR or RETR; false
// when the command could not be made (the batch is then ending).
bool SendPassiveTransfer(FtpBatch* batch);
// Active mode: a listener on the control connection's local address; the
// port it announces (host order) in *port. False when none could be opened.
bool OpenDataListener(FtpBatch* batch, DWORD* address, WORD* port);
// The program-wide data port counter: increased before each bind.
WORD NextDataPort(void);
// Continues an upload or download that left work for later.
void ContinueTransfer(FtpBatch* batch);

// The batch saw progress now.
void TouchBatch(FtpBatch* batch);
// Starts the main thread's check for batches that have gone silent.
void ArmFtpWatchdog(void);
