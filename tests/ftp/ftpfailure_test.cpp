// What the FTP client does when servers refuse, fall silent, break off or are impostors, and when
// the user stops it.
#include "monitor/builtin.h"
#include "monitor/monitor.h"
#include "tests/ftp/ftpharness.h"
#include "transfer/diskcopy.h"
#include "transfer/ftp/ftpclient.h"
#include "transfer/worker.h"

#include <process.h>

#include <algorithm>

namespace {

using Failure = FtpTest;

TEST_F(Failure, RefusalsEndTheBatchWithTheirMessageAndNoRecord)
{
    struct Case {
        const char* server;
        const char* password;
        BYTE passive;
        int code;
    } cases[] = {
        {"normal", "wrong", 0, 530},
        {"421", "secret", 0, 421},
        {"refuseport", "secret", 0, 425},
        {"noconnect", "secret", 0, 425},
        {"silent", "secret", 0, ERR_CANNOT_CONNECT},
        {"dead", "secret", 0, ERR_CANNOT_CONNECT},
        {"pasvrefused", "secret", 1, 502},
        {"pasvgarbled", "secret", 1, ERR_CANNOT_CONNECT},
        {"pasvdead", "secret", 1, ERR_CANNOT_CONNECT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server);
        // A server that never answers is given up after the idle limit; nobody listens on the dead
        // port.
        DWORD old = SetFtpIdleLimit(c.code == ERR_CANNOT_CONNECT ? 1500 : 60000);
        DeleteFileA((install / "errorlog.txt").c_str());
        std::string name = std::string("f-") + c.server + ".txt";
        FtpSpec spec;
        spec.password = c.password;
        spec.passive = c.passive;
        std::vector<std::string> commands =
            Run(c.server, "/refused", {MakeFile(name, "never stored")}, spec, 15000);
        SetFtpIdleLimit(old);
        EXPECT_NE(std::string::npos, ErrorLog().find(Message(c.code))) << ErrorLog();
        EXPECT_EQ(1, CountOf(ErrorLog(), " - "));
        EXPECT_TRUE((c.code != 530 && c.code != 425) ||
                    commands.back() == "QUIT");  // one still there hears QUIT
        // Passive mode never falls back to PORT.
        EXPECT_TRUE(!c.passive || std::count(commands.begin(), commands.end(), "PORT") == 0);
        EXPECT_FALSE(FileExists(ServerStatePath("pyroot/refused/" + name)));
        EXPECT_TRUE(Records().empty());
        EXPECT_EQ(TRAY_IDLE, main.Seen(UM_TRAYSTATE).back().wParam);
    }
    FtpSpec passive;  // and the next batch goes through
    passive.passive = 1;
    Run("normal", "/refused", {MakeFile("after.txt", "stored")}, passive);
    EXPECT_EQ("stored", StoredFile("/refused/after.txt"));
    // In active mode too, when another program holds the next data port.
    SOCKET held = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in at = {};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = htons(static_cast<WORD>(NextDataPort() + 1));
    ASSERT_EQ(0, bind(held, reinterpret_cast<sockaddr*>(&at), sizeof at));
    listen(held, 1);
    Run("normal", "/refused", {MakeFile("active.txt", "stored")});
    closesocket(held);
    EXPECT_EQ("stored", StoredFile("/refused/active.txt"));
}

TEST_F(Failure, UnknownHostsAndTextsThatCannotWorkStartNothing)
{
    std::string path = MakeFile("c.txt", "c");
    FtpSpec unknown;
    unknown.address = "no-such-host.invalid";
    EXPECT_EQ(ERR_HOST_NOT_RESOLVED, StartUpload({path}, Target("normal", "/nh", unknown)));
    EXPECT_EQ(nullptr, FirstBatch());

    // Line breaks in a text would smuggle commands to the server.
    const char* texts[][3] = {{"tk\r\nDELE x", "secret", "/lb"},
                              {"tk", "secret\nDELE x", "/lb"},
                              {"tk", "secret", "/lb\r\nRMD /"}};
    for (auto& t : texts) {
        FtpSpec bad;
        bad.user = t[0];
        bad.password = t[1];
        ClearCommands("normal");
        EXPECT_EQ(ERR_GENERIC, StartUpload({path}, Target("normal", t[2], bad)))
            << t[0] << t[1] << t[2];
        EXPECT_EQ(nullptr, FirstBatch());
        EXPECT_TRUE(ServerCommands("normal").empty());
    }
}

TEST_F(Failure, AFileThatCannotGoIsSkippedAndTheNextFileGoesOut)
{
    std::vector<std::string> paths = {MakeFile("bad1.txt", "x"), MakeFile("good.txt", "good"),
                                      MakeFile("bad2.txt", "y"), MakeFile("last.txt", "last")};
    std::vector<std::string> commands = Run("553", "/n553", paths, FtpSpec());
    EXPECT_EQ("good", StoredFile("/n553/good.txt"));
    EXPECT_EQ("last", StoredFile("/n553/last.txt"));
    EXPECT_EQ(2, CountOf(ErrorLog(), Message(553)));
    EXPECT_EQ(2u, Records().size());
    EXPECT_EQ("QUIT", commands.back());

    // A file gone since its change was seen is only logged, the same way for disk and FTP targets.
    // Another program holds every data port the next file would try: none is announced, so the
    // server cannot store that program's bytes over the good copy.
    int hi = 0, lo = 0;
    for (const std::string& c : ServerCommands("553"))
        sscanf(c.c_str(), "PORT %*d,%*d,%*d,%*d,%d,%d", &hi, &lo);
    std::vector<SOCKET> held;
    for (int port = hi * 256 + lo + 1; held.size() < 5; ++port) {
        sockaddr_in at = {AF_INET, htons(static_cast<u_short>(port)), {}, {}};
        at.sin_addr.s_addr = inet_addr("127.0.0.1");
        held.push_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        bind(held.back(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        listen(held.back(), 1);
    }
    WriteFileBytes(paths[1], "never announced");
    std::string gone = item / "gone.txt";
    commands = Run("553", "/n553", {gone, paths[1], paths[3]});
    for (SOCKET s : held)
        closesocket(s);
    TransferRequest disk = {NULL, NULL, NULL, NULL, KIND_HD, &gone[0], 0};
    char stored[MAX_PATH];
    EXPECT_EQ(ERR_SUCCESS,
              CopyToDiskTarget(&disk, NULL, SeedItem(itemPath, {{{install.path()}}, {}}).disks[0],
                               stored));
    EXPECT_EQ(2, CountOf(BackupLog(), "File " + gone + " no longer exists, nothing to transfer"));
    EXPECT_EQ(3, CountOf(ErrorLog(), " - "));
    EXPECT_EQ(1, std::count(commands.begin(), commands.end(), "PORT"));
    EXPECT_EQ(1, std::count(commands.begin(), commands.end(), "STOR last.txt"));
    EXPECT_EQ("good", StoredFile("/n553/good.txt"));
    EXPECT_EQ(1, CountOf(ErrorLog(), Message(ERR_TCPIP)));
}

TEST_F(Failure, ServersThatBreakOffOrStrangersOnTheDataPortGetNothingRecorded)
{
    // Cut mid-transfer, after the whole file but before its 226, or a 150 and a 226 at once and a
    // second later a reset of the unread data connection (under Wine a reset closes like a normal
    // end, and a few MiB fit into loopback's buffers before it): no record either way. aborted: the
    // data connection surely breaks before the control connection ends. A small file is sent whole
    // before the 226 that came with the 150 is looked at.
    struct Case {
        const char* server;
        int code;
        bool aborted;
        size_t size;
    } cases[] = {{"closemid", ERR_CANNOT_CONNECT, 0, 4 << 20},
                 {"noconfirm", ERR_CANNOT_CONNECT, 0, 4 << 20},
                 {"resetdata", ERR_FILE_OPERATION, 1, 4 << 20},
                 {"resetdata", ERR_FILE_OPERATION, 1, 64 << 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server + std::to_string(c.size));
        DeleteFileA((install / "errorlog.txt").c_str());
        std::string cut = MakeFile(std::string("cut-") + c.server + std::to_string(c.size) + ".bin",
                                   RandomBytes(c.size, 3));
        Run(c.server, "/cut", {cut});
        EXPECT_TRUE(Records().empty());
        EXPECT_EQ(std::string::npos, BackupLog().find("transferred successfully"));
        EXPECT_TRUE(!c.aborted || BackupLog().find("Transfer of file " + cut + " was aborted") !=
                                      std::string::npos);
        EXPECT_NE(std::string::npos, ErrorLog().find(Message(c.code)));
    }

    DeleteFileA(ServerStatePath("stranger.log").c_str());
    std::string data = RandomBytes(200000, 5);
    std::string path = MakeFile("secret.bin", data);
    Run("stranger", "/st", {path});
    EXPECT_TRUE(SameBytes(data, StoredFile("/st/secret.bin")));
    EXPECT_TRUE(
        PumpUntil([] { return !ReadFileBytes(ServerStatePath("stranger.log")).empty(); }, 8000));
    EXPECT_EQ("received 0 bytes\n", ReadFileBytes(ServerStatePath("stranger.log")));
    EXPECT_EQ(1u, Records().size());
}

TEST_F(Failure, StopsEndTheirBatchesMidUploadWithoutARecord)
{
    std::string path = MakeFile("stop.bin", RandomBytes(4 * 1024 * 1024, 13));
    std::string other = MakeFile("other.bin", RandomBytes(2 * 1024 * 1024, 19));
    DWORD id = Target("throttled", "/stop");
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path, MakeFile("next.txt", "n")}, id, progress.window()));
    ASSERT_EQ(ERR_SUCCESS, StartUpload({other}, id));
    ASSERT_TRUE(PumpUntil([] { return StoredFile("/stop/stop.bin").size() > 50000; }, 20000));
    StopFtpBatches(progress.window());
    std::vector<std::string> status = main.Texts(UM_STATUSTEXT);
    EXPECT_NE(status.end(), std::find(status.begin(), status.end(), "FTP Transfer Stopped"));
    FtpBatch* left = FirstBatch();
    ASSERT_NE(nullptr, left);
    EXPECT_EQ(nullptr, left->next);
    EXPECT_EQ(nullptr, left->progressWindow);
    ASSERT_TRUE(PumpUntil([] { return StoredFile("/stop/other.bin").size() > 50000; }, 20000));
    ASSERT_EQ(ERR_SUCCESS, StartUpload({MakeFile("held.txt", "sent")}, Target("held", "/stop")));
    auto sentUnconfirmed = [&] {  // the data connection ended; no 226 comes
        for (FtpBatch* b = batches->first; b; b = b->next)
            if (b->state == FTP_STATE_DATA_ENDED)
                return true;
        return false;
    };
    ASSERT_TRUE(PumpUntil(sentUnconfirmed, 20000));
    StopAllTransfers();
    EXPECT_EQ(nullptr, FirstBatch());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stopEvent, 0));
    EXPECT_EQ(TRAY_IDLE, main.Seen(UM_TRAYSTATE).back().wParam);
    // Whatever the stopped batches still had coming came before this upload's end.
    std::string after = MakeFile("after.txt", "after");
    Run("normal", "/stop", {after});
    ASSERT_EQ(1u, Records().size());
    EXPECT_EQ(after + "*/stop/after.txt", Records()[0].first);
    for (const std::string& p : {path, other})
        EXPECT_NE(std::string::npos, BackupLog().find("Transfer of file " + p + " was aborted"));
    EXPECT_EQ(1, CountOf(BackupLog(), "transferred successfully"));
    EXPECT_FALSE(FileExists(ServerStatePath("pyroot/stop/next.txt")));
}

