// The backup and error logs, the error codes' messages, and the error windows: six at most,
// cascaded on the work area.
#include <gtest/gtest.h>

#include "common/seams.h"
#include "log/errors.h"
#include "log/log.h"
#include "resources/resource.h"
#include "tests/support/recorder.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <set>
#include <thread>

namespace {

std::string Message(int code)
{
    char text[1280];
    LoadProgramString(MapErrorCode(code), text, sizeof text);
    return text;
}

struct Logs : ::testing::Test {
    void SetUp() override
    {
        ResetProductKey();
        UseInstallDir(dir_);
    }
    void TearDown() override { DeleteProductKey(); }
    std::vector<std::string> Lines(const char* name)  // each ended by CR LF, which is left off
    {
        std::string text = ReadFileBytes(dir_ / name);
        std::vector<std::string> lines;
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }
    TempDir dir_;
};

TEST_F(Logs, EachEntryIsOneLineAfterTheDateAndTimeAndWritersNeverInterleave)
{
    ASSERT_TRUE(WriteLog("first", 0, LOG_ERROR) &&
                DeleteFileA((dir_ / "errorlog.txt").c_str()));  // made again next
    ASSERT_EQ(3, WriteLog("100% %s %n", 0, 1) + WriteLog("X", ERR_DEST_OPEN, 1) +
                     WriteLog(NULL, 530, LOG_ERROR));
    std::vector<std::string> lines = Lines("errorlog.txt");
    char date[64];
    GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, NULL, NULL, date, sizeof date);
    std::string prefix =
        lines.at(1).substr(0, lines[1].find(" - ") + 3);  // date, space, time, " - "
    EXPECT_TRUE(prefix.find(std::string(date) + " ") == 0 &&
                prefix.find(':', strlen(date)) != prefix.npos)
        << prefix;
    EXPECT_EQ(prefix + Message(ERR_DEST_OPEN),
              lines.at(2));  // text and code: two lines, one prefix
    for (std::string& line : lines)
        line = line.substr(line.find(" - ") + 3);
    EXPECT_EQ((std::vector<std::string>{"100% %s %n", "X", Message(ERR_DEST_OPEN),
                                        Message(530).substr(0, 259)}),
              lines);  // the log cuts a message at 259 characters

