// The FTP client's connections: plain sockets, or the system's TLS (Schannel through SSPI) over
// them, driven by the sockets' window messages without ever waiting.
#include "transfer/ftp/ftptls.h"

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS  // SCH_CREDENTIALS
#include <subauth.h>
#include <wincrypt.h>
#include <security.h>
#include <schannel.h>

#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

namespace {

enum LinkMode { MODE_PLAIN, MODE_HANDSHAKE, MODE_OPEN, MODE_FAILED };

// One receive: four whole TLS records (16 KiB and their overhead each) fit.
// Records are encrypted up to four at a time for one send: under Wine each
// socket call costs far more than encrypting a record.
enum { RECEIVE_CHUNK = 4 * 17 * 1024, SEND_RECORDS = 4, CLOSE_READ_ROUNDS = 16 };

const DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                            ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                            ISC_REQ_EXTENDED_ERROR | ISC_REQ_MANUAL_CRED_VALIDATION;

// A credential handle shared by a control connection and its data
// connections: the system resumes a TLS session only for the same handle
// and server name.
struct TlsCredential {
    CredHandle handle;
    int users;
};

// The system's TLS and certificate functions, looked up when the first
// encrypted connection starts rather than imported: a program importing
// Secur32 and Crypt32 would not start at all where they or these functions
// are missing (Windows 95, 98 or NT 4 without a later Internet Explorer),
// and plain FTP must work there.
struct SystemTls {
    PSecurityFunctionTableA sspi;
    decltype(&CertFreeCertificateContext) freeCertificate;
    decltype(&CertGetNameStringA) nameString;
    decltype(&CertCreateCertificateChainEngine) newEngine;
    decltype(&CertFreeCertificateChainEngine) freeEngine;
    decltype(&CertGetCertificateChain) buildChain;
    decltype(&CertVerifyCertificateChainPolicy) checkPolicy;
    decltype(&CertFreeCertificateChain) freeChain;
};

// From the system folder only: a DLL of that name beside the program or in
// the current folder is never taken for the system's.
HMODULE LoadSystemLibrary(const char* name)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + strlen(name) + 2 > MAX_PATH)
        return NULL;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryA(path);
}

template <typename F>
bool Find(HMODULE module, const char* name, F* out)
{
    *out =
        module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : NULL;
    return *out != NULL;
}

// NULL where the system has no TLS for us; loaded once (main thread only).
const SystemTls* LoadSystemTls(void)
{
    static SystemTls tls;
    static int state = 0;  // 1 loaded, -1 missing
    if (state == 0) {
        HMODULE secur32 = LoadSystemLibrary("secur32.dll");
        HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
        INIT_SECURITY_INTERFACE_A init = NULL;
        bool ok = Find(secur32, "InitSecurityInterfaceA", &init) && (tls.sspi = init()) != NULL &&
                  Find(crypt32, "CertFreeCertificateContext", &tls.freeCertificate) &&
                  Find(crypt32, "CertGetNameStringA", &tls.nameString) &&
                  Find(crypt32, "CertCreateCertificateChainEngine", &tls.newEngine) &&
                  Find(crypt32, "CertFreeCertificateChainEngine", &tls.freeEngine) &&
                  Find(crypt32, "CertGetCertificateChain", &tls.buildChain) &&
                  Find(crypt32, "CertVerifyCertificateChainPolicy", &tls.checkPolicy) &&
                  Find(crypt32, "CertFreeCertificateChain", &tls.freeChain);
        const SecurityFunctionTableA* f = tls.sspi;
        ok = ok && f->AcquireCredentialsHandleA && f->FreeCredentialHandle &&
             f->InitializeSecurityContextA && f->DeleteSecurityContext && f->ApplyControlToken &&
             f->QueryContextAttributesA && f->FreeContextBuffer && f->EncryptMessage &&
             f->DecryptMessage;
        state = ok ? 1 : -1;
    }
    return state == 1 ? &tls : NULL;
}

// Only links whose handshake started call these: the system's TLS is loaded then.
const SecurityFunctionTableA* Sspi(void)
{
    return LoadSystemTls()->sspi;
}
const SystemTls& Crypt(void)
{
    return *LoadSystemTls();
}

}  // namespace

