// Uploads to real FTP servers on 127.0.0.1: the command sequence, batches, replies as servers really send them.
#include <gtest/gtest.h>

#include "app/appstate.h"
#include "common/messages.h"
#include "tests/ftp/ftpharness.h"
#include "tests/support/windows.h"
#include "transfer/ftp.h"

#include <algorithm>

namespace {

// Commands without the PORT arguments, which change from run to run.
std::vector<std::string> Verbs(const std::vector<std::string>& commands)
{
    std::vector<std::string> out;
    for (const std::string& c : commands)
        out.push_back(c.compare(0, 5, "PORT ") == 0 ? "PORT" : c);
    return out;
}

class Upload : public ::testing::Test, public FtpFixtureBase {
protected:
    void SetUp() override
    {
        ASSERT_NE(0, ServerPort("normal")) << "FTP test servers are not running";
    }

    // Uploads paths in one batch to the scripted server; returns its commands.
    std::vector<std::string> Run(const char* server, const std::vector<std::string>& paths,
                                 TargetSpec spec = TargetSpec())
    {
        spec.port = ServerPort(server);
        DWORD id = SetTarget(spec);
        ClearCommands(server);
        EXPECT_EQ(1, StartUpload(paths, id));
        EXPECT_TRUE(WaitForBatches());
        return Verbs(ServerCommands(server));
    }
};

TEST_F(Upload, OneFileGoesThroughTheWholeSequenceAndLeavesARecord)
{
    std::string data = RandomBytes(70000, 1);
    std::string path = MakeFile("a.bin", data);
    std::vector<std::string> want = {"USER tk", "PASS secret", "MKD /seq1", "CWD /seq1",
                                     "TYPE I", "PORT", "STOR a.bin", "QUIT"};
    TargetSpec spec;
    spec.folder = "/seq1";
    EXPECT_EQ(want, Run("normal", {path}, spec));
    EXPECT_TRUE(SameBytes(data, StoredFile("/seq1/a.bin")));

    auto records = FtpRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(path + "*/seq1/a.bin", records[0].first);
    EXPECT_EQ("tk:<password>@127.0.0.1:" + std::to_string(ServerPort("normal")),
              records[0].second);

    std::string log = BackupLog();
    const char* lines[] = {"FTP control connection accepted for ", "Accepted FTP data connection for ",
                           "FTP data connection closed for ", "File ", "FTP control connection closed for "};
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = log.find(line + path, at);
        if (std::string(line) == "File ")
            found = log.find("File " + path + " transferred successfully", at);
        ASSERT_NE(std::string::npos, found) << line << "\n" << log;
        at = found;
    }
    EXPECT_EQ("", ErrorLog());
    ASSERT_FALSE(g_seen.status.empty());
    EXPECT_NE(g_seen.status.end(), std::find(g_seen.status.begin(), g_seen.status.end(),
                                             "Transferring file " + path + ".  100% complete"));
    EXPECT_NE(g_seen.status.end(), std::find(g_seen.status.begin(), g_seen.status.end(),
                                             "File " + path + " transferred successfully"));
    EXPECT_EQ("Tandemkeep system ready.", g_seen.status.back());
    ASSERT_FALSE(g_seen.trayTips.empty());
    EXPECT_EQ("Tandemkeep v1.21", g_seen.trayTips.back());
    std::string tip = "Tandemkeep v1.21 - Transferring file ";
    EXPECT_EQ(tip + path.substr(0, 63 - tip.size()), g_seen.trayTips.front());
}

