// Add File or Folder: path rules, the root and Windows-folder questions, and adding the item.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/dialogs/driver.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <commctrl.h>
#include <ctype.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const char kTitle[] = "Add File or Folder";

class AddItem : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        owner_ = CreateTestOwner(60, 40, 600, 500);
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        DeleteProductKey();
    }

    // Runs the dialog with a folder (or, with file set, a file) typed in and OK pressed.
    int Add(const std::string& text, bool file, std::string* path)
    {
        char buffer[260] = "";
        ModalScript script;
        script.When(kTitle, [&](HWND dlg) {
            if (file)
                SetCheckAndClick(dlg, IDC_ADD_ISFILE, true);
            SetText(dlg, file ? IDC_ADD_FILE : IDC_ADD_FOLDER, text);
            Click(dlg, IDOK);
            if (IsWindow(dlg) && IsWindowVisible(dlg))
                Click(dlg, IDCANCEL);
        });
        int result = RunAddItemDialog(owner_, buffer);
        if (path)
            *path = buffer;
        return result;
    }

    bool ItemExists(const std::string& path)
    {
        std::string name = path;
        EncodeKeyName(&name[0]);
        return OpenItemKey(path.c_str(), NULL, NULL) == static_cast<int>(name.size());
    }

    bool ReloadPosted()
    {
        MSG msg;
        return PeekMessageA(&msg, owner_, UM_RELOADITEMS, UM_RELOADITEMS, PM_REMOVE) != FALSE;
    }

    TempDir dir_;
    HWND owner_ = NULL;
    MessageBoxRecorder boxes_;
};

TEST_F(AddItem, FolderEndsWithOneSeparatorAndFileWithNone)
{
    struct Case {
        std::string typed;
        bool file;
        int result;
        std::string path;
    };
    std::string d = dir_.path();
    Case cases[] = {
        {d + "\\data", false, 2, d + "\\data\\"},   {d + "\\data\\", false, 2, d + "\\data\\"},
        {d + "/data/", false, 2, d + "/data/"},      {d + "\\f.txt\\", true, 1, d + "\\f.txt"},
        {d + "\\f.txt", true, 1, d + "\\f.txt"},     {d + "\\f.txt/", true, 1, d + "\\f.txt"},
    };
    for (const Case& c : cases) {
        std::string path;
        EXPECT_EQ(c.result, Add(c.typed, c.file, &path)) << c.typed;
        EXPECT_EQ(c.path, path) << c.typed;
    }
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(AddItem, ADriveRootAsksFirstAndNoCancels)
{
    struct Case {
        const char* typed;
        bool asks;
    } cases[] = {{"C:", true}, {"D:\\", true}, {"C:/", true}, {"E:\\data", false}, {"Q", false}};
    for (const Case& c : cases) {
        boxes_.Clear();
        if (c.asks)
            boxes_.Answer(IDNO);
        std::string path;
        int result = Add(c.typed, false, &path);
        if (c.asks) {
            EXPECT_EQ(0, result) << c.typed;
            ASSERT_EQ(1u, boxes_.boxes().size()) << c.typed;
            EXPECT_EQ("Continue?", boxes_.boxes()[0].caption);
            EXPECT_EQ(0u, boxes_.boxes()[0].text.find("You have chosen to monitor a root directory."));
            EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), boxes_.boxes()[0].type);
        } else {
            EXPECT_EQ(2, result) << c.typed;
            EXPECT_TRUE(boxes_.boxes().empty()) << c.typed;
        }
    }
    boxes_.Answer(IDYES);
    std::string path;
    EXPECT_EQ(2, Add("C:", false, &path));
    EXPECT_EQ("C:\\", path);
}

TEST_F(AddItem, TheWindowsFolderInAnyCaseAsksButNotItsSubfolder)
{
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string lower = windows;
    for (char& ch : lower)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    boxes_.Answer(IDNO);
    EXPECT_EQ(0, Add(lower, false, NULL));
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ(0u, boxes_.boxes()[0].text.find("You have chosen to monitor your Windows directory."));
    boxes_.Clear();
    std::string path;
    EXPECT_EQ(2, Add(std::string(windows) + "\\System32", false, &path));
    EXPECT_EQ(2, Add(std::string(windows) + "\\", false, &path));
    EXPECT_TRUE(boxes_.boxes().empty());
    boxes_.Answer(IDYES);
    EXPECT_EQ(2, Add(windows, false, &path));
    EXPECT_EQ(std::string(windows) + "\\", path);
}