struct FtpLink {
    SOCKET socket;
    HWND window;
    UINT msg;
    LinkMode mode;
    bool renegotiating;  // a handshake inside an open connection
    TlsCredential* credential;
    CtxtHandle context;
    bool hasContext;
    SecPkgContext_StreamSizes sizes;
    char server[256];
    char pinned[128];
    std::string in;     // received ciphertext not decrypted yet
    std::string plain;  // decrypted bytes not taken yet
    std::string out;    // ciphertext the socket has not taken yet
    bool closeWanted;   // our close is due: asked for, or the answer to the peer's
    bool closeReady;    // close_notify is in out (plain: at once)
    bool shutDown;      // the socket's sending side is shut down
    bool peerClosed;    // the peer's close_notify came
    bool peerEnded;     // the socket's end came
    bool readPosted;    // an FD_READ of ours waits in the queue
    bool writeWanted;   // a send was refused for the link's own reasons
    TlsFailureInfo failure;
};

namespace {

int WouldBlock(void)
{
    WSASetLastError(WSAEWOULDBLOCK);
    return SOCKET_ERROR;
}

void PostEvent(FtpLink* link, WORD event)
{
    if (link->window)
        PostMessageA(link->window, link->msg, static_cast<WPARAM>(link->socket),
                     WSAMAKESELECTREPLY(event, 0));
}

// A socket posts FD_READ again after a receive that left data behind; the
// link does the same for what it holds, as the socket itself may be empty.
void PostReadWhenHolding(FtpLink* link)
{
    if (!link->readPosted && (!link->plain.empty() || !link->in.empty())) {
        link->readPosted = true;
        PostEvent(link, FD_READ);
    }
}

// Keeps the first reason: what follows a failure is its consequence.
void Fail(FtpLink* link, TlsFailure failure, long status)
{
    if (link->mode == MODE_FAILED)
        return;
    link->mode = MODE_FAILED;
    link->failure.failure = failure;
    link->failure.status = status;
}

// What a failed link answers to send and receive.
int FailedResult(FtpLink* link)
{
    int error = WSAECONNABORTED;
    if (link->failure.failure == TLS_SOCKET_FAILED)
        error = static_cast<int>(link->failure.status);
    else if (link->failure.failure == TLS_TRUNCATED)
        error = WSAECONNRESET;
    WSASetLastError(error);
    return SOCKET_ERROR;
}

// Hands out to the socket. 1: nothing left; 0: the socket is full (an
// FD_WRITE follows) or still connecting; -1: the connection broke.
int Flush(FtpLink* link)
{
    while (!link->out.empty()) {
        int sent = send(link->socket, link->out.data(), static_cast<int>(link->out.size()), 0);
        if (sent == 0)
            return 0;
        if (sent == SOCKET_ERROR) {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK || error == WSAENOTCONN)
                return 0;
            // After the peer's clean close only our answer to it was lost.
            if (!link->peerClosed)
                Fail(link, link->mode == MODE_HANDSHAKE ? TLS_HANDSHAKE_DROPPED : TLS_SOCKET_FAILED,
                     error);
            return -1;
        }
        link->out.erase(0, static_cast<size_t>(sent));
    }
    if (link->closeReady && !link->shutDown) {
        shutdown(link->socket, SD_SEND);
        link->shutDown = true;
    }
    return 1;
}

// Appends the tokens SSPI produced to what goes out, and frees them.
void TakeTokens(FtpLink* link, SecBuffer* buffers, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!buffers[i].pvBuffer)
            continue;
        if (buffers[i].BufferType == SECBUFFER_TOKEN && buffers[i].cbBuffer)
            link->out.append(static_cast<const char*>(buffers[i].pvBuffer), buffers[i].cbBuffer);
        Sspi()->FreeContextBuffer(buffers[i].pvBuffer);
        buffers[i].pvBuffer = NULL;
    }
}

