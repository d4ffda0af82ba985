// Prepares the registry the way an installed program finds it, for the
// full-program benchmark: live_setup <install folder> <watched folder> <target folder>
// writes the settings and one folder item with one disk target; "live_setup clear"
// removes the product key again.
#include "store/store.h"
#include "tests/support/testenv.h"

#include <stdio.h>
#include <string.h>
#include <string>

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "clear") == 0) {
        DeleteProductKey();
        return 0;
    }
    if (argc != 4) {
        fprintf(stderr,
                "usage: live_setup <install folder> <watched folder> <target folder> | clear\n");
        return 2;
    }
    ResetProductKey();
    SetGlobalText("installdir", argv[1]);
    SetGlobalDword("logging", 1);
    SetGlobalDword("showerrors", 0);
    SetGlobalDword("tip", 65535);
    // Monitoring on: the value's presence is the switch.
    SetGlobalRaw("enabled", REG_BINARY, "", 0);

    std::string folder = argv[2];
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    if (!CreateItemKey(folder.c_str())) {
        fprintf(stderr, "cannot create the item %s\n", folder.c_str());
        return 1;
    }
    ItemSettings* s = NewItemSettings(folder.c_str());
    if (!s) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    s->switches->hdEnabled = 1;
    s->switches->hdCount = 1;
    lstrcpynA(s->hdTargets[0]->folder, argv[3], TK_PATH_SIZE);
    s->hdTargets[0]->storageType = STORAGE_SYNC;
    int saved = SaveItemSettings(folder.c_str(), s, SAVE_HD | SAVE_FTP | SAVE_OPTIONS);
    FreeItemSettings(s);
    if (saved != STORE_OK) {
        fprintf(stderr, "saving the item failed: %d\n", saved);
        return 1;
    }
    printf("item %s -> %s\n", folder.c_str(), argv[3]);
    return 0;
}
