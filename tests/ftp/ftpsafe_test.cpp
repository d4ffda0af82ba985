// Uploads under a temporary name, then a rename: no failure touches the stored copy or its
// record. In place, a broken upload leaves no record that leads to a partial file.
#include "tests/ftp/ftpharness.h"

namespace {

using SafeUpload = FtpTest;
typedef std::vector<std::string> Strings;

TEST_F(SafeUpload, EachFileGoesUpUnderItsOwnTemporaryNameAndTheRenameStoresIt)
{
    FtpSpec spec;
    spec.safeUpload = 1;
    std::string path = MakeFile("a.bin", "first");
    Strings first = Run("normal", "/safe", {path}, spec);
    spec.storage = STORAGE_BACKUP;  // the rename gives the name with its stamp
    WriteFileBytes(path, "second");
    Strings commands = Run("normal", "/safe", {path}, spec);
    ASSERT_EQ(11u, commands.size());
    std::string temp = commands[6].substr(5), stamped = commands[9].substr(5);
    EXPECT_EQ((Strings{"USER tk", "PASS secret", "MKD /safe", "CWD /safe", "TYPE I", "PORT",
                       "STOR " + temp, "SIZE " + temp, "RNFR " + temp, "RNTO " + stamped, "QUIT"}),
              commands);
    EXPECT_EQ(first[6], commands[6]);  // every upload of a file under the same name
    EXPECT_TRUE(first[9] == "RNTO a.bin" && stamped.find("a ") == 0) << stamped;
    EXPECT_TRUE(temp.find('.') <= 8 && temp.size() - temp.find('.') <= 4) << temp;  // 8.3
    EXPECT_EQ((std::map<std::string, std::string>{{"a.bin", "first"}, {stamped, "second"}}),
              ReadTree(ServerStatePath("pyroot/safe")));
    EXPECT_TRUE(Has({Records().at(0).first, Records().at(1).first}, path + "*/safe/" + stamped));
    EXPECT_EQ(2, CountOf(BackupLog(), "File " + path + " transferred successfully"));
    Strings replies = main.Texts(UM_FTPREPLY);
    EXPECT_EQ(2, std::count_if(replies.begin(), replies.end(),
                               [](const std::string& r) { return r.compare(0, 4, "350 ") == 0; }));
    EXPECT_EQ("", ErrorLog());
}

TEST_F(SafeUpload, NoFailureChangesTheStoredCopyOrItsRecordAndInPlaceNoRecordLeadsToAPartOfOne)
{
    enum Outcome { KEPT, STORED, FORGOTTEN };  // the good copy and its record; the new; no record
    struct Case {
        const char* server;
        BYTE safe;
        Outcome outcome;
        int code;       // in the error log; 0 for none
        int leftovers;  // temporary files the connection was gone too early to delete
    } cases[] = {
        {"dropmid", 1, KEPT, 426, 0},
        {"dropmid", 0, FORGOTTEN, 426, 0},
        {"closemid", 1, KEPT, ERR_CANNOT_CONNECT, 1},
        {"closemid", 0, FORGOTTEN, ERR_CANNOT_CONNECT, 0},
        {"badsize", 1, KEPT, ERR_FILE_OPERATION, 0},
        {"badsize", 0, STORED, 0, 0},
        {"nornfr", 1, KEPT, ERR_RENAME_REFUSED, 0},
        {"nornfr", 0, STORED, 0, 0},
        {"553", 1, KEPT, ERR_RENAME_REFUSED, 0},  // the temporary name is refused
        {"renameover", 1, STORED, 0, 0},          // nor SIZE: both files go on without it
        {"renameover", 0, STORED, 0, 0},
    };
    std::string good = RandomBytes(4 << 20, 61), fresh = RandomBytes(4 << 20, 67);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.server) + (c.safe ? " safe" : " in place"));
        DeleteFileA((install / "errorlog.txt").c_str());
        std::string name = std::string("s-") + c.server + ".bin", path = MakeFile(name, fresh);
        std::string folder = std::string("/safe-") + c.server + (c.safe ? "1" : "0");
        std::string stored = folder + "/" + name, local = ServerStatePath("pyroot" + folder);
        FtpSpec spec;
        spec.safeUpload = c.safe;
        DWORD id = Target(c.server, folder.c_str(), spec);
        MakeDirs(local);
        ASSERT_TRUE(WriteFileBytes(ServerStatePath("pyroot" + stored), good));
        ASSERT_EQ(1, WriteFtpRestoreRecord(path.c_str(), int(id), stored.c_str(), "tk", "127.0.0.1",
                                           WORD(ServerPort(c.server))));
        auto before = Records();
        ClearCommands(c.server);
        ASSERT_EQ(ERR_SUCCESS, StartUpload({path, MakeFile("second.txt", "second")}, id));
        ASSERT_TRUE(WaitForBatches());

        auto records = Records();
        EXPECT_EQ(c.outcome != FORGOTTEN,
                  std::count_if(records.begin(), records.end(),
                                [&](auto& r) { return r.first == path + "*" + stored; }) == 1);
        EXPECT_TRUE(c.outcome != KEPT || records == before);
        if (c.outcome == FORGOTTEN)
            EXPECT_FALSE(SameBytes(good, StoredFile(stored)));  // a part of the new one
        else
            EXPECT_TRUE(SameBytes(c.outcome == STORED ? fresh : good, StoredFile(stored)));
        EXPECT_EQ(c.outcome == FORGOTTEN ? 1 : 0,
                  CountOf(ErrorLog(), "its restore record was removed"));
        EXPECT_EQ(c.code == 0, ErrorLog().empty()) << ErrorLog();
        EXPECT_TRUE(c.code == 0 || ErrorLog().find(Message(c.code)) != std::string::npos);
        std::string sent =
            ReadFileBytes(ServerStatePath(std::string("commands-") + c.server + ".log"));
        // One message for the target, not one per file; a stored copy deleted first is told.
        EXPECT_TRUE(c.code != ERR_RENAME_REFUSED ||
                    (CountOf(ErrorLog(), " - ") == 1 && CountOf(sent, "STOR ") == 1))
            << sent;
        EXPECT_TRUE(!c.safe || c.outcome != STORED ||
                    (CountOf(sent, "SIZE ") == 1 && CountOf(sent, "DELE " + name + "\n") == 1 &&
                     CountOf(BackupLog(), "old copy " + stored + " was deleted first") == 1))
            << sent;
        auto temporary = [&] {
            std::string names;
            for (const auto& f : ReadTree(local))
                names += f.first + "|";
            return CountOf(names, ".tkp|");
        };
        EXPECT_EQ(c.leftovers, temporary());
        if (c.safe) {  // the next upload of the file takes any leftover with it
            ASSERT_EQ(ERR_SUCCESS, StartUpload({path}, Target("normal", folder.c_str(), spec)));
            ASSERT_TRUE(WaitForBatches());
            EXPECT_EQ(0, temporary());
            EXPECT_TRUE(SameBytes(fresh, StoredFile(stored)));
        }
    }
}

}  // namespace
