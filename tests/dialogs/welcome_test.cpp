// Tips, tutorial, splash, About box, the picture panels and the browser launch.
#include <gtest/gtest.h>

#include "common/messages.h"
#include "common/seams.h"
#include "dialogs/dialogs.h"
#include "dialogs/panels.h"
#include "resources/resource.h"
#include "tests/dialogs/driver.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

std::string ProgramString(int id)
{
    char text[4096];
    LoadProgramString(id, text, sizeof text);
    return text;
}

class Welcome : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetProductKey();
        owner_ = CreateTestOwner(200, 150, 600, 450);
    }
    void TearDown() override
    {
        DestroyWindow(owner_);
        DeleteProductKey();
    }
    HWND owner_ = NULL;
};

TEST_F(Welcome, TipsAreNumberedFromOneAndWrapAfterSixteen)
{
    struct Case {
        DWORD stored;
        const char* title;
        int stringId;
        DWORD next;
    } cases[] = {{0, "Tandemkeep Tip #1", 20, 1}, {9, "Tandemkeep Tip #10", 29, 10},
                 {10, "Tandemkeep Tip #11", 31, 11}, {11, "Tandemkeep Tip #12", 31, 12},
                 {15, "Tandemkeep Tip #16", 35, 0}, {40, "Tandemkeep Tip #1", 20, 1}};
    for (const Case& c : cases) {
        SetGlobalDword("tip", c.stored);
        HWND tips = CreateTipsWindow(owner_, SW_SHOWNORMAL);
        ASSERT_TRUE(tips) << c.stored;
        EXPECT_TRUE(IsWindowVisible(tips));
        EXPECT_EQ(1, GetWindowLongPtrA(tips, GWLP_USERDATA));
        EXPECT_EQ(c.title, WindowText(tips));
        EXPECT_EQ(ProgramString(c.stringId), DlgItemText(tips, IDC_TIPS_TEXT));
        EXPECT_EQ(c.next, GetGlobalDword("tip", 99)) << c.stored;
        if (c.stored == 15) {
            PumpMessages(50);
            SaveWindowShot(tips, "tips");
        }
        DestroyWindow(tips);
    }
    EXPECT_NE(ProgramString(29), ProgramString(31));
}

TEST_F(Welcome, NoTipsWindowWhenSwitchedOffOrWithoutSettings)
{
    for (DWORD off : {65535u, 0x80000000u}) {
        SetGlobalDword("tip", off);
        EXPECT_EQ(NULL, CreateTipsWindow(owner_, SW_SHOWNORMAL)) << off;
        EXPECT_EQ(off, GetGlobalDword("tip", 99));
    }
    DeleteProductKey();
    EXPECT_EQ(NULL, CreateTipsWindow(owner_, SW_SHOWNORMAL));
    EXPECT_TRUE(FindProcessWindows("Tandemkeep Tip #1", false).empty());
}

TEST_F(Welcome, TipsOkStoresOffOnlyWithTheBoxAndAHiddenStartStaysHidden)
{
    SetGlobalDword("tip", 3);
    HWND tips = CreateTipsWindow(owner_, SW_HIDE);
    ASSERT_TRUE(tips);
    EXPECT_FALSE(IsWindowVisible(tips));
    EXPECT_EQ(1, GetWindowLongPtrA(tips, GWLP_USERDATA));
    Click(tips, IDOK);
    EXPECT_EQ(4u, GetGlobalDword("tip", 99));
    ShowWindow(tips, SW_SHOWNORMAL);
    CheckDlgButton(tips, IDC_TIPS_DONTSHOW, BST_CHECKED);
    SendMessageA(tips, WM_CLOSE, 0, 0);  // the close box stores nothing
    EXPECT_EQ(4u, GetGlobalDword("tip", 99));
    Click(tips, IDOK);
    EXPECT_EQ(65535u, GetGlobalDword("tip", 99));
    EXPECT_FALSE(IsWindowVisible(tips));
    DestroyWindow(tips);
}

