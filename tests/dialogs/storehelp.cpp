// Item and target set-up for the dialog tests.
#include "tests/dialogs/storehelp.h"

DWORD SeedFtpTarget(const std::string& item, const char* name, const char* address, WORD port,
                    const char* user, const char* password, const char* folder, BYTE enabled)
{
    ItemSettings* s = NewItemSettings(item.c_str());
    s->switches->ftpEnabled = enabled;
    s->switches->ftpCount = 1;
    FtpTarget* t = s->ftpTargets[0];
    lstrcpynA(t->name, name, 256);
    lstrcpynA(t->address, address, 256);
    lstrcpynA(t->userName, user, 256);
    lstrcpynA(t->password, password, 256);
    lstrcpynA(t->folder, folder, 260);
    t->port = port;
    t->storageType = 1;
    SaveItemSettings(item.c_str(), s, SAVE_FTP);
    DWORD id = t->id;
    FreeItemSettings(s);
    return id;
}

DWORD SeedDiskTarget(const std::string& item, const char* folder, BYTE storage, BYTE enabled)
{
    ItemSettings* s = NewItemSettings(item.c_str());
    s->switches->hdEnabled = enabled;
    s->switches->hdCount = 1;
    DiskTarget* t = s->hdTargets[0];
    lstrcpynA(t->folder, folder, 260);
    t->storageType = storage;
    SaveItemSettings(item.c_str(), s, SAVE_HD);
    DWORD id = t->id;
    FreeItemSettings(s);
    return id;
}

LoadedItem::LoadedItem(const std::string& item)
    : s_(NewItemSettings(item.c_str())), ok_(s_ && LoadItemSettings(item.c_str(), s_) == 1)
{
}

LoadedItem::~LoadedItem()
{
    FreeItemSettings(s_);
}
