// An item's settings loaded for the length of a scope and freed with it.
#pragma once

#include "store/store.h"

// Loads the settings of the item that covers path; the record is freed when
// the object goes. result() is the error code of the load: ERR_SUCCESS (1),
// ERR_NO_MEMORY when the record could not be allocated, ERR_NO_SETTINGS when
// no item covers path or its key could not be read, STORE_MISSING_ARGUMENT
// for a NULL path.
class ScopedItemSettings {
public:
    explicit ScopedItemSettings(const char* path);
    ~ScopedItemSettings();
    ScopedItemSettings(const ScopedItemSettings&) = delete;
    ScopedItemSettings& operator=(const ScopedItemSettings&) = delete;

    int result() const { return result_; }
    bool loaded() const { return settings_ != nullptr; }
    // NULL unless loaded.
    ItemSettings* get() const { return settings_; }
    ItemSettings* operator->() const { return settings_; }
    // The key name of the item whose settings were loaded ("" unless loaded).
    const char* keyName() const { return keyName_; }

private:
    ItemSettings* settings_ = nullptr;
    int result_;
    char keyName_[TK_PATH_SIZE];
};
