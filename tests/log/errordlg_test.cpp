// Error windows: real dialogs under the display, cascaded, at most six, and the showerrors switch.
#include <gtest/gtest.h>

#include "common/seams.h"
#include "log/errors.h"
#include "log/log.h"
#include "resources/resource.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kTitle[] = "Tandemkeep Error";

class ErrorWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        UseInstallDir(dir_);
        SetGlobalDword("showerrors", 1);
        owner_ = CreateTestOwner(100, 80, 600, 400);
        SetErrorWindowOwner(owner_);
        GetWindowRect(owner_, &ownerRect_);
    }
    void TearDown() override
    {
        for (HWND w : FindProcessWindows(kTitle, false))
            SendMessageA(w, WM_CLOSE, 0, 0);
        EXPECT_EQ(0, OpenErrorWindowCount());
        SetErrorWindowOwner(NULL);
        DestroyWindow(owner_);
        DeleteProductKey();
    }

    void Report(int code, const char* subject)
    {
        ErrorReport r;
        FillErrorReport(&r, code, subject);
        ReportError(&r);
        PumpMessages(20);
    }

    // Error windows ordered by their left edge.
    std::vector<HWND> Windows()
    {
        std::vector<HWND> w = FindProcessWindows(kTitle);
        std::sort(w.begin(), w.end(), [](HWND a, HWND b) {
            RECT ra, rb;
            GetWindowRect(a, &ra);
            GetWindowRect(b, &rb);
            return ra.left < rb.left;
        });
        return w;
    }

    int ErrorLogLines()
    {
        std::string text = ReadFileBytes(dir_ / "errorlog.txt");
        int n = 0;
        for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2))
            ++n;
        return n;
    }

    TempDir dir_;
    HWND owner_ = NULL;
    RECT ownerRect_{};
};

TEST_F(ErrorWindows, SevenErrorsGiveSixCascadedWindowsAndSevenLogLines)
{
    for (int i = 0; i < 7; ++i)
        Report(ERR_DEST_OPEN, ("C:\\file" + std::to_string(i) + ".txt").c_str());
    std::vector<HWND> w = Windows();
    ASSERT_EQ(6u, w.size());
    EXPECT_EQ(6, OpenErrorWindowCount());
    for (size_t n = 0; n < w.size(); ++n) {
        RECT r;
        GetWindowRect(w[n], &r);
        EXPECT_EQ(ownerRect_.left + 40 + 20 * static_cast<int>(n), r.left) << n;
        EXPECT_EQ(ownerRect_.top + 60 + 20 * static_cast<int>(n), r.top) << n;
        std::string notice = DlgItemText(w[n], IDC_ERROR_NOTICE);
        if (n == 5)
            EXPECT_EQ(0u, notice.find("There are too many of these error windows open."));
        else
            EXPECT_EQ("", notice);
    }
    EXPECT_EQ("In regards to C:\\file0.txt, there was the following error:",
              DlgItemText(w[0], IDC_ERROR_HEADING));
    EXPECT_EQ(0u, DlgItemText(w[0], IDC_ERROR_MESSAGE).find("There was an error in opening the destination"));
    EXPECT_EQ(7, ErrorLogLines());
    SaveWindowShot(w[0], "error-window");

    // Closing one frees a place; the next window takes the position of the count.
    SendMessageA(w[2], WM_CLOSE, 0, 0);
    EXPECT_EQ(5, OpenErrorWindowCount());
    Report(530, "ftp.example.org");
    std::vector<HWND> after = FindProcessWindows(kTitle);
    ASSERT_EQ(6u, after.size());
    HWND newest = NULL;
    for (HWND h : after)
        if (std::find(w.begin(), w.end(), h) == w.end())
            newest = h;
    ASSERT_TRUE(newest);
    RECT r;
    GetWindowRect(newest, &r);
    EXPECT_EQ(ownerRect_.left + 40 + 20 * 5, r.left);
    EXPECT_EQ(0u, DlgItemText(newest, IDC_ERROR_MESSAGE).find("Tandemkeep was unable to login"));
    EXPECT_EQ(349u, DlgItemText(newest, IDC_ERROR_MESSAGE).size());  // whole, unlike the log
}

