// Pure arithmetic of the main window (minimum size, picture panel) and the HIDE option.
#include <gtest/gtest.h>

#include "app/layout.h"
#include "app/mainwnd.h"

TEST(MainLayout, BelowTheMinimumEachTooSmallDimensionSnapsAndThePanelKeeps190)
{
    struct Case {
        int w, h, wantW, wantH;
        bool fits;
    } cases[] = {
        {450, 400, 450, 400, true},  {449, 400, 450, 400, false}, {450, 399, 450, 400, false},
        {300, 900, 450, 900, false}, {900, 100, 900, 400, false}, {-20, 0, 450, 400, false},
    };
    for (const Case& c : cases) {
        int w = c.w, h = c.h;
        EXPECT_EQ(c.fits, ClampMainWindowSize(&w, &h)) << c.w << "x" << c.h;
        EXPECT_EQ(c.wantW, w) << c.w << "x" << c.h;
        EXPECT_EQ(c.wantH, h) << c.w << "x" << c.h;
    }
    for (int h : {200, 369, 370, 371, 1000}) {
        MainLayoutInput in = {600, h, 14, 4, 84, 23, 20};
        EXPECT_EQ(h - 180 > 190 ? h - 180 : 190, ComputeMainLayout(in).panel.height) << h;
    }
}

TEST(StartOption, OnlyTheExactWordHideHides)
{
    const char* shown[] = {"hide", "HIDE ", " HIDE", "Hide", "", "HIDE HIDE", "HID", nullptr};
    EXPECT_EQ(SW_HIDE, StartShowCommand("HIDE", SW_SHOWNORMAL));
    for (const char* line : shown)
        EXPECT_EQ(SW_SHOWMINNOACTIVE, StartShowCommand(line, SW_SHOWMINNOACTIVE)) << (line ? line : "(null)");
}

TEST(MainLayout, TheLeftButtonsKeepTheirColumnWhateverTheFrameWidth)
{
    for (int frame : {0, 3, 4, 8}) {
        MainLayoutInput in = {600, 500, frame + 10, frame, 84, 23, 20};
        MainLayout l = ComputeMainLayout(in);
        EXPECT_EQ(10, l.add.x) << frame;
        EXPECT_EQ(10, l.enabled.x) << frame;
        EXPECT_EQ(10, l.disabled.x) << frame;
        EXPECT_EQ(10 + 84 + 12, l.remove.x) << frame;
        EXPECT_EQ(frame + 50 + 533 - 84 - 4, l.close.x) << frame;  // R - bw - 4
    }
}
