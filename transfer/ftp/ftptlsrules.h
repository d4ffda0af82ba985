// Encrypted FTP without sockets: certificate fingerprints, the verdict on a server's certificate,
// and the texts that say which step of TLS failed and what the user can do.
#pragma once
#include <windows.h>

#include <stddef.h>

// A SHA-256 fingerprint: 64 upper-case hexadecimal digits and a NUL.
enum { TLS_FINGERPRINT_SIZE = 65 };

// The fingerprint of a certificate: SHA-256 of its DER bytes, as openssl's
// "x509 -noout -fingerprint -sha256" prints it without the colons.
void CertificateFingerprint(const BYTE* der, size_t size, char out[TLS_FINGERPRINT_SIZE]);

// True when pinned names the same fingerprint. A stored value is compared
// without colons or spaces and in either case, so that openssl's own output
// pasted by hand still matches; anything else matches nothing.
bool SameFingerprint(const char* pinned, const char* fingerprint);

enum CertVerdict { CERT_ACCEPTED, CERT_UNTRUSTED, CERT_CHANGED };

// A pinned fingerprint is the only certificate accepted, whatever the
// system thinks of it; without one the system's trust for the server's name
// decides (the caller need not ask the system when something is pinned).
CertVerdict JudgeCertificate(const char* pinned, const char* fingerprint, bool systemTrusts);
// True when a fingerprint is stored for the target.
bool HasPinnedFingerprint(const char* pinned);
// A fingerprint as typed or pasted, as it is stored: colons and spaces left
// out, upper case. True with out empty for a blank text, with the 64 digits
// for a fingerprint; false for anything else.
bool StoredFingerprint(const char* typed, char out[TLS_FINGERPRINT_SIZE]);

// The step of an encrypted connection that failed.
enum TlsFailure {
    TLS_FINE = 0,
    TLS_NOT_OFFERED,        // the server refused AUTH TLS
    TLS_NO_CREDENTIALS,     // the system's TLS could not be set up
    TLS_HANDSHAKE_FAILED,   // the handshake was refused by either side
    TLS_HANDSHAKE_DROPPED,  // the server closed or reset the connection in the handshake
    TLS_NO_CERTIFICATE,     // the server's certificate could not be read
    TLS_CERT_UNTRUSTED,     // none pinned, and the system does not trust it for the name
    TLS_CERT_CHANGED,       // pinned, and the server showed another one
    TLS_ENCRYPT_FAILED,
    TLS_DECRYPT_FAILED,  // damaged or forged data, or a protocol error
    TLS_TRUNCATED,       // the connection ended without TLS's close (close_notify)
    TLS_SOCKET_FAILED,   // the connection broke (a reset, say)
    TLS_PROT_REFUSED,    // the server refused PBSZ 0 or PROT P: data would go in clear
};

// True for a refusal that trying again will meet again (the server's
// setting, the certificate, this system's TLS); false for a connection that
// broke off and may work next time.
bool TlsFailureLasts(TlsFailure failure);

// What a message about a failure needs. The certificate fields are filled
// for the two certificate refusals.
struct TlsFailureInfo {
    TlsFailure failure;
    long status;  // the SSPI status or Winsock error behind it; 0 for none
    char fingerprint[TLS_FINGERPRINT_SIZE];
    char subject[128];
    char expiry[32];  // "YYYY-MM-DD HH:MM UTC"
};

// The user's message for a failure with the server (the target's address):
// which step failed and what to do. Always terminated; cut to fit.
void DescribeTlsFailure(const TlsFailureInfo& info, const char* server, char* out, size_t size);