TEST_F(Failure, AFileWrittenDuringItsUploadIsQueuedAgainAndASlowServerGetsTheSameBytes)
{
    std::string path = MakeFile("busy.bin", RandomBytes(1024 * 1024, 31));
    std::string data = RandomBytes(1024 * 1024, 37);
    std::string read = MakeFile("read.bin", data);
    // The throttled server reads slowly: the sends wait for room in the socket buffer.
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path, read}, Target("throttled", "/busy")));
    ASSERT_TRUE(PumpUntil([&] { return NoteChangeDuringUpload(batches, path.c_str()); }, 10000));
    // The log's lines are on disk as they are written, also while a batch holds the log open.
    EXPECT_TRUE(PumpUntil(
        [&] {
            return BackupLog().find("Accepted FTP data connection for " + path) !=
                   std::string::npos;
        },
        5000));
    WriteFileBytes(path, "the newest version");
    // Only the upload's own reading of the second file: nothing to queue.
    ASSERT_TRUE(PumpUntil([&] { return NoteChangeDuringUpload(batches, read.c_str()); }, 30000));
    EXPECT_FALSE(NoteChangeDuringUpload(batches, path.c_str()));
    ASSERT_TRUE(WaitForBatches(60000));
    EXPECT_TRUE(SameBytes(data, StoredFile("/busy/read.bin")));
    std::vector<std::string> queued;
    for (TransferRequest* r = queue->first; r; r = r->next)
        queued.push_back(std::string(r->path) + " " + std::to_string(r->kind));
    EXPECT_EQ(std::vector<std::string>{path + " 1"}, queued);  // its disk copy is the intake's
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(workEvent, 0));

    // Stopped mid-upload: Stop All Transfers takes such a change with it, a folder transfer's stop
    // stops only that transfer and leaves the live change to be queued.
    ClearRequests(queue);
    for (HWND window : {static_cast<HWND>(NULL), progress.window()}) {
        ASSERT_EQ(ERR_SUCCESS, StartUpload({read}, Target("throttled", "/busy"), window));
        ASSERT_TRUE(
            PumpUntil([&] { return NoteChangeDuringUpload(batches, read.c_str()); }, 10000));
        window ? StopFtpBatches(window) : StopAllTransfers();
    }
    EXPECT_TRUE(CountNodes(queue->first) == 1 && queue->first->path == read);
}

