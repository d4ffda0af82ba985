// Item properties sheet: checks in order, what reaches the registry, list management, options pages.
#include <gtest/gtest.h>

#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/dialogs/driver.h"
#include "tests/dialogs/storehelp.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <commctrl.h>
#include <prsht.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class PropertiesSheet : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        item_ = dir_.path() + "\\source\\";
        MakeDirs(item_);
        CreateItemKey(item_.c_str());
        owner_ = CreateTestOwner(60, 40, 700, 600);
        boxes_.reset(new MessageBoxRecorder);
    }
    void TearDown() override
    {
        boxes_.reset();
        DestroyWindow(owner_);
        DeleteProductKey();
    }

    void Open() { RunPropertiesSheet(owner_, item_.c_str()); }

    static HWND Page(HWND sheet, int index)
    {
        PropSheet_SetCurSel(sheet, NULL, index);
        PumpQuietly(80);
        return PropSheet_GetCurrentPageHwnd(sheet);
    }
    static void Ok(HWND sheet) { PropSheet_PressButton(sheet, PSBTN_OK); }
    static void Cancel(HWND sheet) { PropSheet_PressButton(sheet, PSBTN_CANCEL); }
    // The sheet acts on a pressed button from its own queue.
    static void Apply(HWND sheet)
    {
        PropSheet_PressButton(sheet, PSBTN_APPLYNOW);
        PumpQuietly(50);
    }
    static void Choose(HWND page, int listId, const std::string& text)
    {
        HWND list = GetDlgItem(page, listId);
        int at = static_cast<int>(SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                               reinterpret_cast<LPARAM>(text.c_str())));
        ASSERT_GE(at, 0) << text;
        SendMessageA(list, CB_SETCURSEL, at, 0);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    }
    static std::vector<std::string> Entries(HWND page, int listId)
    {
        std::vector<std::string> out;
        HWND list = GetDlgItem(page, listId);
        int n = static_cast<int>(SendMessageA(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            char text[300] = "";
            SendMessageA(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            out.push_back(text);
        }
        return out;
    }
    std::vector<std::string> Captions() const
    {
        std::vector<std::string> out;
        for (const auto& b : boxes_->boxes())
            out.push_back(b.caption);
        return out;
    }
    void FillFtp(HWND page, const char* name, const char* address, const char* user, const char* password)
    {
        SetText(page, IDC_FTP_NAME, name);
        SetText(page, IDC_FTP_ADDRESS, address);
        SetText(page, IDC_FTP_USER, user);
        SetText(page, IDC_FTP_PASSWORD, password);
    }

    TempDir dir_;
    std::string item_;
    HWND owner_ = NULL;
    std::unique_ptr<MessageBoxRecorder> boxes_;
};

TEST_F(PropertiesSheet, FtpChecksComeInOrderAndOkCreatesTheFirstTarget)
{
    std::string longPassword(255, 'p');
    ModalScript script;
    script.When("Folder Properties: " + item_, [&](HWND sheet) {
        HWND page = Page(sheet, 0);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FTP_NAME)));
        SetCheckAndClick(page, IDC_FTP_ENABLE, true);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_FTP_NAME)));
        EXPECT_EQ("21", DlgItemText(page, IDC_FTP_PORT));
        EXPECT_EQ("/", DlgItemText(page, IDC_FTP_FOLDER));
        PumpQuietly(60);
        SaveWindowShot(sheet, "properties-ftp");

        Click(page, IDC_TARGET_SAVE);                       // Name Blank
        SetText(page, IDC_FTP_NAME, std::string(256, 'n'));
        Click(page, IDC_TARGET_SAVE);                       // Field Too Long
        SetText(page, IDC_FTP_NAME, "My Web Page");
        Click(page, IDC_TARGET_SAVE);                       // Address Blank
        SetText(page, IDC_FTP_ADDRESS, "127.0.0.1");
        SetText(page, IDC_FTP_PORT, "");
        Click(page, IDC_TARGET_SAVE);                       // Port Blank
        SetText(page, IDC_FTP_PORT, "70000");
        Click(page, IDC_TARGET_SAVE);                       // Invalid Port
        SetText(page, IDC_FTP_PORT, "2121");
        Click(page, IDC_TARGET_SAVE);                       // Username Blank
        SetText(page, IDC_FTP_USER, "bob");
        Click(page, IDC_TARGET_SAVE);                       // Password Blank
        SetText(page, IDC_FTP_PASSWORD, longPassword);
        SetText(page, IDC_FTP_FOLDER, "www");
        Click(page, IDC_TARGET_SAVE);                       // Invalid Field
        EXPECT_EQ(0, CountTargets(item_.c_str(), KIND_FTP));
        SetText(page, IDC_FTP_FOLDER, "");
        Ok(sheet);
    });
    Open();
    std::vector<std::string> expected = {"Name Blank",     "Field Too Long", "Address Blank",  "Port Blank",
                                         "Invalid Port",   "Username Blank", "Password Blank", "Invalid Field"};
    EXPECT_EQ(expected, Captions());
    for (const auto& b : boxes_->boxes())
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION), b.type) << b.caption;
    EXPECT_NE(std::string::npos, boxes_->boxes()[0].text.find("(eg. \"My Web Page\")"));

    LoadedItem s(item_);
    ASSERT_TRUE(s.ok());
    EXPECT_EQ(1, s->switches->ftpEnabled);
    ASSERT_EQ(1u, s.ftpCount());
    FtpTarget* t = s.Ftp(1);
    ASSERT_TRUE(t);
    EXPECT_STREQ("My Web Page", t->name);
    EXPECT_STREQ("127.0.0.1", t->address);
    EXPECT_EQ(2121, t->port);
    EXPECT_STREQ("bob", t->userName);
    EXPECT_EQ(longPassword, t->password);
    EXPECT_STREQ("/", t->folder);
    EXPECT_EQ(1, t->storageType);
    EXPECT_EQ(0, t->anonymous);
}

