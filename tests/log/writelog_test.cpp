// The log line format, the logging switch, error-code messages and concurrent writers.
#include <gtest/gtest.h>

#include "log/errors.h"
#include "log/log.h"
#include "resources/resource.h"
#include "tests/support/testenv.h"

#include <string>
#include <thread>
#include <vector>

namespace {

class Logs : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        UseInstallDir(dir_);
    }
    void TearDown() override { DeleteProductKey(); }
    std::string Backup() { return ReadFileBytes(dir_ / "backuplog.txt"); }
    std::string Errors() { return ReadFileBytes(dir_ / "errorlog.txt"); }

    TempDir dir_;
};

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    EXPECT_EQ(start, text.size()) << "text after the last CR LF";
    return lines;
}

std::string Message(int code)
{
    char text[1280] = "";
    LoadStringA(GetModuleHandleA(NULL), MapErrorCode(code), text, sizeof text);
    return text;
}

TEST_F(Logs, LineHasDateTimePrefixAndCrLf)
{
    char date[64];
    GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, NULL, NULL, date, sizeof date);
    ASSERT_EQ(1, WriteLog("Received request to back up file C:\\a.txt", 0, LOG_BACKUP));
    std::vector<std::string> lines = SplitCrLf(Backup());
    ASSERT_EQ(1u, lines.size());
    const std::string& line = lines[0];
    EXPECT_EQ(0u, line.find(std::string(date) + " ")) << line;
    size_t sep = line.find(" - ");
    ASSERT_NE(std::string::npos, sep);
    std::string time = line.substr(strlen(date) + 1, sep - strlen(date) - 1);
    EXPECT_FALSE(time.empty());
    EXPECT_NE(std::string::npos, time.find(':')) << time;
    EXPECT_EQ("Received request to back up file C:\\a.txt", line.substr(sep + 3));
    EXPECT_EQ("", Errors());
}

TEST_F(Logs, TextAndCodeGiveTwoLinesWithOnePrefix)
{
    ASSERT_EQ(1, WriteLog("Cannot transfer file X", ERR_DEST_OPEN, LOG_ERROR));
    std::vector<std::string> lines = SplitCrLf(Errors());
    ASSERT_EQ(2u, lines.size());
    size_t sep0 = lines[0].find(" - "), sep1 = lines[1].find(" - ");
    EXPECT_EQ(lines[0].substr(0, sep0), lines[1].substr(0, sep1));
    EXPECT_EQ("Cannot transfer file X", lines[0].substr(sep0 + 3));
    EXPECT_EQ(Message(ERR_DEST_OPEN), lines[1].substr(sep1 + 3));
}

TEST_F(Logs, SilentWhenLoggingIsOffAbsentOrNothingToSay)
{
    EXPECT_EQ(0, WriteLog(NULL, 0, LOG_BACKUP));
    SetGlobalDword("logging", 0);
    EXPECT_EQ(0, WriteLog("x", 0, LOG_BACKUP));
    EXPECT_EQ(0, WriteLog(NULL, ERR_GENERIC, LOG_ERROR));
    DeleteGlobalValue("logging");
    EXPECT_EQ(0, WriteLog("x", 0, LOG_BACKUP));
    SetGlobalDword("logging", 1);
    DeleteGlobalValue("installdir");
    EXPECT_EQ(0, WriteLog("x", 0, LOG_BACKUP));
    EXPECT_FALSE(FileExists(dir_ / "backuplog.txt"));
    EXPECT_FALSE(FileExists(dir_ / "errorlog.txt"));
}

TEST_F(Logs, DeletedLogIsCreatedAgainAndTextIsNotAFormat)
{
    ASSERT_EQ(1, WriteLog("first", 0, LOG_BACKUP));
    ASSERT_TRUE(DeleteFileA((dir_ / "backuplog.txt").c_str()));
    ASSERT_EQ(1, WriteLog("100% %s %n done", 0, LOG_BACKUP));
    std::vector<std::string> lines = SplitCrLf(Backup());
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find(" - 100% %s %n done"));
}

TEST_F(Logs, LoginFailureMessageIsCutAt259InTheLog)
{
    ASSERT_EQ(349u, Message(530).size());  // the window shows it whole
    ASSERT_EQ(1, WriteLog(NULL, 530, LOG_ERROR));
    std::vector<std::string> lines = SplitCrLf(Errors());
    ASSERT_EQ(1u, lines.size());
    std::string text = lines[0].substr(lines[0].find(" - ") + 3);
    EXPECT_EQ(Message(530).substr(0, 259), text);
}

TEST_F(Logs, ConcurrentWritersNeverInterleave)
{
    const int kThreads = 4, kLines = 150;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            std::string text = "thread " + std::to_string(t) + " " + std::string(200, 'a' + t);
            for (int i = 0; i < kLines; ++i)
                WriteLog(text.c_str(), 0, LOG_BACKUP);
        });
    for (std::thread& th : threads)
        th.join();
    std::vector<std::string> lines = SplitCrLf(Backup());
    ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
    for (const std::string& line : lines) {
        std::string text = line.substr(line.find(" - ") + 3);
        ASSERT_EQ(209u, text.size()) << line;
        int t = text[7] - '0';
        EXPECT_EQ(std::string(200, 'a' + t), text.substr(9)) << line;
    }
}

TEST(ErrorCodes, EveryCodeMapsToItsMessage)
{
    struct Case { int code; int id; } cases[] = {
        {1, 3}, {2, 4}, {3, 10}, {4, 7}, {5, 5}, {6, 11}, {7, 8}, {8, 6}, {9, 17}, {10, 9},
        {11, 45}, {12, 46}, {332, 12}, {421, 14}, {452, 13}, {530, 12}, {532, 15}, {552, 19},
        {553, 16}, {0, 9}, {425, 9}, {500, 9}, {-1, 9}, {550, 9},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.id, MapErrorCode(c.code)) << c.code;
}

TEST(ErrorCodes, StringTableHoldsTheMessages)
{
    EXPECT_EQ("The operation was completed sucessfully.", Message(1));
    EXPECT_EQ("Could not complete the FTP operation because FTP  Synchronization is not enabled "
              "for the specified file or folder.", Message(3));
    EXPECT_EQ("A file operation failed and was aborted.  Please check the \"FTP Replies\" window "
              "(View | Show FTP Replies) for more information on what went wrong.", Message(7));
    EXPECT_EQ(0u, Message(2).find("The settings for the file or folder could not be found.  "
                                  "Please contact support at http"));
    char ready[64];
    LoadStringA(GetModuleHandleA(NULL), IDS_READY, ready, sizeof ready);
    EXPECT_STREQ("Tandemkeep system ready.", ready);
    // Every code of the table has a message of its own.
    for (int code : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 332, 421, 452, 532, 552, 553})
        EXPECT_GT(Message(code).size(), 20u) << code;
}

TEST(ErrorCodes, ReportSubjectIsCutTo255)
{
    ErrorReport r;
    std::string subject(300, 's');
    FillErrorReport(&r, 9, subject.c_str());
    EXPECT_EQ(9, r.code);
    EXPECT_EQ(255u, strlen(r.subject));
}

} // namespace
