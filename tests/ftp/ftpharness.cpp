// The FTP client under test.
#include "transfer/ftpbatch.h"
#include "tests/ftp/ftpharness.h"

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/windows.h"

FtpTest::FtpTest()
    : main([](HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
          *result = OnFtpClientMessage(msg, wp, lp);
          return *result != FALSE;
      })
{
    static WSADATA wsa;
    static int started = WSAStartup(MAKEWORD(1, 1), &wsa);
    (void)started;
    ResetProductKey();
    UseInstallDir(install);
    SetGlobalDword("showerrors", 0);
    itemPath = item.path() + "\\";
    EXPECT_TRUE(CreateItemKey(itemPath.c_str()));
    batches = NewBatchList();
    queue = NewRequestQueue();
    workEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    InitFtpClient({main.window(), batches, main.window(), queue, workEvent, stopEvent});
}

FtpTest::~FtpTest()
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

DWORD FtpTest::Target(const char* server, const char* folder, FtpSpec spec)
{
    spec.port = ServerPort(server);
    spec.folder = folder;
    ItemSpec seed;
    seed.ftps = {spec};
    SeededIds ids = SeedItem(itemPath, seed);
    return ids.ftps.empty() ? 0 : ids.ftps[0];
}

std::string FtpTest::MakeFile(const std::string& relative, const std::string& bytes)
{
    std::string path = item / relative;
    MakeDirs(path.substr(0, path.rfind('\\')));
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
}

int FtpTest::StartUpload(const std::vector<std::string>& paths, DWORD targetId, HWND progressWindow)
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

std::vector<std::string> FtpTest::Run(const char* server, const char* folder,
                                      const std::vector<std::string>& paths, FtpSpec spec)
{
    DWORD id = Target(server, folder, spec);
    ClearCommands(server);
    EXPECT_EQ(ERR_SUCCESS, StartUpload(paths, id));
    EXPECT_TRUE(WaitForBatches());
    std::vector<std::string> out;
    for (const std::string& c : ServerCommands(server))
        out.push_back(c.compare(0, 5, "PORT ") == 0 ? "PORT" : c);
    return out;
}

bool FtpTest::WaitForBatches(int timeoutMs)
{
    return PumpUntil([this] { return !HasBatches(batches); }, timeoutMs);
}

FtpBatch* FtpTest::FirstBatch()
{
    LockBatches(batches);
    FtpBatch* first = batches->first;
    UnlockBatches(batches);
    return first;
}

std::vector<std::pair<std::string, std::string>> FtpTest::Records()
{
    return RestoreRecords(itemPath, KIND_FTP);
}

std::string FtpTest::BackupLog()
{
    return ReadFileBytes(install / "backuplog.txt");
}

std::string FtpTest::ErrorLog()
{
    return ReadFileBytes(install / "errorlog.txt");
}

std::string FtpTest::Message(int code)
{
    char text[1280] = "";
    LoadStringA(GetModuleHandleA(NULL), MapErrorCode(code), text, sizeof text);
    return std::string(text).substr(0, 200);
}