TEST_F(PropertiesSheet, FtpFolderRulesAndStorageTypeOnSaveChanges)
{
    DWORD id = SeedFtpTarget(item_, "Site", "ftp.example", 21, "u", "p", "/old");
    struct Case {
        const char* typed;
        const char* stored;  // nullptr: refused
    } cases[] = {{"www", nullptr}, {"../www", "../www"}, {"/www/", "/www"}, {"/", "/"}, {"", "/"},
                 {"..", ".."}, {"\\www", nullptr}};
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND page = Page(sheet, 0);
        EXPECT_EQ("Site", DlgItemText(page, IDC_FTP_NAME));
        for (const Case& c : cases) {
            boxes_->Clear();
            SetText(page, IDC_FTP_FOLDER, c.typed);
            Click(page, IDC_TARGET_SAVE);
            LoadedItem s(item_);
            if (!c.stored) {
                EXPECT_EQ(std::vector<std::string>{"Invalid Field"}, Captions()) << c.typed;
                SetText(page, IDC_FTP_FOLDER, "/old");
                Click(page, IDC_TARGET_SAVE);
            } else {
                EXPECT_TRUE(Captions().empty()) << c.typed;
                ASSERT_TRUE(s.Ftp(id));
                EXPECT_STREQ(c.stored, s.Ftp(id)->folder) << c.typed;
            }
        }
        SendDlgItemMessageA(page, IDC_FTP_STORAGE, CB_SETCURSEL, 1, 0);
        EXPECT_EQ(2, SendDlgItemMessageA(page, IDC_FTP_STORAGE, CB_GETCOUNT, 0, 0));
        Apply(sheet);
        Cancel(sheet);
    });
    Open();
    LoadedItem s(item_);
    ASSERT_EQ(1u, s.ftpCount());
    EXPECT_EQ(2, s.Ftp(id)->storageType);
}

