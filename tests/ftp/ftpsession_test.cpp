// Uploads and downloads with real FTP servers on 127.0.0.1: the command sequence, batches, replies
// as servers send them.
#include "tests/ftp/ftpharness.h"
#include "transfer/folder.h"

#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "store/scoped.h"

#include <stdio.h>

#include <algorithm>
#include <sstream>

namespace {

using Upload = FtpTest;

TEST_F(Upload, OneFileGoesThroughTheWholeSequenceAndLeavesARecord)
{
    std::string data = RandomBytes(300000, 1);
    std::string path = MakeFile("a.bin", data);
    std::vector<std::string> want = {"USER tk", "PASS secret", "MKD /seq1",  "CWD /seq1",
                                     "TYPE I",  "PORT",        "STOR a.bin", "QUIT"};
    EXPECT_EQ(want, Run("normal", "/seq1", {path}));
    EXPECT_TRUE(SameBytes(data, StoredFile("/seq1/a.bin")));
    auto records = Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(path + "*/seq1/a.bin", records[0].first);
    EXPECT_EQ("tk:<password>@127.0.0.1:" + std::to_string(ServerPort("normal")), records[0].second);

    std::string log = BackupLog();
    size_t at = 0;
    for (std::string line :
         {"FTP control connection accepted for " + path, "Accepted FTP data connection for " + path,
          "FTP data connection closed for " + path, "File " + path + " transferred successfully",
          "FTP control connection closed for " + path}) {
        at = log.find(line, at);
        ASSERT_NE(std::string::npos, at) << line << "\n" << log;
    }
    EXPECT_EQ("", ErrorLog());
    EXPECT_EQ("220 ", main.Texts(UM_FTPREPLY).at(0).substr(0, 4));  // the replies window's
    auto status = main.Texts(UM_STATUSTEXT);
    EXPECT_TRUE(Has(status, "Transferring file " + path + ".  100% complete"));
    EXPECT_TRUE(Has(status, "File " + path + " transferred successfully"));
    EXPECT_EQ("", status.back());  // the ready text
    auto tray = main.Seen(UM_TRAYSTATE);
    ASSERT_FALSE(tray.empty());
    EXPECT_EQ(TRAY_UPLOAD, tray.front().wParam);
    EXPECT_EQ(path, tray.front().text);
    EXPECT_EQ(TRAY_IDLE, tray.back().wParam);
}

TEST_F(Upload, ABatchMakesEachFolderLevelAndSendsEveryFileOverOneConnection)
{
    // A relative target folder: each file's folder is named from where the previous one went.
    std::vector<std::string> paths = {MakeFile("sub\\deep\\x.txt", "deep")};
    for (int i = 0; i < 12; ++i)
        paths.push_back(MakeFile((i % 2 ? "odd\\f" : "f") + std::to_string(i) + ".txt",
                                 RandomBytes(3000 + i * 517, 100 + i)));
    std::vector<std::string> commands = Run("normal", "many", paths);
    std::vector<std::string> first = {"USER tk",
                                      "PASS secret",
                                      "MKD many",
                                      "MKD many/sub",
                                      "MKD many/sub/deep",
                                      "CWD many/sub/deep",
                                      "TYPE I",
                                      "PORT",
                                      "STOR x.txt",
                                      "MKD ..",
                                      "MKD ../..",
                                      "MKD ../../..",
                                      "MKD ../../../many",
                                      "CWD ../../../many"};
    ASSERT_GE(commands.size(), first.size());
    EXPECT_EQ(first, std::vector<std::string>(commands.begin(), commands.begin() + first.size()));
    EXPECT_EQ(1, std::count(commands.begin(), commands.end(), "USER tk"));
    EXPECT_EQ("QUIT", commands.back());
    EXPECT_EQ("deep", StoredFile("/many/sub/deep/x.txt"));
    for (int i = 0; i < 12; ++i) {
        std::string remote =
            std::string("/many/") + (i % 2 ? "odd/" : "") + "f" + std::to_string(i) + ".txt";
        EXPECT_TRUE(SameBytes(RandomBytes(3000 + i * 517, 100 + i), StoredFile(remote))) << remote;
    }
    EXPECT_EQ(13u, Records().size());

    // Again: every MKD now gets 550, and the files still go out.
    WriteFileBytes(paths[0], "second version");
    Run("normal", "many", {paths[0]});
    EXPECT_EQ("second version", StoredFile("/many/sub/deep/x.txt"));
    EXPECT_EQ("", ErrorLog());
}

TEST_F(Upload, AnonymousBackupNamesAndEmptyFiles)
{
    std::string path = MakeFile("report.doc", "backup me");
    std::string empty = MakeFile("empty.txt", "");
    FtpSpec spec;
    spec.anonymous = 1;
    spec.password = "me@example.com";
    spec.storage = 2;
    std::vector<std::string> commands = Run("normal", "/bk", {path, empty}, spec);
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ("USER anonymous", commands[0]);
    EXPECT_EQ("PASS me@example.com", commands[1]);
    std::vector<std::string> names;
    for (const std::string& c : commands)
        if (c.compare(0, 5, "STOR ") == 0)
            names.push_back(c.substr(5));
    ASSERT_EQ(2u, names.size());
    ASSERT_EQ(0u, names[0].find("report ")) << names[0];
    ASSERT_EQ(".doc", names[0].substr(names[0].size() - 4));
    EXPECT_EQ(std::string::npos, names[0].find_first_of("/:"));
    EXPECT_EQ("backup me", StoredFile("/bk/" + names[0]));
    auto records = Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_TRUE(Has({records[0].first, records[1].first}, path + "*/bk/" + names[0]));
    // An empty file is stored and recorded, without a success line.
    EXPECT_TRUE(FileExists(ServerStatePath("pyroot/bk/" + names[1])));
    EXPECT_EQ("", StoredFile("/bk/" + names[1]));
    EXPECT_EQ(1, CountOf(BackupLog(), "transferred successfully"));
    EXPECT_NE(std::string::npos, BackupLog().find("FTP data connection closed for " + empty));
}

TEST_F(Upload, RepliesAsServersReallySendThem)
{
    for (std::string server : {"split", "onebyte", "multiline", "many", "nopass"}) {
        SCOPED_TRACE(server);
        std::string name = "r-" + server + ".txt";
        std::string path = MakeFile(name, RandomBytes(5000, 7));
        std::vector<std::string> commands = Run(server.c_str(), "/rp", {path});
        EXPECT_EQ("USER tk", commands[0]);
        EXPECT_EQ(server != "nopass",
                  Has(commands, "PASS secret"));  // that server logs in after USER
        EXPECT_EQ("STOR " + name, commands[commands.size() - 2]);
        EXPECT_TRUE(SameBytes(RandomBytes(5000, 7), StoredFile("/rp/" + name)));
        EXPECT_EQ("", ErrorLog());
    }
}

TEST_F(Upload, AnEventOfAnEarlierSocketWithTheSameNumberIsNotTheNewBatchs)
{
    // Socket numbers are reused at once: a close event of a finished batch
    // can still wait in the queue when a new batch gets its number.
    std::string path = MakeFile("stale.txt", "kept");
    DWORD id = Target("normal", "/stale");
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, id));
    SOCKET old = FirstBatch()->control;
    PostMessageA(main.window(), UM_FTPCONTROL, old, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    StopAllTransfers();  // closes the socket; its event still waits
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, id));
    EXPECT_EQ(old, FirstBatch()->control) << "the socket number was not reused";
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("kept", StoredFile("/stale/stale.txt"));
    EXPECT_EQ(1u, Records().size());
    EXPECT_EQ("", ErrorLog());

    // Nor is a batch in the memory of one that ended: the close event comes before the goodbye is
    // read, the batch ends on that 221, and a new one starts as the tray turns idle, allocating
    // nothing before it.
    FtpBatch* first = NULL;
    std::vector<std::string> next = {MakeFile("again.txt", "again")};
    Recorder window([&](HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
        if (msg == UM_TRAYSTATE && wp == TRAY_IDLE && first) {
            EXPECT_EQ(ERR_SUCCESS, StartUpload(next, id));
            EXPECT_EQ(first, FirstBatch()) << "the batch's memory was not reused";
            first = NULL;
        }
        return (*result = OnFtpClientMessage(msg, wp, lp)) != FALSE;
    });
    InitFtpClient({window.window(), batches, NULL, queue, workEvent, stopEvent});
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, id));
    first = FirstBatch();
    MSG msg;
    while (FirstBatch() == first && first->state != FTP_STATE_QUIT && GetMessageA(&msg, NULL, 0, 0))
        DispatchMessageA(&msg);
    fd_set goodbye = {1, {first->control}};
    timeval wait = {20, 0};
    ASSERT_EQ(1, select(0, &goodbye, NULL, NULL, &wait));
    window.Clear();  // keeps its room: recording the next messages allocates nothing
    SendMessageA(window.window(), UM_FTPCONTROL, first->control, WSAMAKESELECTREPLY(FD_CLOSE, 0));
    ASSERT_EQ(nullptr, first) << "no batch started";
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("again", StoredFile("/stale/again.txt"));
    EXPECT_EQ("", ErrorLog());
    InitFtpClient({main.window(), batches, main.window(), queue, workEvent, stopEvent});
}

