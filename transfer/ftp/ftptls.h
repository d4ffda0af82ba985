// A connection of the FTP client: a non-blocking socket whose bytes pass through unchanged, or run
// through the system's TLS (Schannel) once a handshake is started on it.
#pragma once
#include <windows.h>
#include <winsock2.h>

#include "transfer/ftp/ftptlsrules.h"

// Opaque: what it holds is SSPI's business. Main thread only, like the
// client's sockets.
struct FtpLink;

// A link over a socket (connected or still connecting) that reports its
// events as msg to window. It is plain until StartTlsHandshake. The link
// behaves like a socket towards that window: while it holds decrypted bytes
// that were not taken yet it posts msg with FD_READ itself, and when it can
// take data again after refusing a send for its own reasons it posts
// FD_WRITE. NULL when memory runs out (the socket stays the caller's).
FtpLink* NewFtpLink(SOCKET socket, HWND window, UINT msg);
// Frees the link with its TLS state and returns its socket, which the caller
// closes (RetireSocket). NULL gives INVALID_SOCKET.
SOCKET FreeFtpLink(FtpLink* link);
SOCKET FtpLinkSocket(const FtpLink* link);

// Starts the TLS client handshake. server: the target's address, checked
// against the certificate and naming the session to resume. pinned: the
// target's stored fingerprint, or NULL/"" for none. share: a link whose
// credential to reuse (the control connection's, for a data connection, so
// that the system can resume its session); NULL for a credential of its own.
// Call it once the connection is up; on a data connection also only after
// the server's 1xx reply to STOR/RETR (pyftpdlib drops a data connection
// whose handshake comes first). The first message goes out now, or on the
// next FD_WRITE. False when the system's TLS cannot be set up (FtpLinkFailure
// says why); the link is then failed.
bool StartTlsHandshake(FtpLink* link, const char* server, const char* pinned, FtpLink* share);

enum FtpLinkEvent {
    LINK_PASS,     // the caller handles the event as it would for a plain socket
    LINK_HANDLED,  // the link used the event; nothing for the caller to do
    LINK_READY,    // the handshake ended and the certificate was accepted
    LINK_FAILED,   // the link failed now: FtpLinkFailure says at which step
};
// Every event of the link's socket goes here first (event and error as
// WSAAsyncSelect gives them). A plain link always answers LINK_PASS. In a
// handshake, FD_READ/FD_WRITE drive it and FD_CLOSE fails it; on
// an open link FD_WRITE first sends what the socket did not take earlier and
// passes only once that is out, and FD_CLOSE passes (then receive until 0 or
// an error to learn how the peer closed). Events of a failed link answer
// LINK_HANDLED, so that a failure is reported once. FD_CONNECT and FD_ACCEPT
// always pass.
FtpLinkEvent OnFtpLinkEvent(FtpLink* link, WORD event, WORD error);

// send() of plaintext: the number of bytes taken (at most four TLS records'
// worth, 64 KiB, per call), or SOCKET_ERROR with WSAGetLastError() WSAEWOULDBLOCK
// (an FD_WRITE follows when data can be taken again) or the error that broke
// the link. Bytes taken are the link's: it hands them all to the socket
// before its close (FtpLinkSentAll). During a handshake it takes nothing.
int SendFtpLink(FtpLink* link, const char* data, int size);

// recv() of plaintext: the number of bytes, 0 once the peer closed cleanly
// (TLS: its close_notify came, which the link answers with its own, as
// vsftpd waits for that before its 226; plain: the socket's end), or
// SOCKET_ERROR with WSAEWOULDBLOCK when nothing is there now. A TLS link
// whose connection ends without close_notify answers SOCKET_ERROR with
// WSAECONNRESET and fails with TLS_TRUNCATED: data cut off by an attacker or
// a broken server must not pass for a whole file.
int ReceiveFtpLink(FtpLink* link, char* buffer, int size);

// Ends the sending side: TLS sends close_notify after everything taken, then
// the socket is shut down for sending (plain: at once). What the socket does
// not take now goes out on the next FD_WRITE. False when the link failed.
bool ShutdownFtpLink(FtpLink* link);
// True when every byte taken (and a TLS link's close_notify) was handed to
// the socket after ShutdownFtpLink. A plain link has nothing of its own to
// send: true.
bool FtpLinkSentAll(const FtpLink* link);

bool FtpLinkIsTls(const FtpLink* link);
// The handshake ended and the certificate was accepted (plain: always).
bool FtpLinkReady(const FtpLink* link);
// Why the link failed (TLS_FINE while it did not), and the server's
// certificate (fingerprint, subject, expiry) once the handshake has seen it,
// accepted or refused.
const TlsFailureInfo& FtpLinkFailure(const FtpLink* link);
