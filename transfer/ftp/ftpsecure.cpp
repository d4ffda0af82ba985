// Encrypted FTP in the client: AUTH TLS and the handshakes, PBSZ and PROT, the events of
// encrypted connections, and the reports of their failures.
#include "transfer/ftp/ftpclient.h"

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "transfer/ftp/ftptls.h"

#include <stdio.h>
#include <string.h>

namespace {

// The certificate a data connection must show: the one its control
// connection showed and had accepted, pinned or trusted by the system. The
// system is then not asked again for every file, and a data connection
// cannot lead to another server.
const char* DataPin(FtpBatch* batch)
{
    const char* seen = FtpLinkFailure(batch->controlLink).fingerprint;
    return seen[0] ? seen : batch->target.fingerprint;
}

// The server will not encrypt: the failure is told, and the session ends
// before a password or file could go in clear.
void RefuseInClear(FtpBatch* batch, TlsFailure failure)
{
    TlsFailureInfo info = TlsFailureInfo();
    info.failure = failure;
    ReportTlsFailure(batch, info, false);
    AbandonTransfer(batch);
    SendQuit(batch);
}

}  // namespace

bool LinkFailed(const FtpLink* link)
{
    return link && FtpLinkFailure(link).failure != TLS_FINE;
}

void RetireLink(FtpLink** link, SOCKET* socket)
{
    if (*link)
        *socket = FreeFtpLink(*link);
    *link = NULL;
    RetireSocket(*socket);
    *socket = INVALID_SOCKET;
}

void ReportTlsFailure(FtpBatch* batch, const TlsFailureInfo& info, bool firstOnly)
{
    int code = TlsFailureLasts(info.failure) ? ERR_TLS_REFUSED : ERR_TLS_FAILED;
    // A certificate refused before was shown then: the log still hears of it.
    bool news = true;
    if (info.failure == TLS_CERT_UNTRUSTED || info.failure == TLS_CERT_CHANGED) {
        RefusedCertificate refused;
        lstrcpynA(refused.fingerprint, info.fingerprint, sizeof refused.fingerprint);
        lstrcpynA(refused.subject, info.subject, sizeof refused.subject);
        lstrcpynA(refused.expiry, info.expiry, sizeof refused.expiry);
        news = NoteRefusedCertificate(batch->localPath, batch->targetId, &refused) != 0;
    }
    if (!NoteFtpFailure(batch, code, 0, firstOnly))
        return;
    char detail[1024];
    DescribeTlsFailure(info, batch->target.address, detail, sizeof detail);
    ErrorReport report;
    FillErrorReport(&report, code, batch->target.address);
    report.detail = detail;
    if (news)
        ReportError(&report);
    else
        LogErrorReport(&report);
}

bool AdvanceSecure(FtpBatch* batch, FtpAction action, WORD state)
{
    switch (action) {
    case FTP_SEND_AUTH:
        SetFtpState(batch, state);
        SendFtpCommand(batch, "AUTH TLS\r\n");
        break;
    case FTP_START_TLS:
        SetFtpState(batch, state);
        if (!StartTlsHandshake(batch->controlLink, batch->target.address, batch->target.fingerprint,
                               NULL)) {
            ReportTlsFailure(batch, FtpLinkFailure(batch->controlLink), false);
            CloseBatch(batch, true);
            return false;
        }
        break;
    case FTP_TLS_NOT_OFFERED:
        RefuseInClear(batch, TLS_NOT_OFFERED);
        break;
    case FTP_SEND_PBSZ:
        SetFtpState(batch, state);
        SendFtpCommand(batch, "PBSZ 0\r\n");
        break;
    case FTP_SEND_PROT:
        SetFtpState(batch, state);
        SendFtpCommand(batch, "PROT P\r\n");
        break;
    case FTP_PROT_REFUSED:
        RefuseInClear(batch, TLS_PROT_REFUSED);
        break;
    default:
        break;
    }
    return true;
}

bool ControlLinkEvent(FtpBatch* batch, WORD event, WORD error)
{
    switch (OnFtpLinkEvent(batch->controlLink, event, error)) {
    case LINK_PASS:
        return false;
    case LINK_READY:
        TouchBatch(batch);
        SendUser(batch);
        return true;
    case LINK_HANDLED:
        // A failed link answers every event so: the first one after the
        // failure ends the batch, whichever it is.
        if (!LinkFailed(batch->controlLink)) {
            TouchBatch(batch);
            return true;
        }
        break;
    case LINK_FAILED:
        break;
    }
    EndOnControlLinkFailure(batch);
    return true;
}

void EndOnControlLinkFailure(FtpBatch* batch)
{
    TlsFailureInfo info = FtpLinkFailure(batch->controlLink);
    // A connection that ended or broke after the handshake is a closed
    // connection like any other; one whose TLS failed is told as such.
    if (batch->state == FTP_STATE_HANDSHAKE ||
        (info.failure != TLS_TRUNCATED && info.failure != TLS_SOCKET_FAILED)) {
        if (batch->state != FTP_STATE_QUIT)
            ReportTlsFailure(batch, info, false);
        CloseBatch(batch, true);
        return;
    }
    EndClosedBatch(batch);
}

void NoticeControlLinkFailure(FtpBatch* batch)
{
    // The send or receive that found it cannot end the batch under its
    // caller; an event of its own does, as a failed link passes none on.
    if (LinkFailed(batch->controlLink))
        PostMessageA(Client().window, UM_FTPCONTROL, batch->control,
                     WSAMAKESELECTREPLY(FD_WRITE, 0));
}

void StartDataTlsWhenDue(FtpBatch* batch)
{
    FtpTransfer& t = batch->current;
    // Both the connection and the server's 1xx first: a server may drop a
    // data connection whose handshake comes before it said it was ready.
    if (!batch->target.tls || !t.link || t.connecting || !t.serverReady || FtpLinkIsTls(t.link))
        return;
    if (!StartTlsHandshake(t.link, batch->target.address, DataPin(batch), batch->controlLink))
        EndBrokenTransfer(batch);
}

DataLinkResult DataLinkEvent(FtpBatch* batch, WORD event, WORD error)
{
    FtpTransfer& t = batch->current;
    switch (OnFtpLinkEvent(t.link, event, error)) {
    case LINK_PASS:
        return DATA_EVENT_PASS;
    case LINK_READY:
        TouchBatch(batch);
        return DATA_LINK_READY;
    case LINK_HANDLED:
        if (!LinkFailed(t.link)) {
            TouchBatch(batch);
            return DATA_EVENT_TAKEN;
        }
        break;
    case LINK_FAILED:
        break;
    }
    EndBrokenTransfer(batch);
    return DATA_EVENT_TAKEN;
}
