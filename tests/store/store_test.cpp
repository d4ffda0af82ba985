// The item store on the real registry: key names, the covering item, settings records, targets,
// restore records.
#include <gtest/gtest.h>

#include "log/errors.h"
#include "store/regvalue.h"
#include "store/scoped.h"
#include "transfer/ftp/ftptlsrules.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"

#include <map>
#include <string>

namespace {

const char kItem[] = "C:\\Work\\";
typedef std::vector<int> Ints;
typedef std::map<std::string, std::string> Map;

struct Store : ::testing::Test {
    void SetUp() override { ResetProductKey(); }
    void TearDown() override { DeleteProductKey(); }
};

std::string Value(const std::string& key,
                  const char* name)  // "type/size|text" of a value below Files\key
{
    HKEY k = NULL;
    DWORD type = 0, size = 0;
    char text[TK_PATH_SIZE] = "";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (TK_FILES_KEY "\\" + key).c_str(), 0, KEY_READ, &k) ==
        0) {
        RegQueryValueExA(k, name, NULL, &type, NULL, &size);
        ReadRegText(k, name, text, sizeof text);
        RegCloseKey(k);
    }
    return std::to_string(type) + "/" + std::to_string(size) + "|" + text;
}

int SaveDisk(const char* folder, DWORD id)  // 0: a new record; returns the id it has then
{
    ScopedItemSettings s(kItem);
    s->switches->hdCount = 1;
    lstrcpynA(s->hdTargets[0]->folder, folder, TK_PATH_SIZE);
    s->hdTargets[0]->id = id;
    EXPECT_EQ(STORE_OK, SaveItemSettings(kItem, s.get(), SAVE_HD));
    return static_cast<int>(s->hdTargets[0]->id);
}

TEST_F(Store, TheLongestCoveringItemWinsAndItemKeysAreMadeWholeOrNotAtAll)
{
    std::string deep = "C:\\" + std::string(225, 'a') + "\\";  // 229 characters
    std::string items[] = {"D:\\Data\\",      "D:/Data/Sub/", "D:\\Data\\a.txt",
                           "F:\\Only\\x.txt", "\\\\srv\\s\\", deep};
    for (const std::string& item : items)
        ASSERT_EQ(STORE_OK, CreateItemKey(item.c_str())) << item;
    struct {
        std::string path, item;
    } cases[] = {
        {"D:\\Data\\Sub\\x.txt", "D:*Data*Sub*"},
        {"d:/DATA/sub/X.TXT", "D:*Data*Sub*"},
        {"D:\\Data\\other.txt", "D:*Data*"},
        {"D:\\Data\\a.txt", "D:*Data*a.txt"},
        {"D:\\Data\\a.txt.bak", "D:*Data*"},
        {"F:\\Only\\x.txt", "F:*Only*x.txt"},
        {"\\\\srv\\s\\x", "**srv*s*"},
        {"F:\\Only\\y.txt", ""},
        {"D:\\Database\\x.txt", ""},
        {"E:\\Data\\x.txt", ""},
        {deep + "f.txt", "C:*" + std::string(225, 'a') + "*"},
        {std::string(300, 'x'), ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        char name[TK_PATH_SIZE] = "";
        EXPECT_EQ(static_cast<int>(c.item.size()), OpenItemKey(c.path.c_str(), name, NULL))
            << c.path;
        EXPECT_EQ(0, lstrcmpiA(c.item.c_str(), name)) << c.path;
    }
    std::string over = deep + "b";  // would be cut into the 229-character item's key
    EXPECT_EQ(STORE_FAILED, CreateItemKey(over.c_str()) + DeleteItemKey(over.c_str()));

    ResetProductKey();
    HKEY files =
        NULL;  // below a volatile key the system refuses a lasting one: no item, so no success
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_LOCAL_MACHINE, TK_FILES_KEY, 0, NULL, REG_OPTION_VOLATILE,
                              KEY_ALL_ACCESS, NULL, &files, NULL));
    RegCloseKey(files);
    EXPECT_EQ(0, CreateItemKey(kItem) + OpenItemKey(kItem, NULL, NULL));
}

