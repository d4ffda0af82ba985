// Helpers of the transfer tests: targets, restore records, recording windows.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// Saves one more target of the kind for the item and switches the kind on;
// text is the disk folder or the FTP address. Returns the new id.
DWORD AddTarget(const std::string& item, int kind, const std::string& text, BYTE storageType);
bool HasDiskRecord(const std::string& item, const std::string& local, const std::string& stored);

// What reached a recording window: the message, wParam, and for an error
// report its code and subject, for UM_DISKFILESTART the path.
struct SeenMessage {
    UINT msg;
    WPARAM wParam;
    int code;
    std::string text;
};
// A hidden window on the calling thread that keeps every private message.
HWND CreateRecordingWindow();
std::vector<SeenMessage> SeenBy(HWND window, UINT msg);
