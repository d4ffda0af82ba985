// Pure rules of the dialogs: path texts, storage types, tips, browser command, layout, picture decoding.
#include <gtest/gtest.h>

#include "dialogs/dlgtext.h"
#include "dialogs/panels.h"
#include "resources/resource.h"

#include <string>
#include <vector>

namespace {

TEST(PathTexts, DriveRootsAndWindowsFolder)
{
    struct Case {
        const char* text;
        bool root;
    } roots[] = {{"C:", true}, {"C:\\", true}, {"d:/", true}, {"C:\\a", false}, {"C", false},
                 {"", false},  {"\\\\", false}, {"ab:", false}, {":", false}};
    for (const Case& c : roots)
        EXPECT_EQ(c.root, IsDriveRootText(c.text)) << c.text;

    EXPECT_TRUE(IsWindowsDirText("c:\\windows", "C:\\WINDOWS"));
    EXPECT_TRUE(IsWindowsDirText("C:\\Windows", "C:\\windows"));
    EXPECT_FALSE(IsWindowsDirText("C:\\windows\\", "C:\\windows"));
    EXPECT_FALSE(IsWindowsDirText("C:\\windows\\system32", "C:\\windows"));
    EXPECT_FALSE(IsWindowsDirText("C:\\window", "C:\\windows"));
    EXPECT_FALSE(IsWindowsDirText("C:\\windows", ""));
}

TEST(PathTexts, SeparatorsAreStrippedOnceAndOnlyFromLongEnoughTexts)
{
    struct Case {
        const char* in;
        size_t min;
        const char* out;
    } cases[] = {{"/", 2, "/"},         {"/www/", 2, "/www"},           {"D:\\backup\\", 2, "D:\\backup"},
                 {"a\\\\", 2, "a\\"},  {"\\", 1, ""},                  {"", 1, ""},
                 {"x", 1, "x"},         {"D:\\Restored/", 1, "D:\\Restored"}};
    for (const Case& c : cases) {
        char text[64];
        lstrcpynA(text, c.in, sizeof text);
        StripOneSeparator(text, c.min);
        EXPECT_STREQ(c.out, text) << c.in;
    }
    EXPECT_TRUE(EndsWithSeparator("a/"));
    EXPECT_FALSE(EndsWithSeparator(""));
    EXPECT_FALSE(EndsWithSeparator(NULL));
}

TEST(PathTexts, FtpFoldersBeginWithSlashOrTwoDots)
{
    for (const char* ok : {"/", "/www", "..", "../www", "..x"})
        EXPECT_TRUE(IsValidFtpFolder(ok)) << ok;
    for (const char* bad : {"", "www", ".", "./www", "\\www", " /www"})
        EXPECT_FALSE(IsValidFtpFolder(bad)) << bad;
}

TEST(PathTexts, RestoreTargetsAndLastDirectory)
{
    char out[32];
    EXPECT_TRUE(BuildRestoreTarget("D:\\R", "C:\\work\\a.txt", out, sizeof out));
    EXPECT_STREQ("D:\\R\\a.txt", out);
    EXPECT_TRUE(BuildRestoreTarget("D:\\R", "C:/work/b.txt", out, sizeof out));
    EXPECT_STREQ("D:\\R\\b.txt", out);
    EXPECT_FALSE(BuildRestoreTarget("", "C:\\a.txt", out, sizeof out));
    EXPECT_FALSE(BuildRestoreTarget("D:\\R", "C:\\work\\", out, sizeof out));
    EXPECT_FALSE(BuildRestoreTarget("D:\\a-rather-long-folder", "C:\\a-long-name.txt", out, sizeof out));

    struct Case {
        const char* path;
        const char* dir;
    } dirs[] = {{"C:\\a\\b.txt", "C:\\a"}, {"C:\\b.txt", "C:"}, {"b.txt", "b.txt"}, {"\\b.txt", "\\b.txt"},
                {"x\\", "x"}};
    for (const Case& c : dirs) {
        char dir[64];
        LastDirectoryOf(c.path, dir, sizeof dir);
        EXPECT_STREQ(c.dir, dir) << c.path;
    }
}

TEST(Choices, StorageTypesAndSheetCaption)
{
    EXPECT_EQ(0, StoragePosition(1));
    EXPECT_EQ(1, StoragePosition(2));
    EXPECT_EQ(2, StoragePosition(4));
    for (BYTE odd : {0, 3, 5, 255})
        EXPECT_EQ(0, StoragePosition(odd)) << int(odd);
    EXPECT_EQ(1, StorageValue(0, true));
    EXPECT_EQ(2, StorageValue(1, false));
    EXPECT_EQ(4, StorageValue(2, true));
    EXPECT_EQ(1, StorageValue(2, false));
    EXPECT_EQ(1, StorageValue(-1, true));

    char caption[128];
    FormatSheetCaption("C:\\Work\\", caption, sizeof caption);
    EXPECT_STREQ("Folder Properties: C:\\Work\\", caption);
    FormatSheetCaption("C:/Work/", caption, sizeof caption);
    EXPECT_STREQ("Folder Properties: C:/Work/", caption);
    FormatSheetCaption("C:\\plan.doc", caption, sizeof caption);
    EXPECT_STREQ("File Properties: C:\\plan.doc", caption);
}

TEST(Choices, TipsAndTutorialPages)
{
    for (int n = 0; n <= 15; ++n)
        EXPECT_EQ(n == 10 ? IDS_TIP_FIRST + 11 : IDS_TIP_FIRST + n, TipStringId(n)) << n;
    EXPECT_EQ(1, NextTipNumber(0));
    EXPECT_EQ(15, NextTipNumber(14));
    EXPECT_EQ(0, NextTipNumber(15));
    EXPECT_TRUE(TipIsShown(0));
    EXPECT_TRUE(TipIsShown(15));
    EXPECT_FALSE(TipIsShown(16));
    EXPECT_FALSE(TipIsShown(65535));
    EXPECT_FALSE(TipIsShown(0xFFFFFFFF));
    EXPECT_EQ(0, PreviousTutorialPage(0));
    EXPECT_EQ(5, PreviousTutorialPage(6));
    EXPECT_EQ(6, NextTutorialPage(6));
    EXPECT_EQ(1, NextTutorialPage(0));
}

TEST(Choices, BrowserProgramFromTheOpenCommand)
{
    struct Case {
        const char* command;
        const char* program;
    } cases[] = {{"\"C:\\P F\\b.exe\" -a \"%1\"", "C:\\P F\\b.exe"}, {"C:\\b.exe %1", "C:\\b.exe %1"},
                 {"\"\"\"C:\\b.exe", "C:\\b.exe"}, {"\"\"", ""}, {"", ""}};
    for (const Case& c : cases) {
        char out[64];
        BrowserProgram(c.command, out, sizeof out);
        EXPECT_STREQ(c.program, out) << c.command;
    }
    char small[4];
    BrowserProgram("C:\\long.exe", small, sizeof small);
    EXPECT_STREQ("C:\\", small);
}

TEST(Choices, RestoreLayoutFromTheOuterSize)
{
    RestoreLayout l = LayoutRestore(600, 400, 580, 210);
    EXPECT_EQ(10, l.list.left);
    EXPECT_EQ(50, l.list.top);
    EXPECT_EQ(580, l.list.right);
    EXPECT_EQ(210, l.list.bottom);
    EXPECT_EQ(270, l.restore.top);
    EXPECT_EQ(2 * 580 / 3 - 20, l.restore.right);
    EXPECT_EQ(2 * 580 / 3 + 10, l.remove.left);
    EXPECT_EQ(580 / 3, l.removeAll.right);
    EXPECT_EQ(300, l.removeAll.top);
    EXPECT_EQ(330, l.close.top);
    EXPECT_EQ(25, l.close.bottom);
    // The list may come out another size than asked; the buttons follow it.
    l = LayoutRestore(600, 400, 500, 100);
    EXPECT_EQ(160, l.restore.top);
    EXPECT_EQ(500 / 3, l.remove.right);
}

// A BMP file in memory: width x height, 8 or 24 bits, rows padded to 4 bytes.
std::vector<BYTE> MakeBmp(int width, int height, int bits, int colours = 256)
{
    int stride = ((width * bits + 31) / 32) * 4;
    int table = bits == 8 ? colours * 4 : 0;
    std::vector<BYTE> file(14 + 40 + table + stride * (height < 0 ? -height : height), 0);
    file[0] = 'B';
    file[1] = 'M';
    DWORD offset = 14 + 40 + table;
    memcpy(&file[10], &offset, 4);
    BITMAPINFOHEADER h = {};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bits);
    h.biClrUsed = bits == 8 && colours != 256 ? colours : 0;
    memcpy(&file[14], &h, 40);
    for (int i = 0; i < table / 4; ++i) {
        file[54 + 4 * i] = static_cast<BYTE>(i);          // blue
        file[54 + 4 * i + 1] = static_cast<BYTE>(255 - i); // green
        file[54 + 4 * i + 2] = static_cast<BYTE>(i / 2);   // red
    }
    return file;
}