TEST_F(Store, NewItemDefaultsAndEveryFieldThroughSaveAndLoadInValuesOfTheirShape)
{
    TempDir dir;
    std::string item = dir.path() + "\\", key = item;
    ASSERT_EQ(STORE_OK, CreateItemKey(item.c_str()));
    ScopedItemSettings fresh(item.c_str());
    TargetSwitches* sw = fresh->switches;
    ItemOptions* o = fresh->options;
    EXPECT_EQ((Ints{0, 0, 0, 0, 0, 1, 1, 0, 1, 1}),
              (Ints{sw->ftpEnabled, sw->hdEnabled, int(sw->ftpCount), int(sw->hdCount),
                    o->deleteStored, o->excludeTemp, o->includeSubs, int(o->sizeLimit),
                    int(fresh->ftpSlots), int(fresh->hdSlots)}));
    char shortName[TK_PATH_SIZE] = "";
    GetShortPathNameA(item.c_str(), shortName, sizeof shortName);
    EncodeKeyName(&key[0]);
    EXPECT_EQ(std::string("1/260|") + shortName, Value(key, "shortname"));

    std::string password(255, 'p'), name(255, 'N'), remote = "/" + std::string(258, 'f');
    const std::string pin(64, 'A');
    FtpSpec f{65535, "ftp.example.org", remote, "al", password, name, STORAGE_BACKUP, 1, 1, 1, 1,
              pin};
    SeedItem(item, ItemSpec{{DiskSpec{"\\\\server\\share\\backup", STORAGE_APPEND}}, {f}});
    {
        ScopedItemSettings s(item.c_str());
        *s->options = {1, 0, 0, 0xFFFFFFFFu};
        ASSERT_EQ(STORE_OK, SaveItemSettings(item.c_str(), s.get(), SAVE_OPTIONS));
    }
    ScopedItemSettings s(item.c_str());
    FtpTarget* t = s->ftpTargets[0];
    DiskTarget* d = s->hdTargets[0];
    EXPECT_EQ(name + "|ftp.example.org|al|" + password + "|" + remote +
                  "|\\\\server\\share\\backup",
              std::string(t->name) + "|" + t->address + "|" + t->userName + "|" + t->password +
                  "|" + t->folder + "|" + d->folder);
    EXPECT_EQ(pin + " 1", std::string(t->fingerprint) + " " + std::to_string(t->tls));
    TargetSwitches* on = s->switches;
    EXPECT_EQ((Ints{65535, 1, STORAGE_BACKUP, 1, 1, 1, STORAGE_APPEND, 1, 1, 1, 1, 1, 1, 0, 0, -1}),
              (Ints{t->port, t->anonymous, t->storageType, t->passive, t->safeUpload, int(t->id),
                    d->storageType, int(d->id), int(on->ftpCount), int(on->hdCount), on->ftpEnabled,
                    on->hdEnabled, s->options->deleteStored, s->options->excludeTemp,
                    s->options->includeSubs, int(s->options->sizeLimit)}));
    // The shapes other versions of the program and the monitor driver read.
    std::string I = key, F = key + "\\Targets\\FTP\\1", H = key + "\\Targets\\HD\\1";
    struct {
        std::string key;
        const char* value;
        const char* shape;
    } shapes[] = {
        {I, "advanced_deletestored", "3/1|"},
        {I, "advanced_sizelimit", "3/4|"},
        {I, "item_ftpenabled", "3/1|"},
        {F, "ftp_address", "1/256|"},
        {F, "ftp_password", "1/256|"},
        {F, "ftp_directory", "1/260|"},
        {F, "ftp_port", "3/2|"},
        {F, "ftp_serverid", "3/4|"},
        {F, "ftp_passive", "3/1|"},
        {F, "ftp_safeupload", "3/1|"},
        {F, "ftp_tls", "3/1|"},
        {F, "ftp_tlsfingerprint", "1/65|AAAA"},
        {H, "hd_directory", "1/260|"},
        {H, "hd_driveid", "3/4|"},
    };
    for (const auto& e : shapes)
        EXPECT_EQ(e.shape, Value(e.key, e.value).substr(0, strlen(e.shape))) << e.value;
    // A fingerprint set by hand that cannot be read still pins: to no certificate at all.
    HKEY k = NULL;
    ASSERT_EQ(0, RegOpenKeyExA(HKEY_LOCAL_MACHINE, (TK_FILES_KEY "\\" + F).c_str(), 0,
                               KEY_ALL_ACCESS, &k));
    RegSetValueExA(k, "ftp_tlsfingerprint", 0, REG_BINARY, (const BYTE*)pin.data(), 64);
    RegCloseKey(k);
    ScopedItemSettings odd(item.c_str());
    EXPECT_TRUE(odd->ftpTargets[0]->fingerprint[0] &&
                !SameFingerprint(odd->ftpTargets[0]->fingerprint, pin.c_str()));
    // One typed by hand as openssl prints it, colons and lower case, is the same one.
    std::string typed = "aa:" + std::string(62, 'a');
    EXPECT_TRUE(SameFingerprint(typed.c_str(), pin.c_str()) &&
                !SameFingerprint(typed.substr(3).c_str(), pin.c_str()));
}