TEST_F(PropertiesSheet, AddNewNamesMustBeFreshButAnExistingTargetMayTakeAnyName)
{
    DWORD alpha = SeedFtpTarget(item_, "Alpha", "a.example", 21, "ua", "pa", "/a");
    DWORD beta = SeedFtpTarget(item_, "Beta", "b.example", 21, "ub", "pb", "/b");
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND page = Page(sheet, 0);
        EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta"}), Entries(page, IDC_FTP_LIST));
        Click(page, IDC_FTP_ADDNEW);
        EXPECT_EQ("New FTP Server", DlgItemText(page, IDC_FTP_NAME));
        EXPECT_EQ("", DlgItemText(page, IDC_FTP_ADDRESS));
        EXPECT_EQ("21", DlgItemText(page, IDC_FTP_PORT));
        EXPECT_EQ("/www", DlgItemText(page, IDC_FTP_FOLDER));
        FillFtp(page, "Alpha", "c.example", "uc", "pc");
        Click(page, IDC_TARGET_SAVE);
        EXPECT_EQ(std::vector<std::string>{"Site Already Exists"}, Captions());
        EXPECT_NE(std::string::npos, boxes_->boxes()[0].text.find("called Alpha."));
        EXPECT_EQ(2, CountTargets(item_.c_str(), KIND_FTP));
        SetText(page, IDC_FTP_NAME, "Gamma");
        Click(page, IDC_TARGET_SAVE);
        EXPECT_EQ(3, CountTargets(item_.c_str(), KIND_FTP));
        EXPECT_EQ((std::vector<std::string>{"Alpha", "Beta", "Gamma"}), Entries(page, IDC_FTP_LIST));

        // Choosing another entry saves the shown target first, and a failed check keeps it.
        SetText(page, IDC_FTP_ADDRESS, "");
        Choose(page, IDC_FTP_LIST, "Beta");
        EXPECT_EQ("Gamma", DlgItemText(page, IDC_FTP_NAME));
        SetText(page, IDC_FTP_ADDRESS, "c2.example");
        Choose(page, IDC_FTP_LIST, "Beta");

        // Beta renamed to Alpha is accepted, and later edits stay with Beta.
        EXPECT_EQ("b.example", DlgItemText(page, IDC_FTP_ADDRESS));
        SetText(page, IDC_FTP_NAME, "Alpha");
        Click(page, IDC_TARGET_SAVE);
        SetText(page, IDC_FTP_ADDRESS, "b2.example");
        Click(page, IDC_TARGET_SAVE);
        Cancel(sheet);
    });
    Open();
    EXPECT_EQ((std::vector<std::string>{"Site Already Exists", "Address Blank"}), Captions());
    LoadedItem s(item_);
    ASSERT_EQ(3u, s.ftpCount());
    EXPECT_STREQ("a.example", s.Ftp(alpha)->address);
    EXPECT_STREQ("Alpha", s.Ftp(beta)->name);
    EXPECT_STREQ("b2.example", s.Ftp(beta)->address);
    EXPECT_STREQ("c2.example", s.Ftp(3)->address);
}