TEST(Pictures, EightBitRowsBecomeColourTableEntriesWithPadding)
{
    std::vector<BYTE> file = MakeBmp(3, 2, 8);
    DWORD offset;
    memcpy(&offset, &file[10], 4);
    BYTE indices[2][3] = {{1, 2, 3}, {200, 100, 0}};  // bottom row first
    for (int y = 0; y < 2; ++y)
        memcpy(&file[offset + 4 * y], indices[y], 3);
    DecodedPicture p;
    ASSERT_TRUE(DecodePicture(file.data(), static_cast<DWORD>(file.size()), &p));
    EXPECT_EQ(24, p.header.biBitCount);
    EXPECT_EQ(3, p.header.biWidth);
    EXPECT_EQ(2, p.header.biHeight);
    ASSERT_EQ(24u, p.pixels.size());  // two rows of 9 bytes padded to 12
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            int i = indices[y][x];
            const BYTE* px = &p.pixels[12 * y + 3 * x];
            EXPECT_EQ(i, px[0]);
            EXPECT_EQ(255 - i, px[1]);
            EXPECT_EQ(i / 2, px[2]);
        }
    EXPECT_EQ(256u, p.colours.size());
}

TEST(Pictures, TopDownAndTwentyFourBitFilesKeepTheirPixels)
{
    std::vector<BYTE> file = MakeBmp(2, -2, 24);
    DWORD offset;
    memcpy(&offset, &file[10], 4);
    file[offset] = 9;       // top row, first pixel, blue
    file[offset + 8] = 7;   // bottom row, first pixel, blue
    DecodedPicture p;
    ASSERT_TRUE(DecodePicture(file.data(), static_cast<DWORD>(file.size()), &p));
    EXPECT_EQ(2, p.header.biHeight);
    EXPECT_EQ(7, p.pixels[0]);  // bottom-up now
    EXPECT_EQ(9, p.pixels[8]);
    EXPECT_TRUE(p.colours.empty());
}

