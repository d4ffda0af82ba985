// Times one FTP batch of the program's client: every file of a local folder to one server.
// ftp_bench FOLDER PORT REMOTEFOLDER [BLOCK]  (anonymous login on 127.0.0.1; prints seconds)
#include <windows.h>
#include <winsock2.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "app/appstate.h"
#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/testenv.h"
#include "transfer/ftp.h"
#include "transfer/ftpsession.h"

namespace {

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case UM_FTPCONTROL:
        OnControlSocketEvent(static_cast<SOCKET>(wp), LOWORD(lp), HIWORD(lp));
        return 0;
    case UM_FTPDATA:
        OnDataSocketEvent(static_cast<SOCKET>(wp), LOWORD(lp), HIWORD(lp));
        return 0;
    default:
        return DefWindowProcA(wnd, msg, wp, lp);
    }
}

void ListFiles(const std::string& folder, std::vector<std::string>* out)
{
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder + "\\" + name, out);
        else
            out->push_back(folder + "\\" + name);
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

bool BatchesLeft()
{
    LockBatches(g_app.live.batches);
    bool any = g_app.live.batches->first != NULL;
    UnlockBatches(g_app.live.batches);
    return any;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: ftp_bench FOLDER PORT REMOTEFOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    if (argc > 4)
        SetFtpUploadBlock(static_cast<DWORD>(atoi(argv[4])));
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);

    ResetProductKey();
    std::string item = folder + "\\";
    CreateItemKey(item.c_str());
    ItemSettings* s = NewItemSettings(item.c_str());
    s->switches->ftpEnabled = 1;
    s->switches->ftpCount = 1;
    FtpTarget* t = s->ftpTargets[0];
    strcpy(t->name, "bench");
    strcpy(t->address, "127.0.0.1");
    lstrcpynA(t->folder, argv[3], TK_PATH_SIZE);
    t->port = static_cast<WORD>(atoi(argv[2]));
    t->anonymous = 1;
    t->storageType = STORAGE_SYNC;
    SaveItemSettings(item.c_str(), s, SAVE_FTP);
    DWORD id = t->id;
    FreeItemSettings(s);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TkFtpBench";
    RegisterClassA(&wc);
    g_app.mainWindow = CreateWindowA("TkFtpBench", "", 0, 0, 0, 10, 10, NULL, NULL,
                                     GetModuleHandleA(NULL), NULL);
    g_app.live.batches = NewBatchList();
    g_app.live.liveStopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);

    std::vector<std::string> files;
    ListFiles(folder, &files);
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);

    FtpJob* batch = NewFtpJob(files[0].c_str(), id);
    batch->mode = WORKER_FOLDER;
    AppendNode(g_app.live.batches, batch);
    int started = StartFtpConnection(g_app.mainWindow, batch);
    if (started != 1) {
        fprintf(stderr, "connect failed: %d\n", started);
        return 1;
    }
    for (const std::string& f : files) {
        FtpJob* job = NewFtpJob(f.c_str(), id);
        job->mode = WORKER_FOLDER;
        AppendFileJob(g_app.live.batches, batch, job);
    }
    while (BatchesLeft()) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    QueryPerformanceCounter(&end);
    printf("%u files %.3f s\n", static_cast<unsigned>(files.size()),
           double(end.QuadPart - start.QuadPart) / freq.QuadPart);
    DeleteProductKey();
    return 0;
}
