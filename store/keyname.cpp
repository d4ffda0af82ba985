// Item key names and the lookup of the item that covers a path.
#include "store/store.h"
#include "store/regvalue.h"

#include <stdio.h>
#include <string.h>

int EncodeKeyName(char* text)
{
    if (!text)
        return 0;
    for (char* p = text; *p; ++p)
        if (*p == '\\' || *p == '/')
            *p = '*';
    return 1;
}

int DecodeKeyName(char* text)
{
    if (!text)
        return 0;
    for (char* p = text; *p; ++p)
        if (*p == '*')
            *p = '\\';
    return 1;
}

int OpenItemKey(const char* path, char* nameOut, HKEY* keyOut)
{
    if (!path || !*path)
        return 0;
    size_t len = strlen(path);
    if (len >= TK_PATH_SIZE)
        return 0;
    char name[TK_PATH_SIZE];
    memcpy(name, path, len + 1);
    EncodeKeyName(name);

    // The whole encoded path first, then every prefix ending in '*', longest
    // first; position 0 is never tried.
    for (size_t n = len; n > 0; --n) {
        if (n < len) {
            if (name[n] != '*')
                continue;
            name[n + 1] = '\0';
        }
        size_t nameLen = strlen(name);
        if (nameLen > TK_MAX_ITEM_PATH)
            continue;  // no item can have so long a name
        char keyPath[TK_PATH_SIZE + 32];
        snprintf(keyPath, sizeof keyPath, "%s\\%s", TK_FILES_KEY, name);
        HKEY key = NULL;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
            continue;
        if (keyOut)
            *keyOut = key;
        else
            RegCloseKey(key);
        if (nameOut)
            memcpy(nameOut, name, nameLen + 1);
        return static_cast<int>(nameLen);
    }
    return 0;
}
