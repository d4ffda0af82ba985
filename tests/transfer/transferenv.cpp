// Helpers of the transfer tests.
#include "tests/transfer/transferenv.h"

#include "common/messages.h"
#include "log/errors.h"
#include "store/store.h"

#include <map>

namespace {
std::map<HWND, std::vector<SeenMessage>> g_seen;

LRESULT CALLBACK RecordProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg < WM_USER)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    SeenMessage seen{msg, wParam, 0, ""};
    if (msg == UM_REPORTERROR) {
        seen.code = reinterpret_cast<const ErrorReport*>(lParam)->code;
        seen.text = reinterpret_cast<const ErrorReport*>(lParam)->subject;
    } else if (msg == UM_DISKFILESTART) {
        seen.text = reinterpret_cast<const char*>(lParam);
    }
    g_seen[wnd].push_back(seen);
    return TRUE;
}
} // namespace

DWORD AddTarget(const std::string& item, int kind, const std::string& text, BYTE storageType)
{
    ItemSettings* s = NewItemSettings(item.c_str());
    TargetRecord* t = kind == KIND_HD ? s->hdTargets[0] : s->ftpTargets[0];
    if (kind == KIND_HD) {
        s->switches->hdEnabled = s->switches->hdCount = 1;
        lstrcpynA(t->folder, text.c_str(), TK_PATH_SIZE);
    } else {
        s->switches->ftpEnabled = s->switches->ftpCount = 1;
        lstrcpynA(t->name, text.c_str(), TK_FTPTEXT_SIZE);
        lstrcpynA(t->address, text.c_str(), TK_FTPTEXT_SIZE);
        t->port = 21;
    }
    t->storageType = storageType;
    SaveItemSettings(item.c_str(), s, kind == KIND_HD ? SAVE_HD : SAVE_FTP);
    DWORD id = t->id;
    FreeItemSettings(s);
    return id;
}

bool HasDiskRecord(const std::string& item, const std::string& local, const std::string& stored)
{
    char keyName[TK_PATH_SIZE];
    HKEY key = NULL;
    if (!OpenItemKey(item.c_str(), keyName, NULL) ||
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(TK_FILES_KEY "\\") + keyName + "\\HD").c_str(),
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    bool found = RegQueryValueExA(key, (local + "*" + stored).c_str(), NULL, NULL, NULL, NULL) ==
                 ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

HWND CreateRecordingWindow()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TkRecordingWindow";
    RegisterClassA(&wc);  // fails harmlessly when registered before
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