TEST_F(Upload, AFolderTransferToAFolderAboveTheLoginFolderStoresEachFileWhereItsRecordSays)
{
    // The server logs in to /home/user: "../www" is /home/www. Each file's folder is named from
    // where the previous one went, within two subfolders, deeper and back.
    for (const char* name : {"top.txt", "a\\x.txt", "b\\y.txt", "b\\c\\z.txt"})
        MakeFile(name, name);
    Target("nested", "../www");
    FolderTransfer block = {itemPath.c_str(), main.window(), progress.window(), 1, batches,
                            stopEvent,        NULL};
    ASSERT_EQ(1, StartFolderTransfer(&block));
    ASSERT_TRUE(PumpUntil([&] { return Records().size() == 4; }, 30000));
    ASSERT_TRUE(WaitForBatches());
    for (const auto& record : Records()) {
        std::string name =
            record.first.substr(itemPath.size(), record.first.find('*') - itemPath.size());
        std::string remote = name;
        std::replace(remote.begin(), remote.end(), '\\', '/');
        EXPECT_EQ(itemPath + name + "*../www/" + remote, record.first);
        EXPECT_EQ(name, StoredFile("/home/www/" + remote));
    }
}

using Passive = FtpTest;

TEST_F(Passive, PasvTakesThePlaceOfPortAndTheServersOwnAddressIsUsed)
{
    FtpSpec spec;
    spec.passive = 1;
    std::string data = RandomBytes(500000, 43);
    std::string path = MakeFile("p\\pasv.bin", data);
    std::vector<std::string> want = {"USER tk",   "PASS secret",   "MKD /pv",
                                     "MKD /pv/p", "CWD /pv/p",     "TYPE I",
                                     "PASV",      "STOR pasv.bin", "QUIT"};
    EXPECT_EQ(want, Run("normal", "/pv", {path}, spec));
    EXPECT_TRUE(SameBytes(data, StoredFile("/pv/p/pasv.bin")));
    // A server that announces another address gets the file all the same.
    EXPECT_EQ(want, Run("pasvelsewhere", "/pv", {path}, spec));
    EXPECT_NE(std::string::npos,
              BackupLog().find("FTP server announced data address 10.255.255.1 for " + path));
    EXPECT_EQ(1u, Records().size());  // the same file to the same place
    EXPECT_EQ("", ErrorLog());
    spec.anonymous = 1;
    spec.password = "";
    Run("vsftpd-pasv", "pub/pv", {path}, spec);  // PORT switched off
    EXPECT_TRUE(SameBytes(data, ReadFileBytes(ServerStatePath("vsroot/pub/pv/p/pasv.bin"))));
}

