// The FTP client under test: a recorder as its main window, its lists, and an item folder with an
// FTP target.
#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/ftpservers.h"
#include "tests/support/recorder.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"
#include "transfer/ftp/ftp.h"
#include "transfer/ftp/ftpbatch.h"

inline bool Has(const std::vector<std::string>& v, const std::string& item)
{
    return std::count(v.begin(), v.end(), item) != 0;
}

class FtpTest : public ::testing::Test {
protected:
    FtpTest()
        : main([](HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
              *result = OnFtpClientMessage(msg, wp, lp);
              return *result != FALSE;
          })
    {
        WSADATA wsa;  // the program starts Winsock in its main window; here each test does
        WSAStartup(MAKEWORD(1, 1), &wsa);
        ResetProductKey();
        UseInstallDir(install);
        SetGlobalDword("showerrors", 0);
        EXPECT_TRUE(CreateItemKey(itemPath.c_str()));
        InitFtpClient({main.window(), batches, main.window(), queue, workEvent, stopEvent});
    }
    ~FtpTest() override
    {
        StopAllTransfers();
        PumpMessages(20);
        ShutDownFtpClient();
        InitFtpClient({});
        FreeBatchList(batches);
        FreeRequestQueue(queue);
        CloseHandle(workEvent);
        CloseHandle(stopEvent);
        DeleteProductKey();
    }
    void SetUp() override
    {
        ASSERT_NE(0, ServerPort("normal")) << "FTP test servers are not running";
    }

    // Adds an FTP target on a test server to the item; returns its id.
    DWORD Target(const char* server, const char* folder, FtpSpec spec = FtpSpec())
    {
        spec.port = ServerPort(server);
        spec.folder = folder;
        SeededIds ids = SeedItem(itemPath, ItemSpec{{}, {spec}});
        return ids.ftps.empty() ? 0 : ids.ftps[0];
    }
    // A file below the item folder; returns its full path.
    std::string MakeFile(const std::string& relative, const std::string& bytes)
    {
        std::string path = item / relative;
        MakeDirs(path.substr(0, path.rfind('\\')));
        EXPECT_TRUE(WriteFileBytes(path, bytes));
        return path;
    }
    // What the worker does: one batch with these files, connected. Returns StartFtpConnection's
    // code.
    int StartUpload(const std::vector<std::string>& paths, DWORD targetId,
                    HWND progressWindow = NULL)
    {
        FtpBatch* batch = NewFtpBatch(paths[0].c_str(), targetId, FTP_UPLOAD,
                                      progressWindow ? WORKER_FOLDER : WORKER_LIVE, progressWindow);
        for (const std::string& p : paths)
            AddFileJob(batch, NewFtpJob(p.c_str()));
        int result = StartFtpConnection(batch);
        if (result != ERR_SUCCESS)
            FreeFtpBatch(batch);
        return result;
    }
    // Uploads to a scripted server until the batch ends and returns its commands, PORT arguments
    // left out.
    std::vector<std::string> Run(const char* server, const char* folder,
                                 const std::vector<std::string>& paths, FtpSpec spec = FtpSpec(),
                                 int timeoutMs = 30000)
    {
        DWORD id = Target(server, folder, spec);
        ClearCommands(server);
        EXPECT_EQ(ERR_SUCCESS, StartUpload(paths, id));
        EXPECT_TRUE(WaitForBatches(timeoutMs));
        std::vector<std::string> out;
        for (const std::string& c : ServerCommands(server))
            out.push_back(c.compare(0, 5, "PORT ") == 0 ? "PORT" : c);
        return out;
    }
    bool WaitForBatches(int timeoutMs = 30000)
    {
        return PumpUntil([this] { return !HasBatches(batches); }, timeoutMs);
    }
    FtpBatch* FirstBatch()
    {
        return batches->first;
    }  // no worker runs: the list changes on this thread only
    std::vector<std::pair<std::string, std::string>> Records()
    {
        return RestoreRecords(itemPath, KIND_FTP);
    }
    std::string BackupLog() { return ReadFileBytes(install / "backuplog.txt"); }
    std::string ErrorLog() { return ReadFileBytes(install / "errorlog.txt"); }
    // The start of a code's message, as the error log has it.
    static std::string Message(int code)
    {
        char text[1280] = "";
        LoadStringA(GetModuleHandleA(NULL), MapErrorCode(code), text, sizeof text);
        return std::string(text).substr(0, 200);
    }

    TempDir install{"tkftpi"};
    TempDir item{"tkftp"};
    std::string itemPath = item.path() + "\\";
    BatchList* batches = NewBatchList();
    RequestQueue* queue = NewRequestQueue();
    HANDLE workEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    HANDLE stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    Recorder main;      // the client's window: socket messages go on to the client
    Recorder progress;  // a folder transfer's progress window
};
