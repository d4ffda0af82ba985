// Prepares the registry and the state files for the start benchmark (bench/start/run.sh) as an
// installed program finds them, with the catch-up on:
//   start_setup disk <install folder> <tree> <stored> <items>
// writes the settings and one item per folder <tree>\d0\ ... with one disk target
// <stored>\d<n> of storage type 1;
//   start_setup full <install folder> <tree> <items> <FTP port>
// one item per folder with one FTP target on 127.0.0.1:<port> (nothing listens there), retrying
// on, and fills pendingcopies.dat (a copy of every file waiting for its FTP target) and
// storedstate.dat (every file's version as last stored there) through the program's own store;
//   start_setup clear
// removes the product key again.
#include "store/pending.h"
#include "store/storedstate.h"
#include "store/store.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

void WriteSettings(const char* install, bool retrying)
{
    ResetProductKey();
    SetGlobalText("installdir", install);
    SetGlobalDword("logging", 1);
    SetGlobalDword("showerrors", 0);
    SetGlobalDword("tip", 65535);
    SetGlobalRaw("enabled", REG_BINARY, "", 0);  // monitoring on: the value's presence
    const BYTE on = 1, off = 0;
    SetGlobalRaw(TK_VALUE_CATCHUP, REG_BINARY, &on, 1);
    SetGlobalRaw(TK_VALUE_RETRYFAILED, REG_BINARY, retrying ? &on : &off, 1);
}

std::string ItemPath(const std::string& tree, int i)
{
    return tree + "\\d" + std::to_string(i) + "\\";
}

// The files of one item folder (no subfolders) with their versions.
std::vector<std::pair<std::string, FileVersion>> FilesOf(const std::string& folder)
{
    std::vector<std::pair<std::string, FileVersion>> files;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        FileVersion v;
        v.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        v.lastWrite = (static_cast<ULONGLONG>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                      data.ftLastWriteTime.dwLowDateTime;
        files.push_back({folder + data.cFileName, v});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return files;
}

int Disk(const char* install, const std::string& tree, const std::string& stored, int items)
{
    WriteSettings(install, false);
    for (int i = 0; i < items; ++i) {
        ItemSpec spec{{DiskSpec{stored + "\\d" + std::to_string(i)}}, {}};
        spec.excludeTemp = 0;  // the tree lies below /tmp, which looks like a temporary folder
        SeedItem(ItemPath(tree, i), spec);
    }
    printf("%d items with one disk target each\n", items);
    return 0;
}

int Full(const char* install, const std::string& tree, int items, int port)
{
    WriteSettings(install, true);
    std::string dir = install;
    PendingList* list = OpenPendingList((dir + "\\" TK_PENDING_FILE).c_str());
    StoredState* state = OpenStoredState((dir + "\\" TK_STORED_FILE).c_str());
    if (!list || !state) {
        fprintf(stderr, "out of memory\n");
        return 1;
    }
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG when = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    size_t pending = 0;
    for (int i = 0; i < items; ++i) {
        FtpSpec ftp;
        ftp.port = port;
        ftp.anonymous = 1;
        ftp.password = "";
        ItemSpec spec{{}, {ftp}};
        spec.excludeTemp = 0;
        std::string item = ItemPath(tree, i);
        SeededIds ids = SeedItem(item, spec);
        if (ids.ftps.empty())
            return 1;
        DWORD id = ids.ftps[0];
        WORD length = static_cast<WORD>(item.size());
        MarkTargetRecorded(state, item.c_str(), KIND_FTP, id);
        std::vector<std::pair<std::string, FileVersion>> files = FilesOf(item);
        std::vector<PendingFailure> failures;
        std::vector<VersionCheck> versions;
        for (const auto& f : files) {
            // The server refused the connection: the target waits as a whole.
            failures.push_back(PendingFailure{f.first.c_str(), KIND_FTP, id, length, 9, 2, 0, 0});
            versions.push_back(
                VersionCheck{f.first.c_str(), length, f.second, KIND_FTP, id, false});
        }
        NotePendingFailures(list, failures.data(), failures.size(), when);
        CheckStoredVersions(state, versions.data(), versions.size(), true);
        pending += failures.size();
    }
    printf("%d items with one FTP target each; %ld pending copies, %lu stored versions\n", items,
           CountPendingCopies(list), static_cast<unsigned long>(CountStoredVersions(state)));
    ClosePendingList(list);
    CloseStoredState(state);
    return pending ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && strcmp(argv[1], "clear") == 0) {
        DeleteProductKey();
        return 0;
    }
    if (argc == 6 && strcmp(argv[1], "disk") == 0)
        return Disk(argv[2], argv[3], argv[4], atoi(argv[5]));
    if (argc == 6 && strcmp(argv[1], "full") == 0)
        return Full(argv[2], argv[3], atoi(argv[4]), atoi(argv[5]));
    fprintf(stderr, "usage: start_setup disk <install> <tree> <stored> <items>\n"
                    "       start_setup full <install> <tree> <items> <FTP port>\n"
                    "       start_setup clear\n");
    return 2;
}