TEST_F(Failure, AFileSavedDuringItsUploadReachesTheDiskAtOnceAndTheServerAfterARefusalOrADrop)
{
    // The live road as the program runs it: the monitor and its intake, the live worker and this
    // client. The worker never ends: its queue and events stay its own.
    auto event = [](BOOL manual) { return CreateEventA(NULL, manual, FALSE, NULL); };
    WorkerStart live = {event(1), event(0),      event(1),   NewRequestQueue(),
                        batches,  main.window(), WORKER_LIVE};
    WorkerStart* start = static_cast<WorkerStart*>(malloc(sizeof live));  // the worker frees it
    _beginthread(TransferWorker, 0, &(*start = live));
    InitFtpClient({main.window(), batches, NULL, live.queue, live.workEvent, live.liveStopEvent});
    HANDLE device = INVALID_HANDLE_VALUE;
    ASSERT_TRUE(SetMonitoring(main.window(), &device, &live, 1) && WaitBuiltinMonitorReady(10000));
    TempDir disk("tkdisk");
    std::string path = item / "saved.txt";
    for (std::string server : {"holdrefuse", "holddrop"}) {
        FtpSpec spec;
        spec.port = ServerPort(server.c_str());
        SeedItem(itemPath, ItemSpec{{{disk.path()}}, {spec}, 1, 1, 1, 0});
        // The server holds the upload's STOR until the marker goes, then refuses or drops it.
        std::string hold = ServerStatePath("hold-" + server), newest = "saved again for " + server;
        ClearCommands(server.c_str());
        ASSERT_TRUE(WriteFileBytes(hold, "") && WriteFileBytes(path, "first for " + server));
        ASSERT_TRUE(PumpUntil([&] { return Has(ServerCommands(server.c_str()), "STOR saved.txt"); },
                              20000));
        WriteFileBytes(path, newest);
        EXPECT_TRUE(PumpUntil([&] { return ReadFileBytes(disk / "saved.txt") == newest; }, 20000));
        DeleteFileA(hold.c_str());
        EXPECT_TRUE(PumpUntil([&] { return StoredFile("/up/saved.txt") == newest; }, 20000));
        EXPECT_TRUE(WaitForBatches());
    }
    SetMonitoring(NULL, &device, &live, 0);
    InitFtpClient({main.window(), batches, main.window(), queue, workEvent, stopEvent});
}

