// Test helpers for the monitor tests.
#include "tests/monitor/monitor_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "monitor/builtin.h"
#include "monitor/codes.h"
#include "monitor/device.h"
#include "store/store.h"
#include "tests/support/testenv.h"

namespace {

// The system's temporary folder is named "Temp", which the intake's
// temporary-file filter rightly matches. Test folders go to a sibling
// folder without that name, for the whole test program.
struct ScratchFolder {
    ScratchFolder()
    {
        char temp[MAX_PATH];
        DWORD n = GetTempPathA(sizeof temp, temp);
        if (n == 0 || n >= sizeof temp)
            return;
        std::string parent(temp, n - 1);
        parent = parent.substr(0, parent.find_last_of('\\') + 1);
        std::string scratch = parent + "tkscratch";
        CreateDirectoryA(scratch.c_str(), NULL);
        SetEnvironmentVariableA("TMP", scratch.c_str());
        SetEnvironmentVariableA("TEMP", scratch.c_str());
    }
} g_scratch;

}  // namespace

MonitorReader::MonitorReader()
{
    event_ = CreateEventA(NULL, FALSE, FALSE, NULL);
    device_ = OpenBuiltinMonitor();
    EXPECT_NE(INVALID_HANDLE_VALUE, device_);
    ForgetAll();
    DWORD value = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(event_));
    void* scratch = calloc(value, 1);
    DWORD returned = 0;
    EXPECT_TRUE(MonitorControl(device_, MONITOR_SET_EVENT, scratch, value, NULL, 0, &returned));
    free(scratch);
}

MonitorReader::~MonitorReader()
{
    CloseMonitorDevice(device_);
    CloseHandle(event_);
}

void MonitorReader::Watch(const std::string& path)
{
    std::string upper = path;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    DWORD returned = 0;
    EXPECT_TRUE(MonitorControl(device_, MONITOR_WATCH_PATH, &upper[0],
                               static_cast<DWORD>(upper.size()), NULL, 0, &returned));
    EXPECT_TRUE(WaitBuiltinMonitorReady(10000));
}

void MonitorReader::ForgetAll()
{
    DWORD returned = 0;
    EXPECT_TRUE(MonitorControl(device_, MONITOR_FORGET_ALL, NULL, 0, NULL, 0, &returned));
    WaitBuiltinMonitorReady(10000);
}

bool MonitorReader::ReadOne(int waitMs)
{
    if (WaitForSingleObject(event_, static_cast<DWORD>(waitMs)) != WAIT_OBJECT_0)
        return false;
    ResetEvent(event_);
    char buffer[MONITOR_PATH_SIZE];
    DWORD got = 0;
    if (!MonitorControl(device_, MONITOR_READ_PATH, NULL, 0, buffer, sizeof buffer, &got))
        return true;  // signalled without a path: keep waiting
    EXPECT_EQ(strlen(buffer) + 1, got);
    seen_.push_back(buffer);
    return true;
}

bool MonitorReader::WaitFor(const std::string& path, int timeoutMs)
{
    DWORD start = GetTickCount();
    while (Count(path) == 0) {
        int left = timeoutMs - static_cast<int>(GetTickCount() - start);
        if (left <= 0)
            return false;
        ReadOne(left);
    }
    return true;
}

void MonitorReader::Drain(int quietMs)
{
    while (ReadOne(quietMs)) {
    }
}

int MonitorReader::Count(const std::string& path) const
{
    int n = 0;
    for (const std::string& s : seen_)
        if (lstrcmpiA(s.c_str(), path.c_str()) == 0)
            ++n;
    return n;
}

std::vector<std::string> LogTexts(const std::string& installDir, int selector)
{
    std::string text = ReadFileBytes(installDir + (selector ? "\\errorlog.txt" : "\\backuplog.txt"));
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        size_t dash = line.find(" - ");
        lines.push_back(dash == std::string::npos ? line : line.substr(dash + 3));
        start = end + 2;
    }
    return lines;
}

void SetItemOption(const std::string& itemPath, const char* name, BYTE value)
{
    char key[260];
    lstrcpynA(key, itemPath.c_str(), sizeof key);
    EncodeKeyName(key);
    SetItemRaw(key, "", name, REG_BINARY, &value, 1);
}

std::vector<std::pair<int, std::string>> QueuedRequests(RequestQueue* queue)
{
    std::vector<std::pair<int, std::string>> out;
    LockQueue(queue);
    for (TransferRequest* r = queue->first; r; r = r->next)
        out.emplace_back(r->kind, r->path);
    UnlockQueue(queue);
    return out;
}