TEST_F(Upload, FoldersAreMadeOneLevelAtATimeAndExistingOnesArePassedOver)
{
    std::string path = MakeFile("sub\\deep\\deeper\\x.txt", "three levels down");
    TargetSpec spec;
    spec.folder = "/lv";
    std::vector<std::string> want = {"USER tk", "PASS secret", "MKD /lv", "MKD /lv/sub",
                                     "MKD /lv/sub/deep", "MKD /lv/sub/deep/deeper",
                                     "CWD /lv/sub/deep/deeper", "TYPE I", "PORT", "STOR x.txt",
                                     "QUIT"};
    EXPECT_EQ(want, Run("normal", {path}, spec));
    EXPECT_EQ("three levels down", StoredFile("/lv/sub/deep/deeper/x.txt"));

    // Again: every MKD now gets 550, and the file still goes out.
    WriteFileBytes(path, "second version");
    EXPECT_EQ(want, Run("normal", {path}, spec));
    EXPECT_EQ("second version", StoredFile("/lv/sub/deep/deeper/x.txt"));
    EXPECT_EQ("", ErrorLog());
    ASSERT_EQ(1u, FtpRecords().size());
    EXPECT_EQ(path + "*/lv/sub/deep/deeper/x.txt", FtpRecords()[0].first);
}

TEST_F(Upload, ABatchSendsEveryFileOverOneConnectionAndQuitsAfterTheLast)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i)
        paths.push_back(MakeFile((i % 2 ? "odd\\f" : "f") + std::to_string(i) + ".txt",
                                 RandomBytes(3000 + i * 517, 100 + i)));
    TargetSpec spec;
    spec.folder = "/many";
    std::vector<std::string> commands = Run("normal", paths, spec);
    EXPECT_EQ(1, std::count(commands.begin(), commands.end(), "USER tk"));
    EXPECT_EQ(20, std::count(commands.begin(), commands.end(), "PORT"));
    EXPECT_EQ("QUIT", commands.back());
    EXPECT_EQ(1, std::count(commands.begin(), commands.end(), "QUIT"));
    std::vector<std::string> stors;
    for (const std::string& c : commands)
        if (c.compare(0, 5, "STOR ") == 0)
            stors.push_back(c.substr(5));
    ASSERT_EQ(20u, stors.size());
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ("f" + std::to_string(i) + ".txt", stors[i]);
        std::string remote = std::string("/many/") + (i % 2 ? "odd/" : "") + stors[i];
        EXPECT_TRUE(SameBytes(RandomBytes(3000 + i * 517, 100 + i), StoredFile(remote))) << remote;
    }
    EXPECT_EQ(20u, FtpRecords().size());
    // Each file's MKD and CWD come only after the previous file's transfer.
    auto second = std::find(commands.begin(), commands.end(), "STOR f1.txt");
    auto firstStor = std::find(commands.begin(), commands.end(), "STOR f0.txt");
    EXPECT_EQ("MKD /many", *(firstStor + 1));
    EXPECT_LT(firstStor, second);
}

