// The scoped settings loader.
#include "store/scoped.h"

#include "log/errors.h"

ScopedItemSettings::ScopedItemSettings(const char* path)
{
    keyName_[0] = '\0';
    switch (NewLoadedItemSettings(path, &settings_, keyName_)) {
    case STORE_OK:
        result_ = ERR_SUCCESS;
        break;
    case STORE_MISSING_ARGUMENT:
        result_ = STORE_MISSING_ARGUMENT;
        break;
    case ERR_NO_MEMORY:
        result_ = ERR_NO_MEMORY;
        break;
    default:
        result_ = ERR_NO_SETTINGS;
    }
    if (!settings_)
        keyName_[0] = '\0';
}

ScopedItemSettings::~ScopedItemSettings()
{
    FreeItemSettings(settings_);
}
