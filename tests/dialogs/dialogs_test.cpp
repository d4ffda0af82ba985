// One scripted run of each dialog on real windows, with its screenshot.
#include "common/messages.h"
#include "common/seams.h"
#include "dialogs/dialogs.h"
#include "log/errors.h"
#include "resources/resource.h"
#include "store/regvalue.h"
#include "store/scoped.h"
#include "tests/dialogs/script.h"
#include "tests/support/seed.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <prsht.h>

namespace {

HWND Page(HWND sheet, int index, const char* shot)
{
    PropSheet_SetCurSel(sheet, NULL, index);
    Shot(sheet, shot);
    return PropSheet_GetCurrentPageHwnd(sheet);
}

// The sheet acts on a pressed button from its own queue.
void Press(HWND sheet, int button)
{
    PropSheet_PressButton(sheet, button);
    PumpMessages(50);
}

TEST_F(DialogTest, ThePropertiesSheetSavesWhatEachPageShows)
{
    const std::string item = dir_.path() + "\\source\\", deep = dir_ / "e\\a\\b";
    ItemSpec spec;
    spec.ftps = {FtpSpec{21, "a", "/a", "u", "p", "Alpha", 1, 0, 1, 1},
                 FtpSpec{21, "b", "/b", "u", "p", "Beta"}};
    spec.disks = {DiskSpec{dir_ / "Backup"}};
    SeedItem(item, spec);
    Strings seen;
    RunModal([&] { RunPropertiesSheet(owner_, item.c_str()); }, "Folder Properties: " + item,
             [&](HWND sheet) {
                 HWND ftp = Page(sheet, 0, "properties-ftp");
                 auto see = [&] {  // the fields, and whether the password shows as stars
                     seen.push_back(
                         Shown(ftp, {IDC_FTP_NAME, IDC_FTP_PORT, IDC_FTP_FOLDER, IDC_FTP_PASSIVE,
                                     -IDC_FTP_PASSIVE, -IDC_FTP_USER, IDC_FTP_PASSWORD}) +
                         Shown(ftp, {IDC_FTP_SAFEUPLOAD}) +
                         Join(SendDlgItemMessageA(ftp, IDC_FTP_PASSWORD, EM_GETPASSWORDCHAR, 0,
                                                  0) == '*'));
                 };
                 see();
                 SendDlgItemMessageA(ftp, IDC_FTP_LIST, CB_SELECTSTRING, -1,
                                     reinterpret_cast<LPARAM>("Beta"));
                 SendMessageA(ftp, WM_COMMAND, MAKEWPARAM(IDC_FTP_LIST, CBN_SELCHANGE), 0);
                 see();
                 Do(ftp, {{'t', IDC_FTP_PASSIVE}, {'t', IDC_FTP_SAFEUPLOAD}});
                 Do(ftp, {{'c', IDC_TARGET_SAVE}, {'c', IDC_FTP_ADDNEW}});
                 see();
                 Do(ftp, {{'=', IDC_FTP_ADDRESS, "c"},
                          {'=', IDC_FTP_USER, "u"},
                          {'=', IDC_FTP_NAME, "Alpha"},
                          {'c', IDC_TARGET_SAVE},
                          {'=', IDC_FTP_NAME, "Gamma"},
                          {'t', IDC_FTP_ANONYMOUS}});
                 see();
                 Do(ftp, {{'c', IDC_TARGET_SAVE}, {'=', IDC_FTP_ADDRESS, "c2"}});
                 Press(sheet, PSBTN_APPLYNOW);  // updates the new target saved before, adds none
                 Do(ftp, {{'=', IDC_FTP_QUICK, "bE"}, {'c', IDC_TARGET_GO}});
                 see();
                 Do(ftp, {{'c', IDC_FTP_REMOVE}, {'c', IDC_FTP_REMOVE}, {'c', IDC_FTP_REMOVE}});
                 seen.push_back(
                     Shown(ftp, {IDC_FTP_ENABLE, IDC_FTP_PORT, IDC_FTP_FOLDER, -IDC_FTP_PASSIVE}));
                 HWND hd = Page(sheet, 1, "properties-drive"),
                      options = Page(sheet, 2, "properties-options");
                 Do(hd, {{'u', IDC_HD_ENABLE},
                         {'c', IDC_HD_ADDNEW},
                         {'t', IDC_HD_ENABLE},
                         {'c', IDC_HD_ADDNEW},
                         {'=', IDC_HD_FOLDER, deep + "\\"}});
                 SendDlgItemMessageA(hd, IDC_HD_STORAGE, CB_SETCURSEL, 2, 0);
                 Do(options, {{'n'}, {'t', IDC_OPT_DELETESTORED}});
                 seen.push_back(Shown(
                     options, {IDC_OPT_INCLUDESUBS, IDC_OPT_DELETESTORED, IDC_OPT_SIZELIMIT}));
                 Do(options, {{'y'},
                              {'t', IDC_OPT_DELETESTORED},
                              {'u', IDC_OPT_INCLUDESUBS},
                              {'=', IDC_OPT_SIZELIMIT, "4294967296"}});
                 Press(sheet, PSBTN_OK);  // a size limit beyond 32 bits keeps the sheet open
                 Do(options, {{'=', IDC_OPT_SIZELIMIT, "4294967295"}});
                 Press(sheet, PSBTN_OK);
             });
    EXPECT_EQ((Strings{"Alpha 21 /a 1 1 1 p 1 1 ", "Beta 21 /b 0 1 1 p 0 1 ",
                       "New FTP Server 21 /www 0 1 1  1 1 ",
                       "Gamma 21 /www 0 1 0 Enter E-Mail Address Here 1 0 ",
                       "Beta 21 /b 1 1 1 p 1 1 ", "0 21 / 0 ", "1 0 0 "}),
              seen);
    EXPECT_EQ("Site Already Exists|Enable Hard Drive/Network|Continue?|Continue?|Invalid Field|",
              Captions());
    ScopedItemSettings s(item.c_str());
    const DiskTarget* added = s->hdTargets[1];
    EXPECT_EQ(Join(0, 2, deep, 4, 1, 0, 4294967295u, 1),
              Join(s->switches->ftpCount, s->switches->hdCount, added->folder,
                   int(added->storageType), int(s->options->deleteStored),
                   int(s->options->includeSubs), s->options->sizeLimit, DirExists(deep)));
    const std::string file = dir_ / "plan.doc";
    SeedItem(file, ItemSpec());
    RunModal([&] { RunPropertiesSheet(owner_, file.c_str()); }, "File Properties: " + file,
             [&](HWND sheet) {
                 HWND options = Page(sheet, 2, "properties-file-options");
                 EXPECT_EQ(NULL, GetDlgItem(options, IDC_OPT_INCLUDESUBS));
                 Do(options, {{'u', IDC_OPT_EXCLUDETEMP}});
                 Press(sheet, PSBTN_CANCEL);  // nothing is saved
             });
    EXPECT_EQ(1, ScopedItemSettings(file.c_str())->options->excludeTemp);
}

TEST_F(DialogTest, AddItemChecksAsksAndLeavesThePathWithItsResult)
{
    char path[260] = "";
    std::string seen;
    RunModal([&] { seen += Join(RunAddItemDialog(owner_, path), path); }, "Add File or Folder",
             [&](HWND dlg) {
                 Shot(dlg, "add-item");
                 Do(dlg, {{'c', IDOK}, {'t', IDC_ADD_ISFILE}});
                 seen = Shown(dlg, {-IDC_ADD_FOLDER, -IDC_ADD_BROWSEFILES});
                 Do(dlg, {{'c', IDOK},
                          {'u', IDC_ADD_ISFILE},
                          {'=', IDC_ADD_FOLDER, "C:"},
                          {'y'},
                          {'c', IDOK}});
             });
    EXPECT_EQ("0 1 2 C:\\ ", seen);
    EXPECT_EQ("Blank Field|Blank Field|Continue?|", Captions());
}

TEST_F(DialogTest, RestoreListsCopiesBackRemovesAndTellsWhyADownloadCannotStart)
{
    const std::string install = UseInstallDir(dir_), item = dir_.path() + "\\w\\", b = dir_ / "b.1";
    const std::string hd = "Hard Drive or Networked Drive", ftp = "u:<password>@h:21";
    SeedItem(item, ItemSpec());
    std::string key = item;
    EncodeKeyName(&key[0]);
    for (const Strings& r : {Strings{"FTP", item + "a*/a", ftp}, Strings{"FTP", "no star", "x"},
                             Strings{"HD", item + "b*" + b, hd}})
        SetItemRaw(key.c_str(), r[0].c_str(), r[1].c_str(), REG_SZ, r[2].c_str(),
                   static_cast<DWORD>(r[2].size() + 1));
    WriteFileBytes(b, "new");
    MakeDirs(dir_ / "r");
    WriteFileBytes(dir_ / "r\\b", "old and longer");
    SetGlobalText("restorefolder", (dir_ / "r").c_str());
    SetFtpDownloadStarter(
        [](const char*, const char*, const char*) { return int(ERR_HOST_NOT_RESOLVED); });
    Strings seen;
    RunModal([&] { RunRestoreDialog(owner_, item.c_str()); }, "Restore File/Folder",
             [&](HWND dlg) {
                 HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
                 auto press = [&](int row, int button) {
                     ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
                     Click(dlg, button);
                     PumpMessages(50);
                     seen.push_back(Join(ListView_GetItemCount(list)));
                 };
                 Shot(dlg, "restore");
                 for (int row = 0; row < ListView_GetItemCount(list); ++row) {
                     char stored[300] = "";
                     ListView_GetItemText(list, row, 1, stored, sizeof stored);
                     seen.push_back(stored);
                 }
                 press(0, IDC_RESTORE_RESTORE);
                 SetGlobalText("restorefolder", "");  // the installation folder takes its place
                 press(0, IDC_RESTORE_RESTORE);
                 DeleteFileA(b.c_str());
                 press(0, IDC_RESTORE_RESTORE);
                 press(1, IDC_RESTORE_RESTORE);
                 for (HWND error : FindProcessWindows("Tandemkeep Error")) {
                     seen.push_back(DlgItemText(error, IDC_ERROR_HEADING));
                     SendMessageA(error, WM_CLOSE, 0, 0);
                 }
                 DeleteGlobalValue("installdir");  // no folder at all: neither kind restores
                 press(1, IDC_RESTORE_RESTORE);
                 press(1, IDC_RESTORE_REMOVE);
                 Do(dlg, {{'n'}});
                 press(0, IDC_RESTORE_REMOVEALL);
                 Do(dlg, {{'y'}});
                 press(0, IDC_RESTORE_REMOVEALL);
                 Click(dlg, IDCANCEL);
             });
    SetFtpDownloadStarter(NULL);
    EXPECT_EQ((Strings{b, "/a", "2 ", "2 ", "2 ", "2 ",
                       "In regards to h, there was the following error:", "2 ", "1 ", "1 ", "0 "}),
              seen);
    EXPECT_EQ("new new ", Join(ReadFileBytes(dir_ / "r\\b"), ReadFileBytes(install + "\\b")));
    EXPECT_NE(std::string::npos,
              ReadFileBytes(install + "\\errorlog.txt").find("server name could not be resolved"));
    EXPECT_EQ("Restore Failed|Error|Confirm|Confirm|", Captions());
}

TEST_F(DialogTest, SettingsShowUseAndStoreTheProgramSettings)
{
    const std::string install = UseInstallDir(dir_);
    WriteFileBytes(install + "\\backuplog.txt", "b");
    WriteFileBytes(install + "\\errorlog.txt", "e");
    SetGlobalDword("tip", 9);
    SetGlobalDword("showerrors", 0);
    SetGlobalText("restorefolder", "C:\\kept");
    SetGlobalRaw(TK_VALUE_RETRYFAILED, REG_BINARY, "\x01", 1);  // catchup missing: off
    RECT size;
    std::string seen;
    RunModal([&] { RunSettingsDialog(owner_); }, "Tandemkeep Settings",
             [&](HWND dlg) {
                 seen = Shown(dlg, {IDC_SET_LOGGING, IDC_SET_TIPS, IDC_SET_SPLASH, IDC_SET_NOERRORS,
                                    IDC_SET_RESTOREFOLDER, IDC_SET_RETRYFAILED, IDC_SET_CATCHUP});
                 Do(dlg, {{'n'},
                          {'c', IDC_SET_CLEARERROR},
                          {'y'},
                          {'c', IDC_SET_CLEARBACKUP},
                          {'c', IDC_SET_RESETSIZE}});
                 GetWindowRect(owner_, &size);
                 Shot(dlg, "settings");
                 Do(dlg, {{'u', IDC_SET_LOGGING},
                          {'t', IDC_SET_SPLASH},
                          {'u', IDC_SET_NOERRORS},
                          {'u', IDC_SET_RETRYFAILED},
                          {'t', IDC_SET_CATCHUP},
                          {'=', IDC_SET_RESTOREFOLDER, "D:\\R\\"},
                          {'c', IDOK}});
             });
    auto switchValue = [](const char* name) {  // type/size/first byte
        BYTE data[8] = {};
        DWORD type = 0, got = sizeof data;
        HKEY key = OpenProductKey();
        RegQueryValueExA(key, name, NULL, &type, data, &got);
        RegCloseKey(key);
        return Join(type, got, int(data[0]));
    };
    EXPECT_EQ("3 1 0 3 1 1 ", switchValue(TK_VALUE_RETRYFAILED) + switchValue(TK_VALUE_CATCHUP));
    EXPECT_EQ("1 1 0 1 C:\\kept 1 0 1 0 60 40 620 460 0 0 1 1 D:\\R ",
              seen + Join(FileExists(install + "\\errorlog.txt"),
                          FileExists(install + "\\backuplog.txt"), size.left, size.top,
                          size.right - size.left, size.bottom - size.top,
                          GetGlobalDword("logging", 9), GetGlobalDword("tip", 9),
                          GetGlobalDword("splash", 9), GetGlobalDword("showerrors", 9),
                          GetGlobalText("restorefolder")));
    EXPECT_EQ("Are You Sure?|Are You Sure?|", Captions());
}

TEST_F(DialogTest, FtpRepliesAreKeptWhileHiddenAndSavedByteForByte)
{
    HWND replies = CreateRepliesWindow(owner_);
    const std::string saved = dir_ / "saved.txt";
    Strings folders;  // where the file browser opens
    auto saveAs = [&] {
        RunModal([&] { Click(replies, IDC_REPLIES_SAVE); }, "Open",
                 [&](HWND dlg) {
                     char folder[MAX_PATH] = "";
                     SendMessageA(dlg, CDM_GETFOLDERPATH, MAX_PATH, (LPARAM)folder);
                     folders.push_back(folder);
                     Do(dlg, {{'=', cmb13, saved}, {'p', IDOK}});
                 });
    };
    for (const char* line : {"220 Hello\r\n", static_cast<const char*>(NULL), "331 Password\r\n"})
        SendMessageA(replies, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>(line));
    // Lines are added together a moment after they arrive.
    PumpUntil(
        [&] { return DlgItemText(replies, IDC_REPLIES_TEXT).find("331") != std::string::npos; },
        5000);
    std::string seen = Join(IsWindowVisible(replies), DlgItemText(replies, IDC_REPLIES_TEXT));
    ShowWindow(replies, SW_SHOWNORMAL);
    Shot(replies, "ftp-replies");
    Click(replies, IDC_REPLIES_CLEAR);
    SendMessageA(replies, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>("230 Logged in\r\n"));
    saveAs();
    SendMessageA(replies, UM_FTPREPLY, 0, reinterpret_cast<LPARAM>("421 Bye\r\n"));
    Do(replies, {{'n'}});
    saveAs();
    Click(replies, IDC_REPLIES_CLOSE);
    EXPECT_EQ("0 220 Hello\r\n331 Password\r\n 230 Logged in\r\n 0 ",
              seen + Join(ReadFileBytes(saved), IsWindowVisible(replies)));
    EXPECT_EQ("Confirm Overwrite|", Captions());
    EXPECT_EQ(0, lstrcmpiA(dir_.path().c_str(), folders.at(1).c_str())) << folders.at(1);
    // A server that never stops talking: each line costs its own length, and
    // the text keeps only the newest lines, whole.
    std::string line = std::string(98, 'x') + "\r\n";
    for (int i = 0; i < 60000; ++i) {
        SendMessageA(replies, UM_FTPREPLY, 0,
                     reinterpret_cast<LPARAM>((std::to_string(i) + line).c_str()));
        if (i % 1000 == 0)
            PumpMessages(60);
    }
    std::string text;
    PumpUntil(
        [&] {
            return (text = DlgItemText(replies, IDC_REPLIES_TEXT)).find("59999x") !=
                   std::string::npos;
        },
        5000);
    EXPECT_LE(text.size(), 512u << 10);
    EXPECT_EQ("59999" + line, text.substr(text.size() - line.size() - 5));
    EXPECT_EQ(std::string::npos, text.find_first_not_of("0123456789x\r\n"));
    EXPECT_TRUE(text[0] != 'x' && text.find(line) > 0);
}

TEST_F(DialogTest, TheWelcomeWindowsCountTipsTurnPagesAndStoreWhatToShowNext)
{
    auto text = [](int id) {
        char t[4096];
        return LoadProgramString(id, t, sizeof t), std::string(t);
    };
    SetGlobalDword("tip", 65535);
    std::string seen = Join(CreateTipsWindow(owner_, SW_SHOWNORMAL) == NULL);
    SetGlobalDword("tip", 15);
    HWND tips = CreateTipsWindow(owner_, SW_SHOWNORMAL);
    seen += Join(WindowText(tips), GetGlobalDword("tip", 9),
                 DlgItemText(tips, IDC_TIPS_TEXT) == text(35));
    Shot(tips, "tips");
    Do(tips, {{'t', IDC_TIPS_DONTSHOW}, {'c', IDOK}});
    seen += Join(GetGlobalDword("tip", 9), IsWindowVisible(tips));

    SetGlobalDword("firsttime", 1);
    HWND tutorial = CreateTutorialWindow(owner_);
    seen += Shown(tutorial, {IDC_TUT_SHOWTIPS, IDC_TUT_SHOWAGAIN});
    for (int id : {IDC_TUT_BACK, IDC_TUT_NEXT, IDC_TUT_NEXT, IDC_TUT_NEXT, IDC_TUT_NEXT,
                   IDC_TUT_NEXT, IDC_TUT_NEXT, IDC_TUT_NEXT, IDC_TUT_BACK}) {
        Click(tutorial, id);
        for (int page = 0; page < 7; ++page)
            seen +=
                DlgItemText(tutorial, IDC_TUT_TEXT) == text(38 + page) ? std::to_string(page) : "";
    }
    Shot(tutorial, "tutorial");
    Do(tutorial, {{'t', IDC_TUT_SHOWTIPS}, {'c', IDC_TUT_CLOSE}});
    EXPECT_EQ("1 Tandemkeep Tip #16 0 1 65535 0 0 0 012345665 0 0 ",
              seen + Join("", GetGlobalDword("tip", 9), GlobalValueExists("firsttime")));

    HWND splash = CreateSplashWindow(owner_);
    SaveWindowShot(splash, "splash");
    DestroyWindow(splash);
    RunModal([&] { RunAboutDialog(owner_); }, "About Tandemkeep",
             [&](HWND about) {
                 SaveWindowShot(about, "about");
                 Click(about, IDCANCEL);
             });
}

TEST_F(DialogTest, TheFtpPageTrustsTheCertificateItsTargetRefusedOrOneTypedByHand)
{
    const std::string item = dir_.path() + "\\secure\\";
    FtpSpec secure{21, "h", "/s", "u", "p", "Secure"};
    secure.tls = 1;
    DWORD id = SeedItem(item, ItemSpec{{}, {secure}}).ftps.at(0);
    const std::string refused = std::string(32, 'A') + std::string(32, '7');
    RefusedCertificate c = {};
    lstrcpynA(c.fingerprint, refused.c_str(), sizeof c.fingerprint);
    lstrcpynA(c.subject, "ftp.example.org", sizeof c.subject);
    lstrcpynA(c.expiry, "2027-01-02 03:04 UTC", sizeof c.expiry);
    ASSERT_EQ(1, NoteRefusedCertificate(item.c_str(), id, &c));
    std::string pasted = "b7", stored = "B7";  // openssl's form of another one, in lower case
    for (int i = 1; i < 32; ++i)
        pasted += ":b7", stored += "B7";
    Strings seen;
    RunModal([&] { RunPropertiesSheet(owner_, item.c_str()); }, "Folder Properties: " + item,
             [&](HWND sheet) {
                 HWND ftp = Page(sheet, 0, "properties-ftps");
                 auto see = [&] {
                     seen.push_back(Shown(ftp, {IDC_FTP_TLS, IDC_FTP_TLSFINGERPRINT,
                                                IDC_FTP_TLSREFUSED, -IDC_FTP_TLSTRUST}));
                 };
                 see();
                 Do(ftp, {{'c', IDC_FTP_TLSTRUST}});
                 see();
                 Do(ftp, {{'c', IDC_FTP_ADDNEW}});  // a new target starts unencrypted
                 see();
                 Do(ftp, {{'c', IDC_FTP_REMOVE}, {'=', IDC_FTP_TLSFINGERPRINT, "12:34"}});
                 Press(sheet, PSBTN_OK);  // refused: the sheet stays open
                 Do(ftp, {{'=', IDC_FTP_TLSFINGERPRINT, pasted}});
                 Press(sheet, PSBTN_OK);
             });
    std::string offer = "Refused: ftp.example.org, valid until 2027-01-02\r\nSHA-256 " +
                        refused.substr(0, 32) + "\r\n" + refused.substr(32);
    EXPECT_EQ((Strings{"1  " + offer + " 1 ", "1 " + refused + "  0 ", "0   0 "}), seen);
    EXPECT_EQ("Invalid Field|", Captions());
    ScopedItemSettings s(item.c_str());
    EXPECT_EQ(Join(1, 1, stored), Join(s->switches->ftpCount, int(s->ftpTargets[0]->tls),
                                       s->ftpTargets[0]->fingerprint));
}

}  // namespace
