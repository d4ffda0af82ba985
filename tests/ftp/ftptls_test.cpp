// The FTP client's TLS layer against real FTPS servers on 127.0.0.1 (pyftpdlib and vsftpd with a
// certificate made for the test run): handshakes, certificate checks and encrypted data
// connections.
#include "transfer/ftp/ftptls.h"

#include "resources/resource.h"
#include "tests/ftp/ftpharness.h"
#include "tests/support/ftpservers.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <wincrypt.h>

#include <optional>

#include <gtest/gtest.h>

namespace {

// What openssl printed of a certificate of the test run ("a" is the servers',
// "b" another one) after "key=", colons left out.
std::string Openssl(const char* cert, const std::string& key)
{
    std::string text = ReadFileBytes(ServerStatePath(std::string("tls-") + cert + ".txt")), out;
    size_t at = text.find(key + "=");
    for (size_t i = at + key.size() + 1;
         at != std::string::npos && i < text.size() && text[i] != '\n'; ++i)
        if (text[i] != ':')
            out += text[i];
    return out;
}
std::string Fingerprint(const char* cert)
{
    return Openssl(cert, "Fingerprint");
}

// The servers' certificate among the user's trusted roots while it lives.
struct TrustedRoot {
    std::string der = ReadFileBytes(ServerStatePath("tls-a.der"));
    const BYTE* bytes = reinterpret_cast<const BYTE*>(der.data());
    TrustedRoot()
    {
        EXPECT_TRUE(CertAddEncodedCertificateToSystemStoreA("Root", bytes, der.size()));
    }
    ~TrustedRoot()
    {
        HCERTSTORE root = CertOpenSystemStoreA(0, "Root");
        PCCERT_CONTEXT cert = CertCreateCertificateContext(X509_ASN_ENCODING, bytes, der.size());
        PCCERT_CONTEXT found =
            CertFindCertificateInStore(root, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, NULL);
        EXPECT_TRUE(found && CertDeleteCertificateFromStore(found));
        CertFreeCertificateContext(cert);
        CertCloseStore(root, 0);
    }
};

// Our own SHA-256: the standard's vectors, across the padding's edge (56 bytes) and many blocks.
TEST(Fingerprint, IsTheSha256OfTheBytes)
{
    std::pair<std::string, std::string> cases[] = {
        {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
        {std::string(1000000, 'a'),
         "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"}};
    for (const auto& c : cases) {
        char got[TLS_FINGERPRINT_SIZE];
        CertificateFingerprint(reinterpret_cast<const BYTE*>(c.first.data()), c.first.size(), got);
        EXPECT_EQ(c.second, got) << c.first.size() << " bytes";
    }
}

// The FTP client with targets that ask for encryption: AUTH TLS, the handshakes, PBSZ and PROT,
// every data connection encrypted, and refusals that never fall back to plain FTP.
using Secure = FtpTest;

TEST_F(Secure, FilesGoUpAndComeBackEncryptedInBothModes)
{
    TrustedRoot trusted;  // for the target that names the server "localhost" and pins nothing
    std::string restore = install / "restored";
    MakeDirs(restore);
    SetGlobalText("restorefolder", restore.c_str());
    const std::string big = RandomBytes(700000, 81);
    struct Case {
        const char* server;
        BYTE passive;
        const char* address;
        bool pinned;
    } cases[] = {{"tls", 0, "127.0.0.1", true},
                 {"tls", 1, "127.0.0.1", true},
                 {"vsftpd-tls", 0, "127.0.0.1", true},
                 {"vsftpd-tls", 1, "127.0.0.1", true},
                 {"tls", 1, "localhost", false},
                 {"tlsslow", 1, "127.0.0.1", true}};  // reads slowly: the socket fills
    for (size_t i = 0; i < sizeof cases / sizeof *cases; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.server) + (c.passive ? " passive " : " active ") + c.address);
        bool vs = c.server[0] == 'v';
        std::string folder = (vs ? "pub/s" : "/s") + std::to_string(i), name = "e.bin";
        std::string path = MakeFile(name, big), small = MakeFile("f.txt", folder);
        FtpSpec spec;
        spec.address = c.address;
        spec.passive = c.passive;
        spec.tls = 1;
        spec.fingerprint = c.pinned ? Fingerprint("a") : "";
        spec.anonymous = vs;
        DWORD id = Target(c.server, folder.c_str(), spec);
        ClearCommands(c.server);
        main.Clear();
        ASSERT_EQ(ERR_SUCCESS, StartUpload({path, small}, id));
        ASSERT_TRUE(WaitForBatches());
        std::string root = ServerStatePath(vs ? "vsroot/" : "pyroot");
        EXPECT_TRUE(SameBytes(big, ReadFileBytes(root + folder + "/" + name)));
        EXPECT_EQ(folder, ReadFileBytes(root + folder + "/f.txt"));
        std::vector<std::string> sent;
        for (const std::string& command : ServerCommands(c.server))
            sent.push_back(command.substr(0, 4) == "PORT" ? "PORT" : command);
        const char* data = c.passive ? "PASV" : "PORT";
        if (!vs) {  // encryption once for the session; each file as ever
            EXPECT_EQ((std::vector<std::string>{
                          "AUTH TLS", "USER tk", "PASS secret", "PBSZ 0", "PROT P", "MKD " + folder,
                          "CWD " + folder, "TYPE I", data, "STOR e.bin", "MKD " + folder,
                          "CWD " + folder, "TYPE I", data, "STOR f.txt", "QUIT"}),
                      sent);
        }
        // The restore of what the record names, encrypted as well.
        auto records = Records();
        ASSERT_EQ(2u, records.size());
        std::string stored = folder + "/" + name;
        EXPECT_TRUE(Has({records[0].first, records[1].first}, path + "*" + stored));
        ASSERT_EQ(ERR_SUCCESS,
                  StartFtpDownload(itemPath.c_str(), stored.c_str(), records[0].second.c_str()));
        ASSERT_TRUE(WaitForBatches());
        EXPECT_TRUE(SameBytes(big, ReadFileBytes(restore + "\\" + name)));
        ASSERT_EQ(1, DeleteTarget(itemPath.c_str(), int(id), KIND_FTP));
        DeleteFileA((restore + "\\" + name).c_str());
    }
    EXPECT_EQ("", ErrorLog());
}