TEST(Pictures, DamagedFilesAreRefused)
{
    DecodedPicture p;
    std::vector<BYTE> good = MakeBmp(4, 4, 8);
    ASSERT_TRUE(DecodePicture(good.data(), static_cast<DWORD>(good.size()), &p));
    EXPECT_FALSE(DecodePicture(good.data(), static_cast<DWORD>(good.size() - 1), &p));
    EXPECT_FALSE(DecodePicture(good.data(), 20, &p));
    EXPECT_FALSE(DecodePicture(NULL, 0, &p));

    auto with = [&](size_t at, DWORD value, size_t bytes) {
        std::vector<BYTE> f = good;
        memcpy(&f[at], &value, bytes);
        return DecodePicture(f.data(), static_cast<DWORD>(f.size()), &p);
    };
    EXPECT_FALSE(with(0, 'X', 1));                // not "BM"
    EXPECT_FALSE(with(10, 0xFFFFFFF0u, 4));       // pixels beyond the file
    EXPECT_FALSE(with(10, 20, 4));                // pixels inside the headers
    EXPECT_FALSE(with(14 + 4, 0, 4));             // width 0
    EXPECT_FALSE(with(14 + 4, 100000, 4));        // absurd width
    EXPECT_FALSE(with(14 + 14, 4, 2));            // 4 bits per pixel
    EXPECT_FALSE(with(14 + 16, BI_RLE8, 4));      // compressed
    EXPECT_FALSE(with(14 + 32, 300, 4));          // more than 256 colours

    std::vector<BYTE> fewColours = MakeBmp(4, 1, 8, 2);
    DWORD offset;
    memcpy(&offset, &fewColours[10], 4);
    fewColours[offset] = 200;  // an index past the table shows black
    ASSERT_TRUE(DecodePicture(fewColours.data(), static_cast<DWORD>(fewColours.size()), &p));
    EXPECT_EQ(0, p.pixels[0] | p.pixels[1] | p.pixels[2]);
}

} // namespace
