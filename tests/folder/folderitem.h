// Folder items with targets in the registry, and an owner window that records stop requests.
#pragma once
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct FolderItemSpec {
    std::vector<std::string> diskFolders;
    int ftpTargets = 0;
    bool diskEnabled = true;
    bool ftpEnabled = true;
    bool includeSubs = true;
    bool deleteStored = false;
};

// Creates the item key for folder (ending with '\') with its targets and switches.
void MakeFolderItem(const std::string& folder, const FolderItemSpec& spec);

// A top-level window standing in for the main window: it keeps every
// UM_STOPTRANSFER it receives as (wParam, lParam).
HWND CreateRecordingOwner(int x, int y);
std::vector<std::pair<WPARAM, HWND>>& StopRequests();
