// Item and target set-up for the dialog tests, through the item store.
#pragma once
#include <windows.h>

#include "store/store.h"

#include <string>

// Saves one FTP target (id 0: a new one) and returns its id.
DWORD SeedFtpTarget(const std::string& item, const char* name, const char* address, WORD port,
                    const char* user, const char* password, const char* folder, BYTE enabled = 1);
DWORD SeedDiskTarget(const std::string& item, const char* folder, BYTE storage = 1, BYTE enabled = 1);

// An item's settings loaded for the lifetime of the object.
class LoadedItem {
public:
    explicit LoadedItem(const std::string& item);
    ~LoadedItem();
    LoadedItem(const LoadedItem&) = delete;
    LoadedItem& operator=(const LoadedItem&) = delete;
    ItemSettings* operator->() const { return s_; }
    bool ok() const { return ok_; }
    DWORD ftpCount() const { return s_->switches->ftpCount; }
    DWORD hdCount() const { return s_->switches->hdCount; }
    FtpTarget* Ftp(DWORD id) const { return FindFtpTargetById(s_, id); }
    DiskTarget* Disk(DWORD id) const { return FindDiskTargetById(s_, id); }

private:
    ItemSettings* s_;
    bool ok_;
};