TEST_F(Store, SavedPartsTargetIdsLookupsAndDeletion)
{
    FtpSpec site{21, "127.0.0.1", "/up", "tk", "pw", "My Site", 1, 0, 0};
    EXPECT_EQ(std::vector<DWORD>{1}, SeedItem(kItem, ItemSpec{{}, {site}}).ftps);
    ItemSettings* small = NewItemSettings(kItem);  // sized before the disk targets are added
    {
        ScopedItemSettings s(kItem);
        s->switches->ftpEnabled = 0;
        s->ftpTargets[0]->name[0] = '\0';  // a record without a name is not stored
        EXPECT_EQ(0, SaveItemSettings("Q:\\Nothing\\", s.get(), SAVE_FTP));
        EXPECT_EQ(STORE_OK, SaveItemSettings(kItem, s.get(), SAVE_FTP));
    }
    EXPECT_EQ((Ints{1, 2, 5, 6, 6}),
              (Ints{SaveDisk("D:\\a", 0), SaveDisk("D:\\b", 0), SaveDisk("D:\\e", 5),
                    SaveDisk("D:\\f", 0), SaveDisk("D:\\f2", 6)}));
    ASSERT_EQ(STORE_OK, LoadItemSettings(kItem, small));
    EXPECT_EQ(1u, small->switches->hdCount);  // never more than the array holds
    FreeItemSettings(small);
    ScopedItemSettings s(kItem);
    EXPECT_EQ("0 4 D:\\f2 My Site", std::to_string(s->switches->ftpEnabled) + " " +
                                        std::to_string(s->switches->hdCount) + " " +
                                        s->hdTargets[3]->folder + " " + s->ftpTargets[0]->name);
    EXPECT_EQ((Ints{4, 6, 1, 0}),
              (Ints{CountTargets(kItem, KIND_HD), FindTargetId(kItem, "D:\\f2", KIND_HD),
                    FindTargetId(kItem, "My Site", 1), FindTargetId(kItem, "my site", 1)}));
    EXPECT_EQ((Ints{1, 7}), (Ints{DeleteTarget(kItem, 2, KIND_HD), NextTargetId(kItem, KIND_HD)}));
    for (int id : {1, 5, 6, 99})
        EXPECT_EQ(STORE_OK, DeleteTarget(kItem, id, KIND_HD));
    EXPECT_EQ(1, NextTargetId(kItem, KIND_HD));  // none left: 1 again
}

