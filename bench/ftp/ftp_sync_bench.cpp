// Times the program's own main window synchronising a folder item to one FTP
// server, with a probe thread that asks the window something every 10 ms.
// ftp_sync_bench FOLDER PORT REMOTEFOLDER [passive] [safe] [tls=FINGERPRINT]   (anonymous on
// 127.0.0.1; safe: each file under a temporary name, then renamed; tls: explicit FTPS with that
// certificate trusted)
// Prints the seconds until "Folder Transfer Complete" and the longest wait of the probe.
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "app/mainwnd.h"
#include "common/messages.h"
#include "resources/resource.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

namespace {

struct Probe {
    HWND window;
    volatile bool stop;
    double longest;  // ms
};

DWORD WINAPI RunProbe(void* param)
{
    Probe* p = static_cast<Probe*>(param);
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    while (!p->stop) {
        QueryPerformanceCounter(&a);
        DWORD_PTR result;
        SendMessageTimeoutA(p->window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        QueryPerformanceCounter(&b);
        double ms = double(b.QuadPart - a.QuadPart) * 1000.0 / double(freq.QuadPart);
        if (ms > p->longest)
            p->longest = ms;
        Sleep(10);
    }
    return 0;
}

// Runs the thread's messages until the folder transfer is complete, waiting as
// the program's own loop does (GetMessage in app/main.cpp: the thread wakes for
// each message). The tests' pump sleeps 5 ms whenever the queue is empty, which
// for small files measured its own sleeps: one or more per file. The window is
// looked for when the queue is empty, at most every 5 ms.
bool RunUntilComplete(DWORD timeoutMs)
{
    enum { LOOK_MS = 5 };
    DWORD start = GetTickCount(), looked = start - LOOK_MS;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD now = GetTickCount();
        if (now - looked >= LOOK_MS) {
            looked = now;
            if (FindWindowA(NULL, "Folder Transfer Complete"))
                return true;
            if (now - start > timeoutMs)
                return false;
        }
        MsgWaitForMultipleObjectsEx(0, NULL, LOOK_MS, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr,
                "usage: ftp_sync_bench FOLDER PORT REMOTEFOLDER [passive] [safe] [tls=PIN]\n");
        return 2;
    }
    std::string folder = argv[1];
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    TempDir install("tkbench");
    ResetProductKey();
    UseInstallDir(install);
    SetGlobalDword("showerrors", 0);
    SetGlobalDword("tip", 0xFFFF);
    FtpSpec ftp;
    ftp.port = atoi(argv[2]);
    ftp.folder = argv[3];
    ftp.anonymous = 1;
    ftp.password = "";
    for (int i = 4; i < argc; ++i) {
        ftp.passive |= std::string(argv[i]) == "passive";
        ftp.safeUpload |= std::string(argv[i]) == "safe";
        if (std::string(argv[i]).compare(0, 4, "tls=") == 0) {
            ftp.tls = 1;
            ftp.fingerprint = std::string(argv[i]).substr(4);
        }
    }
    ItemSpec item;
    item.ftps = {ftp};
    item.diskOn = 0;
    SeedItem(folder, item);
    MessageBoxRecorder boxes;  // no message box may wait for a hand

    HWND main = CreateMainWindow(SW_SHOWNORMAL);
    if (!main) {
        fprintf(stderr, "no main window\n");
        return 1;
    }
    PumpMessages(200);
    ListView_SetItemState(GetDlgItem(main, IDC_MAIN_LIST), 0, LVIS_SELECTED, LVIS_SELECTED);
    Probe probe = {main, false, 0};
    HANDLE thread = CreateThread(NULL, 0, RunProbe, &probe, 0, NULL);
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    SendMessageA(main, WM_COMMAND, IDM_SYNCHRONIZE, 0);
    bool done = RunUntilComplete(3600000);
    QueryPerformanceCounter(&end);
    probe.stop = true;
    PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, 60000);
    printf("%s %.3f s, window longest wait %.1f ms\n", done ? "done" : "NOT DONE",
           double(end.QuadPart - start.QuadPart) / double(freq.QuadPart), probe.longest);
    SendMessageA(main, WM_CLOSE, 0, 0);
    PumpMessages(50);
    DeleteProductKey();
    return done ? 0 : 1;
}
