// Restore dialog: the record list, drive and FTP restores, removing records, layout.
#include <gtest/gtest.h>

#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/dialogs/driver.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

const char kTitle[] = "Restore File/Folder";
const char kDriveData[] = "Hard Drive or Networked Drive";

struct Row {
    std::string original, stored, location;
    LPARAM kind;
    bool operator==(const Row& o) const
    {
        return original == o.original && stored == o.stored && location == o.location && kind == o.kind;
    }
};

std::ostream& operator<<(std::ostream& os, const Row& r)
{
    return os << "{" << r.original << " | " << r.stored << " | " << r.location << " | " << r.kind << "}";
}

std::vector<Row> Rows(HWND dlg)
{
    std::vector<Row> rows;
    HWND list = GetDlgItem(dlg, IDC_RESTORE_LIST);
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        char text[3][600];
        for (int c = 0; c < 3; ++c) {
            text[c][0] = '\0';
            ListView_GetItemText(list, i, c, text[c], sizeof text[c]);
        }
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        ListView_GetItem(list, &item);
        rows.push_back(Row{text[0], text[1], text[2], item.lParam});
    }
    return rows;
}

void Select(HWND dlg, int row)
{
    ListView_SetItemState(GetDlgItem(dlg, IDC_RESTORE_LIST), row, LVIS_SELECTED | LVIS_FOCUSED,
                          LVIS_SELECTED | LVIS_FOCUSED);
}

struct DownloadCall {
    std::string item, stored, location;
};
std::vector<DownloadCall> g_downloads;
int RecordDownload(const char* item, const char* stored, const char* location)
{
    g_downloads.push_back(DownloadCall{item, stored, location});
    return 1;
}

class Restore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        install_ = UseInstallDir(installDir_);
        item_ = dir_.path() + "\\work\\";
        MakeDirs(item_);
        CreateItemKey(item_.c_str());
        key_ = item_;
        EncodeKeyName(&key_[0]);
        MakeDirs(dir_.path() + "\\store");
        owner_ = CreateTestOwner(60, 40, 600, 500);
        g_downloads.clear();
        SetFtpDownloadStarter(RecordDownload);
    }
    void TearDown() override
    {
        SetFtpDownloadStarter(NULL);
        DestroyWindow(owner_);
        DeleteProductKey();
    }

    // A stored copy on the "drive" with its record.
    std::string AddDriveRecord(const std::string& name, const std::string& content)
    {
        std::string original = item_ + name;
        std::string stored = dir_.path() + "\\store\\" + name + ".1";
        WriteFileBytes(stored, content);
        AddRecord("HD", original + "*" + stored, kDriveData);
        return stored;
    }
    void AddRecord(const char* subkey, const std::string& name, const std::string& data)
    {
        SetItemRaw(key_.c_str(), subkey, name.c_str(), REG_SZ, data.c_str(), static_cast<DWORD>(data.size()));
    }
    void Run(std::function<void(HWND)> act)
    {
        ModalScript script;
        script.When(kTitle, [&](HWND dlg) {
            PumpQuietly(50);
            act(dlg);
            if (IsWindow(dlg))
                Click(dlg, IDCANCEL);
        });
        RunRestoreDialog(owner_, item_.c_str());
    }

    TempDir dir_, installDir_;
    std::string install_, item_, key_;
    HWND owner_ = NULL;
    MessageBoxRecorder boxes_;
};