TEST_F(Upload, TheRecordNamesTheServerTheUploadReachedOrTheErrorLogTellsWhyThereIsNone)
{
    std::string data = RandomBytes(768 * 1024, 53), path = MakeFile("edited.bin", data);
    std::string longer = MakeFile(std::string(150, 'l'), "l");
    ASSERT_EQ(ERR_SUCCESS, StartUpload({path, longer}, Target("throttled", "/rec")));
    ASSERT_TRUE(PumpUntil([] { return !StoredFile("/rec/edited.bin").empty(); }, 20000));
    ScopedItemSettings s(itemPath.c_str());  // the user gives the target another address meanwhile
    lstrcpynA(s->ftpTargets[0]->address, "elsewhere.example", TK_FTPTEXT_SIZE);
    ASSERT_EQ(STORE_OK, SaveItemSettings(itemPath.c_str(), s.get(), SAVE_FTP));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, StoredFile("/rec/edited.bin")));
    std::string at = "tk:<password>@127.0.0.1:" + std::to_string(ServerPort("throttled"));
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{path + "*/rec/edited.bin", at}}),
              Records());
    // The second file's record would not fit in the registry: the error log says so.
    EXPECT_NE(std::string::npos,
              ErrorLog().find("No restore record could be written for " + longer));
}