TlsCredential* AcquireTlsCredential(SECURITY_STATUS* status)
{
    TlsCredential* credential = new (std::nothrow) TlsCredential;
    if (!credential) {
        *status = SEC_E_INSUFFICIENT_MEMORY;
        return NULL;
    }
    // The certificate is ours to judge (pinned fingerprint or the system's
    // chain policy); no client certificate is ever offered.
    const DWORD flags =
        SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
    // Newer systems take SCH_CREDENTIALS, which lets them use TLS 1.3; older
    // ones know only SCHANNEL_CRED. Either way nothing older than TLS 1.2.
    TLS_PARAMETERS parameters;
    memset(&parameters, 0, sizeof parameters);
    parameters.grbitDisabledProtocols =
        SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
    SCH_CREDENTIALS modern;
    memset(&modern, 0, sizeof modern);
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = flags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    SEC_CHAR* package = const_cast<SEC_CHAR*>(UNISP_NAME_A);
    *status = Sspi()->AcquireCredentialsHandleA(NULL, package, SECPKG_CRED_OUTBOUND, NULL, &modern,
                                                NULL, NULL, &credential->handle, NULL);
    if (*status != SEC_E_OK) {
        SCHANNEL_CRED older;
        memset(&older, 0, sizeof older);
        older.dwVersion = SCHANNEL_CRED_VERSION;
        older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
        older.dwFlags = flags;
        *status = Sspi()->AcquireCredentialsHandleA(NULL, package, SECPKG_CRED_OUTBOUND, NULL,
                                                    &older, NULL, NULL, &credential->handle, NULL);
    }
    if (*status != SEC_E_OK) {
        delete credential;
        return NULL;
    }
    credential->users = 1;
    return credential;
}

void ReleaseCredential(TlsCredential* credential)
{
    if (credential && --credential->users == 0) {
        Sspi()->FreeCredentialHandle(&credential->handle);
        delete credential;
    }
}

// The system's verdict on a certificate for the server's name. Nothing is
// fetched from the network here (this is the main thread): revocation is
// judged from what the system has cached, and unknown revocation passes.
bool SystemTrusts(PCCERT_CONTEXT certificate, const char* server)
{
    WCHAR name[256];
    if (!server[0] || !MultiByteToWideChar(CP_ACP, 0, server, -1, name, 256))
        return false;
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH)};
    CERT_CHAIN_PARA chainPara;
    memset(&chainPara, 0, sizeof chainPara);
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    // An engine of its own sees roots trusted since the program started;
    // Wine's default engine keeps the roots it first saw.
    CERT_CHAIN_ENGINE_CONFIG config;
    memset(&config, 0, sizeof config);
    config.cbSize = sizeof config;
    HCERTCHAINENGINE engine = NULL;
    if (!Crypt().newEngine(&config, &engine))
        engine = NULL;  // the system's default
    PCCERT_CHAIN_CONTEXT chain = NULL;
    BOOL built = Crypt().buildChain(engine, certificate, NULL, certificate->hCertStore, &chainPara,
                                    CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL |
                                        CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT |
                                        CERT_CHAIN_REVOCATION_CHECK_CACHE_ONLY,
                                    NULL, &chain);
    if (engine)
        Crypt().freeEngine(engine);
    if (!built)
        return false;
    HTTPSPolicyCallbackData https;
    memset(&https, 0, sizeof https);
    https.cbStruct = sizeof https;
    https.dwAuthType = AUTHTYPE_SERVER;
    https.pwszServerName = name;
    CERT_CHAIN_POLICY_PARA policy;
    memset(&policy, 0, sizeof policy);
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    policy.pvExtraPolicyPara = &https;
    CERT_CHAIN_POLICY_STATUS result;
    memset(&result, 0, sizeof result);
    result.cbSize = sizeof result;
    bool trusted =
        Crypt().checkPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result) && result.dwError == 0;
    Crypt().freeChain(chain);
    return trusted;
}

