// Folder items in the registry, a stand-in main window that records stop requests, and a file tree.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// Creates the item for folder (ending with '\') with one disk target per
// entry of disks and ftps FTP targets.
void MakeFolderItem(const std::string& folder, const std::vector<std::string>& disks, int ftps,
                    bool diskOn = true, bool ftpOn = true, bool deleteStored = false);

// Every UM_STOPTRANSFER the owner receives, as (wParam, progress window).
typedef std::vector<std::pair<WPARAM, HWND>> Stops;
HWND CreateRecordingOwner(int x, int y);
Stops& StopRequests();

// a.txt b.txt c.txt sub\d.txt sub\e.txt below root.
void MakeThreeAndSub(const std::string& root);
