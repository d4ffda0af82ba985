// Pure rules of the dialogs, one table each: typed fields, paths, numbers and texts.
#include "dialogs/dlgtext.h"
#include "dialogs/fieldrules.h"
#include "dialogs/panels.h"
#include "tests/dialogs/script.h"

namespace {

TEST(Rules, FtpFieldsAreCheckedInTheirOrderAndOnlyWhenEnabled)
{
    const std::string n256(256, 'n'), f260 = "/" + std::string(259, 'f');
    struct Row {
        FtpFields f;
        bool enabled, isNew, exists;
        std::string caption, folder;  // the message, and the folder as saved
    } rows[] = {
        {{"", "", "", "", "", "", false}, true, true, false, "Name Blank", ""},
        {{"N", "", "", "", "", "", false}, true, true, true, "Site Already Exists", ""},
        {{"N", "", "", "", "", "", false}, true, false, true, "Address Blank", ""},
        {{"N", "h", "", "", "", "", false}, true, true, false, "Port Blank", ""},
        {{"N", "h", "0", "", "", "", false}, true, true, false, "Invalid Port", ""},
        {{"N", "h", "65536", "", "", "", false}, true, true, false, "Invalid Port", ""},
        {{"N", "h", "2a", "", "", "", false}, true, true, false, "Invalid Port", ""},
        {{"N", "h", "65535", "", "", "", false}, true, true, false, "Username Blank", ""},
        {{"N", "h", "1", "u", "", "", false}, true, true, false, "Password Blank", ""},
        {{"N", "h", "21", "", "", "", true}, true, true, false, "", "/"},
        {{"N", "h", "21", "u", "p", ".www", false}, true, true, false, "Invalid Field", ".www"},
        {{"N", "h", "21", "u", "p", "../www", false}, true, true, false, "", "../www"},
        {{"", "", "x", "", "", "www", false}, false, true, true, "", "www"},
        {{n256, "", "", "", "", f260, false}, false, true, false, "Field Too Long", f260},
        {{"N", "h", "0000000000000021", "u", "p", "/", false},
         true,
         true,
         false,
         "Field Too Long",
         "/"},
        {{"N", "h", "21", "u", "p", f260, false}, true, true, false, "Field Too Long", f260},
    };
    for (Row& r : rows) {
        FieldVerdict v = CheckFtpFields(&r.f, r.enabled, r.isNew, r.exists);
        EXPECT_EQ(r.caption + " " + r.folder, Join(FieldProblemCaption(v.problem)) + r.f.folder)
            << r.f.port;
    }
    EXPECT_NE(std::string::npos,
              FieldProblemText({FTP_NAME_TAKEN, NULL, 0}, "Al").find("site called Al.  Please"));
}

TEST(Rules, DriveFoldersAreCheckedStoredWithoutOneSeparatorAndCreatedLevelByLevel)
{
    auto hd = [](auto t, bool on, bool fresh, bool used) {
        return CheckDriveFolder(t, on, fresh, used).problem;
    };
    const std::string long260(260, 'x');
    EXPECT_EQ(Join(HD_FOLDER_BLANK, FIELD_OK, HD_FOLDER_TAKEN, FIELD_OK, FIELD_OK, FIELD_TOO_LONG),
              Join(hd("", true, true, false), hd("\\", true, true, false),
                   hd("D:\\b", true, true, true), hd("D:\\b", true, false, true),
                   hd("", false, true, true), hd(long260, false, true, false)));
    EXPECT_EQ("D:\\b /www / a\\  ",
              Join(StoredFolder("D:\\b\\"), StoredFolder("/www/"), StoredFolder("/"),
                   StoredFolder("a\\\\"), StoredFolder("")));
    EXPECT_EQ(
        (std::vector<Strings>{{"E:\\a", "E:\\a\\b"}, {"\\", "\\\\s", "\\\\s\\d"}, {"E:\\"}, {}}),
        (std::vector<Strings>{FolderLevels("E:\\a\\b"), FolderLevels("\\\\s\\d"),
                              FolderLevels("E:\\"), FolderLevels("nothing")}));
}

TEST(Rules, AddedPathsGetTheirSeparatorAndRootsAndTheWindowsFolderAsk)
{
    const std::string a256(256, 'a');
    const struct {
        std::string typed;
        bool isFile;
        std::string expected;  // problem, root question, Windows question, path, result
    } rows[] = {
        {"C:\\d", false, "0 0 0 C:\\d\\ 2 "},
        {"C:/d/", false, "0 0 0 C:/d/ 2 "},
        {"C:\\f\\", true, "0 0 0 C:\\f 1 "},
        {"C:\\f/", true, "0 0 0 C:\\f 1 "},
        {"C:", false, "0 1 0 C:\\ 2 "},
        {"d:/", false, "0 1 0 d:/ 2 "},
        {"", false, Join(ADD_FOLDER_BLANK, 0, 0, "", 2)},
        {"", true, Join(ADD_FILE_BLANK, 0, 0, "", 1)},
        {"E:\\data", false, "0 0 0 E:\\data\\ 2 "},
        {"c:\\windows", false, "0 0 1 c:\\windows\\ 2 "},
        {"C:\\WINDOWS\\", false, "0 0 0 C:\\WINDOWS\\ 2 "},
        {"C:\\WINDOWS\\sys", false, "0 0 0 C:\\WINDOWS\\sys\\ 2 "},
        {"C:\\" + a256, true, Join(0, 0, 0, "C:\\" + a256, 1)},
        {"C:\\a" + a256, true, Join(ADD_PATH_TOO_LONG, 0, 0, "C:\\a" + a256, 1)},
        {"C:\\" + a256, false, Join(ADD_PATH_TOO_LONG, 0, 0, "C:\\" + a256 + "\\", 2)},
    };
    for (const auto& r : rows) {
        AddItemPlan p = PlanAddItem(r.typed, r.isFile, "C:\\WINDOWS");
        EXPECT_EQ(r.expected, Join(p.problem, p.askRoot, p.askWindows, p.path, p.result));
    }
    EXPECT_EQ(Join(0, ITEM_FILE_MISSING, ITEM_FOLDER_MISSING, ITEM_PATH_TOO_LONG, FIELD_OK),
              Join(PlanAddItem("x", false, "").askWindows, CheckNewItem(1, "f", false, true),
                   CheckNewItem(2, "d", true, false),
                   CheckNewItem(2, std::string(230, 'd'), false, true),
                   CheckNewItem(1, std::string(229, 'f'), true, false)));
}

TEST(Rules, SizeLimitsRestoreTargetsErrorSubjectsAndBrowserPrograms)
{
    std::string limits;
    for (std::string text :
         Strings{"", "12", "1x", "4294967295", "4294967296", "99999999999999999999999",
                 std::string(63, '0'), std::string(64, '0')}) {
        DWORD limit = 7;
        limits += Join(ParseSizeLimit(text, &limit), limit);
    }
    EXPECT_EQ("1 0 1 12 1 0 1 4294967295 0 7 0 7 1 0 0 7 ", limits);
    char out[64];
    auto target = [&](const char* d, std::string f) {
        return Join(BuildRestoreTarget(d, &f[0], out, 64) ? out : "-");
    };
    auto subject = [&](int code, const char* at) {
        RestoreErrorSubject(code, "/w/a", at, out, 64);
        return Join(out);
    };
    auto program = [&](const char* command) {
        BrowserProgram(command, out, sizeof out);
        return std::string(out);
    };
    EXPECT_EQ("- - - D:\\R\\b.txt ", target("", "C:\\a") + target("D:\\R", "C:\\w\\") +
                                         target("D:\\R", "C:\\" + std::string(60, 'n')) +
                                         target("D:\\R", "C:/w/b.txt"));
    EXPECT_EQ("ftp.example h h /w/a /w/a /w/a ",
              subject(5, "u:<password>@ftp.example:21") + subject(9, "u:<p>@h") +
                  subject(6, "u:p@h:2121") + subject(2, "u:<password>@h:21") +
                  subject(10, "no location") + subject(5, "no location"));
    EXPECT_EQ("C:\\P F\\b.exe|C:\\b.exe %1|C:\\b.exe||",
              program("\"C:\\P F\\b.exe\" -a \"%1\"") + "|" + program("C:\\b.exe %1") + "|" +
                  program("\"\"\"C:\\b.exe") + "|" + program("\"\"") + "|");
}

TEST(Rules, PicturesAreDecodedThroughTheirColourTableAndDamagedOnesAreRefused)
{
    HRSRC found = FindResourceA(NULL, "SPLASH", "RAW");
    const BYTE* file = static_cast<const BYTE*>(LockResource(LoadResource(NULL, found)));
    DecodedPicture p;
    EXPECT_EQ("0 0 ", Join(DecodePicture(file, 20, &p),
                           DecodePicture(file, SizeofResource(NULL, found) - 1, &p)));
    ASSERT_TRUE(DecodePicture(file, SizeofResource(NULL, found), &p));
    const BYTE* colour =
        file + 54 + 4 * file[file[10] + 256 * file[11] + 5];  // of the bottom row's sixth pixel
    EXPECT_EQ(Join(24, int(colour[0]), int(colour[1]), int(colour[2])),
              Join(p.header.biBitCount, int(p.pixels[15]), int(p.pixels[16]), int(p.pixels[17])));
}

TEST(Rules, ServerTextKeepsPrintableAsciiAndLineBreaksAndShowsEveryOtherByteAsOneStandIn)
{
    const std::string rows[][2] = {
        {"220 Ready (v1.2) ~!\r\n", "220 Ready (v1.2) ~!\r\n"},
        {"\x98 tilde\x98\r\n", "? tilde?\r\n"},
        {std::string("a\0b\x01\t\x1b[0m\x7f", 10), "a?b???[0m?"},
        {"caf\xe9 \xc3\xbc\x80\x9f\xa0\xff", "caf? ??????"},
        {"lone\rcr\nlf\n\rpair\r\n\r", "lone\r\ncr\r\nlf\r\n\r\npair\r\n\r\n"},
        {"", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(r[1], ShowableServerText(r[0].data(), r[0].size())) << r[0];
}

}  // namespace