// Reads the server's certificate into the failure record (a refusal shows
// it) and judges it. False when refused; the link is then failed.
bool CheckCertificate(FtpLink* link)
{
    PCCERT_CONTEXT certificate = NULL;
    SECURITY_STATUS status = Sspi()->QueryContextAttributesA(
        &link->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate);
    if (status != SEC_E_OK || !certificate) {
        Fail(link, TLS_NO_CERTIFICATE, status);
        return false;
    }
    TlsFailureInfo& f = link->failure;
    CertificateFingerprint(certificate->pbCertEncoded, certificate->cbCertEncoded, f.fingerprint);
    if (!Crypt().nameString(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, NULL, f.subject,
                            sizeof f.subject))
        f.subject[0] = '\0';
    SYSTEMTIME until;
    if (FileTimeToSystemTime(&certificate->pCertInfo->NotAfter, &until))
        snprintf(f.expiry, sizeof f.expiry, "%04u-%02u-%02u %02u:%02u UTC", until.wYear,
                 until.wMonth, until.wDay, until.wHour, until.wMinute);
    bool pinned = HasPinnedFingerprint(link->pinned);
    CertVerdict verdict = JudgeCertificate(link->pinned, f.fingerprint,
                                           !pinned && SystemTrusts(certificate, link->server));
    Crypt().freeCertificate(certificate);
    if (verdict == CERT_ACCEPTED)
        return true;
    Fail(link, verdict == CERT_CHANGED ? TLS_CERT_CHANGED : TLS_CERT_UNTRUSTED, 0);
    return false;
}

// Queues close_notify once the connection is open and the caller asked.
void QueueCloseNotify(FtpLink* link)
{
    if (link->closeReady || link->mode != MODE_OPEN)
        return;
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control = {sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc = {SECBUFFER_VERSION, 1, &control};
    SECURITY_STATUS status = Sspi()->ApplyControlToken(&link->context, &controlDesc);
    if (status != SEC_E_OK) {
        Fail(link, TLS_ENCRYPT_FAILED, status);
        return;
    }
    SecBuffer output = {0, SECBUFFER_TOKEN, NULL};
    SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, &output};
    ULONG attributes = 0;
    status = Sspi()->InitializeSecurityContextA(&link->credential->handle, &link->context,
                                                link->server, kContextFlags, 0, 0, NULL, 0,
                                                &link->context, &outputDesc, &attributes, NULL);
    TakeTokens(link, &output, 1);
    if (FAILED(status)) {
        Fail(link, TLS_ENCRYPT_FAILED, status);
        return;
    }
    link->closeReady = true;
}

void FinishHandshake(FtpLink* link)
{
    SECURITY_STATUS status =
        Sspi()->QueryContextAttributesA(&link->context, SECPKG_ATTR_STREAM_SIZES, &link->sizes);
    if (status != SEC_E_OK) {
        Fail(link, TLS_HANDSHAKE_FAILED, status);
        return;
    }
    // A renegotiation may bring another certificate: it is judged again.
    if (!CheckCertificate(link))
        return;
    link->mode = MODE_OPEN;
    link->renegotiating = false;
    if (link->closeWanted) {
        QueueCloseNotify(link);
        Flush(link);
    }
    PostReadWhenHolding(link);
    if (link->writeWanted && link->mode == MODE_OPEN) {
        link->writeWanted = false;
        PostEvent(link, FD_WRITE);
    }
}