TEST_F(AddItem, BlankAndOverlongFieldsKeepTheDialogOpen)
{
    std::vector<std::string> states;
    ModalScript script;
    script.When(kTitle, [&](HWND dlg) {
        PumpQuietly(60);
        SaveWindowShot(dlg, "add-item");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, IDC_ADD_FILE)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, IDC_ADD_BROWSEFILES)));
        Click(dlg, IDOK);
        SetText(dlg, IDC_ADD_FOLDER, "C:\\" + std::string(257, 'a'));
        Click(dlg, IDOK);
        // 259 characters fit, but not with the separator a folder gets.
        SetText(dlg, IDC_ADD_FOLDER, "C:\\" + std::string(256, 'a'));
        Click(dlg, IDOK);
        SetCheckAndClick(dlg, IDC_ADD_ISFILE, true);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg, IDC_ADD_FILE)));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dlg, IDC_ADD_BROWSEFILES)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, IDC_ADD_FOLDER)));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, IDC_ADD_BROWSEFOLDERS)));
        Click(dlg, IDOK);
        EXPECT_TRUE(IsWindowVisible(dlg));
        Click(dlg, IDCANCEL);
    });
    char path[260] = "";
    EXPECT_EQ(0, RunAddItemDialog(owner_, path));
    ASSERT_EQ(4u, boxes_.boxes().size());
    EXPECT_EQ("You must fill in the folder name field.", boxes_.boxes()[0].text);
    EXPECT_EQ("Blank Field", boxes_.boxes()[0].caption);
    EXPECT_EQ("Path Too Long", boxes_.boxes()[1].caption);
    EXPECT_EQ("Path Too Long", boxes_.boxes()[2].caption);
    EXPECT_EQ("You must fill in the file name field.", boxes_.boxes()[3].text);
    EXPECT_STREQ("", path);
}

