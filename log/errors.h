// Error codes, the record that carries one error to the user, and their messages.
#pragma once
#include <windows.h>

enum ErrorCode {
    ERR_SUCCESS = 1,
    ERR_NO_SETTINGS = 2,
    ERR_FTP_NOT_ENABLED = 3,
    ERR_TCPIP = 4,
    ERR_HOST_NOT_RESOLVED = 5,
    ERR_FTP_REJECTED = 6,
    ERR_FILE_OPERATION = 7,
    ERR_NO_MEMORY = 8,
    ERR_CANNOT_CONNECT = 9,
    ERR_GENERIC = 10,
    ERR_SOURCE_OPEN = 11,
    ERR_DEST_OPEN = 12,
    ERR_NAME_NOT_SHOWN = 13,  // a file name with characters outside the system's code page
    ERR_RENAME_REFUSED = 14,  // a server that takes no temporary name or no rename
    // Encrypted FTP; the report's detail says which step failed and what to do.
    ERR_TLS_REFUSED = 15,  // refused for good: no AUTH TLS, a certificate not trusted, no TLS here
    ERR_TLS_FAILED = 16,   // broke off: a dropped handshake, a connection cut without TLS's close
};

enum { ERROR_SUBJECT_SIZE = 256 };

// One error for the error log and an error window. Passed by address and
// only read during the call that receives it.
struct ErrorReport {
    int code;
    char subject[ERROR_SUBJECT_SIZE];  // file path or server address
    // Optional text of ours shown under the code's message and logged after
    // it (lines end with CR LF); NULL for none. The sender's, like the report.
    const char* detail;
};

// Fills a report without a detail; the subject is cut to 255 characters.
void FillErrorReport(ErrorReport* report, int code, const char* subject);

// String-table ID of a code's message; unknown codes map to the generic one.
int MapErrorCode(int code);

// Reads (write 0) or writes (write 1) the showerrors value. 1 on success, 0
// when the product key cannot be opened. A missing value leaves *value as is.
int ShowErrorsSetting(DWORD* value, int write);

// The main window that owns error windows (set once at start-up).
void SetErrorWindowOwner(HWND owner);

// Logs the code's message to the error log, then opens an error window
// unless error windows are switched off or six already stand. Main thread only.
void ReportError(const ErrorReport* report);
// Only the error log's lines of a report: for a failure the user has seen a
// window of already.
void LogErrorReport(const ErrorReport* report);

// Number of error windows open now.
int OpenErrorWindowCount(void);
