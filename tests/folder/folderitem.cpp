// Folder items with targets in the registry, and an owner window that records stop requests.
#include "tests/folder/folderitem.h"

#include "app/messages.h"
#include "store/store.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

void MakeFolderItem(const std::string& folder, const FolderItemSpec& spec)
{
    ASSERT_EQ(1, CreateItemKey(folder.c_str()));
    // One record saved at a time: a record without an id gets the next one.
    for (const std::string& target : spec.diskFolders) {
        ItemSettings* s = NewItemSettings(folder.c_str());
        s->switches->hdCount = 1;
        s->switches->hdEnabled = spec.diskEnabled;
        lstrcpynA(s->hdTargets[0]->folder, target.c_str(), 260);
        s->hdTargets[0]->storageType = STORAGE_SYNC;
        ASSERT_EQ(1, SaveItemSettings(folder.c_str(), s, SAVE_HD));
        FreeItemSettings(s);
    }
    for (int i = 0; i < spec.ftpTargets; ++i) {
        ItemSettings* s = NewItemSettings(folder.c_str());
        s->switches->ftpCount = 1;
        FtpTarget* t = s->ftpTargets[0];
        snprintf(t->name, 256, "server %d", i + 1);
        strcpy(t->address, "127.0.0.1");
        strcpy(t->folder, "/backup");
        t->port = 1;
        t->anonymous = 1;
        t->storageType = STORAGE_SYNC;
        ASSERT_EQ(1, SaveItemSettings(folder.c_str(), s, SAVE_FTP));
        FreeItemSettings(s);
    }
    ItemSettings* s = NewItemSettings(folder.c_str());
    ASSERT_EQ(1, LoadItemSettings(folder.c_str(), s));
    s->switches->hdEnabled = spec.diskEnabled;
    s->switches->ftpEnabled = spec.ftpEnabled;
    s->options->includeSubs = spec.includeSubs;
    s->options->deleteStored = spec.deleteStored;
    ASSERT_EQ(1, SaveItemSettings(folder.c_str(), s, SAVE_HD | SAVE_FTP | SAVE_OPTIONS));
    FreeItemSettings(s);
}

namespace {
LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == UM_STOPTRANSFER) {
        StopRequests().push_back({wParam, reinterpret_cast<HWND>(lParam)});
        return 0;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}
} // namespace

std::vector<std::pair<WPARAM, HWND>>& StopRequests()
{
    static std::vector<std::pair<WPARAM, HWND>> requests;
    return requests;
}

HWND CreateRecordingOwner(int x, int y)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "TkRecordingOwner";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND wnd = CreateWindowA("TkRecordingOwner", "Main", WS_OVERLAPPEDWINDOW, x, y, 500, 400,
                             NULL, NULL, GetModuleHandleA(NULL), NULL);
    ShowWindow(wnd, SW_SHOWNORMAL);
    return wnd;
}
