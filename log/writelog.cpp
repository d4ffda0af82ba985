// WriteLog: one line per entry, prefixed with the date and time, appended under a lock.
#include "log/log.h"
#include "log/errors.h"
#include "store/regvalue.h"
#include "store/store.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <mutex>

namespace {

// Lines from the intake thread and the main thread must never interleave.
std::mutex g_logLock;

bool LoggingEnabled()
{
    HKEY key = OpenProductKey();
    if (!key)
        return false;
    DWORD logging = 0;
    BOOL read = ReadRegDword(key, "logging", &logging);
    RegCloseKey(key);
    return read && logging != 0;
}

}  // namespace

void FormatLogPrefix(char* out, int size)
{
    if (!out || size <= 0)
        return;
    memset(out, 0, size);
    int used = GetDateFormatA(LOCALE_SYSTEM_DEFAULT, 0, NULL, NULL, out, size);
    used = used > 0 ? used - 1 : 0;  // count without the terminator
    if (used + 1 < size)
        out[used++] = ' ';
    if (used < size) {
        int t = GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, 0, NULL, NULL, out + used, size - used);
        used += t > 0 ? t - 1 : 0;
    }
    lstrcpynA(out + used, " - ", size - used);
}

int GetLogPath(int selector, char* out, int size)
{
    if (!out || size <= 0 || !GetInstallDir(out, static_cast<DWORD>(size)))
        return 0;
    const char* file = selector ? "\\errorlog.txt" : "\\backuplog.txt";
    if (strlen(out) + strlen(file) >= static_cast<size_t>(size))
        return 0;
    strcat(out, file);
    return 1;
}

int WriteLog(const char* text, int code, int selector)
{
    if (!text && code == 0)
        return 0;
    if (!LoggingEnabled())
        return 0;
    char path[MAX_PATH];
    if (!GetLogPath(selector, path, sizeof path))
        return 0;

    char prefix[MAX_PATH];
    FormatLogPrefix(prefix, sizeof prefix);
    char message[MAX_PATH] = "";
    if (code != 0)
        LoadStringA(GetModuleHandleA(NULL), MapErrorCode(code), message, sizeof message);

    std::lock_guard<std::mutex> hold(g_logLock);
    FILE* f = fopen(path, "a+");  // text mode: "\n" is stored as CR LF
    if (!f)
        return 0;
    if (text) {
        fputs(prefix, f);
        fputs(text, f);
        fputs("\n", f);
    }
    if (code != 0) {
        fputs(prefix, f);
        fputs(message, f);
        fputs("\n", f);
    }
    fclose(f);
    return 1;
}
