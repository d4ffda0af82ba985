// Dialogs not written yet: each entry point does nothing visible, so the
// main window's commands are wired ahead of them.
#include "dialogs/dialogs.h"

#include <commctrl.h>

int RunAddItemDialog(HWND, char*) { return 0; }
void RunPropertiesSheet(HWND, const char*) {}
void RunRestoreDialog(HWND, const char*, BatchList*) {}
void RunSettingsDialog(HWND) {}
void RunAboutDialog(HWND) {}
HWND CreateRepliesWindow(HWND) { return NULL; }
HWND CreateTipsWindow(HWND, int) { return NULL; }
HWND CreateTutorialWindow(HWND) { return NULL; }
void ShowSplash(HWND) {}
int OpenInBrowser(const char*) { return 0; }
int BrowseForFolder(HWND, char*) { return 0; }
int BrowseForFile(HWND, char*) { return 0; }

LRESULT CALLBACK PanelWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK WatermarkListProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    static WNDPROC oldProc = NULL;
    if (msg == WM_USER + 17) {
        oldProc = reinterpret_cast<WNDPROC>(lParam);
        return 0;
    }
    return oldProc ? CallWindowProcA(oldProc, wnd, msg, wParam, lParam)
                   : DefWindowProcA(wnd, msg, wParam, lParam);
}

int GetSelectedRowText(HWND list, char* buffer, int size)
{
    int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0)
        return -1;
    if (buffer && size > 0)
        ListView_GetItemText(list, row, 0, buffer, size);
    return row;
}
