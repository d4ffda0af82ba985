// Pure arithmetic of the main window: minimum size, list and panel, button rows; the HIDE option.
#include <gtest/gtest.h>

#include "app/layout.h"
#include "app/mainwnd.h"

TEST(MainLayoutSize, BelowTheMinimumSnapsEachTooSmallDimension)
{
    struct Case {
        int w, h, wantW, wantH;
        bool fits;
    } cases[] = {
        {450, 400, 450, 400, true},  {449, 400, 450, 400, false}, {450, 399, 450, 400, false},
        {300, 900, 450, 900, false}, {900, 100, 900, 400, false}, {0, 0, 450, 400, false},
        {-20, 1200, 450, 1200, false}, {1600, 1200, 1600, 1200, true},
    };
    for (const Case& c : cases) {
        int w = c.w, h = c.h;
        EXPECT_EQ(c.fits, ClampMainWindowSize(&w, &h)) << c.w << "x" << c.h;
        EXPECT_EQ(c.wantW, w) << c.w << "x" << c.h;
        EXPECT_EQ(c.wantH, h) << c.w << "x" << c.h;
    }
}

TEST(MainLayoutPositions, ListPanelAndButtonsFollowTheWindowSize)
{
    MainLayoutInput in = {800, 600, 14, 4, 84, 23, 20};
    MainLayout l = ComputeMainLayout(in);
    EXPECT_EQ(50, l.list.x);
    EXPECT_EQ(10, l.list.y);
    EXPECT_EQ(733, l.list.width);
    EXPECT_EQ(420, l.list.height);
    EXPECT_EQ(678, l.column0Width);
    EXPECT_EQ(10, l.panel.x);
    EXPECT_EQ(35, l.panel.width);
    EXPECT_EQ(420, l.panel.height);

    // Left group keeps the Add button's column; rows step down from the list.
    EXPECT_EQ(10, l.add.x);
    EXPECT_EQ(448, l.add.y);
    EXPECT_EQ(14 + 84 + 8, l.remove.x);
    EXPECT_EQ(448, l.remove.y);
    EXPECT_EQ(10, l.enabled.x);
    EXPECT_EQ(480, l.enabled.y);
    EXPECT_EQ(168, l.enabled.width);
    EXPECT_EQ(513, l.disabled.y);
    EXPECT_EQ(168, l.disabled.width);

    // Right group hangs from the list's right edge (4 + 50 + 733 = 787 from the outer edge).
    EXPECT_EQ(787 - 168 - 16, l.properties.x);
    EXPECT_EQ(787 - 84 - 4, l.restore.x);
    EXPECT_EQ(787 - 84 - 4, l.settings.x);
    EXPECT_EQ(480, l.settings.y);
    EXPECT_EQ(787 - 84 - 4, l.close.x);
    EXPECT_EQ(513, l.close.y);
    EXPECT_EQ(84, l.close.width);
    EXPECT_EQ(23, l.close.height);

    EXPECT_EQ(0, l.status.x);
    EXPECT_EQ(580, l.status.y);
    EXPECT_EQ(800, l.status.width);
}

TEST(MainLayoutPositions, PanelNeverShorterThan190)
{
    for (int h : {200, 300, 369, 370, 371, 400, 1000}) {
        MainLayoutInput in = {600, h, 14, 4, 84, 23, 20};
        MainLayout l = ComputeMainLayout(in);
        EXPECT_EQ(h - 180 > 190 ? h - 180 : 190, l.panel.height) << h;
        EXPECT_GE(l.panel.height, 190) << h;
    }
}

TEST(StartOption, OnlyTheExactWordHideHides)
{
    struct Case {
        const char* line;
        int want;
    } cases[] = {
        {"HIDE", SW_HIDE},       {"hide", SW_SHOWNORMAL}, {"HIDE ", SW_SHOWNORMAL},
        {" HIDE", SW_SHOWNORMAL}, {"Hide", SW_SHOWNORMAL}, {"", SW_SHOWNORMAL},
        {"HIDE HIDE", SW_SHOWNORMAL}, {"HID", SW_SHOWNORMAL}, {nullptr, SW_SHOWNORMAL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.want, StartShowCommand(c.line, SW_SHOWNORMAL)) << (c.line ? c.line : "(null)");
    EXPECT_EQ(SW_SHOWMINNOACTIVE, StartShowCommand("x", SW_SHOWMINNOACTIVE));
}
