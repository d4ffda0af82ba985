// Helpers of the transfer tests.
#include "tests/transfer/transferenv.h"

#include "app/messages.h"
#include "log/errors.h"
#include "store/store.h"
#include "tests/support/windows.h"
#include "transfer/worker.h"

#include <stdlib.h>
#include <string.h>

namespace {
std::map<HWND, std::vector<SeenMessage>> g_seen;

LRESULT CALLBACK RecordProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg < WM_USER)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    SeenMessage seen{msg, wParam, 0, ""};
    if (msg == UM_REPORTERROR && lParam) {
        const ErrorReport* report = reinterpret_cast<const ErrorReport*>(lParam);
        seen.code = report->code;
        seen.text = report->subject;
    } else if (msg == UM_DISKFILESTART && lParam) {
        seen.text = reinterpret_cast<const char*>(lParam);
    }
    g_seen[wnd].push_back(seen);
    return TRUE;
}

DWORD WINAPI RunWorker(void* start)
{
    TransferWorker(start);
    return 0;
}
} // namespace

DWORD AddDiskTarget(const std::string& item, const std::string& folder, BYTE storageType)
{
    ItemSettings* s = NewItemSettings(item.c_str());
    s->switches->hdEnabled = 1;
    s->switches->hdCount = 1;
    lstrcpynA(s->hdTargets[0]->folder, folder.c_str(), TK_PATH_SIZE);
    s->hdTargets[0]->storageType = storageType;
    SaveItemSettings(item.c_str(), s, SAVE_HD);
    DWORD id = s->hdTargets[0]->id;
    FreeItemSettings(s);
    return id;
}

DWORD AddFtpTarget(const std::string& item, const char* name, const char* address)
{
    ItemSettings* s = NewItemSettings(item.c_str());
    s->switches->ftpEnabled = 1;
    s->switches->ftpCount = 1;
    FtpTarget* f = s->ftpTargets[0];
    lstrcpynA(f->name, name, TK_FTPTEXT_SIZE);
    lstrcpynA(f->address, address, TK_FTPTEXT_SIZE);
    lstrcpynA(f->folder, "/up", TK_PATH_SIZE);
    f->port = 21;
    f->storageType = STORAGE_SYNC;
    SaveItemSettings(item.c_str(), s, SAVE_FTP);
    DWORD id = f->id;
    FreeItemSettings(s);
    return id;
}

std::map<std::string, std::string> DiskRecords(const std::string& item)
{
    std::map<std::string, std::string> out;
    char keyName[TK_PATH_SIZE];
    if (!OpenItemKey(item.c_str(), keyName, NULL))
        return out;
    std::string keyPath = std::string(TK_FILES_KEY) + "\\" + keyName + "\\HD";
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; ++i) {
        char name[1024], data[1024];
        DWORD nameLen = sizeof name, dataLen = sizeof data - 1;
        if (RegEnumValueA(key, i, name, &nameLen, NULL, NULL, reinterpret_cast<BYTE*>(data),
                          &dataLen) != ERROR_SUCCESS)
            break;
        data[dataLen] = '\0';
        out[name] = data;
    }
    RegCloseKey(key);
    return out;
}

HWND CreateRecordingWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = RecordProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "TkRecordingWindow";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND wnd = CreateWindowA("TkRecordingWindow", "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    g_seen[wnd].clear();
    return wnd;
}

std::vector<SeenMessage> SeenBy(HWND window, UINT msg)
{
    std::vector<SeenMessage> out;
    for (const SeenMessage& m : g_seen[window])
        if (m.msg == msg)
            out.push_back(m);
    return out;
}

HANDLE StartWorker(const WorkerStart& start)
{
    WorkerStart* copy = static_cast<WorkerStart*>(malloc(sizeof(WorkerStart)));
    *copy = start;
    return CreateThread(NULL, 0, RunWorker, copy, 0, NULL);
}

bool PumpUntilEnded(HANDLE thread, int timeoutMs)
{
    bool ended = PumpUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; },
                           timeoutMs);
    PumpMessages(20);  // posted messages still on their way
    return ended;
}