TEST_F(ErrorWindows, DontShowBoxWithOkStoresZeroAndLaterErrorsAreOnlyLogged)
{
    Report(ERR_CANNOT_CONNECT, "a");
    Report(ERR_CANNOT_CONNECT, "b");
    std::vector<HWND> w = Windows();
    ASSERT_EQ(2u, w.size());
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(w[0], IDC_ERROR_NOQUIET));
    CheckDlgButton(w[0], IDC_ERROR_NOQUIET, BST_CHECKED);
    SendMessageA(w[0], WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PumpMessages(50);
    EXPECT_EQ(0u, GetGlobalDword("showerrors", 99));
    EXPECT_EQ(1u, Windows().size());  // the other window stays
    Report(ERR_CANNOT_CONNECT, "c");
    EXPECT_EQ(1u, Windows().size());
    EXPECT_EQ(3, ErrorLogLines());
}

TEST_F(ErrorWindows, CloseBoxLeavesTheSettingAlone)
{
    Report(ERR_GENERIC, "a");
    std::vector<HWND> w = Windows();
    ASSERT_EQ(1u, w.size());
    CheckDlgButton(w[0], IDC_ERROR_NOQUIET, BST_CHECKED);
    SendMessageA(w[0], WM_CLOSE, 0, 0);
    EXPECT_EQ(1u, GetGlobalDword("showerrors", 99));
    EXPECT_EQ(0, OpenErrorWindowCount());
    // OK without the box checked writes 1.
    Report(ERR_GENERIC, "b");
    w = Windows();
    ASSERT_EQ(1u, w.size());
    SetGlobalDword("showerrors", 7);
    SendMessageA(w[0], WM_COMMAND, IDOK, 0);
    PumpMessages(50);
    EXPECT_EQ(1u, GetGlobalDword("showerrors", 99));
}

TEST_F(ErrorWindows, SwitchedOffOrLoggingOff)
{
    SetGlobalDword("showerrors", 0);
    Report(ERR_GENERIC, "a");
    EXPECT_EQ(0u, Windows().size());
    EXPECT_EQ(1, ErrorLogLines());
    // Logging off: no line, but the window still appears; a missing
    // showerrors value counts as showing.
    DeleteGlobalValue("showerrors");
    SetGlobalDword("logging", 0);
    Report(ERR_GENERIC, "b");
    EXPECT_EQ(1u, Windows().size());
    EXPECT_EQ(1, ErrorLogLines());
    ReportError(NULL);  // nothing happens
}

TEST_F(ErrorWindows, GenericMessageAndLongSubject)
{
    std::string subject(255, 'q');
    for (int code : {0, 10, 425, 500}) {
        Report(code, subject.c_str());
    }
    std::vector<HWND> w = Windows();
    ASSERT_EQ(4u, w.size());
    char generic[1280];
    LoadStringA(GetModuleHandleA(NULL), IDS_GENERIC, generic, sizeof generic);
    for (HWND h : w) {
        EXPECT_EQ(generic, DlgItemText(h, IDC_ERROR_MESSAGE));
        EXPECT_EQ("In regards to " + subject + ", there was the following error:",
                  DlgItemText(h, IDC_ERROR_HEADING));
    }
}

SHELLEXECUTEINFOA g_lastShell;
std::string g_lastFile, g_lastParams;
BOOL RecordShell(SHELLEXECUTEINFOA* info)
{
    g_lastShell = *info;
    g_lastFile = info->lpFile ? info->lpFile : "";
    g_lastParams = info->lpParameters ? info->lpParameters : "";
    return TRUE;
}

TEST_F(ErrorWindows, ViewErrorLogRunsNotepadOnTheLogAndStaysOpen)
{
    Report(ERR_GENERIC, "a");
    std::vector<HWND> w = Windows();
    ASSERT_EQ(1u, w.size());
    SetShellExecuteHook(RecordShell);
    SendMessageA(w[0], WM_COMMAND, IDC_ERROR_VIEWLOG, 0);
    SetShellExecuteHook(NULL);
    char windir[MAX_PATH];
    GetWindowsDirectoryA(windir, sizeof windir);
    EXPECT_EQ(std::string(windir) + "\\notepad.exe", g_lastFile);
    EXPECT_EQ(dir_ / "errorlog.txt", g_lastParams);
    EXPECT_EQ(w[0], g_lastShell.hwnd);
    EXPECT_EQ(SW_SHOWNORMAL, g_lastShell.nShow);
    EXPECT_TRUE(IsWindow(w[0]));
}

} // namespace
