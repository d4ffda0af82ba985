// What the FTP client does when servers refuse, fall silent, break off or are impostors, and when the user stops it.
#include "tests/ftp/ftpharness.h"

#include "common/messages.h"
#include "log/errors.h"
#include "tests/support/windows.h"

#include <algorithm>

namespace {

using Failure = FtpTest;

long long StoredSize(const std::string& remote)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(ServerStatePath("pyroot" + remote).c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A port nobody listens on: a free one, let go again.
int DeadPort()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    closesocket(s);
    return ntohs(a.sin_port);
}

TEST_F(Failure, EveryRefusalOrBreakIsReportedWithItsCodeAndStoresNothing)
{
    struct Case { const char* server; const char* password; size_t size; int code; } cases[] = {
        {"normal", "wrong", 1, 530}, {"421", "secret", 1, 421}, {"refuseport", "secret", 1, 425},
        {"noconnect", "secret", 1, 425},
        {"silent", "secret", 1, ERR_CANNOT_CONNECT},               // never says a word
        {"closemid", "secret", 8 << 20, ERR_CANNOT_CONNECT},       // hangs up mid-transfer
        {"noconfirm", "secret", 8 << 20, ERR_CANNOT_CONNECT},      // takes it all, hangs up before 226
        {"resetdata", "secret", 4 << 20, ERR_FILE_OPERATION},      // 150 and 226 at once, data reset unread
        {"dead", "secret", 1, ERR_CANNOT_CONNECT},                 // nobody listens
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        // A server that never answers is given up after the idle limit.
        DWORD old = SetFtpIdleLimit(std::string(c.server) == "silent" ? 1500 : 60000);
        DeleteFileA((install / "errorlog.txt").c_str());
        std::string path = MakeFile(std::string("f-") + c.server + ".bin", RandomBytes(c.size, 3));
        FtpSpec spec;
        spec.password = c.password;
        if (std::string(c.server) == "dead")
            spec.port = DeadPort();
        ItemSpec item;
        item.ftps = {spec};
        DWORD id = spec.port != 21 ? SeedItem(itemPath, item).ftps[0] : Target(c.server, "/refused", spec);
        ClearCommands(c.server);
        ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, id));
        ASSERT_TRUE(WaitForBatches(15000));
        SetFtpIdleLimit(old);
        EXPECT_NE(std::string::npos, ErrorLog().find(Message(c.code))) << ErrorLog();
        if (c.code == 530 || c.code == 425) {
            EXPECT_EQ("QUIT", ServerCommands(c.server).back());
        }
        EXPECT_TRUE(Records().empty());
        EXPECT_EQ(std::string::npos, BackupLog().find("transferred successfully"));
        EXPECT_EQ(TRAY_IDLE, main.Seen(UM_TRAYSTATE).back().wParam);
    }
}

TEST_F(Failure, ConnectsAndTextsThatCannotWorkStartNothing)
{
    std::string path = MakeFile("c.txt", "c");
    FtpSpec spec;
    ItemSpec dead;
    spec.address = "no-such-host.invalid";
    dead.ftps = {spec};
    EXPECT_EQ(ERR_HOST_NOT_RESOLVED, StartUpload({path}, SeedItem(itemPath, dead).ftps[0]));
    EXPECT_EQ(nullptr, FirstBatch());

    // Line breaks in a text would smuggle commands to the server.
    const char* texts[][3] = {{"tk\r\nDELE x", "secret", "/lb"},
                              {"tk", "secret\nDELE x", "/lb"},
                              {"tk", "secret", "/lb\r\nRMD /"}};
    for (auto& t : texts) {
        FtpSpec bad;
        bad.user = t[0];
        bad.password = t[1];
        DWORD id = Target("normal", t[2], bad);
        ClearCommands("normal");
        EXPECT_EQ(ERR_GENERIC, StartUpload({path}, id)) << t[0] << t[1] << t[2];
        EXPECT_EQ(nullptr, FirstBatch());
        EXPECT_TRUE(ServerCommands("normal").empty());
    }
}

TEST_F(Failure, ANameTheServerRefusesIsSkippedAndTheNextFileGoesOut)
{
    std::vector<std::string> paths = {MakeFile("bad1.txt", "x"), MakeFile("good.txt", "good"),
                                      MakeFile("bad2.txt", "y"), MakeFile("last.txt", "last")};
    std::vector<std::string> commands = Run("553", "/n553", paths, FtpSpec());
    EXPECT_EQ("good", StoredFile("/n553/good.txt"));
    EXPECT_EQ("last", StoredFile("/n553/last.txt"));
    EXPECT_EQ(2, CountOf(ErrorLog(), Message(553)));
    EXPECT_EQ(2u, Records().size());
    EXPECT_EQ("QUIT", commands.back());
}