TEST_F(PropertiesSheet, GoFindsAPrefixInAnyCaseOnEachPageAndRemoveEmptiesTheList)
{
    SeedFtpTarget(item_, "My Web Page", "w.example", 21, "u", "p", "/");
    SeedFtpTarget(item_, "Other", "o.example", 21, "u", "p", "/");
    std::string backup = dir_.path() + "\\Backup", archive = dir_.path() + "\\archive";
    SeedDiskTarget(item_, backup.c_str());
    SeedDiskTarget(item_, archive.c_str(), 4);
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND ftp = Page(sheet, 0);
        SetText(ftp, IDC_FTP_QUICK, "oTH");
        Click(ftp, IDC_TARGET_GO);
        EXPECT_EQ("Other", DlgItemText(ftp, IDC_FTP_NAME));
        EXPECT_EQ("", DlgItemText(ftp, IDC_FTP_QUICK));
        SetText(ftp, IDC_FTP_QUICK, "my");
        Click(ftp, IDC_TARGET_GO);
        EXPECT_EQ("My Web Page", DlgItemText(ftp, IDC_FTP_NAME));
        SetText(ftp, IDC_FTP_QUICK, "zzz");
        Click(ftp, IDC_TARGET_GO);
        EXPECT_EQ("My Web Page", DlgItemText(ftp, IDC_FTP_NAME));
        EXPECT_EQ("zzz", DlgItemText(ftp, IDC_FTP_QUICK));

        HWND hd = Page(sheet, 1);
        PumpQuietly(60);
        SaveWindowShot(sheet, "properties-drive");
        EXPECT_EQ(3, SendDlgItemMessageA(hd, IDC_HD_STORAGE, CB_GETCOUNT, 0, 0));
        std::string lower = dir_.path() + "\\arch";
        for (char& ch : lower)
            ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        SetText(hd, IDC_HD_QUICK, lower);
        Click(hd, IDC_TARGET_GO);
        EXPECT_EQ(archive, DlgItemText(hd, IDC_HD_FOLDER));
        EXPECT_EQ(2, SendDlgItemMessageA(hd, IDC_HD_STORAGE, CB_GETCURSEL, 0, 0));
        EXPECT_EQ("zzz", DlgItemText(ftp, IDC_FTP_QUICK));

        Click(hd, IDC_HD_REMOVE);  // the archive target, selected by Go
        EXPECT_EQ(std::vector<std::string>{backup}, Entries(hd, IDC_HD_LIST));
        EXPECT_EQ(backup, DlgItemText(hd, IDC_HD_FOLDER));

        ftp = Page(sheet, 0);
        Click(ftp, IDC_FTP_REMOVE);
        EXPECT_EQ(std::vector<std::string>{"Other"}, Entries(ftp, IDC_FTP_LIST));
        Click(ftp, IDC_FTP_REMOVE);
        EXPECT_TRUE(Entries(ftp, IDC_FTP_LIST).empty());
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(ftp, IDC_FTP_ENABLE));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(ftp, IDC_FTP_ADDRESS)));
        EXPECT_EQ("", DlgItemText(ftp, IDC_FTP_NAME));
        Ok(sheet);
    });
    Open();
    EXPECT_TRUE(Captions().empty());
    LoadedItem s(item_);
    EXPECT_EQ(0u, s.ftpCount());
    EXPECT_EQ(0, s->switches->ftpEnabled);
    ASSERT_EQ(1u, s.hdCount());
    EXPECT_EQ(backup, s->hdTargets[0]->folder);
}

TEST_F(PropertiesSheet, AnonymousLoginStoresTheTypedAddressAsPassword)
{
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND page = Page(sheet, 0);
        SetCheckAndClick(page, IDC_FTP_ANONYMOUS, true);  // ignored while FTP is off
        EXPECT_EQ("", DlgItemText(page, IDC_FTP_PASSWORD));
        SetCheckAndClick(page, IDC_FTP_ENABLE, true);
        SetCheckAndClick(page, IDC_FTP_ANONYMOUS, true);
        EXPECT_EQ("Enter E-Mail Address Here", DlgItemText(page, IDC_FTP_PASSWORD));
        EXPECT_EQ(0, SendDlgItemMessageA(page, IDC_FTP_PASSWORD, EM_GETPASSWORDCHAR, 0, 0));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_FTP_USER)));
        SetCheckAndClick(page, IDC_FTP_ANONYMOUS, false);
        EXPECT_EQ('*', SendDlgItemMessageA(page, IDC_FTP_PASSWORD, EM_GETPASSWORDCHAR, 0, 0));
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(page, IDC_FTP_USER)));
        SetCheckAndClick(page, IDC_FTP_ANONYMOUS, true);
        SetText(page, IDC_FTP_NAME, "Public");
        SetText(page, IDC_FTP_ADDRESS, "pub.example");
        SetText(page, IDC_FTP_PASSWORD, "me@example.org");
        Ok(sheet);
    });
    Open();
    EXPECT_TRUE(Captions().empty());
    LoadedItem s(item_);
    ASSERT_EQ(1u, s.ftpCount());
    EXPECT_EQ(1, s->ftpTargets[0]->anonymous);
    EXPECT_STREQ("me@example.org", s->ftpTargets[0]->password);
    EXPECT_STREQ("", s->ftpTargets[0]->userName);
}