TEST_F(Welcome, TutorialPagesStopAtBothEndsAndClosingStoresTheChoices)
{
    SetGlobalDword("tip", 65535);
    SetGlobalDword("firsttime", 1);
    HWND tutorial = CreateTutorialWindow(owner_);
    ASSERT_TRUE(tutorial);
    EXPECT_TRUE(IsWindowVisible(tutorial));
    EXPECT_TRUE(GetWindowLongA(tutorial, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT ownerRect, ownerClient, own;
    GetWindowRect(owner_, &ownerRect);
    GetClientRect(owner_, &ownerClient);
    GetWindowRect(tutorial, &own);
    EXPECT_EQ(ownerRect.left + ownerClient.right - 100, own.left);
    EXPECT_EQ(ownerRect.top - 50, own.top);
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(tutorial, IDC_TUT_SHOWTIPS));
    EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(tutorial, IDC_TUT_SHOWAGAIN));
    EXPECT_EQ(0, TutorialPage());
    EXPECT_EQ(ProgramString(38), DlgItemText(tutorial, IDC_TUT_TEXT));
    Click(tutorial, IDC_TUT_BACK);
    EXPECT_EQ(0, TutorialPage());
    for (int i = 0; i < 8; ++i)
        Click(tutorial, IDC_TUT_NEXT);
    EXPECT_EQ(6, TutorialPage());
    EXPECT_EQ(ProgramString(44), DlgItemText(tutorial, IDC_TUT_TEXT));
    Click(tutorial, IDC_TUT_BACK);
    EXPECT_EQ(ProgramString(43), DlgItemText(tutorial, IDC_TUT_TEXT));
    PumpMessages(50);
    SaveWindowShot(tutorial, "tutorial");

    CheckDlgButton(tutorial, IDC_TUT_SHOWAGAIN, BST_CHECKED);
    Click(tutorial, IDC_TUT_CLOSE);
    EXPECT_FALSE(IsWindow(tutorial));
    EXPECT_EQ(65535u, GetGlobalDword("tip", 99));
    EXPECT_TRUE(GlobalValueExists("firsttime"));

    // The page is kept for the run; the close box stores as the button does.
    SetGlobalDword("tip", 5);
    tutorial = CreateTutorialWindow(owner_);
    EXPECT_EQ(5, TutorialPage());
    EXPECT_EQ(BST_CHECKED, IsDlgButtonChecked(tutorial, IDC_TUT_SHOWTIPS));
    SendMessageA(tutorial, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, GetGlobalDword("tip", 99));
    EXPECT_FALSE(GlobalValueExists("firsttime"));
}

// The colour the panel leaves where a picture pixel lies over background.
COLORREF Anded(COLORREF picture, COLORREF background)
{
    return RGB(GetRValue(picture) & GetRValue(background), GetGValue(picture) & GetGValue(background),
               GetBValue(picture) & GetBValue(background));
}

// The pixel of a decoded picture at (x, y) from the top.
COLORREF PicturePixel(const char* name, int x, int y, SIZE* size)
{
    HRSRC found = FindResourceA(NULL, name, "RAW");
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(NULL, found)));
    DecodedPicture p;
    EXPECT_TRUE(DecodePicture(data, SizeofResource(NULL, found), &p));
    size->cx = p.header.biWidth;
    size->cy = p.header.biHeight;
    int stride = ((p.header.biWidth * 3 + 3) / 4) * 4;
    const BYTE* px = &p.pixels[static_cast<size_t>(stride) * (p.header.biHeight - 1 - y) + 3 * x];
    return RGB(px[2], px[1], px[0]);
}

// Compares a painted window with its picture at a few points of the picture
// and at the corners of the window (background only).
void ExpectPainted(HWND wnd, const char* name, COLORREF background)
{
    RedrawWindow(wnd, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    PumpMessages(100);
    RECT client;
    GetClientRect(wnd, &client);
    HDC dc = GetDC(wnd);
    EXPECT_EQ(background, GetPixel(dc, 0, 0)) << name;
    EXPECT_EQ(background, GetPixel(dc, client.right - 1, client.bottom - 1)) << name;
    SIZE size;
    PicturePixel(name, 0, 0, &size);
    int left = client.right / 2 - size.cx / 2, top = client.bottom / 2 - size.cy / 2;
    int differing = 0;
    for (int i = 1; i < 8; ++i) {
        int x = size.cx * i / 8, y = size.cy * ((i * 3) % 8) / 8;
        COLORREF expected = Anded(PicturePixel(name, x, y, &size), background);
        EXPECT_EQ(expected, GetPixel(dc, left + x, top + y)) << name << " at " << x << "," << y;
        differing += expected != background;
    }
    ReleaseDC(wnd, dc);
    EXPECT_GT(differing, 0) << name << ": the sampled points show only background";
}

TEST_F(Welcome, PanelsPaintTheirPictureCentredOverTheirBackground)
{
    HWND panel = CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 10, 10, 60, 260, owner_, NULL, NULL, NULL);
    SetWindowLongPtrA(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PanelWindowProc));
    ExpectPainted(panel, "TITLE", RGB(250, 250, 250));
    SetWindowLongPtrA(panel, GWLP_USERDATA, 1);
    MoveWindow(panel, 0, 0, 500, 300, TRUE);
    ExpectPainted(panel, "SPLASH", RGB(255, 255, 255));

    HWND splash = CreateSplashWindow(owner_);
    ASSERT_TRUE(splash);
    EXPECT_EQ(1, GetWindowLongPtrA(splash, GWLP_USERDATA));
    ExpectPainted(splash, "SPLASH", RGB(255, 255, 255));
    SaveWindowShot(splash, "splash");
    DestroyWindow(splash);
}

