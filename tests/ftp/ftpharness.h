// The FTP client under test: a recorder as its main window, its lists, and an item folder with an FTP target.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/ftpservers.h"
#include "tests/support/recorder.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "transfer/ftp.h"

class FtpTest : public ::testing::Test {
protected:
    FtpTest();
    ~FtpTest() override;
    void SetUp() override { ASSERT_NE(0, ServerPort("normal")) << "FTP test servers are not running"; }

    // Adds an FTP target on a test server to the item; returns its id.
    DWORD Target(const char* server, const char* folder, FtpSpec spec = FtpSpec());
    // A file below the item folder; returns its full path.
    std::string MakeFile(const std::string& relative, const std::string& bytes);
    // What the worker does: one batch with these files, connected. Returns
    // StartFtpConnection's code.
    int StartUpload(const std::vector<std::string>& paths, DWORD targetId, HWND progress = NULL);
    // Uploads to a scripted server and returns its commands, PORT arguments left out.
    std::vector<std::string> Run(const char* server, const char* folder,
                                 const std::vector<std::string>& paths, FtpSpec spec = FtpSpec());
    bool WaitForBatches(int timeoutMs = 30000);
    FtpBatch* FirstBatch();
    std::vector<std::pair<std::string, std::string>> Records();
    std::string BackupLog();
    std::string ErrorLog();
    // The start of a code's message, as the error log has it.
    static std::string Message(int code);

    TempDir install{"tkftpi"};
    TempDir item{"tkftp"};
    std::string itemPath;  // with a trailing backslash
    BatchList* batches;
    RequestQueue* queue;
    HANDLE workEvent;
    HANDLE stopEvent;
    Recorder main;      // the client's window: socket messages go on to the client
    Recorder progress;  // a folder transfer's progress window
};