TEST_F(Restore, DriveRecordsListAboveFtpRecordsAndNamesWithoutAStarAreLeftOut)
{
    AddRecord("FTP", item_ + "a.txt*/www/a.txt", "bob:<password>@ftp.example:21");
    AddRecord("FTP", item_ + "b.txt*/www/b.txt", "bob:<password>@ftp.example:2121");
    AddRecord("FTP", "not a record", "x");
    std::string stored = AddDriveRecord("c.txt", "c");
    std::vector<Row> rows;
    Run([&](HWND dlg) {
        rows = Rows(dlg);
        SaveWindowShot(dlg, "restore");
    });
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ((Row{item_ + "c.txt", stored, kDriveData, 2}), rows[0]);
    std::vector<Row> ftp(rows.begin() + 1, rows.end());
    std::sort(ftp.begin(), ftp.end(), [](const Row& a, const Row& b) { return a.original < b.original; });
    EXPECT_EQ((Row{item_ + "a.txt", "/www/a.txt", "bob:<password>@ftp.example:21", 1}), ftp[0]);
    EXPECT_EQ((Row{item_ + "b.txt", "/www/b.txt", "bob:<password>@ftp.example:2121", 1}), ftp[1]);
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(Restore, ADriveRestoreReplacesTheFileOfThatNameInTheRestoreFolder)
{
    std::string restored = dir_.path() + "\\restored";
    MakeDirs(restored);
    WriteFileBytes(restored + "\\report.doc", "old and longer");
    SetGlobalText("restorefolder", restored.c_str());
    std::string stored = AddDriveRecord("report.doc", "new");
    Run([&](HWND dlg) {
        Click(dlg, IDC_RESTORE_RESTORE);  // nothing selected
        Select(dlg, 0);
        Click(dlg, IDC_RESTORE_RESTORE);
    });
    EXPECT_EQ("new", ReadFileBytes(restored + "\\report.doc"));
    EXPECT_EQ("new", ReadFileBytes(stored));
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ("You didn't select a file", boxes_.boxes()[0].text);
    EXPECT_TRUE(g_downloads.empty());
}

TEST_F(Restore, WithoutARestoreFolderADriveRestoreGoesToTheInstallationFolder)
{
    std::string stored = AddDriveRecord("notes.txt", "notes");
    for (bool present : {false, true}) {
        DeleteFileA((install_ + "\\notes.txt").c_str());
        if (present)
            SetGlobalText("restorefolder", "");
        else
            DeleteGlobalValue("restorefolder");
        Run([&](HWND dlg) {
            Select(dlg, 0);
            Click(dlg, IDC_RESTORE_RESTORE);
        });
        EXPECT_EQ("notes", ReadFileBytes(install_ + "\\notes.txt")) << present;
    }
    // A copy that fails is told, not passed over.
    DeleteFileA(stored.c_str());
    Run([&](HWND dlg) {
        Select(dlg, 0);
        Click(dlg, IDC_RESTORE_RESTORE);
    });
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ("Restore Failed", boxes_.boxes()[0].caption);
}

TEST_F(Restore, AnFtpRecordIsHandedToTheDownloadWithItsStoredNameAndLocation)
{
    AddRecord("FTP", item_ + "sub\\page.html*/www/sub/page.html", "web:<password>@127.0.0.1:2121");
    Run([&](HWND dlg) {
        Select(dlg, 0);
        Click(dlg, IDC_RESTORE_RESTORE);
    });
    ASSERT_EQ(1u, g_downloads.size());
    EXPECT_EQ(item_, g_downloads[0].item);
    EXPECT_EQ("/www/sub/page.html", g_downloads[0].stored);
    EXPECT_EQ("web:<password>@127.0.0.1:2121", g_downloads[0].location);
}

TEST_F(Restore, RemovingRecordsLeavesTheStoredFilesWhereTheyAre)
{
    std::string first = AddDriveRecord("one.txt", "1");
    std::string second = AddDriveRecord("two.txt", "2");
    AddRecord("FTP", item_ + "three.txt*/three.txt", "u:<password>@h:21");
    std::vector<Row> afterOne, afterNo, afterAll;
    Run([&](HWND dlg) {
        Click(dlg, IDC_RESTORE_REMOVE);  // nothing selected
        std::vector<Row> rows = Rows(dlg);
        int removeAt = rows[0].stored == first ? 0 : 1;
        Select(dlg, removeAt);
        Click(dlg, IDC_RESTORE_REMOVE);
        PumpQuietly(50);
        afterOne = Rows(dlg);
        boxes_.Answer(IDNO);
        Click(dlg, IDC_RESTORE_REMOVEALL);
        PumpQuietly(50);
        afterNo = Rows(dlg);
        boxes_.Answer(IDYES);
        Click(dlg, IDC_RESTORE_REMOVEALL);
        PumpQuietly(50);
        afterAll = Rows(dlg);
    });
    ASSERT_EQ(2u, afterOne.size());
    EXPECT_EQ(second, afterOne[0].stored);
    EXPECT_EQ(afterOne, afterNo);
    EXPECT_TRUE(afterAll.empty());
    EXPECT_TRUE(FileExists(first));
    EXPECT_TRUE(FileExists(second));
    ASSERT_EQ(3u, boxes_.boxes().size());
    EXPECT_EQ("You didn't select a file", boxes_.boxes()[0].text);
    EXPECT_EQ("Confirm", boxes_.boxes()[1].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), boxes_.boxes()[1].type);
}

TEST_F(Restore, AMissingRestoreKeyIsReportedAndTheRestStaysListed)
{
    AddRecord("FTP", item_ + "a.txt*/a.txt", "u:<password>@h:21");
    std::string hd = std::string("SOFTWARE\\Tandemkeep\\Files\\") + key_ + "\\HD";
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, hd.c_str());
    size_t rows = 0;
    Run([&](HWND dlg) { rows = Rows(dlg).size(); });
    EXPECT_EQ(1u, rows);
    ASSERT_EQ(1u, boxes_.boxes().size());
    EXPECT_EQ(0u, boxes_.boxes()[0].text.find("Cannot access crucial Tandemkeep restore data.  Please contact "));
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONSTOP), boxes_.boxes()[0].type);
}

TEST(RestoreRealBox, RemoveAllIsConfirmedOnScreen)
{
    ResetProductKey();
    TempDir dir;
    std::string item = dir.path() + "\\";
    CreateItemKey(item.c_str());
    std::string key = item;
    EncodeKeyName(&key[0]);
    SetItemRaw(key.c_str(), "HD", (item + "a*" + item + "b").c_str(), REG_SZ, "x", 1);
    HWND owner = CreateTestOwner(60, 40, 600, 500);
    int rowsAfter = -1;
    ModalScript script;
    script.When(kTitle, [&](HWND dlg) { PostMessageA(dlg, WM_COMMAND, IDC_RESTORE_REMOVEALL, 0); });
    script.When("Confirm", [&](HWND box) {
        PumpQuietly(30);
        SaveWindowShot(box, "restore-confirm");
        PostMessageA(box, WM_COMMAND, IDNO, 0);
    });
    script.When(kTitle, [&](HWND dlg) {
        PumpQuietly(50);
        rowsAfter = static_cast<int>(Rows(dlg).size());
        Click(dlg, IDCANCEL);
    });
    RunRestoreDialog(owner, item.c_str());
    EXPECT_EQ(1, rowsAfter);
    DestroyWindow(owner);
    DeleteProductKey();
}

} // namespace
