// Encrypted FTP without sockets: SHA-256 fingerprints, the certificate verdict and the failure
// texts.
#include "transfer/ftp/ftptlsrules.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace {

// SHA-256 (FIPS 180-4) of our own: the CryptoAPI of older systems has no
// SHA-256, and a fingerprint must come out the same on every system.
const DWORD kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

DWORD Rotate(DWORD x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void CompressBlock(DWORD state[8], const BYTE block[64])
{
    DWORD w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = (DWORD)block[4 * i] << 24 | (DWORD)block[4 * i + 1] << 16 |
               (DWORD)block[4 * i + 2] << 8 | block[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
        DWORD s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        DWORD s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    DWORD v[8];
    memcpy(v, state, sizeof v);
    for (int i = 0; i < 64; ++i) {
        DWORD e = v[4], a = v[0];
        DWORD t1 = v[7] + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) +
                   ((e & v[5]) ^ (~e & v[6])) + kRound[i] + w[i];
        DWORD t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) +
                   ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
        memmove(v + 1, v, 7 * sizeof v[0]);
        v[4] += t1;
        v[0] = t1 + t2;
    }
    for (int i = 0; i < 8; ++i)
        state[i] += v[i];
}

// The certificate lines of a refusal: what the user compares with the
// server's administrator.
int CertificateLines(const TlsFailureInfo& info, char* out, size_t size)
{
    return snprintf(out, size, "\r\nSHA-256 fingerprint: %s\r\nSubject: %s\r\nValid until: %s\r\n",
                    info.fingerprint, info.subject[0] ? info.subject : "(none)",
                    info.expiry[0] ? info.expiry : "(unknown)");
}

// A few words on the SSPI codes a user meets in a handshake.
const char* HandshakeReason(long status)
{
    switch (static_cast<unsigned long>(status)) {
    case 0x80090331UL:  // SEC_E_ALGORITHM_MISMATCH
        return "the server and this system have no TLS version or cipher in common";
    case 0x80090326UL:  // SEC_E_ILLEGAL_MESSAGE
        return "the server sent a message that TLS does not allow, or refused this system's";
    case 0x80090322UL:  // SEC_E_WRONG_PRINCIPAL
        return "the certificate is for another name";
    default:
        return "the system's TLS gave up";
    }
}

}  // namespace