TEST_F(PropertiesSheet, DriveFolderIsCreatedLevelByLevelAndStoredWithoutItsSeparator)
{
    std::string existing = dir_.path() + "\\kept";
    SeedDiskTarget(item_, existing.c_str(), 1, 0);
    std::string deep = dir_.path() + "\\e\\a\\b\\c";
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND page = Page(sheet, 1);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page, IDC_HD_FOLDER)));
        Click(page, IDC_HD_ADDNEW);
        SetCheckAndClick(page, IDC_HD_ENABLE, true);
        Click(page, IDC_HD_ADDNEW);
        EXPECT_EQ("", DlgItemText(page, IDC_HD_FOLDER));
        Click(page, IDC_TARGET_SAVE);
        SetText(page, IDC_HD_FOLDER, existing + "\\");
        Click(page, IDC_TARGET_SAVE);
        SetText(page, IDC_HD_FOLDER, std::string(260, 'x'));
        Click(page, IDC_TARGET_SAVE);
        EXPECT_FALSE(DirExists(dir_.path() + "\\e"));
        SetText(page, IDC_HD_FOLDER, deep + "\\");
        SendDlgItemMessageA(page, IDC_HD_STORAGE, CB_SETCURSEL, 2, 0);
        Ok(sheet);
    });
    Open();
    EXPECT_EQ((std::vector<std::string>{"Enable Hard Drive/Network", "Address Blank", "Already Defined",
                                        "Field Too Long"}),
              Captions());
    EXPECT_TRUE(DirExists(deep));
    LoadedItem s(item_);
    EXPECT_EQ(1, s->switches->hdEnabled);
    ASSERT_EQ(2u, s.hdCount());
    DiskTarget* t = s.Disk(2);
    ASSERT_TRUE(t);
    EXPECT_EQ(deep, t->folder);
    EXPECT_EQ(4, t->storageType);
}

TEST_F(PropertiesSheet, AFailedOkKeepsTheSheetOpenAndApplyTwiceKeepsOneNewTarget)
{
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND page = Page(sheet, 0);
        SetCheckAndClick(page, IDC_FTP_ENABLE, true);
        FillFtp(page, "", "s.example", "u", "p");
        Page(sheet, 2);
        Ok(sheet);
        PumpQuietly(50);
        EXPECT_TRUE(IsWindowVisible(sheet));
        SetText(page, IDC_FTP_NAME, "Site");
        Apply(sheet);
        SetText(page, IDC_FTP_ADDRESS, "t.example");
        Apply(sheet);
        SetText(page, IDC_FTP_ADDRESS, "never.example");
        Cancel(sheet);
    });
    Open();
    EXPECT_EQ(std::vector<std::string>{"Name Blank"}, Captions());
    LoadedItem s(item_);
    ASSERT_EQ(1u, s.ftpCount());
    EXPECT_STREQ("t.example", s->ftpTargets[0]->address);
}

