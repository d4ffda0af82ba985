// Helpers of the transfer tests: items with targets, recording windows, worker threads.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "transfer/queue.h"

// Saves one more target for the item, switching its kind on; returns its id.
DWORD AddDiskTarget(const std::string& item, const std::string& folder, BYTE storageType);
DWORD AddFtpTarget(const std::string& item, const char* name, const char* address);
// Restore records of the item's HD key: local*stored -> data.
std::map<std::string, std::string> DiskRecords(const std::string& item);

// One message that reached a recording window, with the text it pointed to
// (the report's subject, or the path of UM_DISKFILESTART).
struct SeenMessage {
    UINT msg;
    WPARAM wParam;
    int code;
    std::string text;
};
// A hidden window on the calling thread that keeps every private message.
HWND CreateRecordingWindow();
std::vector<SeenMessage> SeenBy(HWND window, UINT msg);

// Starts TransferWorker on a copy of start; the handle ends with the thread.
HANDLE StartWorker(const WorkerStart& start);
// Pumps messages until the thread ends; true when it did.
bool PumpUntilEnded(HANDLE thread, int timeoutMs);
