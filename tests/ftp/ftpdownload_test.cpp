// Downloads for the restore function: where the file lands, what is sent, who may write into it.
#include <gtest/gtest.h>

#include "app/appstate.h"
#include "tests/ftp/ftpharness.h"
#include "tests/support/windows.h"
#include "transfer/ftp.h"

#include <algorithm>

namespace {

class Download : public ::testing::Test, public FtpFixtureBase {
protected:
    void SetUp() override
    {
        ASSERT_NE(0, ServerPort("normal")) << "FTP test servers are not running";
    }
    // Puts a file on the pyftpdlib servers; returns its remote path.
    std::string Serve(const std::string& remote, const std::string& bytes)
    {
        std::string local = ServerStatePath("pyroot" + remote);
        MakeDirs(local.substr(0, local.rfind('\\')));
        EXPECT_TRUE(WriteFileBytes(local, bytes));
        return remote;
    }
    std::string Location(const char* server)
    {
        return "tk:<password>@127.0.0.1:" + std::to_string(ServerPort(server));
    }
    int Start(const char* server, const std::string& remote)
    {
        return StartFtpDownload(itemPath.c_str(),
                                remote.c_str(), Location(server).c_str());
    }
};

TEST_F(Download, GoesIntoTheRestoreFolderUnderItsRemoteName)
{
    TempDir restore("tkrestore");
    SetGlobalText("restorefolder", restore.path().c_str());
    TargetSpec spec;
    spec.port = ServerPort("normal");
    SetTarget(spec);
    std::string data = RandomBytes(300000, 21);
    std::string remote = Serve("/dl/sub/r.bin", data);
    ClearCommands("normal");
    ASSERT_EQ(1, Start("normal", remote));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, ReadFileBytes(restore / "r.bin")));
    EXPECT_FALSE(FileExists(restore / "r.bin.tkpart"));
    std::vector<std::string> commands = ServerCommands("normal");
    ASSERT_GE(commands.size(), 6u);
    EXPECT_EQ("USER tk", commands[0]);
    EXPECT_EQ("CWD /dl/sub/", commands[2]);
    EXPECT_EQ("RETR r.bin", commands[commands.size() - 2]);
    EXPECT_EQ("QUIT", commands.back());
    EXPECT_EQ("Tandemkeep v1.21 - Transferring file " + itemPath.substr(0, 26),
              g_seen.trayTips.front());
    EXPECT_TRUE(FtpRecords().empty());
}

TEST_F(Download, WithoutARestoreFolderReplacesTheFileInTheInstallationFolder)
{
    SetGlobalText("restorefolder", "");
    TargetSpec spec;
    spec.port = ServerPort("normal");
    SetTarget(spec);
    WriteFileBytes(install / "old.txt", "an older and longer text");
    ASSERT_EQ(1, Start("normal", Serve("/dl/old.txt", "new")));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("new", ReadFileBytes(install / "old.txt"));
}

TEST_F(Download, AFileTheServerDoesNotHaveLeavesTheLocalOneAlone)
{
    SetGlobalText("restorefolder", "");
    TargetSpec spec;
    spec.port = ServerPort("normal");
    SetTarget(spec);
    WriteFileBytes(install / "kept.txt", "still here");
    Serve("/dl2/other.txt", "the folder exists, the file does not");
    ClearCommands("normal");
    ASSERT_EQ(1, Start("normal", "/dl2/kept.txt"));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_EQ("still here", ReadFileBytes(install / "kept.txt"));
    EXPECT_FALSE(FileExists(install / "kept.txt.tkpart"));
    EXPECT_NE(std::string::npos, ErrorLog().find(" - "));
    std::vector<std::string> commands = ServerCommands("normal");
    EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "RETR kept.txt"));
}

TEST_F(Download, AStrangerCannotWriteIntoTheDownloadedFile)
{
    TempDir restore("tkrestore");
    SetGlobalText("restorefolder", restore.path().c_str());
    TargetSpec spec;
    spec.port = ServerPort("stranger");
    SetTarget(spec);
    std::string data = RandomBytes(50000, 23);
    ASSERT_EQ(1, Start("stranger", Serve("/dl/s.bin", data)));
    ASSERT_TRUE(WaitForBatches());
    EXPECT_TRUE(SameBytes(data, ReadFileBytes(restore / "s.bin")));
}

TEST_F(Download, LocationsThatNameNoTargetStartNothing)
{
    TargetSpec spec;
    spec.port = ServerPort("normal");
    SetTarget(spec);
    const char* bad[] = {"tk@127.0.0.1:21", "tk:pw", "tk:<password>@10.0.0.1:21", ""};
    for (const char* location : bad) {
        EXPECT_EQ(0, StartFtpDownload(itemPath.c_str(),
                                      "/dl/x", location))
            << location;
        EXPECT_EQ(nullptr, FirstBatch());
    }
}

}  // namespace
