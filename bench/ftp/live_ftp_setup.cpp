// Prepares the registry the way an installed program finds it, for the large
// file to an FTP target (bench/ftp/rename.sh):
//   live_ftp_setup <install folder> <watched folder> <port> <remote folder>
// writes the settings and one folder item with one FTP target (anonymous, active mode, on
// 127.0.0.1) and no disk target; "live_ftp_setup clear" removes the product key again.
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
    if (argc != 5) {
        fprintf(stderr, "usage: live_ftp_setup <install folder> <watched folder> <port> <remote "
                        "folder> | clear\n");
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
    FtpSpec ftp;
    ftp.port = atoi(argv[3]);
    ftp.folder = argv[4];
    ftp.anonymous = 1;
    ftp.password = "";
    ItemSpec item;
    item.ftps = {ftp};
    item.diskOn = 0;
    item.excludeTemp = 0;  // as bench/live's item: every file counts
    SeedItem(folder, item);
    printf("item %s -> ftp://127.0.0.1:%s/%s\n", folder.c_str(), argv[3], argv[4]);
    return 0;
}
