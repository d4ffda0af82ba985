// The scoped settings loader.
#include "store/scoped.h"

#include "log/errors.h"

ScopedItemSettings::ScopedItemSettings(const char* path)
{
    if (!path) {
        result_ = STORE_MISSING_ARGUMENT;
        return;
    }
    ItemSettings* s = NewItemSettings(path);
    if (!s) {
        result_ = ERR_NO_MEMORY;
        return;
    }
    if (LoadItemSettings(path, s) != STORE_OK) {
        FreeItemSettings(s);
        result_ = ERR_NO_SETTINGS;
        return;
    }
    settings_ = s;
    result_ = ERR_SUCCESS;
}

ScopedItemSettings::~ScopedItemSettings()
{
    FreeItemSettings(settings_);
}