// Feeds what came in to the handshake and sends what it answers. Returns
// when it needs more from the server, has ended (open) or failed. start:
// call the system even without input (the first message, or a renegotiation
// the server asked for).
void RunHandshake(FtpLink* link, bool start)
{
    bool retried = false;
    while (link->mode == MODE_HANDSHAKE) {
        if (link->in.empty() && !start)
            return;
        start = false;
        // An empty input still points somewhere (a renegotiation may start without one).
        SecBuffer input[2] = {{static_cast<ULONG>(link->in.size()), SECBUFFER_TOKEN, &link->in[0]},
                              {0, SECBUFFER_EMPTY, NULL}};
        SecBufferDesc inputDesc = {SECBUFFER_VERSION, 2, input};
        SecBuffer output = {0, SECBUFFER_TOKEN, NULL};
        SecBufferDesc outputDesc = {SECBUFFER_VERSION, 1, &output};
        ULONG attributes = 0;
        SECURITY_STATUS status = Sspi()->InitializeSecurityContextA(
            &link->credential->handle, link->hasContext ? &link->context : NULL, link->server,
            kContextFlags, 0, 0, link->hasContext ? &inputDesc : NULL, 0, &link->context,
            &outputDesc, &attributes, NULL);
        if (!link->hasContext && !FAILED(status))
            link->hasContext = true;
        TakeTokens(link, &output, 1);
        if (status == SEC_E_INCOMPLETE_MESSAGE)
            return;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !retried) {
            // The server asks for a client certificate: there is none, and
            // the same input goes again to say so.
            retried = start = true;
            continue;
        }
        if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED) {
            Flush(link);  // the system's alert, when it made one
            Fail(link, TLS_HANDSHAKE_FAILED, status);
            return;
        }
        // What the system did not use belongs to the next message.
        size_t extra = input[1].BufferType == SECBUFFER_EXTRA ? input[1].cbBuffer : 0;
        link->in.erase(0, link->in.size() - (extra < link->in.size() ? extra : link->in.size()));
        if (Flush(link) < 0)
            return;
        if (status == SEC_E_OK)
            FinishHandshake(link);
    }
}

// One receive for the handshake; false when nothing came.
bool ReadHandshake(FtpLink* link)
{
    static char chunk[RECEIVE_CHUNK];
    int got = recv(link->socket, chunk, sizeof chunk, 0);
    if (got > 0) {
        link->in.append(chunk, static_cast<size_t>(got));
        RunHandshake(link, false);
        return true;
    }
    int error = got == 0 ? 0 : WSAGetLastError();
    if (error != WSAEWOULDBLOCK)
        Fail(link, TLS_HANDSHAKE_DROPPED, error);
    return false;
}

enum Decrypted { DECRYPTED, DECRYPT_MORE, DECRYPT_RENEGOTIATE, DECRYPT_CLOSED, DECRYPT_FAILED };

// Decrypts the first record of what came in.
Decrypted DecryptRecord(FtpLink* link)
{
    // Wine reports the peer's close_notify as an alert record (TLS 1.2 shows
    // the record's type in clear) that decrypts to nothing; Windows says
    // SEC_I_CONTEXT_EXPIRED. Other alerts fail the decryption on both.
    const char kAlertRecord = 21;
    bool alert = link->in[0] == kAlertRecord;
    size_t plainBefore = link->plain.size();
    SecBuffer buffers[4] = {{static_cast<ULONG>(link->in.size()), SECBUFFER_DATA, &link->in[0]},
                            {0, SECBUFFER_EMPTY, NULL},
                            {0, SECBUFFER_EMPTY, NULL},
                            {0, SECBUFFER_EMPTY, NULL}};
    SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = Sspi()->DecryptMessage(&link->context, &desc, 0, NULL);
    if (status == SEC_E_INCOMPLETE_MESSAGE)
        return DECRYPT_MORE;
    if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
        Fail(link, TLS_DECRYPT_FAILED, status);
        return DECRYPT_FAILED;
    }
    // The plaintext lies inside the input: it is copied before the record
    // leaves the input.
    size_t extra = 0;
    for (SecBuffer& b : buffers) {
        if (b.BufferType == SECBUFFER_DATA && b.cbBuffer && b.pvBuffer)
            link->plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
        else if (b.BufferType == SECBUFFER_EXTRA)
            extra = b.cbBuffer;
    }
    link->in.erase(0, link->in.size() - (extra < link->in.size() ? extra : link->in.size()));
    if (status == SEC_I_CONTEXT_EXPIRED ||
        (status == SEC_E_OK && alert && link->plain.size() == plainBefore))
        return DECRYPT_CLOSED;
    return status == SEC_I_RENEGOTIATE ? DECRYPT_RENEGOTIATE : DECRYPTED;
}

}  // namespace

FtpLink* NewFtpLink(SOCKET socket, HWND window, UINT msg)
{
    FtpLink* link = new (std::nothrow) FtpLink();
    if (!link)
        return NULL;
    link->socket = socket;
    link->window = window;
    link->msg = msg;
    link->mode = MODE_PLAIN;
    return link;
}