TEST_F(Store, RestoreRecordsAreKeptOncePerCopyAndGoWithTheirFtpTargetOrItem)
{
    // User names may hold an '@': the server is what follows the last one.
    FtpSpec a{2121, "one.example", "/up", "me@example.com", "pw", "", 1, 0, 0};
    FtpSpec b{21, "two.example", "/", "x@one.example", "pw", "", 1, 0, 0},
        c{21, "one.example.net", "/", "u", "pw", "", 1, 0, 0};
    SeededIds ids = SeedItem(kItem, ItemSpec{{DiskSpec{"D:\\b"}}, {a, b, c}});
    auto Records = [](int kind) {  // name -> data
        auto r = RestoreRecords(kItem, kind);
        return Map(r.begin(), r.end());
    };
    SetItemRaw("C:*Work*", "FTP", "C:\\Work\\odd*/x", REG_DWORD, "\0\0\0\0",
               4);            // not ours: no harm
    std::string n(123, 'n');  // with the stored path, one more than 259 characters
    struct {
        std::string local;
        DWORD id;
        std::string stored;
        int kind, result;
    } writes[] = {
        // kind 1 FTP, 2 disk
        {"C:\\Work\\1.txt", ids.disks[0], "D:\\b\\1.txt", 2, 1},
        {"C:\\Work\\1.txt", 0, "D:\\b\\1.txt", 2, 1},
        {"C:\\Work\\1.txt", ids.ftps[0], "/up/1.txt", 1, 1},
        {"C:\\Work\\2.txt", ids.ftps[0], "/up/2", 1, 1},
        {"C:\\Work\\1.txt", ids.ftps[1], "/up/x.txt", 1, 1},
        {"C:\\Work\\3.txt", ids.ftps[2], "/3", 1, 1},
        {"C:\\Work\\4.txt", 9, "/up/4.txt", 1, 1},
        {"Q:\\x\\a.txt", 1, "D:\\a", 2, 1},  // nothing to write
        {"C:\\Work\\" + n, 1, "D:\\b\\" + n, 2, 0},
        {"C:\\Work\\" + n, 1, "D:\\b\\" + n.substr(1), 2, 1},
    };
    for (const auto& w : writes)
        EXPECT_EQ(w.result,
                  WriteRestoreRecord(w.local.c_str(), int(w.id), w.stored.c_str(), w.kind, 0))
            << w.stored;
    EXPECT_EQ(HD_RECORD_DATA, Records(KIND_HD)["C:\\Work\\1.txt*D:\\b\\1.txt"]);
    EXPECT_EQ("me@example.com:<password>@one.example:2121",
              Records(KIND_FTP)["C:\\Work\\1.txt*/up/1.txt"]);
    EXPECT_EQ((Ints{2, 5}), (Ints{int(Records(KIND_HD).size()), int(Records(KIND_FTP).size())}));
    EXPECT_EQ(STORE_OK,
              DeleteTarget(kItem, int(ids.ftps[0]), KIND_FTP));  // its address, nothing else
    EXPECT_EQ((Map{{"C:\\Work\\1.txt*/up/x.txt", "x@one.example:<password>@two.example:21"},
                   {"C:\\Work\\odd*/x", ""},
                   {"C:\\Work\\3.txt*/3", "u:<password>@one.example.net:21"}}),
              Records(KIND_FTP));
    EXPECT_EQ(STORE_OK,
              DeleteTarget(kItem, int(ids.disks[0]), KIND_HD));  // a disk target's records stay
    EXPECT_EQ(STORE_OK, WriteRestoreRecord("C:\\Work\\1.txt", 77, "D:\\b\\1.txt", KIND_HD,
                                           1));  // whatever the id
    EXPECT_EQ((Map{{"C:\\Work\\" + n + "*D:\\b\\" + n.substr(1), HD_RECORD_DATA}}),
              Records(KIND_HD));
    EXPECT_EQ((Ints{1, 1}),
              (Ints{DeleteItemKey(kItem), CreateItemKey(kItem)}));  // again: no targets, no records
    EXPECT_EQ(0u,
              CountTargets(kItem, KIND_FTP) + Records(KIND_FTP).size() + Records(KIND_HD).size());
    // By the item a worker looked up: there, or where a new lookup finds it once that item is gone.
    EXPECT_EQ((Ints{1, 1}), (Ints{WriteItemDiskRecord("C:*Work*", "C:\\Work\\5", "D:\\5"),
                                  WriteItemDiskRecord("C:*Gone*", "C:\\Work\\6", "D:\\6")}));
    EXPECT_EQ((Map{{"C:\\Work\\5*D:\\5", HD_RECORD_DATA}, {"C:\\Work\\6*D:\\6", HD_RECORD_DATA}}),
              Records(KIND_HD));
}

TEST_F(Store, ValuesTooLongUnterminatedOrOfAnotherShapeReadAsAbsentNeverCut)
{
    struct {
        DWORD type;
        std::string data;
        DWORD size;
        const char* text;
    } cases[] = {
        {REG_SZ, "C:\\X", 260, "C:\\X"},
        {REG_SZ, std::string("C:\\X\0junk", 9), 260, "C:\\X"},
        {REG_SZ, std::string(259, 'x'), 260, NULL},
        {REG_SZ, std::string(260, 'x'), 260, ""},
        {REG_SZ, std::string(5000, 'x'), 260, ""},
        {REG_SZ, "", 260, ""},
        {REG_SZ, std::string(1, '\0'), 260, ""},
        {REG_BINARY, "C:\\X", 260, ""},
        {REG_SZ, "C:\\Programs", 8, ""},
        {REG_NONE, "", 260, ""},
    };
    for (const auto& c : cases) {
        SetGlobalRaw("installdir", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        std::string want = c.text ? c.text : c.data;
        char dir[300];
        memset(dir, '#', sizeof dir);
        EXPECT_EQ(want.empty() ? 0 : 1, GetInstallDir(dir, c.size)) << c.data.size();
        EXPECT_EQ(want, std::string(dir, strnlen(dir, c.size))) << c.data.size();
    }
    SetGlobalRaw("logging", REG_BINARY, "\x01", 1);  // shorter than a number: absent, not half read
    EXPECT_EQ(42u, GetGlobalDword("logging", 42));
}

}  // namespace
