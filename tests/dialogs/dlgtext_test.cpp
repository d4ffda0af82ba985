// Pure rules of the dialogs: typed paths, FTP folders, the browser command, restore targets, picture files.
#include <gtest/gtest.h>

#include "dialogs/dlgtext.h"
#include "dialogs/panels.h"

#include <vector>

namespace {

TEST(PathTexts, DriveRootsTheWindowsFolderAndFtpFolders)
{
    for (const char* root : {"C:", "C:\\", "d:/"})
        EXPECT_TRUE(IsDriveRootText(root)) << root;
    for (const char* other : {"C:\\a", "C", "", "ab:", ":"})
        EXPECT_FALSE(IsDriveRootText(other)) << other;
    EXPECT_TRUE(IsWindowsDirText("c:\\windows", "C:\\WINDOWS"));
    for (const char* other : {"C:\\windows\\", "C:\\windows\\system32", "C:\\window"})
        EXPECT_FALSE(IsWindowsDirText(other, "C:\\windows")) << other;
    EXPECT_FALSE(IsWindowsDirText("C:\\windows", ""));
    for (const char* ok : {"/", "/www", "..", "../www"})
        EXPECT_TRUE(IsValidFtpFolder(ok)) << ok;
    for (const char* bad : {"", "www", ".", "./www", "\\www", " /www"})
        EXPECT_FALSE(IsValidFtpFolder(bad)) << bad;
}

TEST(PathTexts, OneSeparatorIsStrippedFromLongEnoughTexts)
{
    struct Case {
        const char* in;
        size_t min;
        const char* out;
    } cases[] = {{"/", 2, "/"}, {"/www/", 2, "/www"}, {"a\\\\", 2, "a\\"}, {"\\", 1, ""}, {"x", 1, "x"}};
    for (const Case& c : cases) {
        char text[16];
        lstrcpynA(text, c.in, sizeof text);
        StripOneSeparator(text, c.min);
        EXPECT_STREQ(c.out, text) << c.in;
    }
}

TEST(PathTexts, RestoreTargetsBrowserProgramAndLastDirectory)
{
    char out[32];
    EXPECT_TRUE(BuildRestoreTarget("D:\\R", "C:/work/b.txt", out, sizeof out));
    EXPECT_STREQ("D:\\R\\b.txt", out);
    EXPECT_FALSE(BuildRestoreTarget("", "C:\\a.txt", out, sizeof out));
    EXPECT_FALSE(BuildRestoreTarget("D:\\R", "C:\\work\\", out, sizeof out));
    EXPECT_FALSE(BuildRestoreTarget("D:\\a-rather-long-folder", "C:\\a-long-name.txt", out, sizeof out));

    const char* commands[][2] = {{"\"C:\\P F\\b.exe\" -a \"%1\"", "C:\\P F\\b.exe"}, {"C:\\b.exe %1", "C:\\b.exe %1"},
                                 {"\"\"\"C:\\b.exe", "C:\\b.exe"}, {"\"\"", ""}};
    for (auto& c : commands) {
        BrowserProgram(c[0], out, sizeof out);
        EXPECT_STREQ(c[1], out) << c[0];
    }
    char small[4];
    BrowserProgram("C:\\long.exe", small, sizeof small);
    EXPECT_STREQ("C:\\", small);

    const char* dirs[][2] = {{"C:\\a\\b.txt", "C:\\a"}, {"C:\\b.txt", "C:"}, {"b.txt", "b.txt"}, {"\\b.txt", "\\b.txt"}};
    for (auto& d : dirs) {
        LastDirectoryOf(d[0], out, sizeof out);
        EXPECT_STREQ(d[1], out) << d[0];
    }
}

// A BMP file in memory: width x height, 8 or 24 bits, rows padded to 4 bytes.
std::vector<BYTE> MakeBmp(int width, int height, int bits, int colours = 256)
{
    int stride = ((width * bits + 31) / 32) * 4;
    int table = bits == 8 ? colours * 4 : 0;
    std::vector<BYTE> file(54 + table + stride * (height < 0 ? -height : height), 0);
    file[0] = 'B';
    file[1] = 'M';
    DWORD offset = 54 + table;
    memcpy(&file[10], &offset, 4);
    BITMAPINFOHEADER h = {};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(bits);
    h.biClrUsed = bits == 8 && colours != 256 ? colours : 0;
    memcpy(&file[14], &h, 40);
    for (int i = 0; i < colours && bits == 8; ++i) {
        file[54 + 4 * i] = static_cast<BYTE>(i);            // blue
        file[54 + 4 * i + 1] = static_cast<BYTE>(255 - i);  // green
        file[54 + 4 * i + 2] = static_cast<BYTE>(i / 2);    // red
    }
    return file;
}

TEST(Pictures, EightBitPixelsComeFromTheColourTableAndRowsStayPadded)
{
    std::vector<BYTE> file = MakeBmp(3, 2, 8);
    const BYTE indices[2][3] = {{1, 2, 3}, {200, 100, 0}};  // bottom row first
    for (int y = 0; y < 2; ++y)
        memcpy(&file[54 + 1024 + 4 * y], indices[y], 3);
    DecodedPicture p;
    ASSERT_TRUE(DecodePicture(file.data(), static_cast<DWORD>(file.size()), &p));
    EXPECT_EQ(24, p.header.biBitCount);
    ASSERT_EQ(24u, p.pixels.size());  // two rows of 9 bytes padded to 12
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            const BYTE* px = &p.pixels[12 * y + 3 * x];
            int i = indices[y][x];
            EXPECT_EQ(i, px[0]);
            EXPECT_EQ(255 - i, px[1]);
            EXPECT_EQ(i / 2, px[2]);
        }

