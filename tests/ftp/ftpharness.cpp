// A main window for the FTP client under test, the test servers' ports and files, and item setup.
#include "tests/ftp/ftpharness.h"

#include "app/appstate.h"
#include "common/messages.h"
#include "app/tray.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/windows.h"
#include "transfer/ftp.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <random>
#include <sstream>

Observed g_seen;

namespace {

std::string StateFolder()
{
    const char* unix = getenv("TK_FTP_STATE");
    std::string path = "Z:";
    for (const char* p = unix ? unix : ""; *p; ++p)
        path += *p == '/' ? '\\' : *p;
    return path;
}

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case UM_FTPCONTROL:
        OnControlSocketEvent(static_cast<SOCKET>(wp), LOWORD(lp), HIWORD(lp));
        return 0;
    case UM_FTPDATA:
        OnDataSocketEvent(static_cast<SOCKET>(wp), LOWORD(lp), HIWORD(lp));
        return 0;
    case UM_REPORTERROR:
        ReportError(reinterpret_cast<const ErrorReport*>(lp));
        return 1;
    case UM_STOPTRANSFER:
        if (wp == 1)
            StopFtpBatches(reinterpret_cast<HWND>(lp));
        return 1;
    default:
        return DefWindowProcA(wnd, msg, wp, lp);
    }
}

LRESULT CALLBACK RecorderProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == UM_FTPREPLY && lp)
        g_seen.replies.push_back(reinterpret_cast<const char*>(lp));
    else if (msg == WM_SETTEXT && wnd == g_app.statusBar && lp)
        g_seen.status.push_back(reinterpret_cast<const char*>(lp));
    else if (msg >= UM_FTPFILEDONE && msg <= UM_SETCAPTION)
        g_seen.progress.push_back(msg);
    return DefWindowProcA(wnd, msg, wp, lp);
}

BOOL RecordTray(DWORD, NOTIFYICONDATAA* data)
{
    g_seen.trayTips.push_back(data->szTip);
    return TRUE;
}

HWND MakeWindow(const char* cls, WNDPROC proc)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = cls;
    RegisterClassA(&wc);
    return CreateWindowA(cls, "", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, NULL, NULL,
                         GetModuleHandleA(NULL), NULL);
}

}  // namespace

std::string ServerStatePath(const std::string& relative)
{
    std::string rel = relative;
    for (char& c : rel)
        if (c == '/')
            c = '\\';
    return StateFolder() + "\\" + rel;
}

int ServerPort(const char* name)
{
    std::istringstream in(ReadFileBytes(ServerStatePath("ports.txt")));
    std::string key;
    int port = 0;
    while (in >> key >> port)
        if (key == name)
            return port;
    return 0;
}

std::vector<std::string> ServerCommands(const char* name)
{
    std::vector<std::string> out;
    std::istringstream in(ReadFileBytes(ServerStatePath(std::string("commands-") + name + ".log")));
    std::string line;
    while (std::getline(in, line))
        out.push_back(line);
    return out;
}

void ClearCommands(const char* name)
{
    DeleteFileA(ServerStatePath(std::string("commands-") + name + ".log").c_str());
}

std::string StoredFile(const std::string& remote)
{
    return ReadFileBytes(ServerStatePath("pyroot" + remote));
}

FtpFixtureBase::FtpFixtureBase() : install("tkftpi"), item("tkftp"), progressWindow(NULL)
{
    static bool started = false;
    if (!started) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(1, 1), &wsa);
        started = true;
    }
    ResetProductKey();
    UseInstallDir(install);
    SetGlobalDword("showerrors", 0);
    itemPath = item.path() + "\\";
    EXPECT_EQ(1, CreateItemKey(itemPath.c_str()));

    g_seen = Observed();
    g_app.mainWindow = MakeWindow("TkFtpTestMain", MainProc);
    g_app.statusBar = MakeWindow("TkFtpTestRecorder", RecorderProc);
    g_app.repliesWindow = MakeWindow("TkFtpTestRecorder", RecorderProc);
    progressWindow = MakeWindow("TkFtpTestRecorder", RecorderProc);
    g_app.live.batches = NewBatchList();
    g_app.live.liveStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    SetTrayHook(RecordTray);
    InitFtpClient(g_app.mainWindow, g_app.live.batches, g_app.repliesWindow);
}