    auto Write = [](char c) {  // beside the intake's thread, the main thread writes too
        for (int i = 0; i < 300; ++i)
            WriteLog(std::string(200, c).c_str(), 0, LOG_BACKUP);
    };
    std::thread other(Write, 'b');
    Write('a');
    other.join();
    lines = Lines("backuplog.txt");
    ASSERT_EQ(600u, lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(std::string(200, lines[i].at(lines[i].size() - 1)),
                  lines[i].substr(lines[i].find(" - ") + 3));
}

TEST_F(Logs, NothingIsWrittenWithoutTextLoggingOrAnInstallationFolder)
{
    struct {
        int logging;
        const char* installdir;
    } cases[] = {{0, dir_.path().c_str()},
                 {-1, dir_.path().c_str()},
                 {1, ""},
                 {1, NULL}};  // "": not the drive's root
    for (const auto& c : cases) {
        c.logging < 0 ? DeleteGlobalValue("logging") : SetGlobalDword("logging", c.logging);
        c.installdir ? SetGlobalText("installdir", c.installdir) : DeleteGlobalValue("installdir");
        char path[MAX_PATH];
        EXPECT_EQ(0, WriteLog("x", 0, LOG_BACKUP) + WriteLog(NULL, ERR_GENERIC, LOG_ERROR) +
                         WriteLog(NULL, 0, 0) + (c.logging > 0 ? GetLogPath(0, path, MAX_PATH) : 0))
            << c.logging;
    }
    EXPECT_FALSE(FileExists(dir_ / "backuplog.txt") || FileExists(dir_ / "errorlog.txt"));
}

// What the error log and the error window say for each code: the program's own failures and the
// server's refusals; any other code gets the general message.
TEST(ErrorCodes, EveryCodeMapsToItsMessage)
{
    struct Case {
        int code;
        const char* says;
    } cases[] = {
        {ERR_SUCCESS, "The operation was completed"},
        {ERR_NO_SETTINGS, "settings for the file or folder could not be found"},
        {ERR_FTP_NOT_ENABLED, "FTP  Synchronization is not enabled"},
        {ERR_TCPIP, "error in utilizing TCP/IP"},
        {ERR_HOST_NOT_RESOLVED, "server name could not be resolved"},
        {ERR_FTP_REJECTED, "has rejected the commands"},
        {ERR_FILE_OPERATION, "A file operation failed"},
        {ERR_NO_MEMORY, "not enough memory"},
        {ERR_CANNOT_CONNECT, "cannot connect to the FTP server"},
        {ERR_GENERIC, "A generic error"},
        {ERR_SOURCE_OPEN, "opening the source file"},
        {ERR_DEST_OPEN, "opening the destination file"},
        {332, "unable to login"},
        {421, "no service is available"},
        {452, "not enough space left on your account"},
        {530, "unable to login"},
        {532, "you need an account"},
        {552, "not enough room left on the server"},
        {553, "its filename is not allowed"},
        {0, "A generic error"},
        {425, "A generic error"},
        {550, "A generic error"},
        {-1, "A generic error"},
    };
    for (const Case& c : cases)
        EXPECT_NE(std::string::npos, Message(c.code).find(c.says))
            << c.code << ": " << Message(c.code);
}

std::pair<std::string, HWND> g_shell;  // the parameters and owner of the latest shell launch

TEST_F(Logs, ErrorWindowsSixAtMostCascadedOnTheWorkAreaWithTheirButtonsAndSwitches)
{
    Recorder main;  // hidden, away from the corner: its rectangle must not place the windows
    SetWindowPos(main.window(), NULL, 300, 200, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE);
    SetErrorWindowOwner(main.window());
    RECT area, r;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    std::set<HWND> seen;
    auto Report = [&](int code, const std::string& subject) {  // the window it opened, or NULL
        ErrorReport report;
        FillErrorReport(&report, code, subject.c_str());
        ReportError(&report);
        PumpMessages(20);
        for (HWND h : FindProcessWindows("Tandemkeep Error"))
            if (seen.insert(h).second)
                return h;
        return HWND(NULL);
    };
    auto At = [&](HWND h, int n) {  // at the n-th place of the cascade
        return GetWindowRect(h, &r) && r.left == area.left + 40 + 20 * n &&
               r.top == area.top + 60 + 20 * n;
    };
    HWND a = Report(ERR_CANNOT_CONNECT, "a"), b = Report(ERR_CANNOT_CONNECT, "b");
    SetShellExecuteHook([](SHELLEXECUTEINFOA* info) -> BOOL {
        g_shell = std::make_pair(std::string(info->lpParameters), info->hwnd);
        return TRUE;
    });
    SendMessageA(a, WM_COMMAND, IDC_ERROR_VIEWLOG,
                 0);  // Notepad on the error log; the window stays
    SetShellExecuteHook(NULL);
    EXPECT_TRUE(g_shell == std::make_pair(dir_ / "errorlog.txt", a) && IsWindowVisible(a))
        << g_shell.first;
    CheckDlgButton(b, IDC_ERROR_NOQUIET, BST_CHECKED);
    SendMessageA(b, WM_CLOSE, 0, 0);  // the close box leaves the setting alone and frees a place
    EXPECT_FALSE(GlobalValueExists("showerrors"));  // missing: windows are shown

    std::vector<HWND> w = {a};
    for (int i = 0; i < 6; ++i)  // five more places, the last with the notice; then only the log
        w.push_back(Report(ERR_DEST_OPEN, std::string(300, 'c' + i)));
    for (int n = 0; n < 6; ++n) {
        EXPECT_TRUE(At(w[n], n)) << n << ": " << r.left << "," << r.top;
        EXPECT_EQ(n == 5 ? 0u : std::string::npos,
                  DlgItemText(w[n], IDC_ERROR_NOTICE).find("There are too many"));
    }
    EXPECT_EQ("In regards to " + std::string(255, 'c') + ", there was the following error:",
              DlgItemText(w[1], IDC_ERROR_HEADING));
    EXPECT_TRUE(w[6] == NULL && Lines("errorlog.txt").size() == 8);
    SendMessageA(w[2], WM_CLOSE, 0,
                 0);  // the next one takes the place of the count, owner minimized or not
    ShowWindow(main.window(), SW_SHOWMINNOACTIVE);
    HWND login = Report(530, "ftp.example.org");
    EXPECT_TRUE(At(login, 5)) << r.left << "," << r.top;
    EXPECT_EQ(Message(530), DlgItemText(login, IDC_ERROR_MESSAGE));  // whole, unlike the log

    CheckDlgButton(w[0], IDC_ERROR_NOQUIET, BST_CHECKED);
    SendMessageA(w[0], WM_COMMAND, IDOK, 0);
    EXPECT_EQ(0u, GetGlobalDword("showerrors", 99));  // from now on only logged; the others stay
    EXPECT_TRUE(Report(ERR_GENERIC, "x") == NULL && IsWindowVisible(w[1]));
    SetGlobalDword("showerrors", 7);  // any value but 0 shows; logging off: not logged
    SetGlobalDword("logging", 0);
    SendMessageA(Report(ERR_GENERIC, "y"), WM_COMMAND, IDOK, 0);  // the box unchecked writes 1
    EXPECT_EQ(1u, GetGlobalDword("showerrors", 99));
    EXPECT_EQ(10u, Lines("errorlog.txt").size());
    for (HWND h : FindProcessWindows("Tandemkeep Error", false))
        SendMessageA(h, WM_CLOSE, 0, 0);
    EXPECT_EQ(0, OpenErrorWindowCount());
    SetErrorWindowOwner(NULL);
}

}  // namespace
