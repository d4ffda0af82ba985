// What the FTP client does when servers refuse, fall silent, break off or are impostors, and when the user stops it.
#include <gtest/gtest.h>

#include "app/appstate.h"
#include "log/errors.h"
#include "resources/resource.h"
#include "tests/ftp/ftpharness.h"
#include "tests/support/windows.h"
#include "transfer/ftp.h"
#include "transfer/ftpsession.h"

#include <algorithm>

namespace {

std::string Message(int code)
{
    char text[1280] = "";
    LoadStringA(GetModuleHandleA(NULL), MapErrorCode(code), text, sizeof text);
    return std::string(text).substr(0, 200);
}

long long StoredSize(const std::string& remote)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(ServerStatePath("pyroot" + remote).c_str(), GetFileExInfoStandard,
                              &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

class Failure : public ::testing::Test, public FtpFixtureBase {
protected:
    void SetUp() override
    {
        ASSERT_NE(0, ServerPort("normal")) << "FTP test servers are not running";
    }
    DWORD Target(const char* server, const char* folder)
    {
        TargetSpec spec;
        spec.port = ServerPort(server);
        spec.folder = folder;
        return SetTarget(spec);
    }
};

TEST_F(Failure, RefusedLoginsAndServicesEndTheBatchWithTheirMessage)
{
    struct Case {
        const char* server;
        const char* password;
        int code;
        bool quit;
    } cases[] = {
        {"normal", "wrong", 530, true},
        {"421", "secret", 421, false},
        {"refuseport", "secret", 425, true},
        {"noconnect", "secret", 425, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        DeleteFileA((install / "errorlog.txt").c_str());
        std::string path = MakeFile(std::string("f-") + c.server + ".txt", "never stored");
        TargetSpec spec;
        spec.port = ServerPort(c.server);
        spec.folder = "/refused";
        spec.password = c.password;
        DWORD id = SetTarget(spec);
        ClearCommands(c.server);
        ASSERT_EQ(1, StartUpload({path}, id));
        ASSERT_TRUE(WaitForBatches(15000));
        std::string errors = ErrorLog();
        EXPECT_NE(std::string::npos, errors.find(Message(c.code))) << errors;
        EXPECT_EQ(1, CountLines(errors, " - ")) << errors;
        std::vector<std::string> commands = ServerCommands(c.server);
        if (c.quit) {
            ASSERT_FALSE(commands.empty());
            EXPECT_EQ("QUIT", commands.back());
        }
        EXPECT_FALSE(Has(commands, std::string("STOR f-") + c.server + ".txt") &&
                     c.code != 425);
        EXPECT_TRUE(FtpRecords().empty());
        EXPECT_EQ("Tandemkeep v1.21", g_seen.trayTips.back());
    }
}

TEST_F(Failure, ANameTheServerRefusesIsSkippedAndTheNextFileGoesOut)
{
    std::vector<std::string> paths = {MakeFile("bad1.txt", "x"), MakeFile("good.txt", "good"),
                                      MakeFile("bad2.txt", "y"), MakeFile("last.txt", "last")};
    DWORD id = Target("553", "/n553");
    ClearCommands("553");
    ASSERT_EQ(1, StartUpload(paths, id));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("good", StoredFile("/n553/good.txt"));
    EXPECT_EQ("last", StoredFile("/n553/last.txt"));
    EXPECT_EQ(2, CountLines(ErrorLog(), Message(553)));
    EXPECT_EQ(2u, FtpRecords().size());
    EXPECT_EQ("QUIT", ServerCommands("553").back());
}

TEST_F(Failure, ConnectsThatCannotBeMadeAreReportedWithTheirCode)
{
    std::string path = MakeFile("c.txt", "c");
    // A port nobody listens on: take a free one and let it go again.
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);

    TargetSpec spec;
    spec.port = ntohs(a.sin_port);
    DWORD id = SetTarget(spec);
    ASSERT_EQ(1, StartUpload({path}, id));
    ASSERT_TRUE(WaitForBatches(15000));
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_CANNOT_CONNECT)));
    EXPECT_EQ("Tandemkeep v1.21", g_seen.trayTips.back());

    spec.address = "no-such-host.invalid";
    id = SetTarget(spec);
    EXPECT_EQ(ERR_HOST_NOT_RESOLVED, StartUpload({path}, id));
    EXPECT_EQ(nullptr, FirstBatch());
}

TEST_F(Failure, TextsWithLineBreaksNeverReachTheServer)
{
    std::string path = MakeFile("lb.txt", "lb");
    struct Case {
        const char* user;
        const char* password;
        const char* folder;
    } cases[] = {
        {"tk\r\nDELE x", "secret", "/lb"},
        {"tk", "secret\nDELE x", "/lb"},
        {"tk", "secret", "/lb\r\nRMD /"},
    };
    for (const Case& c : cases) {
        TargetSpec spec;
        spec.port = ServerPort("normal");
        spec.user = c.user;
        spec.password = c.password;
        spec.folder = c.folder;
        DWORD id = SetTarget(spec);
        ClearCommands("normal");
        EXPECT_EQ(ERR_GENERIC, StartUpload({path}, id)) << c.user << c.password << c.folder;
        EXPECT_EQ(nullptr, FirstBatch());
        EXPECT_TRUE(ServerCommands("normal").empty());
    }
}

