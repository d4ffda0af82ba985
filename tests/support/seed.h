// The one way tests set up a monitored item with its targets and options, through the item store.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct DiskSpec {
    std::string folder;
    BYTE storage = 1;
};

struct FtpSpec {
    int port = 21;
    std::string address = "127.0.0.1";
    std::string folder = "/up";
    std::string user = "tk";
    std::string password = "secret";
    std::string name;  // the address when empty
    BYTE storage = 1;
    BYTE anonymous = 0;
    BYTE passive = 0;
    BYTE safeUpload = 0;
    BYTE tls = 0;
    std::string fingerprint = "";  // ftp_tlsfingerprint
};

struct ItemSpec {
    std::vector<DiskSpec> disks;
    std::vector<FtpSpec> ftps;
    BYTE diskOn = 1;
    BYTE ftpOn = 1;
    BYTE includeSubs = 1;
    BYTE excludeTemp = 1;
    BYTE deleteStored = 0;
    DWORD sizeLimit = 0;  // kilobytes
};

struct SeededIds {
    std::vector<DWORD> disks;
    std::vector<DWORD> ftps;
};

// Creates the item key for path (a folder ends with '\') and saves the
// options and the targets of spec, in order. The ids the store gave them
// come back; a failure fails the calling test.
SeededIds SeedItem(const std::string& path, const ItemSpec& spec);

// Restore records of an item: (value name, data) of its FTP (kind 1) or HD
// (kind 2) key, in the registry's order.
std::vector<std::pair<std::string, std::string>> RestoreRecords(const std::string& path, int kind);