TEST_F(AddItem, TheMainWindowAddsExistingItemsOnly)
{
    std::string folder = dir_.path() + "\\docs";
    MakeDirs(folder);
    std::string file = dir_.path() + "\\a.txt";
    WriteFileBytes(file, "a");

    ModalScript script;
    script.When(kTitle, [&](HWND dlg) {
        SetText(dlg, IDC_ADD_FOLDER, folder);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(2, AddItemFromDialog(owner_));
    EXPECT_TRUE(ItemExists(folder + "\\"));
    EXPECT_TRUE(ReloadPosted());

    script.When(kTitle, [&](HWND dlg) {
        SetCheckAndClick(dlg, IDC_ADD_ISFILE, true);
        SetText(dlg, IDC_ADD_FILE, file);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(1, AddItemFromDialog(owner_));
    EXPECT_TRUE(ItemExists(file));
    EXPECT_TRUE(ReloadPosted());
    EXPECT_TRUE(boxes_.boxes().empty());

    // A missing folder, also one whose parent is missing, is refused and not made.
    for (std::string missing : {dir_.path() + "\\gone", dir_.path() + "\\none\\deeper"}) {
        script.When(kTitle, [&](HWND dlg) {
            SetText(dlg, IDC_ADD_FOLDER, missing);
            Click(dlg, IDOK);
        });
        EXPECT_EQ(0, AddItemFromDialog(owner_)) << missing;
        EXPECT_FALSE(DirExists(missing)) << missing;
        EXPECT_FALSE(DirExists(dir_.path() + "\\none"));
        EXPECT_FALSE(ItemExists(missing + "\\")) << missing;
    }
    script.When(kTitle, [&](HWND dlg) {
        SetCheckAndClick(dlg, IDC_ADD_ISFILE, true);
        SetText(dlg, IDC_ADD_FILE, dir_.path() + "\\nofile.txt");
        Click(dlg, IDOK);
    });
    EXPECT_EQ(0, AddItemFromDialog(owner_));
    ASSERT_EQ(3u, boxes_.boxes().size());
    EXPECT_EQ("The folder you've entered does not exist.  Click \"Add\" again and try again.",
              boxes_.boxes()[0].text);
    EXPECT_EQ("The file you entered cannot be found.  Click Add File again and enter an existing filename.",
              boxes_.boxes()[2].text);
    EXPECT_EQ("Error", boxes_.boxes()[2].caption);
    EXPECT_FALSE(ReloadPosted());

    // A folder whose path is longer than an item key can hold is refused.
    std::string deep = dir_.path();
    while (deep.size() < 232)
        deep += "\\" + std::string(20, 'd');
    MakeDirs(deep);
    ASSERT_TRUE(DirExists(deep));
    boxes_.Clear();
    script.When(kTitle, [&](HWND dlg) {
        SetText(dlg, IDC_ADD_FOLDER, deep);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(0, AddItemFromDialog(owner_));
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_NE(std::string::npos, boxes_.boxes()[0].text.find("at most 229 characters"));
}

TEST(AddItemRealBox, ABlankFieldBoxIsAnsweredOnScreen)
{
    HWND owner = CreateTestOwner(60, 40, 600, 500);
    bool saw = false;
    ModalScript script;
    script.When(kTitle, [&](HWND dlg) { PostMessageA(dlg, WM_COMMAND, IDOK, 0); });
    script.When("Blank Field", [&](HWND box) {
        saw = true;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    script.When(kTitle, [&](HWND dlg) { Click(dlg, IDCANCEL); });
    char path[260] = "";
    EXPECT_EQ(0, RunAddItemDialog(owner, path));
    EXPECT_TRUE(saw);
    DestroyWindow(owner);
}

} // namespace

namespace {

TEST_F(AddItem, CancelledBrowsersLeaveTheTypedTextAndAChosenFileReplacesIt)
{
    std::string file = dir_.path() + "\\chosen.txt";
    WriteFileBytes(file, "c");
    std::string folderField, fileField;
    ModalScript script;
    script.When(kTitle, [&](HWND dlg) {
        SetText(dlg, IDC_ADD_FOLDER, "C:\\typed");
        PostMessageA(dlg, WM_COMMAND, IDC_ADD_BROWSEFOLDERS, 0);
    });
    script.When("Browse for Folder", [&](HWND browser) {
        PumpQuietly(50);
        SaveWindowShot(browser, "browse-folders");
        PostMessageA(browser, WM_COMMAND, IDCANCEL, 0);
    });
    script.When(kTitle, [&](HWND dlg) {
        folderField = DlgItemText(dlg, IDC_ADD_FOLDER);
        SetCheckAndClick(dlg, IDC_ADD_ISFILE, true);
        SetText(dlg, IDC_ADD_FILE, "typed.txt");
        PostMessageA(dlg, WM_COMMAND, IDC_ADD_BROWSEFILES, 0);
    });
    script.When("Open", [&](HWND browser) { PostMessageA(browser, WM_COMMAND, IDCANCEL, 0); });
    script.When(kTitle, [&](HWND dlg) {
        EXPECT_EQ("typed.txt", DlgItemText(dlg, IDC_ADD_FILE));
        PostMessageA(dlg, WM_COMMAND, IDC_ADD_BROWSEFILES, 0);
    });
    script.When("Open", [&](HWND browser) {
        SetDlgItemTextA(browser, 0x47c, file.c_str());  // the file name box
        PostMessageA(browser, WM_COMMAND, IDOK, 0);
    });
    script.When(kTitle, [&](HWND dlg) {
        fileField = DlgItemText(dlg, IDC_ADD_FILE);
        Click(dlg, IDCANCEL);
    });
    char path[260] = "";
    EXPECT_EQ(0, RunAddItemDialog(owner_, path));
    EXPECT_EQ("C:\\typed", folderField);
    EXPECT_EQ(file, fileField);
}

TEST(SelectedRowText, TheFirstSelectedRowOrMinusOne)
{
    HWND owner = CreateTestOwner(60, 40, 400, 300);
    HWND list = CreateWindowA(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 300, 200, owner, NULL,
                              NULL, NULL);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 200;
    ListView_InsertColumn(list, 0, &column);
    for (const char* text : {"C:\\a\\", "C:\\b.txt", "C:\\c\\"}) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = ListView_GetItemCount(list);
        item.pszText = const_cast<char*>(text);
        ListView_InsertItem(list, &item);
    }
    char buffer[16] = "untouched";
    EXPECT_EQ(-1, GetSelectedRowText(list, buffer, sizeof buffer));
    EXPECT_STREQ("untouched", buffer);
    ListView_SetItemState(list, 2, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(list, 1, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(1, GetSelectedRowText(list, buffer, sizeof buffer));
    EXPECT_STREQ("C:\\b.txt", buffer);
    char small[4];
    EXPECT_EQ(1, GetSelectedRowText(list, small, sizeof small));
    EXPECT_STREQ("C:\\", small);
    DestroyWindow(owner);
}

} // namespace
