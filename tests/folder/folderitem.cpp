// Folder items in the registry, a stand-in main window that records stop requests, and a file tree.
#include "tests/folder/folderitem.h"

#include "common/messages.h"
#include "store/store.h"
#include "tests/support/testenv.h"

#include <string.h>

void MakeFolderItem(const std::string& folder, const std::vector<std::string>& disks, int ftps,
                    bool diskOn, bool ftpOn, bool deleteStored)
{
    const char* path = folder.c_str();
    CreateItemKey(path);
    // One record per save: a record without an id is added as a new target.
    for (size_t i = 0; i < disks.size() + ftps; ++i) {
        ItemSettings* s = NewItemSettings(path);
        bool disk = i < disks.size();
        TargetRecord* t = disk ? s->hdTargets[0] : s->ftpTargets[0];
        (disk ? s->switches->hdCount : s->switches->ftpCount) = 1;
        lstrcpynA(disk ? t->folder : t->name, disk ? disks[i].c_str() : "server", 256);
        if (!disk)
            strcpy(t->address, "127.0.0.1");
        SaveItemSettings(path, s, disk ? SAVE_HD : SAVE_FTP);
        FreeItemSettings(s);
    }
    ItemSettings* s = NewItemSettings(path);
    LoadItemSettings(path, s);
    s->switches->hdEnabled = diskOn;
    s->switches->ftpEnabled = ftpOn;
    s->options->includeSubs = 1;
    s->options->deleteStored = deleteStored;
    SaveItemSettings(path, s, SAVE_HD | SAVE_FTP | SAVE_OPTIONS);
    FreeItemSettings(s);
}

static LRESULT CALLBACK RecordingProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == UM_STOPTRANSFER)
        StopRequests().push_back({wParam, reinterpret_cast<HWND>(lParam)});
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

Stops& StopRequests()
{
    static Stops requests;
    return requests;
}

HWND CreateRecordingOwner(int x, int y)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TkRecordingOwner";
    RegisterClassA(&wc);  // fails harmlessly once registered
    return CreateWindowA("TkRecordingOwner", "Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y, 500,
                         400, NULL, NULL, GetModuleHandleA(NULL), NULL);
}

void MakeThreeAndSub(const std::string& root)
{
    MakeDirs(root + "\\sub");
    for (const char* name : {"a.txt", "b.txt", "c.txt", "sub\\d.txt", "sub\\e.txt"})
        WriteFileBytes(root + "\\" + name, name);
}
