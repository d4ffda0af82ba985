// A main window for the FTP client under test, the test servers' ports and files, and item setup.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/testenv.h"
#include "transfer/queue.h"

// Windows path of a file in the test servers' state folder (ports, logs, roots).
std::string ServerStatePath(const std::string& relative);
// Port of a scripted server ("normal", "split", ..., "vsftpd"); 0 when unknown.
int ServerPort(const char* name);
// Commands the scripted server received since the last ClearCommands.
std::vector<std::string> ServerCommands(const char* name);
void ClearCommands(const char* name);
// File stored by the pyftpdlib servers (remote path below their root).
std::string StoredFile(const std::string& remote);

struct TargetSpec {
    int port = 0;
    std::string address = "127.0.0.1";
    std::string folder = "/up";
    std::string user = "tk";
    std::string password = "secret";
    BYTE storageType = 1;
    BYTE anonymous = 0;
};

// What the main window saw while a test ran.
struct Observed {
    std::vector<std::string> replies;    // UM_FTPREPLY lines
    std::vector<std::string> status;     // status-line texts
    std::vector<std::string> trayTips;   // tray tips, in order
    std::vector<UINT> progress;          // messages at the progress window
};
extern Observed g_seen;

// A folder item in a temporary folder with one FTP target; a test window as
// the main window, with a status line, a replies window and a batch list.
class FtpFixtureBase {
public:
    FtpFixtureBase();
    ~FtpFixtureBase();
    // Saves the item's one FTP target; returns its id.
    DWORD SetTarget(const TargetSpec& spec);
    // Writes a file below the item folder; returns its full path.
    std::string MakeFile(const std::string& relative, const std::string& bytes);
    // Does what the worker does: batch, connect, file jobs. Returns the
    // connect's result; the batch runs on when it is 1.
    int StartUpload(const std::vector<std::string>& paths, DWORD targetId, HWND progress = NULL);
    // Pumps until no batch is left; false on time-out.
    bool WaitForBatches(int timeoutMs = 30000);
    static FtpJob* FirstBatch();
    // Restore records of the item's FTP key: value name -> data.
    std::vector<std::pair<std::string, std::string>> FtpRecords();
    std::string BackupLog();
    std::string ErrorLog();

    TempDir install;
    TempDir item;
    std::string itemPath;  // with a trailing backslash
    HWND progressWindow;
};

std::string RandomBytes(size_t size, unsigned seed);
// Equality of two byte strings, reported by size and first difference.
::testing::AssertionResult SameBytes(const std::string& want, const std::string& got);
// Count of lines of text equal to line.
int CountLines(const std::string& text, const std::string& line);
