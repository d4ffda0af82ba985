// Settings dialog: what it shows, what OK stores exactly, the log buttons and the window size.
#include <gtest/gtest.h>

#include "common/seams.h"
#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "tests/dialogs/driver.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <string>
#include <vector>

namespace {

const char kTitle[] = "Tandemkeep Settings";

std::vector<SHELLEXECUTEINFOA> g_launches;
std::vector<std::string> g_files, g_params;
BOOL RecordLaunch(SHELLEXECUTEINFOA* info)
{
    g_launches.push_back(*info);
    g_files.push_back(info->lpFile ? info->lpFile : "");
    g_params.push_back(info->lpParameters ? info->lpParameters : "");
    return TRUE;
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        install_ = UseInstallDir(dir_);
        owner_ = CreateTestOwner(30, 20, 800, 700);
        g_launches.clear();
        g_files.clear();
        g_params.clear();
        SetShellExecuteHook(RecordLaunch);
    }
    void TearDown() override
    {
        SetShellExecuteHook(NULL);
        DestroyWindow(owner_);
        DeleteProductKey();
    }
    void Run(std::function<void(HWND)> act)
    {
        ModalScript script;
        script.When(kTitle, act);
        RunSettingsDialog(owner_);
    }

    TempDir dir_;
    std::string install_;
    HWND owner_ = NULL;
    MessageBoxRecorder boxes_;
};

TEST_F(Settings, ShowsTheStoredValues)
{
    struct Case {
        DWORD logging, tip, splash, showerrors;
        const char* folder;
        UINT loggingBox, tipsBox, splashBox, quietBox;
    } cases[] = {
        {1, 0, 1, 1, "D:\\Restored", BST_CHECKED, BST_CHECKED, BST_CHECKED, BST_UNCHECKED},
        {0, 65535, 0, 0, "", BST_UNCHECKED, BST_UNCHECKED, BST_UNCHECKED, BST_CHECKED},
    };
    for (const Case& c : cases) {
        SetGlobalDword("logging", c.logging);
        SetGlobalDword("tip", c.tip);
        SetGlobalDword("splash", c.splash);
        SetGlobalDword("showerrors", c.showerrors);
        SetGlobalText("restorefolder", c.folder);
        Run([&](HWND dlg) {
            EXPECT_EQ(c.loggingBox, IsDlgButtonChecked(dlg, IDC_SET_LOGGING)) << c.logging;
            EXPECT_EQ(c.tipsBox, IsDlgButtonChecked(dlg, IDC_SET_TIPS)) << c.tip;
            EXPECT_EQ(c.splashBox, IsDlgButtonChecked(dlg, IDC_SET_SPLASH)) << c.splash;
            EXPECT_EQ(c.quietBox, IsDlgButtonChecked(dlg, IDC_SET_NOERRORS)) << c.showerrors;
            EXPECT_EQ(c.folder, DlgItemText(dlg, IDC_SET_RESTOREFOLDER));
            Click(dlg, IDCANCEL);
        });
    }
}