TEST_F(Upload, ACloseEventOfAnEarlierSocketWithTheSameNumberIsNotTheBatchs)
{
    // Socket numbers are reused at once; a close event of a closed control
    // connection can still be queued when a new batch gets its number.
    std::vector<std::string> paths = {MakeFile("stale.txt", "kept")};
    TargetSpec spec;
    spec.port = ServerPort("normal");
    spec.folder = "/stale";
    DWORD id = SetTarget(spec);
    ASSERT_EQ(1, StartUpload(paths, id));
    SOCKET control = FirstBatch()->socket;
    PostMessageA(g_app.mainWindow, UM_FTPCONTROL, control, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    ASSERT_TRUE(PumpUntil([] { return !FirstBatch() || FirstBatch()->state != 0; }, 10000));
    PostMessageA(g_app.mainWindow, UM_FTPCONTROL, control, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("kept", StoredFile("/stale/stale.txt"));
    EXPECT_EQ(1u, FtpRecords().size());
    EXPECT_EQ("", ErrorLog());
}

TEST_F(Upload, DataPortsComeFromOneCounterForTheWholeProgram)
{
    std::vector<std::string> paths = {MakeFile("p1.txt", "1"), MakeFile("p2.txt", "2")};
    TargetSpec spec;
    spec.port = ServerPort("normal");
    DWORD id = SetTarget(spec);
    ClearCommands("normal");
    ASSERT_EQ(1, StartUpload(paths, id));
    ASSERT_TRUE(WaitForBatches());
    std::vector<int> ports;
    for (const std::string& c : ServerCommands("normal"))
        if (c.compare(0, 5, "PORT ") == 0) {
            int a, b, c1, d, hi, lo;
            ASSERT_EQ(6, sscanf(c.c_str() + 5, "%d,%d,%d,%d,%d,%d", &a, &b, &c1, &d, &hi, &lo));
            EXPECT_EQ(127, a);
            ports.push_back(hi * 256 + lo);
        }
    ASSERT_EQ(2u, ports.size());
    EXPECT_GT(ports[0], 1164);
    EXPECT_EQ(ports[0] + 1, ports[1]);
}

TEST_F(Upload, AnonymousLoginAndBackupNamesWithTheirStamp)
{
    std::string path = MakeFile("report.doc", "backup me");
    TargetSpec spec;
    spec.folder = "/bk";
    spec.anonymous = 1;
    spec.password = "me@example.com";
    spec.storageType = 2;
    std::vector<std::string> commands = Run("normal", {path}, spec);
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ("USER anonymous", commands[0]);
    EXPECT_EQ("PASS me@example.com", commands[1]);
    const std::string& stor = commands[6];
    ASSERT_EQ(0u, stor.find("STOR report ")) << stor;
    ASSERT_EQ(".doc", stor.substr(stor.size() - 4));
    std::string name = stor.substr(5);
    EXPECT_EQ(std::string::npos, name.find_first_of("/:"));
    EXPECT_EQ("backup me", StoredFile("/bk/" + name));
    auto records = FtpRecords();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(path + "*/bk/" + name, records[0].first);
}

TEST_F(Upload, AnEmptyFileIsStoredAndRecordedWithoutASuccessLine)
{
    std::string path = MakeFile("empty.txt", "");
    TargetSpec spec;
    spec.folder = "/zero";
    Run("normal", {path}, spec);
    EXPECT_TRUE(FileExists(ServerStatePath("pyroot/zero/empty.txt")));
    EXPECT_EQ("", StoredFile("/zero/empty.txt"));
    EXPECT_EQ(1u, FtpRecords().size());
    EXPECT_NE(std::string::npos, BackupLog().find("FTP data connection closed for " + path));
    EXPECT_EQ(std::string::npos, BackupLog().find("transferred successfully"));
}

TEST_F(Upload, RepliesAsServersReallySendThem)
{
    struct Case {
        const char* server;
        const char* firstCommands;
    } cases[] = {
        {"split", "USER tk|PASS secret|MKD /rp"},
        {"onebyte", "USER tk|PASS secret|MKD /rp"},
        {"multiline", "USER tk|PASS secret|MKD /rp"},
        {"many", "USER tk|PASS secret|MKD /rp"},
        {"nopass", "USER tk|MKD /rp"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        std::string name = std::string("r-") + c.server + ".txt";
        std::string path = MakeFile(name, RandomBytes(5000, 7));
        TargetSpec spec;
        spec.folder = "/rp";
        g_seen.replies.clear();
        std::vector<std::string> commands = Run(c.server, {path}, spec);
        std::string joined;
        for (size_t i = 0; i < commands.size() && i < 3; ++i)
            joined += (i ? "|" : "") + commands[i];
        EXPECT_EQ(std::string(c.firstCommands), joined.substr(0, strlen(c.firstCommands)));
        EXPECT_EQ("STOR " + name, commands[commands.size() - 2]);
        EXPECT_EQ("QUIT", commands.back());
        EXPECT_TRUE(SameBytes(RandomBytes(5000, 7), StoredFile("/rp/" + name)));
        EXPECT_EQ("", ErrorLog());
        ASSERT_FALSE(g_seen.replies.empty());
        for (const std::string& line : g_seen.replies) {
            EXPECT_LE(line.size(), 511u);
            EXPECT_EQ("\r\n", line.substr(line.size() - 2));
        }
        EXPECT_EQ(0u, g_seen.replies[0].find("220"));
    }
}

TEST_F(Upload, EveryReplyLineReachesTheRepliesWindowContinuationsIncluded)
{
    std::string path = MakeFile("m.txt", "m");
    TargetSpec spec;
    spec.folder = "/rw";
    Run("multiline", {path}, spec);
    std::vector<std::string> want = {"220-Welcome to the multi-line server\r\n",
                                     "220-220 this line only looks like a greeting\r\n",
                                     "123 neither does this one\r\n", "220 ready\r\n",
                                     "220 a repeated greeting\r\n", "331-Password needed\r\n"};
    ASSERT_GE(g_seen.replies.size(), want.size());
    EXPECT_EQ(want, std::vector<std::string>(g_seen.replies.begin(),
                                             g_seen.replies.begin() + want.size()));
}

TEST_F(Upload, VsftpdStoresTheSameBytes)
{
    int port = ServerPort("vsftpd");
    ASSERT_NE(0, port);
    std::string big = RandomBytes(3 * 1024 * 1024 + 17, 9);
    std::vector<std::string> paths = {MakeFile("v\\w\\big.bin", big), MakeFile("small.txt", "s")};
    TargetSpec spec;
    spec.port = port;
    // vsftpd running as its launching user does not change its root: remote
    // paths are relative to the anonymous root.
    spec.folder = "pub/vs";
    spec.anonymous = 1;
    spec.password = "";
    DWORD id = SetTarget(spec);
    ASSERT_EQ(1, StartUpload(paths, id));
    ASSERT_TRUE(WaitForBatches(60000));
    EXPECT_TRUE(SameBytes(big, ReadFileBytes(ServerStatePath("vsroot/pub/vs/v/w/big.bin"))));
    EXPECT_EQ("s", ReadFileBytes(ServerStatePath("vsroot/pub/vs/small.txt")));
    EXPECT_EQ(2u, FtpRecords().size());
    EXPECT_EQ("", ErrorLog());

}

TEST_F(Upload, AFolderTransferHearsOfEveryFileAndItsTotal)
{
    std::vector<std::string> paths = {MakeFile("pa.txt", "a"), MakeFile("pb.txt", "b")};
    TargetSpec spec;
    spec.port = ServerPort("normal");
    spec.folder = "/pw";
    DWORD id = SetTarget(spec);
    ASSERT_EQ(1, StartUpload(paths, id, progressWindow));
    ASSERT_TRUE(WaitForBatches());
    auto count = [](UINT msg) {
        return std::count(g_seen.progress.begin(), g_seen.progress.end(), msg);
    };
    EXPECT_EQ(1, count(WM_USER + 15));  // caption
    EXPECT_EQ(1, count(WM_USER + 9));   // total
    EXPECT_EQ(2, count(WM_USER + 8));   // file started
    EXPECT_EQ(2, count(WM_USER + 7));   // file ended
    EXPECT_EQ("b", StoredFile("/pw/pb.txt"));
}

}  // namespace

namespace {

TEST_F(Upload, FilesAddedAfterALoginThatCameFirstStillGoOut)
{
    std::string path = MakeFile("late.txt", "late");
    TargetSpec spec;
    spec.port = ServerPort("nopass");
    spec.folder = "/late";
    DWORD id = SetTarget(spec);
    BatchList* list = g_app.live.batches;
    FtpJob* batch = NewFtpJob(path.c_str(), id);
    AppendNode(list, batch);
    ASSERT_EQ(1, StartFtpConnection(g_app.mainWindow, batch));
    // The worker is slow: the server has let us in before any file is there.
    ASSERT_TRUE(PumpUntil([batch] { return batch->state == 8; }, 10000));
    AppendFileJob(list, batch, NewFtpJob(path.c_str(), id));
    ASSERT_TRUE(WaitForBatches(10000));
    EXPECT_EQ("late", StoredFile("/late/late.txt"));
}

}  // namespace