using Download = FtpTest;

TEST_F(Download, GoesIntoTheRestoreFolderAndNeverLeavesAPartFileNorHarmsTheFileThere)
{
    TempDir restore("tkrestore");
    SetGlobalText("restorefolder", restore.path().c_str());
    FtpSpec passive;  // the end-to-end tests restore in active mode
    passive.passive = 1;
    Target("normal", "/", passive);
    std::string data = RandomBytes(300000, 21);
    std::string local = ServerStatePath("pyroot/dl/sub/r.bin");
    MakeDirs(local.substr(0, local.rfind('\\')));
    ASSERT_TRUE(WriteFileBytes(local, data));
    // User names such as user@domain hold an '@' of their own.
    std::string location =
        "me@example.com:<password>@127.0.0.1:" + std::to_string(ServerPort("normal"));
    ClearCommands("normal");
    ASSERT_EQ(ERR_SUCCESS, StartFtpDownload(itemPath.c_str(), "/dl/sub/r.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, ReadFileBytes(restore / "r.bin")));
    EXPECT_FALSE(FileExists(restore / "r.bin.tkpart"));
    // The target's own login, not the record's.
    std::vector<std::string> want = {"USER tk", "PASS secret", "CWD /dl/sub/", "TYPE I",
                                     "PASV",    "RETR r.bin",  "QUIT"};
    EXPECT_EQ(want, ServerCommands("normal"));
    EXPECT_TRUE(Records().empty());

    // A full disk leaves the file that was there.
    std::string full = ServerStatePath("fulldisk");
    SetGlobalText("restorefolder", full.c_str());
    ASSERT_TRUE(WriteFileBytes(ServerStatePath("pyroot/dl/sub/full.bin"), RandomBytes(300000, 41)));
    ASSERT_TRUE(WriteFileBytes(full + "\\full.bin", "the user's own copy"));
    ASSERT_EQ(ERR_SUCCESS,
              StartFtpDownload(itemPath.c_str(), "/dl/sub/full.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("the user's own copy", ReadFileBytes(full + "\\full.bin"));
    EXPECT_NE(std::string::npos, ErrorLog().find(Message(ERR_FILE_OPERATION)));
    SetGlobalText("restorefolder", restore.path().c_str());

    // A file the server does not have leaves the one in the restore folder alone.
    WriteFileBytes(restore / "missing.bin", "mine");
    ASSERT_EQ(ERR_SUCCESS,
              StartFtpDownload(itemPath.c_str(), "/dl/sub/missing.bin", location.c_str()));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("mine", ReadFileBytes(restore / "missing.bin"));
    EXPECT_FALSE(FileExists(restore / "missing.bin.tkpart"));

    // Records that name no target of the item start nothing and say why.
    std::string port = std::to_string(ServerPort("normal"));
    EXPECT_EQ(ERR_FTP_REJECTED, StartFtpDownload(itemPath.c_str(), "/r.bin",
                                                 ("tk:<password>@10.9.9.9:" + port).c_str()));
    EXPECT_EQ(ERR_GENERIC, StartFtpDownload(itemPath.c_str(), "/r.bin", "no location"));
    EXPECT_EQ(ERR_NO_SETTINGS, StartFtpDownload("C:\\not an item\\", "/r.bin", location.c_str()));
    SetGlobalText("restorefolder", "");
    DeleteGlobalValue("installdir");  // nowhere to restore to, and never the root of the drive
    EXPECT_EQ(ERR_DEST_OPEN, StartFtpDownload(itemPath.c_str(), "/r.bin", location.c_str()));
    EXPECT_EQ(nullptr, FirstBatch());
}

TEST_F(Download, EachWritesAPartFileOfItsOwnThatNeverOutlivesIt)
{
    TempDir restore("tkrestore"), moved("tkmoved");
    SetGlobalText("restorefolder", restore.path().c_str());
    Target("throttled", "/");
    std::string docs = RandomBytes(768 * 1024, 43),
                at = "tk:<password>@127.0.0.1:" + std::to_string(ServerPort("throttled"));
    MakeDirs(ServerStatePath("pyroot/same"));
    ASSERT_TRUE(WriteFileBytes(ServerStatePath("pyroot/readme.txt"), docs) &&
                WriteFileBytes(ServerStatePath("pyroot/same/readme.txt"), "same name"));
    auto start = [&](const char* stored) {
        EXPECT_EQ(ERR_SUCCESS, StartFtpDownload(itemPath.c_str(), stored, at.c_str()));
        return PumpUntil([&] { return FirstBatch() && FirstBatch()->current.done > 0; }, 20000);
    };
    // The same name from another folder while the first runs: each comes whole, the last one stays.
    ASSERT_TRUE(start("/readme.txt") && start("/same/readme.txt") && WaitForBatches());
    EXPECT_TRUE(SameBytes(docs, ReadFileBytes(restore / "readme.txt")));

    // The restore folder changed meanwhile: the file goes where it was asked for.
    DeleteFileA((restore / "readme.txt").c_str());
    ASSERT_TRUE(start("/readme.txt"));
    SetGlobalText("restorefolder", moved.path().c_str());
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(docs, ReadFileBytes(restore / "readme.txt")));
    EXPECT_EQ(1u, ReadTree(restore.path()).size() + ReadTree(moved.path()).size());
    EXPECT_EQ("", ErrorLog());

    // The program ends during a download (into the folder set last).
    ASSERT_TRUE(start("/readme.txt"));
    SOCKET sockets[] = {FirstBatch()->control, FirstBatch()->current.data};
    ShutDownFtpClient();
    EXPECT_TRUE(ReadTree(moved.path()).empty());
    for (SOCKET s : sockets)
        closesocket(s);
}

}  // namespace