FtpFixtureBase::~FtpFixtureBase()
{
    StopAllTransfers();
    PumpMessages(20);
    SetTrayHook(NULL);
    DestroyWindow(progressWindow);
    DestroyWindow(g_app.repliesWindow);
    DestroyWindow(g_app.statusBar);
    DestroyWindow(g_app.mainWindow);
    FreeBatchList(g_app.live.batches);
    CloseHandle(g_app.live.liveStopEvent);
    g_app.mainWindow = g_app.statusBar = g_app.repliesWindow = NULL;
    g_app.live.batches = NULL;
    g_app.live.liveStopEvent = NULL;
    DeleteProductKey();
}

DWORD FtpFixtureBase::SetTarget(const TargetSpec& spec)
{
    ItemSettings* s = NewItemSettings(itemPath.c_str());
    s->switches->ftpEnabled = 1;
    s->switches->ftpCount = 1;
    FtpTarget* f = s->ftpTargets[0];
    lstrcpynA(f->name, "test server", TK_FTPTEXT_SIZE);
    lstrcpynA(f->address, spec.address.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(f->userName, spec.user.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(f->password, spec.password.c_str(), TK_FTPTEXT_SIZE);
    lstrcpynA(f->folder, spec.folder.c_str(), TK_PATH_SIZE);
    f->port = static_cast<WORD>(spec.port);
    f->storageType = spec.storageType;
    f->anonymous = spec.anonymous;
    EXPECT_EQ(1, SaveItemSettings(itemPath.c_str(), s, SAVE_FTP));
    DWORD id = f->id;
    FreeItemSettings(s);
    return id;
}

std::string FtpFixtureBase::MakeFile(const std::string& relative, const std::string& bytes)
{
    std::string path = item / relative;
    size_t cut = path.rfind('\\');
    MakeDirs(path.substr(0, cut));
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
}

int FtpFixtureBase::StartUpload(const std::vector<std::string>& paths, DWORD targetId,
                                HWND progress)
{
    BatchList* list = g_app.live.batches;
    FtpJob* batch = NewFtpJob(paths[0].c_str(), targetId);
    batch->direction = FTP_UPLOAD;
    batch->mode = progress ? WORKER_FOLDER : WORKER_LIVE;
    batch->progressWindow = progress;
    AppendNode(list, batch);
    int result = StartFtpConnection(g_app.mainWindow, batch);
    if (result != 1) {
        RemoveFtpJob(list, batch);
        return result;
    }
    for (const std::string& p : paths) {
        FtpJob* file = NewFtpJob(p.c_str(), targetId);
        file->mode = batch->mode;
        AppendFileJob(list, batch, file);
    }
    return result;
}

bool FtpFixtureBase::WaitForBatches(int timeoutMs)
{
    return PumpUntil([] { return FirstBatch() == NULL; }, timeoutMs);
}

FtpJob* FtpFixtureBase::FirstBatch()
{
    LockBatches(g_app.live.batches);
    FtpJob* first = g_app.live.batches->first;
    UnlockBatches(g_app.live.batches);
    return first;
}

std::vector<std::pair<std::string, std::string>> FtpFixtureBase::FtpRecords()
{
    std::vector<std::pair<std::string, std::string>> out;
    HKEY key = NULL;
    if (!OpenItemKey(itemPath.c_str(), NULL, &key))
        return out;
    HKEY ftp = NULL;
    if (RegOpenKeyExA(key, "FTP", 0, KEY_READ, &ftp) == ERROR_SUCCESS) {
        for (DWORD i = 0;; ++i) {
            char name[1024], data[1024];
            DWORD nameLen = sizeof name, dataLen = sizeof data - 1, type = 0;
            if (RegEnumValueA(ftp, i, name, &nameLen, NULL, &type,
                              reinterpret_cast<BYTE*>(data), &dataLen) != ERROR_SUCCESS)
                break;
            data[dataLen] = '\0';
            out.emplace_back(name, data);
        }
        RegCloseKey(ftp);
    }
    RegCloseKey(key);
    return out;
}

std::string FtpFixtureBase::BackupLog()
{
    return ReadFileBytes(install / "backuplog.txt");
}

std::string FtpFixtureBase::ErrorLog()
{
    return ReadFileBytes(install / "errorlog.txt");
}

std::string RandomBytes(size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (char& c : out)
        c = static_cast<char>(gen() & 0xFF);
    return out;
}

int CountLines(const std::string& text, const std::string& line)
{
    int n = 0;
    size_t pos = 0;
    while ((pos = text.find(line, pos)) != std::string::npos) {
        ++n;
        pos += line.size();
    }
    return n;
}

::testing::AssertionResult SameBytes(const std::string& want, const std::string& got)
{
    if (want == got)
        return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at])
        ++at;
    return ::testing::AssertionFailure() << "want " << want.size() << " bytes, got " << got.size()
                                         << ", first difference at " << at;
}