TEST_F(Failure, ASilentServerIsGivenUpAfterTheIdleLimit)
{
    DWORD old = SetFtpIdleLimit(1500);
    std::string path = MakeFile("s.txt", "s");
    TargetSpec spec;
    spec.port = ServerPort("silent");
    DWORD id = SetTarget(spec);
    ASSERT_EQ(1, StartUpload({path}, id));
    PumpMessages(500);
    EXPECT_NE(nullptr, FirstBatch());
    EXPECT_TRUE(WaitForBatches(10000));
    SetFtpIdleLimit(old);
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_CANNOT_CONNECT)));
    EXPECT_TRUE(FtpRecords().empty());
}

TEST_F(Failure, AServerThatBreaksOffMidTransferLeavesNoRecord)
{
    std::string path = MakeFile("cut.bin", RandomBytes(8 * 1024 * 1024, 3));
    DWORD id = Target("closemid", "/cut");
    ASSERT_EQ(1, StartUpload({path}, id));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(FtpRecords().empty());
    EXPECT_NE(std::string::npos, BackupLog().find("Transfer of file " + path + " was aborted"));
    EXPECT_EQ(std::string::npos, BackupLog().find("transferred successfully"));
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_CANNOT_CONNECT)));
}

TEST_F(Failure, AStrangerOnTheDataPortGetsNothing)
{
    DeleteFileA(ServerStatePath("stranger.log").c_str());
    std::string data = RandomBytes(200000, 5);
    std::string path = MakeFile("secret.bin", data);
    DWORD id = Target("stranger", "/st");
    ASSERT_EQ(1, StartUpload({path}, id));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, StoredFile("/st/secret.bin")));
    EXPECT_TRUE(PumpUntil([] { return !ReadFileBytes(ServerStatePath("stranger.log")).empty(); },
                          8000));
    EXPECT_EQ("received 0 bytes\n", ReadFileBytes(ServerStatePath("stranger.log")));
    EXPECT_EQ(1u, FtpRecords().size());
}

TEST_F(Failure, PartialSendsOfAThrottledServerStillStoreTheSameBytes)
{
    std::string data = RandomBytes(700 * 1024 + 3, 11);
    std::string path = MakeFile("slow.bin", data);
    DWORD id = Target("throttled", "/slow");
    ASSERT_EQ(1, StartUpload({path}, id));
    ASSERT_TRUE(WaitForBatches(60000));
    EXPECT_TRUE(SameBytes(data, StoredFile("/slow/slow.bin")));
    EXPECT_EQ(1u, FtpRecords().size());
}

TEST_F(Failure, StopAllTransfersInTheMiddleOfAnUploadKeepsItOutOfTheRecords)
{
    std::string path = MakeFile("stop.bin", RandomBytes(4 * 1024 * 1024, 13));
    std::string next = MakeFile("next.txt", "n");
    DWORD id = Target("throttled", "/stop");
    ASSERT_EQ(1, StartUpload({path, next}, id));
    ASSERT_TRUE(PumpUntil([] { return StoredSize("/stop/stop.bin") > 100000; }, 20000));
    StopAllTransfers();
    EXPECT_EQ(nullptr, FirstBatch());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(g_app.live.liveStopEvent, 0));
    PumpMessages(300);
    EXPECT_TRUE(FtpRecords().empty());
    EXPECT_NE(std::string::npos, BackupLog().find("Transfer of file " + path + " was aborted"));
    EXPECT_EQ(std::string::npos, BackupLog().find("transferred successfully"));
    EXPECT_EQ("Tandemkeep v1.21", g_seen.trayTips.back());
    EXPECT_FALSE(FileExists(ServerStatePath("pyroot/stop/next.txt")));
    // A later upload is not held back by the stop.
    ResetEvent(g_app.live.liveStopEvent);
    std::string after = MakeFile("after.txt", "after");
    ASSERT_EQ(1, StartUpload({after}, Target("normal", "/stop")));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("after", StoredFile("/stop/after.txt"));
}

TEST_F(Failure, AProgressWindowStopsOnlyItsOwnBatches)
{
    std::string path = MakeFile("pw.bin", RandomBytes(4 * 1024 * 1024, 17));
    std::string other = MakeFile("other.bin", RandomBytes(2 * 1024 * 1024, 19));
    DWORD id = Target("throttled", "/pws");
    ASSERT_EQ(1, StartUpload({path}, id, progressWindow));
    ASSERT_EQ(1, StartUpload({other}, id));
    ASSERT_TRUE(PumpUntil([] { return StoredSize("/pws/pw.bin") > 50000; }, 20000));
    StopFtpBatches(progressWindow);
    EXPECT_TRUE(Has(g_seen.status, "FTP Transfer Stopped"));
    FtpJob* left = FirstBatch();
    ASSERT_NE(nullptr, left);
    EXPECT_EQ(nullptr, left->next);
    EXPECT_EQ(nullptr, left->progressWindow);
    ASSERT_TRUE(WaitForBatches(60000));
    auto records = FtpRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(other + "*/pws/other.bin", records[0].first);
}

}  // namespace
