// Right click, double click and column drags on the item list; the item popup and its targets.
#include "app/mainwnd.h"

#include "app/appstate.h"
#include "common/messages.h"
#include "common/seams.h"
#include "dialogs/dialogs.h"
#include "resources/resource.h"
#include "store/scoped.h"
#include "store/store.h"

#include <commctrl.h>
#include <stdio.h>

namespace {

enum { ITEM_PATH_SIZE = 4096, BROWSE_POSITION = 4 };

// Target entries carry 0xFF in the top byte, the kind below it and the low
// 16 bits of the target id: menus keep 32-bit command values.
UINT TargetCommand(int kind, DWORD id)
{
    return 0xFF000000u | (static_cast<UINT>(kind & 0xFF) << 16) | (id & 0xFFFFu);
}

bool IsTargetCommand(UINT command)
{
    return (command >> 24) == 0xFF;
}

void InsertTargetMenu(HMENU popup, TargetRecord** targets, DWORD count, int kind, const char* title)
{
    if (count == 0)
        return;
    HMENU sub = CreatePopupMenu();
    if (!sub)
        return;
    for (DWORD i = 0; i < count; ++i) {
        const char* text = kind == KIND_HD ? targets[i]->folder : targets[i]->name;
        AppendMenuA(sub, MF_STRING, TargetCommand(kind, targets[i]->id), text ? text : "");
    }
    InsertMenuA(popup, BROWSE_POSITION, MF_BYPOSITION | MF_POPUP | MF_STRING,
                reinterpret_cast<UINT_PTR>(sub), title);
}

void ShowNoFilesPopup(HWND wnd, POINT cursor)
{
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), "NOFILESPOPUP");
    if (!menu)
        return;
    TrackMenu(GetSubMenu(menu, 0), 0, cursor.x, cursor.y - 2, wnd);
    DestroyMenu(menu);
}

void ShowItemPopup(HWND wnd, POINT cursor)
{
    char path[ITEM_PATH_SIZE];
    if (GetSelectedRowText(GetDlgItem(wnd, IDC_MAIN_LIST), path, sizeof path) < 0)
        return;
    HMENU menu = BuildItemPopup(path);
    if (!menu)
        return;
    UINT chosen =
        TrackMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_NONOTIFY, cursor.x, cursor.y - 2, wnd);
    DestroyMenu(menu);
    if (IsTargetCommand(chosen)) {
        WPARAM target = (static_cast<WPARAM>((chosen >> 16) & 0xFF) << 16) | (chosen & 0xFFFF);
        SendMessageA(wnd, UM_BROWSETARGET, target, reinterpret_cast<LPARAM>(path));
    } else {
        SendMessageA(wnd, WM_COMMAND, chosen, 0);
    }
}

BOOL OnRightClick(HWND wnd)
{
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    POINT cursor;
    GetCursorPos(&cursor);
    RECT rect;
    GetWindowRect(list, &rect);
    LVHITTESTINFO hit = {};
    hit.pt.x = cursor.x - rect.left;
    hit.pt.y = cursor.y - rect.top - 2;
    if (ListView_HitTest(list, &hit) < 0)
        ShowNoFilesPopup(wnd, cursor);
    else
        ShowItemPopup(wnd, cursor);
    return FALSE;
}

BOOL OnDoubleClick(HWND wnd)
{
    HWND list = GetDlgItem(wnd, IDC_MAIN_LIST);
    bool selected = ListView_GetNextItem(list, -1, LVNI_SELECTED) >= 0;
    SendMessageA(wnd, WM_COMMAND, selected ? IDM_PROPERTIES : IDM_ADD, 0);
    return FALSE;
}

}  // namespace

HMENU BuildItemPopup(const char* itemPath)
{
    ScopedItemSettings settings(itemPath);
    if (!settings.loaded())
        return NULL;
    HMENU menu = LoadMenuA(GetModuleHandleA(NULL), "FILESPOPUP");
    HMENU popup = menu ? GetSubMenu(menu, 0) : NULL;
    if (popup) {
        // Both go in before "Browse Folder", so the FTP entry ends up on top.
        TargetSwitches* sw = settings->switches;
        InsertTargetMenu(popup, settings->hdTargets, sw->hdCount, KIND_HD,
                         "Browse Hard Drive/Network Sync Targets");
        InsertTargetMenu(popup, settings->ftpTargets, sw->ftpCount, KIND_FTP,
                         "Browse FTP Sync Targets");
    }
    return menu;
}

BOOL OnListNotify(HWND wnd, const NMHDR* header)
{
    if (!header)
        return FALSE;
    switch (header->code) {
    case NM_RCLICK:
        return OnRightClick(wnd);
    case NM_DBLCLK:
        return OnDoubleClick(wnd);
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
        return LayoutMainWindow(wnd);
    }
    return FALSE;
}

BOOL OnBrowseTarget(WPARAM wParam, const char* itemPath)
{
    if (!itemPath)
        return TRUE;
    ScopedItemSettings settings(itemPath);
    if (!settings.loaded())
        return TRUE;
    int kind = HIWORD(wParam);
    DWORD id = LOWORD(wParam);
    char address[1200];
    const char* file = NULL;
    if (kind == KIND_FTP) {
        for (DWORD i = 0; i < settings->switches->ftpCount; ++i) {
            FtpTarget* t = settings->ftpTargets[i];
            if ((t->id & 0xFFFF) == id) {
                snprintf(address, sizeof address, "ftp://%s:%s@%s:%d", t->userName, t->password,
                         t->address, static_cast<int>(t->port));
                file = address;
                break;
            }
        }
    } else if (kind == KIND_HD) {
        for (DWORD i = 0; i < settings->switches->hdCount; ++i) {
            if ((settings->hdTargets[i]->id & 0xFFFF) == id) {
                file = settings->hdTargets[i]->folder;
                break;
            }
        }
    }
    if (file) {
        SHELLEXECUTEINFOA info = {};
        info.cbSize = sizeof info;
        info.lpVerb = "Explore";
        info.lpFile = file;
        info.nShow = SW_SHOWNORMAL;
        RunShellExecute(&info);
    }
    return TRUE;
}