TEST_F(Failure, AStrangerOnTheDataPortGetsNothingAndAThrottledServerTheSameBytes)
{
    DeleteFileA(ServerStatePath("stranger.log").c_str());
    std::string data = RandomBytes(200000, 5);
    std::string path = MakeFile("secret.bin", data);
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, Target("stranger", "/st")));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, StoredFile("/st/secret.bin")));
    EXPECT_TRUE(PumpUntil([] { return !ReadFileBytes(ServerStatePath("stranger.log")).empty(); }, 8000));
    EXPECT_EQ("received 0 bytes\n", ReadFileBytes(ServerStatePath("stranger.log")));
    EXPECT_EQ(1u, Records().size());

    data = RandomBytes(700 * 1024 + 3, 11);  // taken a piece at a time
    path = MakeFile("slow.bin", data);
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, Target("throttled", "/slow")));
    ASSERT_TRUE(WaitForBatches(60000));
    EXPECT_TRUE(SameBytes(data, StoredFile("/slow/slow.bin")));
    EXPECT_EQ(2u, Records().size());
}

TEST_F(Failure, StopsEndTheirBatchesMidUploadWithoutARecord)
{
    std::string path = MakeFile("stop.bin", RandomBytes(4 * 1024 * 1024, 13));
    std::string other = MakeFile("other.bin", RandomBytes(2 * 1024 * 1024, 19));
    DWORD id = Target("throttled", "/stop");
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path, MakeFile("next.txt", "n")}, id, progress.window()));
    ASSERT_EQ(ERR_SUCCESS, StartUpload({other}, id));
    ASSERT_TRUE(PumpUntil([] { return StoredSize("/stop/stop.bin") > 50000; }, 20000));
    StopFtpBatches(progress.window());
    std::vector<std::string> status = main.Texts(UM_STATUSTEXT);
    EXPECT_NE(status.end(), std::find(status.begin(), status.end(), "FTP Transfer Stopped"));
    FtpBatch* left = FirstBatch();
    ASSERT_NE(nullptr, left);
    EXPECT_EQ(nullptr, left->next);
    EXPECT_EQ(nullptr, left->progressWindow);
    ASSERT_TRUE(PumpUntil([] { return StoredSize("/stop/other.bin") > 50000; }, 20000));
    StopAllTransfers();
    EXPECT_EQ(nullptr, FirstBatch());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stopEvent, 0));
    PumpMessages(300);
    EXPECT_TRUE(Records().empty());
    for (const std::string& p : {path, other})
        EXPECT_NE(std::string::npos, BackupLog().find("Transfer of file " + p + " was aborted"));
    EXPECT_EQ(std::string::npos, BackupLog().find("transferred successfully"));
    EXPECT_EQ(TRAY_IDLE, main.Seen(UM_TRAYSTATE).back().wParam);
    EXPECT_FALSE(FileExists(ServerStatePath("pyroot/stop/next.txt")));
}

// Sends the window a message every 10 ms and keeps the longest wait.
struct Probe {
    HWND window;
    volatile bool stop;
    DWORD longest;
    static DWORD WINAPI Run(void* self)
    {
        Probe* p = static_cast<Probe*>(self);
        while (!p->stop) {
            DWORD before = GetTickCount();
            DWORD_PTR result;
            SendMessageTimeoutA(p->window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
            p->longest = std::max(p->longest, GetTickCount() - before);
            Sleep(10);
        }
        return 0;
    }
};

TEST_F(Failure, AReplyThatNeverEndsIsGivenUpAndStarvesNoOne)
{
    DWORD old = SetFtpIdleLimit(3000);
    Probe probe = {main.window(), false, 0};
    HANDLE thread = CreateThread(NULL, 0, Probe::Run, &probe, 0, NULL);
    ASSERT_EQ(ERR_SUCCESS, StartUpload({MakeFile("flood.txt", "f")}, Target("flood", "/flood")));
    std::string data = RandomBytes(2 * 1024 * 1024, 29);
    std::string normal = MakeFile("beside.bin", data);
    DWORD start = GetTickCount();
    ASSERT_EQ(ERR_SUCCESS, StartUpload({normal}, Target("normal", "/beside")));
    EXPECT_TRUE(PumpUntil([&] { return StoredFile("/beside/beside.bin") == data; }, 10000));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_TRUE(WaitForBatches(20000));
    probe.stop = true;  // its last message needs this thread's pump
    PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 30000);
    CloseHandle(thread);
    SetFtpIdleLimit(old);
    EXPECT_LT(probe.longest, 2000u);  // a window that answers, not one that took seconds
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_CANNOT_CONNECT)));
    EXPECT_EQ(1u, Records().size());
}

