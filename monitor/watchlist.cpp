// The watch list read from the item keys, for the NT link and the built-in monitor's renewal.
#include "monitor/watchlist.h"

#include <windows.h>

#include "store/layout.h"
#include "store/regvalue.h"
#include "store/store.h"

int ForEachWatchPath(void (*visit)(const char* path, void* context), void* context)
{
    HKEY files = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, TK_FILES_KEY, 0, KEY_ALL_ACCESS, &files) != ERROR_SUCCESS)
        return 0;
    for (DWORD index = 0;; ++index) {
        char name[TK_PATH_SIZE];
        DWORD nameSize = sizeof name;
        LONG rc = RegEnumKeyExA(files, index, name, &nameSize, NULL, NULL, NULL, NULL);
        if (rc == ERROR_MORE_DATA)
            continue;  // a name that cannot be an item path
        if (rc != ERROR_SUCCESS)
            break;
        char shortName[TK_PATH_SIZE] = "";
        HKEY item = NULL;
        if (RegOpenKeyExA(files, name, 0, KEY_ALL_ACCESS, &item) == ERROR_SUCCESS) {
            if (!ReadRegText(item, "shortname", shortName, sizeof shortName))
                shortName[0] = 0;
            RegCloseKey(item);
        }
        DecodeKeyName(name);
        CharUpperA(name);
        visit(name, context);
        if (shortName[0]) {
            CharUpperA(shortName);
            visit(shortName, context);
        }
    }
    RegCloseKey(files);
    return 1;
}