    std::vector<BYTE> topDown = MakeBmp(2, -2, 24);
    topDown[54] = 9;      // top row, first pixel, blue
    topDown[54 + 8] = 7;  // bottom row
    ASSERT_TRUE(DecodePicture(topDown.data(), static_cast<DWORD>(topDown.size()), &p));
    EXPECT_EQ(2, p.header.biHeight);
    EXPECT_EQ(7, p.pixels[0]);
    EXPECT_EQ(9, p.pixels[8]);
}

TEST(Pictures, DamagedFilesAreRefused)
{
    DecodedPicture p;
    std::vector<BYTE> good = MakeBmp(4, 4, 8);
    ASSERT_TRUE(DecodePicture(good.data(), static_cast<DWORD>(good.size()), &p));
    EXPECT_FALSE(DecodePicture(good.data(), static_cast<DWORD>(good.size() - 1), &p));
    EXPECT_FALSE(DecodePicture(good.data(), 20, &p));
    auto with = [&](size_t at, DWORD value, size_t bytes) {
        std::vector<BYTE> f = good;
        memcpy(&f[at], &value, bytes);
        return DecodePicture(f.data(), static_cast<DWORD>(f.size()), &p);
    };
    EXPECT_FALSE(with(0, 'X', 1));           // not "BM"
    EXPECT_FALSE(with(10, 0xFFFFFFF0u, 4));  // pixels beyond the file
    EXPECT_FALSE(with(10, 20, 4));           // pixels inside the headers
    EXPECT_FALSE(with(18, 100000, 4));       // absurd width
    EXPECT_FALSE(with(28, 4, 2));            // 4 bits per pixel
    EXPECT_FALSE(with(30, BI_RLE8, 4));      // compressed
    EXPECT_FALSE(with(46, 300, 4));          // more than 256 colours

    std::vector<BYTE> few = MakeBmp(4, 1, 8, 2);
    few[54 + 8] = 200;  // an index past a two-colour table shows black
    ASSERT_TRUE(DecodePicture(few.data(), static_cast<DWORD>(few.size()), &p));
    EXPECT_EQ(0, p.pixels[0] | p.pixels[1] | p.pixels[2]);
}

} // namespace