SOCKET FreeFtpLink(FtpLink* link)
{
    if (!link)
        return INVALID_SOCKET;
    SOCKET socket = link->socket;
    if (link->hasContext)
        Sspi()->DeleteSecurityContext(&link->context);
    ReleaseCredential(link->credential);
    delete link;
    return socket;
}

SOCKET FtpLinkSocket(const FtpLink* link)
{
    return link ? link->socket : INVALID_SOCKET;
}

bool StartTlsHandshake(FtpLink* link, const char* server, const char* pinned, FtpLink* share)
{
    if (!link || link->mode != MODE_PLAIN)
        return false;
    lstrcpynA(link->server, server ? server : "", sizeof link->server);
    lstrcpynA(link->pinned, pinned ? pinned : "", sizeof link->pinned);
    link->mode = MODE_HANDSHAKE;
    if (!LoadSystemTls()) {
        Fail(link, TLS_NO_CREDENTIALS, SEC_E_SECPKG_NOT_FOUND);
        return false;
    }
    if (share && share->credential) {
        link->credential = share->credential;
        ++link->credential->users;
    } else {
        SECURITY_STATUS status = SEC_E_OK;
        link->credential = AcquireTlsCredential(&status);
        if (!link->credential) {
            Fail(link, TLS_NO_CREDENTIALS, status);
            return false;
        }
    }
    RunHandshake(link, true);
    return link->mode != MODE_FAILED;
}

FtpLinkEvent OnFtpLinkEvent(FtpLink* link, WORD event, WORD error)
{
    if (!link || link->mode == MODE_PLAIN)
        return LINK_PASS;
    if (link->mode == MODE_FAILED)
        return LINK_HANDLED;
    bool handshaking = link->mode == MODE_HANDSHAKE;
    bool first = handshaking && !link->renegotiating;
    switch (event) {
    case FD_READ:
        link->readPosted = false;
        if (!handshaking)
            return LINK_PASS;
        ReadHandshake(link);
        break;
    case FD_WRITE:
        if (Flush(link) > 0 && !handshaking)
            return LINK_PASS;
        break;
    case FD_CLOSE:
        if (!handshaking)
            return LINK_PASS;
        // What the server sent before it closed (an alert, say) still counts.
        for (int i = 0; i < CLOSE_READ_ROUNDS && link->mode == MODE_HANDSHAKE; ++i)
            if (!ReadHandshake(link))
                break;
        Fail(link, TLS_HANDSHAKE_DROPPED, error);
        break;
    default:
        return LINK_PASS;
    }
    if (link->mode == MODE_FAILED)
        return LINK_FAILED;
    if (handshaking && link->mode == MODE_OPEN)
        return first ? LINK_READY : LINK_HANDLED;
    return LINK_HANDLED;
}

