// Prepares the registry for the outage benchmark (bench/retry/outage.sh) as an installed program
// finds it, with retrying on:
// outage_setup <install folder> <watched folder> <FTP port> writes the settings and one folder
// item with one anonymous FTP target on 127.0.0.1 whose remote folder is "pub"; "outage_setup
// clear" removes the product key again.
#include "store/store.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "clear") == 0) {
        DeleteProductKey();
        return 0;
    }
    if (argc != 4) {
        fprintf(stderr, "usage: outage_setup <install folder> <watched folder> <port> | clear\n");
        return 2;
    }
    ResetProductKey();
    SetGlobalText("installdir", argv[1]);
    SetGlobalDword("logging", 1);
    SetGlobalDword("showerrors", 0);
    SetGlobalDword("tip", 65535);
    SetGlobalRaw("enabled", REG_BINARY, "", 0);
    const BYTE on = 1;
    SetGlobalRaw(TK_VALUE_RETRYFAILED, REG_BINARY, &on, 1);
    std::string folder = argv[2];
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    ItemSpec spec;
    FtpSpec ftp;
    ftp.port = atoi(argv[3]);
    ftp.folder = "pub";
    ftp.anonymous = 1;
    ftp.password = "";
    spec.ftps = {ftp};
    spec.excludeTemp =
        0;  // the folder lies below /tmp, whose name the filter takes for a temporary
    SeedItem(folder, spec);
    printf("item %s, FTP target 127.0.0.1:%d\n", folder.c_str(), ftp.port);
    return 0;
}
