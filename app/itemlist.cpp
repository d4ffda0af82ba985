// The main window's item list (one row per item key, in registry order) and its layout.
#include "app/mainwnd.h"

#include "app/appstate.h"
#include "app/layout.h"
#include "monitor/monitor.h"
#include "resources/resource.h"
#include "store/layout.h"

#include <commctrl.h>
#include <string.h>

namespace {

enum { ITEM_PATH_SIZE = 4096, IMAGE_FOLDER = 0, IMAGE_FILE = 1 };

void InsertColumns(HWND list)
{
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = 273;
    column.pszText = const_cast<char*>("Item");
    column.iSubItem = 0;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    column.cx = 51;
    column.pszText = const_cast<char*>("Type");
    column.iSubItem = 1;
    SendMessageA(list, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));
}

void AddIcon(HIMAGELIST images, const char* name)
{
    HICON icon =
        static_cast<HICON>(LoadImageA(GetModuleHandleA(NULL), name, IMAGE_ICON, 16, 16, 0));
    ImageList_AddIcon(images, icon);
    if (icon)
        DestroyIcon(icon);
}

// A fresh 16-colour image list: FOLDER at index 0, FILE at index 1. The
// mask keeps the icons' transparent parts transparent over the watermark.
void ReplaceImageList(HWND list)
{
    HIMAGELIST old = ListView_GetImageList(list, LVSIL_SMALL);
    if (old)
        ImageList_Destroy(old);
    HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR4 | ILC_MASK, 1, 0);
    AddIcon(images, "FOLDER");
    AddIcon(images, "FILE");
    ListView_SetImageList(list, images, LVSIL_SMALL);
}

void InsertRow(HWND list, int index, char* path)
{
    size_t len = strlen(path);
    bool folder = len > 0 && (path[len - 1] == '\\' || path[len - 1] == '/');
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = path;
    item.iImage = folder ? IMAGE_FOLDER : IMAGE_FILE;
    int row =
        static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (row >= 0)
        ListView_SetItemText(list, row, 1, const_cast<char*>(folder ? "Folder" : "File"));
}

void MoveControl(HWND wnd, int id, const LayoutBox& box)
{
    HWND control = GetDlgItem(wnd, id);
    if (control)
        MoveWindow(control, box.x, box.y, box.width, box.height, TRUE);
}

}  // namespace

BOOL ReloadItemList(HWND wnd, BOOL clear)
{
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    if (clear) {
        ListView_DeleteColumn(list, 1);
        ListView_DeleteColumn(list, 0);
        ListView_DeleteAllItems(list);
    }
    InsertColumns(list);
    ReplaceImageList(list);

    HKEY files = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TK_FILES_KEY, 0, KEY_ALL_ACCESS, &files) != ERROR_SUCCESS)
        return TRUE;
    char name[ITEM_PATH_SIZE];
    // Drawn once when full: a visible list redrawn after every row took seconds for 1,000 items.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(files, index, name, &size, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        name[sizeof name - 1] = '\0';
        for (char* p = name; *p; ++p)
            if (*p == '*')
                *p = '\\';
        InsertRow(list, static_cast<int>(index), name);
    }
    RegCloseKey(files);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    // At start the monitor has just been given this very list as it opened (or is off).
    if (clear)
        SendWatchList(g_app.device);
    PostMessageA(wnd, WM_SIZE, 0, 0);
    return TRUE;
}

BOOL LayoutMainWindow(HWND wnd)
{
    RECT outer;
    GetWindowRect(wnd, &outer);
    int width = outer.right - outer.left, height = outer.bottom - outer.top;
    if (!ClampMainWindowSize(&width, &height)) {
        // The move brings a new WM_SIZE, which lays out at the new size.
        MoveWindow(wnd, outer.left, outer.top, width, height, TRUE);
        return TRUE;
    }
    HWND add = GetDlgItem(wnd, IDC_MAIN_ADD);
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    if (!add || !list)
        return TRUE;
    RECT addRect;
    GetWindowRect(add, &addRect);
    POINT origin = {0, 0};
    ClientToScreen(wnd, &origin);

    MainLayoutInput in;
    in.width = width;
    in.height = height;
    in.addLeft = addRect.left - outer.left;
    in.clientLeft = origin.x - outer.left;
    in.buttonWidth = addRect.right - addRect.left;
    in.buttonHeight = addRect.bottom - addRect.top;
    in.statusHeight = 0;
    if (g_app.statusBar && GetParent(g_app.statusBar) == wnd) {
        RECT status;
        GetWindowRect(g_app.statusBar, &status);
        in.statusHeight = status.bottom - status.top;
    }
    MainLayout layout = ComputeMainLayout(in);

    MoveControl(wnd, IDC_MAIN_LIST, layout.list);
    MoveControl(wnd, IDC_MAIN_PANEL, layout.panel);
    ListView_SetColumnWidth(list, 0, layout.column0Width);
    MoveControl(wnd, IDC_MAIN_ADD, layout.add);
    MoveControl(wnd, IDC_MAIN_REMOVE, layout.remove);
    MoveControl(wnd, IDC_MAIN_ENABLED, layout.enabled);
    MoveControl(wnd, IDC_MAIN_DISABLED, layout.disabled);
    MoveControl(wnd, IDC_MAIN_PROPERTIES, layout.properties);
    MoveControl(wnd, IDC_MAIN_RESTORE, layout.restore);
    MoveControl(wnd, IDC_MAIN_SETTINGS, layout.settings);
    MoveControl(wnd, IDC_MAIN_CLOSE, layout.close);
    if (g_app.statusBar && GetParent(g_app.statusBar) == wnd)
        MoveWindow(g_app.statusBar, layout.status.x, layout.status.y, layout.status.width,
                   layout.status.height, TRUE);
    RedrawWindow(wnd, NULL, NULL, RDW_INVALIDATE);
    return TRUE;
}