int SendFtpLink(FtpLink* link, const char* data, int size)
{
    if (!link) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    if (link->mode == MODE_PLAIN)
        return send(link->socket, data, size, 0);
    if (link->mode == MODE_FAILED)
        return FailedResult(link);
    if (link->closeWanted) {
        WSASetLastError(WSAESHUTDOWN);
        return SOCKET_ERROR;
    }
    if (link->mode == MODE_HANDSHAKE) {
        link->writeWanted = true;
        return WouldBlock();
    }
    // A few records at a time: what the caller counts as sent is never more
    // than those records ahead of what the socket has taken.
    int flushed = Flush(link);
    if (flushed < 0)
        return FailedResult(link);
    if (flushed == 0)
        return WouldBlock();
    if (size <= 0)
        return 0;
    const SecPkgContext_StreamSizes& s = link->sizes;
    ULONG taken = 0;
    link->out.clear();
    for (int n = 0; n < SEND_RECORDS && taken < static_cast<ULONG>(size); ++n) {
        ULONG take = static_cast<ULONG>(size) - taken;
        if (take > s.cbMaximumMessage)
            take = s.cbMaximumMessage;
        size_t at = link->out.size();
        link->out.resize(at + s.cbHeader + take + s.cbTrailer);
        char* record = &link->out[at];
        memcpy(record + s.cbHeader, data + taken, take);
        SecBuffer buffers[4] = {{s.cbHeader, SECBUFFER_STREAM_HEADER, record},
                                {take, SECBUFFER_DATA, record + s.cbHeader},
                                {s.cbTrailer, SECBUFFER_STREAM_TRAILER, record + s.cbHeader + take},
                                {0, SECBUFFER_EMPTY, NULL}};
        SecBufferDesc desc = {SECBUFFER_VERSION, 4, buffers};
        SECURITY_STATUS status = Sspi()->EncryptMessage(&link->context, 0, &desc, 0);
        if (status != SEC_E_OK) {
            link->out.clear();
            Fail(link, TLS_ENCRYPT_FAILED, status);
            return FailedResult(link);
        }
        // The trailer may come out shorter than the room left for it.
        link->out.resize(at + buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
        taken += take;
    }
    if (Flush(link) < 0)
        return FailedResult(link);
    return static_cast<int>(taken);
}

int ReceiveFtpLink(FtpLink* link, char* buffer, int size)
{
    if (!link) {
        WSASetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    if (link->mode == MODE_PLAIN)
        return recv(link->socket, buffer, size, 0);
    static char chunk[RECEIVE_CHUNK];
    for (;;) {
        if (!link->plain.empty() && size > 0) {
            size_t n = link->plain.size() < static_cast<size_t>(size) ? link->plain.size()
                                                                      : static_cast<size_t>(size);
            memcpy(buffer, link->plain.data(), n);
            link->plain.erase(0, n);
            PostReadWhenHolding(link);
            return static_cast<int>(n);
        }
        if (link->peerClosed)
            return 0;
        if (link->mode == MODE_FAILED)
            return FailedResult(link);
        if (link->mode == MODE_HANDSHAKE)
            return WouldBlock();
        if (!link->in.empty()) {
            Decrypted result = DecryptRecord(link);
            if (result == DECRYPT_CLOSED) {
                // TLS asks for a close_notify in answer (vsftpd waits for it
                // before it confirms the transfer).
                link->peerClosed = link->closeWanted = true;
                QueueCloseNotify(link);
                Flush(link);
            }
            if (result == DECRYPT_RENEGOTIATE) {
                link->mode = MODE_HANDSHAKE;
                link->renegotiating = true;
                RunHandshake(link, true);
            }
            if (result != DECRYPT_MORE)
                continue;
        }
        if (link->peerEnded) {
            Fail(link, TLS_TRUNCATED, 0);
            continue;
        }
        int got = recv(link->socket, chunk, sizeof chunk, 0);
        if (got > 0) {
            link->in.append(chunk, static_cast<size_t>(got));
        } else if (got == 0) {
            link->peerEnded = true;
        } else {
            int error = WSAGetLastError();
            if (error == WSAEWOULDBLOCK)
                return WouldBlock();
            Fail(link, TLS_SOCKET_FAILED, error);
        }
    }
}

bool ShutdownFtpLink(FtpLink* link)
{
    if (!link || link->mode == MODE_FAILED)
        return false;
    link->closeWanted = true;
    if (link->mode == MODE_PLAIN) {
        link->closeReady = link->shutDown = true;
        return shutdown(link->socket, SD_SEND) == 0;
    }
    // During a handshake the close waits for its end.
    QueueCloseNotify(link);
    return Flush(link) >= 0 && link->mode != MODE_FAILED;
}

bool FtpLinkSentAll(const FtpLink* link)
{
    return link && (link->mode == MODE_PLAIN || link->shutDown);
}

bool FtpLinkIsTls(const FtpLink* link)
{
    return link && link->mode != MODE_PLAIN;
}

bool FtpLinkReady(const FtpLink* link)
{
    return link && (link->mode == MODE_PLAIN || link->mode == MODE_OPEN);
}

const TlsFailureInfo& FtpLinkFailure(const FtpLink* link)
{
    static const TlsFailureInfo none = TlsFailureInfo();
    return link ? link->failure : none;
}
