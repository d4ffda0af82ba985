// The FTP client's TLS layer against real FTPS servers on 127.0.0.1 (pyftpdlib and vsftpd with a
// certificate made for the test run): handshakes, certificate checks and encrypted data
// connections.
#include "transfer/ftp/ftptls.h"

#include "resources/resource.h"
#include "tests/ftp/ftpharness.h"
#include "tests/support/ftpservers.h"
#include "tests/support/recorder.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <wincrypt.h>

#include <gtest/gtest.h>

namespace {

const UINT kControl = WM_USER + 300, kData = WM_USER + 301;

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

// One connection as the FTP client drives it: every event through the link
// first, one receive per read event, receives to the end on a close.
struct Side {
    FtpLink* link = NULL;
    std::string received;
    FtpLinkEvent outcome = LINK_PASS;  // LINK_READY or LINK_FAILED once the handshake ended
    bool writable = false, connected = false;
    int end = 1;  // the receive that ended it: 0 the peer's clean close, -1 an error
    std::vector<FtpLink*> old;

    void Receive()
    {
        char buffer[1000];  // less than a record: the link keeps the rest
        int got = ReceiveFtpLink(link, buffer, sizeof buffer);
        if (got > 0)
            received.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || WSAGetLastError() != WSAEWOULDBLOCK)
            end = got;
    }
    void OnEvent(WORD event, WORD error)
    {
        FtpLinkEvent result = OnFtpLinkEvent(link, event, error);
        if (result == LINK_READY || result == LINK_FAILED)
            outcome = result;
        if (result != LINK_PASS)
            return;
        if (event == FD_WRITE || (event == FD_CONNECT && !error))
            writable = connected = true;
        if (event == FD_READ && end > 0)
            Receive();
        for (int i = 0; event == FD_CLOSE && end > 0 && i < 1000; ++i)
            Receive();
    }
    // A new connection. The old one stays open until the test ends: a new
    // socket could otherwise get its number while its events still wait.
    void Reset(SOCKET s = INVALID_SOCKET, HWND window = NULL, UINT msg = 0)
    {
        if (link)
            old.push_back(link);
        link = s == INVALID_SOCKET ? NULL : NewFtpLink(s, window, msg);
        received.clear();
        outcome = LINK_PASS;
        writable = connected = false;
        end = 1;
    }
    ~Side()
    {
        Reset();
        for (FtpLink* l : old)
            closesocket(FreeFtpLink(l));
    }
};

class Ftps : public ::testing::Test {
protected:
    Ftps()
    {
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
    }
    void Connect(int port, UINT msg, Side* side)
    {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        WSAAsyncSelect(s, recorder.window(), msg, FD_CONNECT | FD_READ | FD_WRITE | FD_CLOSE);
        side->Reset(s, recorder.window(), msg);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<u_short>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
    // The code of the next reply line (the servers answer these commands in one line each).
    int Reply()
    {
        std::string& r = control.received;
        if (!PumpUntil([&] { return r.find("\r\n") != std::string::npos; }, 20000))
            return 0;
        reply = r.substr(0, r.find("\r\n"));
        r.erase(0, reply.size() + 2);
        return atoi(reply.c_str());
    }
    int Command(const std::string& text)
    {
        std::string line = text + "\r\n";
        EXPECT_EQ(static_cast<int>(line.size()),
                  SendFtpLink(control.link, line.data(), static_cast<int>(line.size())));
        return Reply();
    }
    // Connects to a server, has it agree to AUTH TLS and shakes hands.
    FtpLinkEvent Secure(const char* server, const std::string& pinned,
                        const char* name = "127.0.0.1")
    {
        pin = pinned;
        Connect(ServerPort(server), kControl, &control);
        EXPECT_EQ(220, Reply());
        EXPECT_EQ(234, Command("AUTH TLS"));
        EXPECT_TRUE(StartTlsHandshake(control.link, name, pin.c_str(), NULL));
        PumpUntil([&] { return control.outcome != LINK_PASS; }, 20000);
        return control.outcome;
    }
    void Login(const char* user)
    {
        int code = Command(std::string("USER ") + user);
        EXPECT_EQ(230, code == 331 ? Command("PASS secret") : code);
        for (const char* command : {"PBSZ 0", "PROT P", "TYPE I"})
            EXPECT_EQ(200, Command(command));
    }
    // Sends a transfer command for a new passive data connection and returns
    // once the connection's handshake is over. The handshake starts after the
    // server's 1xx: pyftpdlib drops a data connection whose handshake comes first.
    void StartTransfer(const std::string& command)
    {
        ASSERT_EQ(227, Command("PASV"));
        int p[6] = {};
        sscanf(reply.c_str() + reply.find('(') + 1, "%d,%d,%d,%d,%d,%d", p, p + 1, p + 2, p + 3,
               p + 4, p + 5);
        Connect(p[4] * 256 + p[5], kData, &data);
        int small = 8192;  // a slow server fills it soon
        setsockopt(FtpLinkSocket(data.link), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small),
                   sizeof small);
        ASSERT_EQ(1, Command(command) / 100) << reply;
        ASSERT_TRUE(PumpUntil([&] { return data.connected; }, 20000));
        ASSERT_TRUE(StartTlsHandshake(data.link, "127.0.0.1", pin.c_str(), control.link));
        ASSERT_TRUE(PumpUntil([&] { return data.outcome != LINK_PASS; }, 20000));
        ASSERT_EQ(LINK_READY, data.outcome) << FtpLinkFailure(data.link).failure;
    }
    // Returns how often the socket was full.
    int Store(const std::string& name, const std::string& bytes)
    {
        StartTransfer("STOR " + name);
        int full = 0;
        for (size_t at = 0; at < bytes.size();) {
            data.writable = false;
            int sent =
                SendFtpLink(data.link, bytes.data() + at, static_cast<int>(bytes.size() - at));
            if (sent > 0) {
                at += static_cast<size_t>(sent);
                continue;
            }
            ++full;
            if (WSAGetLastError() != WSAEWOULDBLOCK ||
                !PumpUntil([&] { return data.writable; }, 20000)) {
                ADD_FAILURE() << "send failed";
                return full;
            }
        }
        EXPECT_TRUE(ShutdownFtpLink(data.link));
        EXPECT_TRUE(PumpUntil([&] { return FtpLinkSentAll(data.link); }, 20000));
        EXPECT_EQ(226, Reply()) << reply;
        return full;
    }
    std::string Retrieve(const std::string& name)
    {
        StartTransfer("RETR " + name);
        EXPECT_TRUE(PumpUntil([&] { return data.end <= 0; }, 20000));
        EXPECT_EQ(0, data.end) << "no clean TLS close: " << FtpLinkFailure(data.link).failure;
        EXPECT_EQ(226, Reply()) << reply;
        return data.received;
    }