TEST_F(Secure, RefusalsSayWhatFailedSendNothingInClearAndShowARefusedCertificateOnce)
{
    SetGlobalDword("showerrors", 1);
    std::string path = MakeFile("r.txt", "never in clear");
    struct Case {
        const char* server;
        const char* pinned;  // certificate whose fingerprint is pinned; NULL for none
        const char* shown;   // the certificate the refusal shows and keeps; NULL for none
        int code;
        int windows;                   // of two attempts
        const char* trustedAs = NULL;  // the certificate is trusted; the target's address
    } cases[] = {
        {"tls", NULL, "a", ERR_TLS_REFUSED, 1},              // not trusted for 127.0.0.1
        {"tlsother", "a", "b", ERR_TLS_REFUSED, 1},          // not the one pinned
        {"normal", "a", NULL, ERR_TLS_REFUSED, 2},           // no AUTH TLS
        {"tlsdrop", "a", NULL, ERR_TLS_FAILED, 2},           // hangs up instead of the handshake
        {"tls", NULL, "a", ERR_TLS_REFUSED, 1, "127.1"},     // trusted, for other names
        {"tls", "b", "a", ERR_TLS_REFUSED, 1, "localhost"},  // trusted, but not the one pinned
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + " " + (c.trustedAs ? c.trustedAs : ""));
        std::optional<TrustedRoot> trusted;
        if (c.trustedAs)
            trusted.emplace();
        DeleteFileA((install / "errorlog.txt").c_str());
        FtpSpec spec;
        spec.address = c.trustedAs ? c.trustedAs : spec.address;
        spec.tls = 1;
        spec.fingerprint = c.pinned ? Fingerprint(c.pinned) : "";
        DWORD id = Target(c.server, "/refused", spec);
        ClearCommands(c.server);
        for (int attempt = 0; attempt < 2; ++attempt) {
            ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, id));
            ASSERT_TRUE(WaitForBatches());
        }
        std::vector<HWND> windows = FindProcessWindows("Tandemkeep Error");
        EXPECT_EQ(c.windows, int(windows.size()));
        std::string shown = windows.empty() ? "" : DlgItemText(windows[0], IDC_ERROR_MESSAGE);
        if (!windows.empty()) {  // read from its start
            SaveWindowShot(windows[0], (std::string("error-") + c.server).c_str());
            EXPECT_EQ(0, SendDlgItemMessageA(windows[0], IDC_ERROR_MESSAGE, EM_GETFIRSTVISIBLELINE,
                                             0, 0));
        }
        for (HWND w : windows)
            SendMessageA(w, WM_CLOSE, 0, 0);
        EXPECT_EQ(2, CountOf(ErrorLog(), Message(c.code))) << ErrorLog();
        std::vector<std::string> sent = ServerCommands(c.server);
        EXPECT_EQ(2, std::count(sent.begin(), sent.end(), "AUTH TLS"));
        EXPECT_FALSE(Has(sent, "USER tk") || Has(sent, "STOR r.txt"));
        EXPECT_TRUE(Records().empty());
        RefusedCertificate kept;
        ASSERT_EQ(c.shown != NULL, ReadRefusedCertificate(itemPath.c_str(), id, &kept) == 1);
        DeleteTarget(itemPath.c_str(), int(id), KIND_FTP);  // a restore finds its target by address
        if (!c.shown)
            continue;
        EXPECT_EQ(Fingerprint(c.shown) + " 127.0.0.1",
                  std::string(kept.fingerprint) + " " + kept.subject);
        for (std::string part : {Fingerprint(c.shown), Openssl(c.shown, "notAfter").substr(0, 13)})
            EXPECT_NE(std::string::npos, shown.find(part)) << part << "\n" << shown;
    }
    // A restore whose data ends without TLS's close: nothing is put in place.
    std::string restore = install / "cut";
    MakeDirs(restore);
    SetGlobalText("restorefolder", restore.c_str());
    ASSERT_TRUE(WriteFileBytes(ServerStatePath("pyroot/cut.bin"), RandomBytes(100000, 77)));
    FtpSpec cut;
    cut.address = "localhost";
    cut.tls = 1;
    cut.fingerprint = Fingerprint("a");
    Target("tlscut", "/", cut);
    std::string location = "tk:<password>@localhost:" + std::to_string(ServerPort("tlscut"));
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(itemPath.c_str(), "/cut.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(ReadTree(restore).empty());
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_TLS_FAILED)));
    for (HWND w : FindProcessWindows("Tandemkeep Error"))
        SendMessageA(w, WM_CLOSE, 0, 0);
}

}  // namespace