TEST_F(Failure, AFileWrittenDuringItsUploadIsQueuedAgainOnceItEnds)
{
    std::string path = MakeFile("busy.bin", RandomBytes(1024 * 1024, 31));
    std::string read = MakeFile("read.bin", RandomBytes(1024 * 1024, 37));
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path, read}, Target("throttled", "/busy")));
    ASSERT_TRUE(PumpUntil([&] { return NoteChangeDuringUpload(batches, path.c_str()); }, 10000));
    WriteFileBytes(path, "the newest version");
    // Only the upload's own reading of the second file: nothing to queue.
    ASSERT_TRUE(PumpUntil([&] { return NoteChangeDuringUpload(batches, read.c_str()); }, 30000));
    EXPECT_FALSE(NoteChangeDuringUpload(batches, path.c_str()));
    ASSERT_TRUE(WaitForBatches(60000));
    std::vector<std::string> queued;
    for (TransferRequest* r = queue->first; r; r = r->next)
        queued.push_back(std::string(r->path) + " " + std::to_string(r->kind));
    EXPECT_EQ((std::vector<std::string>{path + " 2", path + " 1"}), queued);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(workEvent, 0));
}

using Download = FtpTest;

TEST_F(Download, GoesIntoTheRestoreFolderAndNeverLeavesAPartFile)
{
    TempDir restore("tkrestore");
    SetGlobalText("restorefolder", restore.path().c_str());
    Target("normal", "/");
    std::string data = RandomBytes(300000, 21);
    std::string local = ServerStatePath("pyroot/dl/sub/r.bin");
    MakeDirs(local.substr(0, local.rfind('\\')));
    ASSERT_TRUE(WriteFileBytes(local, data));
    // User names such as user@domain hold an '@' of their own.
    std::string location = "me@example.com:<password>@127.0.0.1:" + std::to_string(ServerPort("normal"));
    ClearCommands("normal");
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(itemPath.c_str(), "/dl/sub/r.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, ReadFileBytes(restore / "r.bin")));
    EXPECT_FALSE(FileExists(restore / "r.bin.tkpart"));
    std::vector<std::string> commands = ServerCommands("normal");
    ASSERT_GE(commands.size(), 6u);
    EXPECT_EQ("USER tk", commands[0]);  // the target's own login, not the record's
    EXPECT_EQ("CWD /dl/sub/", commands[2]);
    EXPECT_EQ("RETR r.bin", commands[commands.size() - 2]);
    EXPECT_EQ("QUIT", commands.back());
    EXPECT_TRUE(Records().empty());

    // A file the server does not have leaves the one in the restore folder alone.
    WriteFileBytes(restore / "missing.bin", "mine");
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(itemPath.c_str(), "/dl/sub/missing.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("mine", ReadFileBytes(restore / "missing.bin"));
    EXPECT_FALSE(FileExists(restore / "missing.bin.tkpart"));

    // Records that name no target of the item start nothing and say why.
    std::string port = std::to_string(ServerPort("normal"));
    EXPECT_EQ(ERR_FTP_REJECTED, StartFtpDownload(itemPath.c_str(), "/r.bin", ("tk:<password>@10.9.9.9:" + port).c_str()));
    EXPECT_EQ(ERR_GENERIC, StartFtpDownload(itemPath.c_str(), "/r.bin", "no location"));
    EXPECT_EQ(ERR_NO_SETTINGS, StartFtpDownload("C:\\not an item\\", "/r.bin", location.c_str()));
    EXPECT_EQ(nullptr, FirstBatch());
}

TEST_F(Download, AFullDiskLeavesTheFileThatWasThere)
{
    std::string folder = ServerStatePath("fulldisk");
    SetGlobalText("restorefolder", folder.c_str());
    Target("normal", "/");
    std::string local = ServerStatePath("pyroot/dl/full.bin");
    MakeDirs(local.substr(0, local.rfind('\\')));
    ASSERT_TRUE(WriteFileBytes(local, RandomBytes(300000, 41)));
    ASSERT_TRUE(WriteFileBytes(folder + "\\full.bin", "the user's own copy"));
    std::string location = "tk:<password>@127.0.0.1:" + std::to_string(ServerPort("normal"));
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(itemPath.c_str(), "/dl/full.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("the user's own copy", ReadFileBytes(folder + "\\full.bin"));
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_FILE_OPERATION)));
}

}  // namespace
