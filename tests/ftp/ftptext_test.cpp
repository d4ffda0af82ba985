// Reply assembly across receives, reply codes, commands, remote folders and names, and the sequence
// table.
#include <gtest/gtest.h>

#include "store/store.h"
#include "transfer/ftp/ftpsequence.h"
#include "transfer/ftp/ftptext.h"

#include <winsock2.h>

#include <random>
#include <string>
#include <vector>

namespace {

// The lines of stream fed in receives of these sizes, the rest in one.
std::vector<std::string> SplitInChunks(const std::string& stream, const std::vector<int>& sizes)
{
    auto collect = [](const char* line, void* out) {
        static_cast<std::vector<std::string>*>(out)->push_back(line);
    };
    ReplyAssembler a = {};
    std::vector<std::string> lines;
    size_t pos = 0;
    for (size_t i = 0; pos < stream.size(); ++i) {
        int n = i < sizes.size() ? sizes[i] : static_cast<int>(stream.size() - pos);
        n = std::min<int>(n, static_cast<int>(stream.size() - pos));
        SplitReplyLines(&a, stream.data() + pos, n, collect, &lines);
        pos += n;
    }
    return lines;
}

TEST(ReplyLines, CompleteLinesKeepCrLfTheTailWaitsAndChunkingChangesNothing)
{
    struct Case {
        std::string stream;
        std::vector<int> chunks;
        std::vector<std::string> lines;
    } cases[] = {
        {"220 ready\r\n", {}, {"220 ready\r\n"}},
        {"220 rea", {}, {}},
        {"220 rea"
         "dy\r\n331 pass\r\n",
         {7},
         {"220 ready\r\n", "331 pass\r\n"}},
        {"220 ready\r\n", {10}, {"220 ready\r\n"}},  // CR and LF in different receives
        {"230 a\rb\r\n", {}, {"230 a\rb\r\n"}},      // a lone CR is text, so is a lone LF
        {"230 a\nb\r\n", {}, {"230 a\nb\r\n"}},
        {std::string("230 a\0b\r\n", 9), {}, {"230 a b\r\n"}},
        {"\r\n\r\n", {1, 1, 1}, {"\r\n", "\r\n"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.lines, SplitInChunks(c.stream, c.chunks)) << c.stream;

    std::mt19937 gen(1234);
    const char* pieces[] = {"220 hi\r\n", "331-a\r\n", "331 b\r\n",    "\r",
                            "\n",         "x",         "226 done\r\n", "\r\r\n"};
    for (int round = 0; round < 300; ++round) {
        std::string stream;
        for (int i = 1 + gen() % 40; i > 0; --i)
            stream += pieces[gen() % 8];
        if (gen() % 4 == 0)
            stream += std::string(gen() % 5000, 'y') + "\r\n";
        std::vector<std::string> whole = SplitInChunks(stream, {});
        std::vector<int> sizes;
        for (size_t left = stream.size(); left > 0; left -= std::min<size_t>(left, sizes.back()))
            sizes.push_back(1 + gen() % 9);
        ASSERT_EQ(whole, SplitInChunks(stream, sizes)) << "round " << round;
        for (const std::string& line : whole)
            ASSERT_LE(line.size(), static_cast<size_t>(REPLY_LINE_SIZE - 1));
    }
}

TEST(ReplyLines, MultiLineRepliesAreActedOnAtTheirLastLineOnly)
{
    struct Case {
        const char* line;
        int code;
    } cases[] = {
        {"220-Welcome\r\n", 0},     {"220-220 looks like a greeting\r\n", 0},
        {"123 text inside\r\n", 0}, {"331 other code inside\r\n", 0},
        {"220 ready\r\n", 220},     {"220 again\r\n", 220},
        {"hello\r\n", 0},           {"12\r\n", 0},
        {"530 no\r\n", 530},
    };
    ReplyAssembler a = {};
    for (const Case& c : cases)
        EXPECT_EQ(c.code, CompleteReplyCode(&a, c.line)) << c.line;
}

TEST(Commands, TextsWithLineBreaksOrTooLongNeverBecomeCommands)
{
    char out[64];
    EXPECT_EQ(0, FormatFtpCommand(out, sizeof out, "USER", "alice\r\nDELE x") +
                     FormatFtpCommand(out, sizeof out, "PASS", "pw\n") +
                     FormatFtpCommand(out, sizeof out, "CWD", std::string(70, 'a').c_str()));
    EXPECT_STREQ("", out);
}

TEST(RemoteFolders, FollowTheFilesPlaceAndAreNamedFromWhereThePreviousFileWent)
{
    struct Case {
        const char* file;
        const char* item;
        const char* target;
        const char* folder;
    } cases[] = {
        {"C:\\d\\x.htm", "C:\\d\\", "/www", "/www"},
        {"C:\\d\\s\\t\\x.htm", "C:\\d\\", "/www", "/www/s/t"},
        {"C:\\d\\s\\x.htm", "C:\\d\\", "/www/", "/www/s"},
        {"C:\\d\\s\\x.htm", "C:\\d\\", "\\www\\", "\\www\\s"},
        {"C:\\d\\s\\x.htm", "C:\\d\\", "", "s"},
        {"C:\\d\\x.htm", "C:\\d\\", "/www/", "/www"},
        {"C:\\d\\x.htm", "C:\\d\\", "/", "/"},
        {"C:\\n\\todo.txt", "C:\\n\\todo.txt", "/n", "/n"},
        {"C:\\x.txt", "C:\\", "/r", "/r"},
        {"C:\\a\\b.txt", "C:\\", "/r", "/r/a"},
    };
    char out[MAX_PATH];
    for (const Case& c : cases) {
        ASSERT_EQ(1, MakeRemoteFolder(c.file, c.item, c.target, out, sizeof out)) << c.file;
        EXPECT_STREQ(c.folder, out) << c.file << " " << c.target;
    }
    EXPECT_EQ(0, MakeRemoteFolder("C:\\d\\s\\x", "C:\\d\\", "/w\r\nDELE x", out, sizeof out));
    EXPECT_EQ(0, MakeRemoteFolder("C:\\d\\s\\x", "C:\\d\\", std::string(300, 'w').c_str(), out,
                                  sizeof out));

    // A ".." level cannot be climbed back: only the ordinary levels are, then the next folder is
    // gone down from there; "-" when there is no way (the names above the login folder are
    // unknown).
    struct Relative {
        const char* current;
        const char* folder;
        const char* named;
    } relative[] = {
        {"", "pub/vs", "pub/vs"},
        {"pub/vs/v/w", "pub/vs", "../../../../pub/vs"},
        {"pub", "", ".."},
        {"a//b/", "c", "../../c"},
        {"pub/vs", "/www", "/www"},
        {"", "", ""},
        {"../www", "../www/a", "../www/a"},
        {"../www/a", "../www/b", "../../www/b"},
        {"..\\www\\a\\b", "../www", "../../../www"},
        {"../www/a", "../www/a", "../../www/a"},
        {"../www", "../../up", "../../up"},
        {"../../up", "../www", "-"},
        {"a/./b/../c", "a/c/d", "../../a/c/d"},
        {"/www/a", "b", "-"},
    };
    for (const Relative& r : relative) {
        int named = FolderFromCurrent(r.current, r.folder, out, sizeof out);
        EXPECT_EQ(r.named, named ? std::string(out) : "-") << r.current << " -> " << r.folder;
    }
    EXPECT_EQ(0, FolderFromCurrent("a/b/c", "d", out, 8));

    // The levels MKD makes of absolute and relative folders are in the upload tests' commands; the
    // root is one.
    EXPECT_GT(0, NextFolderCut("/", 0));
}

TEST(RemoteNames, OverlongPathsLocationsAndPassiveReplies)
{
    char out[MAX_PATH];
    EXPECT_EQ(0, JoinRemotePath(std::string(300, 'f').c_str(), "a", out, sizeof out));
    // The server is what follows the last '@': user names may hold one.
    struct Parsed {
        const char* text;
        const char* server;
    } locations[] = {
        {"bob:<password>@ftp.example.com:2121", "ftp.example.com:2121"},
        {"me@example.com:<password>@ftp.host:21", "ftp.host:21"},
        {":@127.0.0.1:x", "127.0.0.1:0"},
        {"bob:<password>@host", "host:0"},
        {"bob@host:21", ""},
        {"bob:pw", ""},
        {"u:p@a-host-name-too-long:1", ""},
    };
    for (const Parsed& l : locations) {
        char address[16] = "";
        WORD port = 7;
        int ok = ParseFtpLocation(l.text, address, sizeof address, &port);
        EXPECT_EQ(l.server, ok ? std::string(address) + ":" + std::to_string(port) : "") << l.text;
    }
    Parsed replies[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1).\r\n", "127.0.0.1:1025"},
        {"227 Entering Passive Mode 10,0,0,7,200,15\r\n", "10.0.0.7:51215"},
        {"227 =192,168,1,2,0,21\r\n", "192.168.1.2:21"},
        {"227 1 step (127,0,0,1,0,80)\r\n", "127.0.0.1:80"},
        {"227 Entering Passive Mode (127,0,0,1,4)\r\n", ""},
        {"227 Entering Passive Mode (127,0,0,256,4,1)\r\n", ""},
        {"227 Entering Passive Mode (127,0,0,1,0,0)\r\n", ""},
        {"227 no numbers at all\r\n", ""},
        {"200 (127,0,0,1,4,1)\r\n", ""},
    };
    for (const Parsed& p : replies) {
        in_addr in = {};
        WORD port = 0;
        int ok = ParsePasvReply(p.text, reinterpret_cast<DWORD*>(&in.s_addr), &port);
        EXPECT_EQ(p.server, ok ? std::string(inet_ntoa(in)) + ":" + std::to_string(port) : "")
            << p.text;
    }
}

// The usual road and its side turns (a repeated greeting, a login without a password, a folder
// that exists) are walked by the upload tests against real servers.
TEST(Sequence, RefusalsEndTheBatchOrOnlyTheirFile)
{
    // What a refusal ends: the batch (the server will not go on) or only the file it answers.
    struct Meaning {
        int code;
        WORD state;
        FtpReplyClass meaning;
        bool temporary = false;  // the STOR names a temporary file
    } meanings[] = {
        {421, FTP_STATE_NEW, FTP_REPLY_END_BATCH},
        {421, FTP_STATE_STOR, FTP_REPLY_END_BATCH},
        {421, FTP_STATE_CWD, FTP_REPLY_END_BATCH},
        {534, FTP_STATE_USER, FTP_REPLY_END_BATCH},
        {502, FTP_STATE_PASV, FTP_REPLY_END_BATCH},
        {426, FTP_STATE_DATA_ENDED, FTP_REPLY_END_BATCH},
        {550, FTP_STATE_FOLDERS, FTP_REPLY_ADVANCE},
        {550, FTP_STATE_CWD, FTP_REPLY_FAIL_FILE},
        {552, FTP_STATE_DATA_ENDED, FTP_REPLY_FAIL_FILE},
        {553, FTP_STATE_STOR, FTP_REPLY_FAIL_FILE},
        {530, FTP_STATE_QUIT, FTP_REPLY_ADVANCE},
        {421, FTP_STATE_RNTO, FTP_REPLY_END_BATCH},
        {501, FTP_STATE_STOR, FTP_REPLY_TEMP_REFUSED, true},
        {426, FTP_STATE_STOR, FTP_REPLY_END_BATCH, true},
        {502, FTP_STATE_AUTH, FTP_REPLY_ADVANCE},  // refused with a message of its own
        {534, FTP_STATE_PBSZ, FTP_REPLY_ADVANCE},
        {421, FTP_STATE_AUTH, FTP_REPLY_END_BATCH},
    };
    for (const Meaning& m : meanings)
        EXPECT_EQ(m.meaning, ClassifyFtpReply(m.code, m.state, m.temporary))
            << m.code << " in state " << m.state;
}

}  // namespace
