// FTP replies window: lines while hidden, the running total, Clear Window, Save As with the real file dialog.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "tests/dialogs/driver.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <commdlg.h>
#include <dlgs.h>

#include <string>

namespace {

class Replies : public ::testing::Test {
protected:
    void SetUp() override
    {
        owner_ = CreateTestOwner(30, 20, 600, 400);
        replies_ = CreateRepliesWindow(owner_);
        ASSERT_TRUE(replies_);
    }
    void TearDown() override
    {
        DestroyWindow(replies_);
        DestroyWindow(owner_);
    }
    void Send(const char* line) { SendMessageA(replies_, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>(line)); }
    std::string Text()
    {
        HWND edit = GetDlgItem(replies_, IDC_REPLIES_TEXT);
        std::string text(GetWindowTextLengthA(edit) + 1, '\0');
        text.resize(GetWindowTextA(edit, &text[0], static_cast<int>(text.size())));
        return text;
    }

    // Presses "Save As..." and answers the real open-file dialog with path.
    void SaveAs(const std::string& path)
    {
        ModalScript script;
        script.When("Open", [&](HWND dlg) {
            SetDlgItemTextA(dlg, cmb13, path.c_str());
            PostMessageA(dlg, WM_COMMAND, IDOK, 0);
        });
        Click(replies_, IDC_REPLIES_SAVE);
    }

    TempDir dir_;
    HWND owner_ = NULL;
    HWND replies_ = NULL;
    MessageBoxRecorder boxes_;
};

TEST_F(Replies, LinesArriveWhileHiddenAndClearingKeepsTheRunningTotal)
{
    EXPECT_FALSE(IsWindowVisible(replies_));
    EXPECT_EQ("All FTP Replies", WindowText(replies_));
    size_t total = RepliesRunningTotal();
    Send("220 Service ready\r\n");
    Send(NULL);
    Send("331 Need password\r\n");
    EXPECT_EQ("220 Service ready\r\n331 Need password\r\n", Text());
    EXPECT_EQ(total + 38, RepliesRunningTotal());
    EXPECT_FALSE(IsWindowVisible(replies_));

    ShowWindow(replies_, SW_SHOWNORMAL);
    PumpMessages(50);
    SaveWindowShot(replies_, "ftp-replies");
    Click(replies_, IDC_REPLIES_CLEAR);
    EXPECT_EQ("", Text());
    EXPECT_EQ(total + 38, RepliesRunningTotal());
    Send("230 Logged in\r\n");
    EXPECT_EQ("230 Logged in\r\n", Text());

    Click(replies_, IDC_REPLIES_CLOSE);
    EXPECT_FALSE(IsWindowVisible(replies_));
    ShowWindow(replies_, SW_SHOWNORMAL);
    SendMessageA(replies_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(replies_));
    EXPECT_TRUE(IsWindow(replies_));
    EXPECT_EQ("230 Logged in\r\n", Text());
}

TEST_F(Replies, ALongRunKeepsEveryLine)
{
    std::string expected;
    // Past the 32767 characters an edit control takes by default.
    for (int i = 0; i < 200; ++i) {
        std::string line = "150 Opening data connection for " + std::string(160, 'f') + std::to_string(i) + "\r\n";
        Send(line.c_str());
        expected += line;
    }
    EXPECT_GT(expected.size(), 32767u);
    std::string text = Text();
    EXPECT_EQ(expected.size(), text.size());
    EXPECT_TRUE(expected == text);
}

TEST_F(Replies, SaveAsWritesTheTextByteForByteAndAsksBeforeOverwriting)
{
    std::string empty = dir_ / "empty.txt", saved = dir_ / "saved.txt";
    SaveAs(empty);
    EXPECT_TRUE(FileExists(empty));
    EXPECT_EQ("", ReadFileBytes(empty));

    Send("220 Hello\r\n");
    Send("226 Done\r\n");
    SaveAs(saved);
    EXPECT_EQ("220 Hello\r\n226 Done\r\n", ReadFileBytes(saved));
    EXPECT_TRUE(boxes_.boxes().empty());

    Send("421 Bye\r\n");
    boxes_.Answer(IDNO);
    SaveAs(saved);
    EXPECT_EQ("220 Hello\r\n226 Done\r\n", ReadFileBytes(saved));
    boxes_.Answer(IDYES);
    SaveAs(saved);
    EXPECT_EQ("220 Hello\r\n226 Done\r\n421 Bye\r\n", ReadFileBytes(saved));
    ASSERT_EQ(2u, boxes_.boxes().size());
    EXPECT_EQ("That file already exists - overwrite?", boxes_.boxes()[0].text);
    EXPECT_EQ("Confirm Overwrite", boxes_.boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), boxes_.boxes()[0].type);

    // The next browse starts in the folder of the file chosen last.
    std::string folder;
    ModalScript script;
    script.When("Open", [&](HWND dlg) {
        char path[MAX_PATH] = "";
        SendMessageA(dlg, CDM_GETFOLDERPATH, sizeof path, reinterpret_cast<LPARAM>(path));
        folder = path;
        PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
    });
    Click(replies_, IDC_REPLIES_SAVE);
    EXPECT_EQ(dir_.path(), folder);
    EXPECT_EQ(2u, boxes_.boxes().size());
}

TEST_F(Replies, AFileThatCannotBeCreatedIsTold)
{
    std::string folder = dir_ / "sub";
    MakeDirs(folder);
    std::string blocked = dir_ / "blocked.txt";
    WriteFileBytes(blocked, "keep");
    HANDLE lock = CreateFileA(blocked.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    boxes_.Answer(IDYES);
    SaveAs(blocked);
    CloseHandle(lock);
    EXPECT_EQ("keep", ReadFileBytes(blocked));
    ASSERT_EQ(2u, boxes_.boxes().size());
    EXPECT_EQ("Couldn't open file!", boxes_.boxes()[1].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONSTOP), boxes_.boxes()[1].type);
}

TEST(RepliesRealBox, TheOverwriteQuestionIsAnsweredOnScreen)
{
    TempDir dir;
    std::string saved = dir / "kept.txt";
    WriteFileBytes(saved, "before");
    HWND owner = CreateTestOwner(30, 20, 600, 400);
    HWND replies = CreateRepliesWindow(owner);
    SendMessageA(replies, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>("220 Hello\r\n"));
    ModalScript script;
    script.When("Open", [&](HWND dlg) {
        SetDlgItemTextA(dlg, cmb13, saved.c_str());
        PostMessageA(dlg, WM_COMMAND, IDOK, 0);
    });
    script.When("Confirm Overwrite", [&](HWND box) { PostMessageA(box, WM_COMMAND, IDNO, 0); });
    Click(replies, IDC_REPLIES_SAVE);
    EXPECT_EQ("before", ReadFileBytes(saved));
    DestroyWindow(replies);
    DestroyWindow(owner);
}

} // namespace