TEST_F(PropertiesSheet, FolderOptionsPageShowsAndStoresEveryOption)
{
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        HWND page = Page(sheet, 2);
        PumpQuietly(60);
        SaveWindowShot(sheet, "properties-options");
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_OPT_EXCLUDETEMP));
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_OPT_INCLUDESUBS));
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_OPT_DELETESTORED));
        EXPECT_EQ("0", DlgItemText(page, IDC_OPT_SIZELIMIT));
        boxes_->Answer(IDNO);
        SetCheckAndClick(page, IDC_OPT_DELETESTORED, true);
        EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(page, IDC_OPT_DELETESTORED));
        boxes_->Answer(IDYES);
        SetCheckAndClick(page, IDC_OPT_DELETESTORED, true);
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_OPT_DELETESTORED));
        SetCheckAndClick(page, IDC_OPT_DELETESTORED, false);  // asks nothing
        boxes_->Answer(IDYES);
        SetCheckAndClick(page, IDC_OPT_DELETESTORED, true);
        SetCheckAndClick(page, IDC_OPT_INCLUDESUBS, false);
        SetText(page, IDC_OPT_SIZELIMIT, "4294967296");
        Ok(sheet);
        PumpQuietly(30);
        SetText(page, IDC_OPT_SIZELIMIT, "4294967295");
        Ok(sheet);
    });
    Open();
    std::vector<std::string> captions = Captions();
    EXPECT_EQ((std::vector<std::string>{"Continue?", "Continue?", "Continue?", "Invalid Field"}), captions);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION), boxes_->boxes()[0].type);
    LoadedItem s(item_);
    EXPECT_EQ(1, s->options->deleteStored);
    EXPECT_EQ(0, s->options->includeSubs);
    EXPECT_EQ(1, s->options->excludeTemp);
    EXPECT_EQ(4294967295u, s->options->sizeLimit);
}

TEST_F(PropertiesSheet, FileOptionsPageHasOnlyTheTemporaryFilterAndKeepsTheRest)
{
    std::string file = dir_.path() + "\\plan.doc";
    WriteFileBytes(file, "x");
    CreateItemKey(file.c_str());
    const BYTE two = 2;
    std::string key = file;
    EncodeKeyName(&key[0]);
    SetItemRaw(key.c_str(), NULL, "advanced_excludetemp", REG_BINARY, &two, 1);
    ModalScript script;
    script.When("File Properties: " + file, [&](HWND sheet) {
        HWND page = Page(sheet, 2);
        EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(page, IDC_OPT_EXCLUDETEMP));
        EXPECT_EQ(NULL, GetDlgItem(page, IDC_OPT_INCLUDESUBS));
        EXPECT_EQ(NULL, GetDlgItem(page, IDC_OPT_SIZELIMIT));
        SetCheckAndClick(page, IDC_OPT_EXCLUDETEMP, false);
        PumpQuietly(60);
        SaveWindowShot(sheet, "properties-file-options");
        Ok(sheet);
    });
    RunPropertiesSheet(owner_, file.c_str());
    LoadedItem s(file);
    EXPECT_EQ(0, s->options->excludeTemp);
    EXPECT_EQ(1, s->options->includeSubs);
}

TEST(PropertiesSheetRealBox, ARealMessageBoxIsAnsweredAndTheSheetGoesOn)
{
    ResetProductKey();
    TempDir dir;
    std::string item = dir.path() + "\\";
    CreateItemKey(item.c_str());
    HWND owner = CreateTestOwner(60, 40, 700, 600);
    bool sawBox = false;
    ModalScript script;
    script.When("Folder Properties:", [&](HWND sheet) {
        PropSheet_SetCurSel(sheet, NULL, 0);
        HWND page = PropSheet_GetCurrentPageHwnd(sheet);
        SetCheckAndClick(page, IDC_FTP_ENABLE, true);
        PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_TARGET_SAVE, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_TARGET_SAVE)));
    });
    script.When("Name Blank", [&](HWND box) {
        sawBox = true;
        PumpQuietly(60);
        SaveWindowShot(box, "properties-name-blank");
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    script.When("Folder Properties:", [&](HWND sheet) { PropSheet_PressButton(sheet, PSBTN_CANCEL); });
    RunPropertiesSheet(owner, item.c_str());
    EXPECT_TRUE(sawBox);
    DestroyWindow(owner);
    DeleteProductKey();
}

} // namespace