TEST_F(Welcome, TheWatermarkLiesUnderTheListRows)
{
    HWND list = CreateWindowA(WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT, 10, 10, 500, 300, owner_,
                              NULL, NULL, NULL);
    WNDPROC old = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(list, GWLP_WNDPROC));
    WatermarkListProc(list, UM_SETOLDPROC, 0, reinterpret_cast<LPARAM>(old));
    SetWindowLongPtrA(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WatermarkListProc));
    ExpectPainted(list, "WATERMARK", RGB(250, 250, 250));

    // A row's text darkens the picture where it lies.
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    column.cx = 480;
    ListView_InsertColumn(list, 0, &column);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.pszText = const_cast<char*>("WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");
    ListView_InsertItem(list, &item);
    RedrawWindow(list, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    PumpMessages(100);
    RECT row;
    ListView_GetItemRect(list, 0, &row, LVIR_LABEL);
    HDC dc = GetDC(list);
    int dark = 0;
    for (int x = row.left; x < row.right; ++x)
        for (int y = row.top; y < row.bottom; ++y)
            dark += GetRValue(GetPixel(dc, x, y)) < 100;
    ReleaseDC(list, dc);
    EXPECT_GT(dark, 20);
}

TEST_F(Welcome, TheAboutBoxShowsTheTitlePanelAndClosesWithOk)
{
    bool seen = false;
    ModalScript script;
    script.When("About Tandemkeep", [&](HWND dlg) {
        seen = true;
        HWND panel = GetDlgItem(dlg, IDC_ABOUT_PANEL);
        EXPECT_EQ(reinterpret_cast<LONG_PTR>(PanelWindowProc), GetWindowLongPtrA(panel, GWLP_WNDPROC));
        ExpectPainted(panel, "TITLE", RGB(250, 250, 250));
        SaveWindowShot(dlg, "about");
        Click(dlg, IDCANCEL);
    });
    RunAboutDialog(owner_);
    EXPECT_TRUE(seen);
}

std::string g_browserFile, g_browserParams, g_browserVerb;
HWND g_browserOwner;
int g_browserShow;
BOOL RecordBrowser(SHELLEXECUTEINFOA* info)
{
    g_browserFile = info->lpFile ? info->lpFile : "";
    g_browserParams = info->lpParameters ? info->lpParameters : "";
    g_browserVerb = info->lpVerb ? info->lpVerb : "";
    g_browserOwner = info->hwnd;
    g_browserShow = info->nShow;
    return TRUE;
}

TEST(OpenInBrowser, TheProgramComesFromTheHttpOpenCommand)
{
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", 0, NULL, 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    char saved[1024] = "";
    DWORD savedSize = sizeof saved;
    DWORD savedType = 0;
    bool hadValue = RegQueryValueExA(key, NULL, NULL, &savedType, reinterpret_cast<BYTE*>(saved), &savedSize)
        == ERROR_SUCCESS;
    SetShellExecuteHook(RecordBrowser);
    struct Case {
        const char* command;
        const char* program;
    } cases[] = {{"\"C:\\Program Files\\Web\\web.exe\" -nohome \"%1\"", "C:\\Program Files\\Web\\web.exe"},
                 {"C:\\web\\web.exe -url %1", "C:\\web\\web.exe -url %1"},
                 {"\"\"C:\\w.exe\"", "C:\\w.exe"}};
    for (const Case& c : cases) {
        RegSetValueExA(key, NULL, 0, REG_SZ, reinterpret_cast<const BYTE*>(c.command),
                       static_cast<DWORD>(strlen(c.command) + 1));
        g_browserFile.clear();
        EXPECT_EQ(1, OpenInBrowser("https://support.example/"));
        EXPECT_EQ(c.program, g_browserFile);
        EXPECT_EQ("https://support.example/", g_browserParams);
        EXPECT_EQ("open", g_browserVerb);
        EXPECT_EQ(NULL, g_browserOwner);
        EXPECT_EQ(SW_SHOWNORMAL, g_browserShow);
    }
    RegDeleteValueA(key, NULL);
    g_browserFile.clear();
    EXPECT_EQ(0, OpenInBrowser("https://support.example/"));
    EXPECT_EQ("", g_browserFile);
    if (hadValue)
        RegSetValueExA(key, NULL, 0, savedType, reinterpret_cast<const BYTE*>(saved), savedSize);
    RegCloseKey(key);
    SetShellExecuteHook(NULL);
}

} // namespace
