// Control codes and message values of the file-change monitor protocol.
#pragma once
#include <windows.h>

// NT family: buffered-method codes of device type 0x22 with read and write access.
enum : DWORD {
    MONITOR_WATCH_PATH = 0x22E004,  // in: path text, upper case, no terminator
    MONITOR_FORGET_ALL = 0x22E00C,  // no data
    MONITOR_SET_EVENT = 0x22E010,   // input length: the notification event's handle value
    MONITOR_READ_PATH = 0x22E018,   // out: one changed path, zero-terminated, 260 bytes
};

// Windows 9x family: plain numbers, no returned byte count.
enum : DWORD {
    MONITOR9X_SET_WINDOW = 10,  // input length: window handle; output length: message number
    MONITOR9X_RENEW = 20,       // reread the item keys
    MONITOR9X_RELEASE = 30,     // input pointer: a path posted earlier
};

enum { MONITOR_PATH_SIZE = 260 };
