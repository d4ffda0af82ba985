// Source folders, items with targets and whole-tree comparison for the end-to-end tests.
#include "tests/e2e/e2esupport.h"

#include "store/store.h"
#include "tests/support/program.h"
#include "tests/support/testenv.h"

#include <stdio.h>

WorkDir::WorkDir()
{
    static unsigned counter = 0;
    char name[MAX_PATH];
    do
        snprintf(name, sizeof name, "C:\\tkwork-%lu-%u", GetCurrentProcessId(), ++counter);
    while (!CreateDirectoryA(name, NULL));
    path_ = name;
}

WorkDir::~WorkDir()
{
    RemoveTree(path_);
}

namespace {

// Loads the item, lets change() fill a new target slot, saves that part.
template <typename Change>
bool AddTarget(const std::string& item, int part, Change change)
{
    ItemSettings* s = NewItemSettings(item.c_str());
    if (!s)
        return false;
    bool ok = LoadItemSettings(item.c_str(), s) == 1;
    if (ok) {
        change(s);
        ok = SaveItemSettings(item.c_str(), s, part) == 1;
    }
    FreeItemSettings(s);
    return ok;
}

}  // namespace

bool AddDiskTarget(const std::string& item, const std::string& folder, BYTE storage)
{
    return AddTarget(item, SAVE_HD, [&](ItemSettings* s) {
        s->switches->hdEnabled = 1;
        s->switches->hdCount = 1;
        lstrcpynA(s->hdTargets[0]->folder, folder.c_str(), TK_PATH_SIZE);
        s->hdTargets[0]->storageType = storage;
    });
}

bool AddFtpTarget(const std::string& item, int port, const std::string& remoteFolder)
{
    return AddTarget(item, SAVE_FTP, [&](ItemSettings* s) {
        s->switches->ftpEnabled = 1;
        s->switches->ftpCount = 1;
        FtpTarget* f = s->ftpTargets[0];
        lstrcpynA(f->name, "loopback", TK_FTPTEXT_SIZE);
        lstrcpynA(f->address, "127.0.0.1", TK_FTPTEXT_SIZE);
        lstrcpynA(f->userName, "anonymous", TK_FTPTEXT_SIZE);
        lstrcpynA(f->password, "", TK_FTPTEXT_SIZE);
        lstrcpynA(f->folder, remoteFolder.c_str(), TK_PATH_SIZE);
        f->port = static_cast<WORD>(port);
        f->storageType = 1;
        f->anonymous = 1;
    });
}

namespace {

void CollectTree(const std::string& folder, const std::string& prefix,
                 std::map<std::string, std::string>* out)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            CollectTree(folder + "\\" + name, prefix + name + "\\", out);
        else
            (*out)[prefix + name] = ReadFileBytes(folder + "\\" + name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

}  // namespace

std::map<std::string, std::string> ReadTree(const std::string& folder)
{
    std::map<std::string, std::string> out;
    CollectTree(folder, "", &out);
    return out;
}

bool WaitForWatch(const std::string& probe, const std::function<bool()>& arrived, int timeoutMs)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    do {
        WriteFileBytes(probe, "probe");
        if (WaitUntil(arrived, 1000))
            return true;
    } while (static_cast<int>(end - GetTickCount()) > 0);
    return false;
}
