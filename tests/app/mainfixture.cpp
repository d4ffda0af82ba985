// The main-window fixture: a real MAINDIALOG, a clean product key, recorded tray calls.
#include "tests/app/mainfixture.h"

#include "app/appstate.h"
#include "app/mainwnd.h"
#include "app/messages.h"
#include "app/tray.h"
#include "resources/resource.h"
#include "store/store.h"
#include "tests/support/testenv.h"
#include "tests/support/windows.h"

#include <string.h>

std::vector<DWORD> MainWindowTest::trayCalls;

class MainWindowTest::TempDirHolder {
public:
    TempDir dir{"tkapp"};
};

void MainWindowTest::SetUp()
{
    trayCalls.clear();
    SetTrayHook([](DWORD action, NOTIFYICONDATAA* data) -> BOOL {
        if (data && data->uID == 0)
            MainWindowTest::trayCalls.push_back(action);
        return TRUE;
    });
    ResetProductKey();
    dir_ = new TempDirHolder;
    install_ = UseInstallDir(dir_->dir);
    SetGlobalDword("tip", 65535);
    SetGlobalDword("showerrors", 0);
}

void MainWindowTest::TearDown()
{
    if (wnd_ && IsWindow(wnd_))
        SendMessageA(wnd_, WM_CLOSE, 0, 0);
    PumpMessages(20);
    SetTrayHook(NULL);
    DeleteProductKey();
    delete dir_;
    dir_ = nullptr;
}

HWND MainWindowTest::Open(int show)
{
    wnd_ = CreateMainWindow(show);
    PumpMessages(50);
    return wnd_;
}

void MainWindowTest::AddItems(const std::vector<std::string>& paths)
{
    for (const std::string& p : paths)
        CreateItemKey(p.c_str());
    Reload();
}

void MainWindowTest::Reload()
{
    PostMessageA(wnd_, UM_RELOADITEMS, 0, 0);
    PumpMessages(30);
}

HWND MainWindowTest::List() const
{
    return GetDlgItem(wnd_, IDC_MAIN_LIST);
}

std::vector<std::string> MainWindowTest::Rows() const
{
    std::vector<std::string> rows;
    int n = ListView_GetItemCount(List());
    for (int i = 0; i < n; ++i) {
        char text[4096] = "";
        ListView_GetItemText(List(), i, 0, text, sizeof text);
        rows.push_back(text);
    }
    return rows;
}

void MainWindowTest::Select(const std::vector<int>& rows)
{
    ListView_SetItemState(List(), -1, 0, LVIS_SELECTED);
    for (int r : rows)
        ListView_SetItemState(List(), r, LVIS_SELECTED, LVIS_SELECTED);
}

void MainWindowTest::Command(UINT id)
{
    SendMessageA(wnd_, WM_COMMAND, id, 0);
    PumpMessages(20);
}

namespace {
std::string ItemKey(const std::string& path)
{
    std::string key = path;
    for (char& c : key)
        if (c == '\\' || c == '/')
            c = '*';
    return key;
}

void SetFixedText(const std::string& item, const std::string& sub, const char* name,
                  const char* text, DWORD size)
{
    std::string data(size, '\0');
    memcpy(&data[0], text, strlen(text));
    SetItemRaw(item.c_str(), sub.c_str(), name, REG_SZ, data.data(), size);
}
} // namespace

void AddFtpTarget(const std::string& itemPath, DWORD id, const char* name, const char* user,
                  const char* password, const char* address, WORD port)
{
    std::string item = ItemKey(itemPath);
    std::string sub = "Targets\\FTP\\" + std::to_string(id);
    SetFixedText(item, sub, "ftp_address", address, 256);
    SetFixedText(item, sub, "ftp_username", user, 256);
    SetFixedText(item, sub, "ftp_password", password, 256);
    SetFixedText(item, sub, "ftp_name", name, 256);
    SetFixedText(item, sub, "ftp_directory", "/pub", 260);
    SetItemRaw(item.c_str(), sub.c_str(), "ftp_port", REG_BINARY, &port, 2);
    BYTE zero = 0, sync = 1;
    SetItemRaw(item.c_str(), sub.c_str(), "ftp_anonymous", REG_BINARY, &zero, 1);
    SetItemRaw(item.c_str(), sub.c_str(), "ftp_exists", REG_BINARY, &sync, 1);
    SetItemRaw(item.c_str(), sub.c_str(), "ftp_serverid", REG_BINARY, &id, 4);
}

void AddDiskTarget(const std::string& itemPath, DWORD id, const char* folder)
{
    std::string item = ItemKey(itemPath);
    std::string sub = "Targets\\HD\\" + std::to_string(id);
    SetFixedText(item, sub, "hd_directory", folder, 260);
    BYTE sync = 1;
    SetItemRaw(item.c_str(), sub.c_str(), "hd_exists", REG_BINARY, &sync, 1);
    SetItemRaw(item.c_str(), sub.c_str(), "hd_driveid", REG_BINARY, &id, 4);
}

void SetItemSwitch(const std::string& itemPath, const char* name, BYTE value)
{
    SetItemRaw(ItemKey(itemPath).c_str(), "", name, REG_BINARY, &value, 1);
}