TEST_F(Settings, OkStoresEveryValueExactly)
{
    struct Case {
        bool logging, quiet, tips, splash;
        const char* folder;
        const char* stored;
        DWORD tip, showerrors;
    } cases[] = {
        {true, true, false, true, "D:\\Restored\\", "D:\\Restored", 65535, 0},
        {false, false, true, false, "D:/Restored/", "D:/Restored", 0, 1},
        {true, false, true, true, "D:\\Restored\\\\", "D:\\Restored\\", 0, 1},
        {false, true, false, false, "", "", 65535, 0},
    };
    for (const Case& c : cases) {
        SetGlobalDword("tip", 9);
        Run([&](HWND dlg) {
            CheckDlgButton(dlg, IDC_SET_LOGGING, c.logging);
            CheckDlgButton(dlg, IDC_SET_NOERRORS, c.quiet);
            CheckDlgButton(dlg, IDC_SET_TIPS, c.tips);
            CheckDlgButton(dlg, IDC_SET_SPLASH, c.splash);
            SetText(dlg, IDC_SET_RESTOREFOLDER, c.folder);
            Click(dlg, IDOK);
        });
        EXPECT_EQ(c.logging ? 1u : 0u, GetGlobalDword("logging", 99)) << c.folder;
        EXPECT_EQ(c.showerrors, GetGlobalDword("showerrors", 99)) << c.folder;
        EXPECT_EQ(c.tip, GetGlobalDword("tip", 99)) << c.folder;
        EXPECT_EQ(c.splash ? 1u : 0u, GetGlobalDword("splash", 99)) << c.folder;
        EXPECT_EQ(c.stored, GetGlobalText("restorefolder")) << c.folder;
    }
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(Settings, CancelAndAnOverlongFolderStoreNothing)
{
    SetGlobalText("restorefolder", "C:\\kept");
    SetGlobalDword("tip", 4);
    Run([&](HWND dlg) {
        CheckDlgButton(dlg, IDC_SET_TIPS, BST_UNCHECKED);
        SetText(dlg, IDC_SET_RESTOREFOLDER, "C:\\" + std::string(257, 'r'));
        Click(dlg, IDOK);
        EXPECT_TRUE(IsWindowVisible(dlg));
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ("C:\\kept", GetGlobalText("restorefolder"));
    EXPECT_EQ(4u, GetGlobalDword("tip", 99));
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ("Path Too Long", boxes_.boxes()[0].caption);
}

TEST_F(Settings, LogButtonsOpenNotepadAndDeleteOnlyOnYes)
{
    WriteFileBytes(install_ + "\\backuplog.txt", "b");
    WriteFileBytes(install_ + "\\errorlog.txt", "e");
    HWND dialog = NULL;
    Run([&](HWND dlg) {
        dialog = dlg;
        Click(dlg, IDC_SET_VIEWBACKUP);
        Click(dlg, IDC_SET_VIEWERROR);
        boxes_.Answer(IDNO);
        Click(dlg, IDC_SET_CLEARERROR);
        boxes_.Answer(IDYES);
        Click(dlg, IDC_SET_CLEARBACKUP);
        EXPECT_TRUE(IsWindowVisible(dlg));
        PumpQuietly(50);
        SaveWindowShot(dlg, "settings");
        Click(dlg, IDCANCEL);
    });
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    ASSERT_EQ(2u, g_launches.size());
    EXPECT_EQ(std::string(windows) + "\\notepad.exe", g_files[0]);
    EXPECT_EQ(install_ + "\\backuplog.txt", g_params[0]);
    EXPECT_EQ(install_ + "\\errorlog.txt", g_params[1]);
    EXPECT_EQ(dialog, g_launches[0].hwnd);
    EXPECT_EQ(SW_SHOWNORMAL, g_launches[0].nShow);
    EXPECT_TRUE(FileExists(install_ + "\\errorlog.txt"));
    EXPECT_FALSE(FileExists(install_ + "\\backuplog.txt"));
    ASSERT_EQ(2u, boxes_.boxes().size());
    EXPECT_EQ("Are you sure you want to delete the log file?", boxes_.boxes()[0].text);
    EXPECT_EQ("Are You Sure?", boxes_.boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), boxes_.boxes()[0].type);
}

TEST_F(Settings, ResetSizeKeepsTheCornerAndTheDialogOpen)
{
    RECT before;
    GetWindowRect(owner_, &before);
    Run([&](HWND dlg) {
        Click(dlg, IDC_SET_RESETSIZE);
        EXPECT_TRUE(IsWindowVisible(dlg));
        RECT after;
        GetWindowRect(owner_, &after);
        EXPECT_EQ(before.left, after.left);
        EXPECT_EQ(before.top, after.top);
        EXPECT_EQ(620, after.right - after.left);
        EXPECT_EQ(460, after.bottom - after.top);
        Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(GlobalValueExists("size"));
}

TEST(SettingsRealBox, ClearLogIsAnsweredOnScreen)
{
    ResetProductKey();
    TempDir dir;
    std::string install = UseInstallDir(dir);
    WriteFileBytes(install + "\\errorlog.txt", "e");
    HWND owner = CreateTestOwner(30, 20, 800, 700);
    ModalScript script;
    script.When(kTitle, [&](HWND dlg) { PostMessageA(dlg, WM_COMMAND, IDC_SET_CLEARERROR, 0); });
    script.When("Are You Sure?", [&](HWND box) { PostMessageA(box, WM_COMMAND, IDNO, 0); });
    script.When(kTitle, [&](HWND dlg) { Click(dlg, IDCANCEL); });
    RunSettingsDialog(owner);
    EXPECT_TRUE(FileExists(install + "\\errorlog.txt"));
    DestroyWindow(owner);
    DeleteProductKey();
}

} // namespace