void CertificateFingerprint(const BYTE* der, size_t size, char out[TLS_FINGERPRINT_SIZE])
{
    DWORD state[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    size_t whole = size - size % 64;
    for (size_t at = 0; at < whole; at += 64)
        CompressBlock(state, der + at);
    // The tail, the 0x80 marker and the length in bits fill one or two blocks.
    BYTE tail[128];
    memset(tail, 0, sizeof tail);
    size_t rest = size - whole;
    if (rest)
        memcpy(tail, der + whole, rest);
    tail[rest] = 0x80;
    size_t blocks = rest < 56 ? 1 : 2;
    unsigned long long bits = static_cast<unsigned long long>(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[blocks * 64 - 1 - i] = static_cast<BYTE>(bits >> (8 * i));
    for (size_t b = 0; b < blocks; ++b)
        CompressBlock(state, tail + 64 * b);
    for (int i = 0; i < 8; ++i)
        snprintf(out + 8 * i, 9, "%08lX", static_cast<unsigned long>(state[i]));
}

bool SameFingerprint(const char* pinned, const char* fingerprint)
{
    if (!pinned || !fingerprint)
        return false;
    size_t at = 0;
    for (const char* p = pinned; *p; ++p) {
        if (*p == ':' || *p == ' ')
            continue;
        if (at >= 64 || toupper(static_cast<unsigned char>(*p)) != fingerprint[at])
            return false;
        ++at;
    }
    return at == 64 && fingerprint[64] == '\0';
}

bool HasPinnedFingerprint(const char* pinned)
{
    return pinned && *pinned;
}

bool StoredFingerprint(const char* typed, char out[TLS_FINGERPRINT_SIZE])
{
    size_t at = 0;
    out[0] = '\0';
    for (const char* p = typed ? typed : ""; *p; ++p) {
        if (*p == ':' || *p == ' ')
            continue;
        if (at >= 64 || !isxdigit(static_cast<unsigned char>(*p)))
            return false;
        out[at++] = static_cast<char>(toupper(static_cast<unsigned char>(*p)));
    }
    bool whole = at == 64 || at == 0;
    out[whole ? at : 0] = '\0';
    return whole;
}

bool TlsFailureLasts(TlsFailure failure)
{
    switch (failure) {
    case TLS_HANDSHAKE_DROPPED:
    case TLS_ENCRYPT_FAILED:
    case TLS_DECRYPT_FAILED:
    case TLS_TRUNCATED:
    case TLS_SOCKET_FAILED:
        return false;
    default:
        return true;
    }
}

CertVerdict JudgeCertificate(const char* pinned, const char* fingerprint, bool systemTrusts)
{
    if (HasPinnedFingerprint(pinned))
        return SameFingerprint(pinned, fingerprint) ? CERT_ACCEPTED : CERT_CHANGED;
    return systemTrusts ? CERT_ACCEPTED : CERT_UNTRUSTED;
}

void DescribeTlsFailure(const TlsFailureInfo& info, const char* server, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    if (!server)
        server = "";
    unsigned long code = static_cast<unsigned long>(info.status);
    char certificate[512];
    CertificateLines(info, certificate, sizeof certificate);
    switch (info.failure) {
    case TLS_FINE:
        snprintf(out, size, "The encrypted connection to %s works.", server);
        break;
    case TLS_NOT_OFFERED:
        snprintf(out, size,
                 "The FTP server %s does not offer encryption (it refused AUTH TLS). Neither your "
                 "password nor any file was sent. Ask the server's administrator to switch on FTPS "
                 "(explicit, "
                 "AUTH TLS), or switch encryption off for this target.",
                 server);
        break;
    case TLS_NO_CREDENTIALS:
        snprintf(out, size,
                 "This system's TLS could not be prepared for the connection to %s (code "
                 "0x%08lX). Encrypted FTP needs a Windows version that offers TLS 1.2; on an "
                 "older system switch encryption off for this target.",
                 server, code);
        break;
    case TLS_HANDSHAKE_FAILED:
        snprintf(out, size,
                 "The TLS handshake with %s failed: %s (code 0x%08lX). Ask the server's "
                 "administrator to allow TLS 1.2 or later with current ciphers.",
                 server, HandshakeReason(info.status), code);
        break;
    case TLS_HANDSHAKE_DROPPED:
        snprintf(out, size,
                 "The server %s ended the connection during the TLS handshake. It may not speak "
                 "TLS on this port, or accept none of the TLS versions this system offers. Check "
                 "that the port is the server's FTP port (explicit FTPS, not the implicit FTPS "
                 "port 990) and ask the server's administrator.",
                 server);
        break;
    case TLS_NO_CERTIFICATE:
        snprintf(out, size,
                 "The certificate of %s could not be read (code 0x%08lX), so the server could "
                 "not be checked and nothing was sent. Ask the server's administrator.",
                 server, code);
        break;
    case TLS_CERT_UNTRUSTED:
        snprintf(out, size,
                 "The certificate of %s is not trusted by this system, so nothing was sent.%sIf "
                 "this is your server's certificate (compare the fingerprint with the one its "
                 "administrator gives you), trust it: in the item's properties choose this "
                 "target on the FTP Synchronization page and click \"Trust It\".",
                 server, certificate);
        break;
    case TLS_CERT_CHANGED:
        snprintf(out, size,
                 "The certificate of %s is not the one trusted for this target, so nothing was "
                 "sent.%sThe server may have a new certificate, or someone may be intercepting "
                 "the connection. Ask the server's administrator for the new fingerprint before "
                 "you trust it (the target's FTP Synchronization page, \"Trust It\").",
                 server, certificate);
        break;
    case TLS_ENCRYPT_FAILED:
    case TLS_DECRYPT_FAILED:
        snprintf(out, size,
                 "The encrypted connection to %s failed while %s data (code 0x%08lX): the data "
                 "was damaged or the server broke the TLS rules. The transfer was not counted; "
                 "if it keeps happening, check the network and the server's log.",
                 server, info.failure == TLS_ENCRYPT_FAILED ? "encrypting" : "decrypting", code);
        break;
    case TLS_TRUNCATED:
        snprintf(out, size,
                 "The encrypted connection to %s ended without TLS's own close, so the data may "
                 "be incomplete and the transfer was not counted. If it keeps happening, check "
                 "the network and the server's log.",
                 server);
        break;
    case TLS_PROT_REFUSED:
        snprintf(out, size,
                 "The FTP server %s refused to encrypt the data connections (PBSZ 0 / PROT P), "
                 "so no file was sent: the files would have gone in clear. Ask the server's "
                 "administrator to allow protected data connections, or switch encryption off "
                 "for this target.",
                 server);
        break;
    case TLS_SOCKET_FAILED:
        snprintf(out, size,
                 "The encrypted connection to %s broke (Windows Sockets error %ld). The transfer "
                 "was not counted; check the network and the server.",
                 server, info.status);
        break;
    }
}