    Recorder recorder{[this](HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT*) {
        Side* side = msg == kControl ? &control : msg == kData ? &data : NULL;
        if (side && side->link && wp == FtpLinkSocket(side->link))
            side->OnEvent(WSAGETSELECTEVENT(lp), WSAGETSELECTERROR(lp));
        return true;
    }};
    Side control, data;
    std::string pin, reply;
};

TEST_F(Ftps, FilesGoUpAndComeBackWholeOverEncryptedDataConnections)
{
    struct Case {
        const char* server;
        const char* user;
        const char* folder;  // remote folder
        const char* stored;  // where the server keeps it, below the state folder
        size_t size;
        bool fills;  // the server reads slowly: the socket fills and the link holds ciphertext
    } cases[] = {{"tls", "tk", "", "pyroot/", 200000, false},
                 {"vsftpd-tls", "anonymous", "pub/", "vsroot/pub/", 200000, false},
                 {"tlsslow", "tk", "", "pyroot/", 300000, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        std::string bytes = RandomBytes(c.size, 70), name = std::string(c.server) + ".bin";
        ASSERT_EQ(LINK_READY, Secure(c.server, Fingerprint("a")));
        EXPECT_EQ(Fingerprint("a"), FtpLinkFailure(control.link).fingerprint);
        Login(c.user);
        int full = Store(c.folder + name, bytes);
        EXPECT_TRUE(SameBytes(bytes, ReadFileBytes(ServerStatePath(c.stored + name))));
        EXPECT_TRUE(full > 0 || !c.fills) << "the socket never filled";
        EXPECT_TRUE(SameBytes(bytes, Retrieve(c.folder + name)));
        EXPECT_EQ(221, Command("QUIT"));
    }
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

TEST_F(Ftps, WithoutAPinTheSystemsTrustForTheNameDecidesAndAPinStillOverrulesIt)
{
    TrustedRoot trusted;
    EXPECT_EQ(LINK_READY, Secure("tls", "", "localhost"));
    EXPECT_EQ(LINK_FAILED, Secure("tls", "", "other.invalid"));
    EXPECT_EQ(TLS_CERT_UNTRUSTED, FtpLinkFailure(control.link).failure);
    EXPECT_EQ(LINK_FAILED, Secure("tls", Fingerprint("b"), "localhost"));
    EXPECT_EQ(TLS_CERT_CHANGED, FtpLinkFailure(control.link).failure);
}

TEST(Fingerprint, IsTheSha256OfTheBytesAsOpensslPrintsIt)
{
    struct Case {
        std::string bytes, want;
    } cases[] = {{"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
                 {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                  "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
                 {std::string(1000000, 'a'),
                  "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
                 {ReadFileBytes(ServerStatePath("tls-a.der")), Fingerprint("a")},
                 {ReadFileBytes(ServerStatePath("tls-b.der")), Fingerprint("b")}};
    for (const Case& c : cases) {
        char got[TLS_FINGERPRINT_SIZE];
        CertificateFingerprint(reinterpret_cast<const BYTE*>(c.bytes.data()), c.bytes.size(), got);
        EXPECT_EQ(c.want, got) << c.bytes.size() << " bytes";
    }
    // As openssl prints it, pasted by hand; a fingerprint cut short or too long is another.
    std::string a = Fingerprint("a"), pasted;
    for (size_t i = 0; i < a.size(); i += 2)
        pasted += (i ? ":" : "") + a.substr(i, 2);
    EXPECT_TRUE(SameFingerprint(CharLowerA(&pasted[0]), a.c_str()));
    EXPECT_FALSE(SameFingerprint(a.substr(0, 63).c_str(), a.c_str()));
    EXPECT_FALSE(SameFingerprint((a + "0").c_str(), a.c_str()));
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
                 {"tls", 1, "localhost", false}};
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
        std::vector<std::string> replies = main.Texts(UM_FTPREPLY);
        EXPECT_EQ(1, std::count_if(replies.begin(), replies.end(), [](const std::string& r) {
                      return r.compare(0, 4, "234 ") == 0;
                  }));
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
        int windows;  // of two attempts
    } cases[] = {
        {"tls", NULL, "a", ERR_TLS_REFUSED, 1},      // not trusted for 127.0.0.1
        {"tlsother", "a", "b", ERR_TLS_REFUSED, 1},  // not the one pinned
        {"normal", "a", NULL, ERR_TLS_REFUSED, 2},   // no AUTH TLS
        {"tlsdrop", "a", NULL, ERR_TLS_FAILED, 2},   // hangs up instead of the handshake
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        DeleteFileA((install / "errorlog.txt").c_str());
        FtpSpec spec;
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