// A server, or a port that is no FTP server, whose replies carry random bytes:
// the uploads go through, and the real replies window shows every reply as a
// line of its own and one printable character for each byte that came. The
// seed of each run is printed; TK_REPLY_NOISE_SEED replays it.
TEST_F(Upload, RandomBytesInRepliesShowAsPlainTextInTheRepliesWindow)
{
    HWND replies = CreateRepliesWindow(main.window());
    ShowWindow(replies, SW_SHOWNOACTIVATE);
    SetFtpRepliesWindow(replies);
    const char* fixed = getenv("TK_REPLY_NOISE_SEED");
    unsigned seed = fixed ? strtoul(fixed, NULL, 10) : GetTickCount();
    for (int run = 0; run < 4 && !HasFailure(); ++run, ++seed) {
        printf("Random reply bytes: TK_REPLY_NOISE_SEED=%u\n", seed);
        fflush(stdout);
        SCOPED_TRACE("TK_REPLY_NOISE_SEED=" + std::to_string(seed));
        ASSERT_TRUE(WriteFileBytes(ServerStatePath("noise-seed.txt"), std::to_string(seed)));
        DeleteFileA(ServerStatePath("noise-sent.log").c_str());
        SendMessageA(replies, WM_COMMAND, IDC_REPLIES_CLEAR, 0);
        std::string data = RandomBytes(3000, seed);
        std::vector<std::string> names = {"n1.bin", "n2.bin", "n3.bin"}, paths;
        for (const std::string& name : names)
            paths.push_back(MakeFile(name, data));
        FtpSpec spec;
        spec.passive = run % 2;
        Run("noise", "/noise", paths, spec);
        for (const std::string& name : names)
            EXPECT_TRUE(SameBytes(data, StoredFile("/noise/" + name)));
        std::istringstream log(ReadFileBytes(ServerStatePath("noise-sent.log")));
        std::string kind, sent;
        std::vector<std::string> answers;
        size_t bytes = 0;
        while (log >> kind && std::getline(log >> std::ws, sent)) {
            if (kind == "R")
                answers.push_back(sent);
            bytes += kind == "R" ? sent.size() : std::stoul(sent);
        }
        ASSERT_FALSE(answers.empty());
        std::string text;
        ASSERT_TRUE(PumpUntil(
            [&] {
                text = DlgItemText(replies, IDC_REPLIES_TEXT);
                return text.find(answers.back() + "\r\n") != std::string::npos;
            },
            5000));
        size_t breaks = 0, unprintable = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if (text.compare(i, 2, "\r\n") == 0) {
                ++breaks;
                ++i;
            } else {
                unprintable += c < 0x20 || c > 0x7E;
            }
        }
        EXPECT_EQ(0u, unprintable);
        EXPECT_EQ(bytes, text.size() - 2 * breaks);
        size_t at = 0;  // each reply a line of its own, in order
        for (const std::string& a : answers) {
            at = text.find("\n" + a + "\r\n", at);
            ASSERT_NE(std::string::npos, at++) << a;
        }
    }
    SetFtpRepliesWindow(main.window());
    DestroyWindow(replies);
}

}  // namespace
