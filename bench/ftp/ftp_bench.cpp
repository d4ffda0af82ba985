// Times one FTP batch of the program's client: every file of a local folder to one server.
// ftp_bench FOLDER PORT REMOTEFOLDER  (anonymous login on 127.0.0.1; prints the seconds taken
// and the longest time the window's thread was busy in one go)
// ftp_bench FOLDER PORT REMOTEFILE get: downloads one file into FOLDER, as a restore does.
// Further words: "passive" for passive mode, "tls=FINGERPRINT" for explicit FTPS with that
// certificate trusted.
#include <windows.h>
#include <winsock2.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "log/errors.h"
#include "store/store.h"
#include "tests/support/seed.h"
#include "tests/support/testenv.h"
#include "transfer/ftp/ftp.h"

namespace {

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (OnFtpClientMessage(msg, wp, lp))
        return 0;
    return DefWindowProcA(wnd, msg, wp, lp);
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

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to, const LARGE_INTEGER& freq)
{
    return double(to.QuadPart - from.QuadPart) / double(freq.QuadPart);
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
    WSADATA wsa;
    WSAStartup(MAKEWORD(1, 1), &wsa);

    ResetProductKey();
    std::string item = folder + "\\";
    FtpSpec spec;
    spec.port = atoi(argv[2]);
    spec.folder = argv[3];
    spec.anonymous = 1;
    spec.password = "";
    for (int i = 4; i < argc; ++i) {
        std::string word = argv[i];
        spec.passive = spec.passive || word == "passive";
        if (word.compare(0, 4, "tls=") == 0) {
            spec.tls = 1;
            spec.fingerprint = word.substr(4);
        }
    }
    ItemSpec seed;
    seed.ftps = {spec};
    DWORD id = SeedItem(item, seed).ftps[0];

    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TkFtpBench";
    RegisterClassA(&wc);
    HWND window =
        CreateWindowA("TkFtpBench", "", 0, 0, 0, 10, 10, NULL, NULL, GetModuleHandleA(NULL), NULL);
    BatchList* batches = NewBatchList();
    InitFtpClient({window, batches, NULL, NULL, NULL, NULL});

    std::vector<std::string> files;
    bool download = argc > 4 && std::string(argv[4]) == "get";
    if (download) {
        SetGlobalText("restorefolder", folder.c_str());
        files.push_back(argv[3]);
    } else {
        ListFiles(folder, &files);
    }
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    int started;
    if (download) {
        std::string location = "anonymous:<password>@127.0.0.1:" + std::string(argv[2]);
        started = StartFtpDownload(item.c_str(), argv[3], location.c_str());
    } else {
        FtpBatch* batch = NewFtpBatch(files[0].c_str(), id, FTP_UPLOAD, WORKER_FOLDER, NULL);
        for (const std::string& f : files)
            AddFileJob(batch, NewFtpJob(f.c_str()));
        started = StartFtpConnection(batch);
    }
    if (started != ERR_SUCCESS) {
        fprintf(stderr, "connect failed: %d\n", started);
        return 1;
    }
    double longest = 0;
    while (HasBatches(batches)) {
        MsgWaitForMultipleObjects(0, NULL, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            LARGE_INTEGER a, b;
            QueryPerformanceCounter(&a);
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            QueryPerformanceCounter(&b);
            if (Seconds(a, b, freq) > longest)
                longest = Seconds(a, b, freq);
        }
    }
    QueryPerformanceCounter(&end);
    printf("%u files %.3f s, longest message %.1f ms\n", static_cast<unsigned>(files.size()),
           Seconds(start, end, freq), longest * 1000);
    DeleteProductKey();
    return 0;
}
