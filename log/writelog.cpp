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

// The logs kept open, by selector (backup, error), under the lock. An FTP
// batch writes three lines per file, and opening and closing the file for
// each was half the time of a line.
bool g_keepOpen = false;
FILE* g_open[2] = {NULL, NULL};
char g_openPath[2][MAX_PATH];

void CloseOpenLogs(void)
{
    for (FILE*& f : g_open) {
        if (f)
            fclose(f);
        f = NULL;
    }
}

FILE* OpenLog(int slot, const char* path)
{
    FILE*& f = g_open[slot];
    if (f && strcmp(g_openPath[slot], path) == 0)
        return f;
    if (f)
        fclose(f);
    f = fopen(path, "a+");  // text mode: "\n" is stored as CR LF
    if (f)
        lstrcpynA(g_openPath[slot], path, MAX_PATH);
    return f;
}

// "\errorlog.txt" or "\backuplog.txt" after the installation folder in out.
int AppendLogName(int selector, char* out, int size)
{
    const char* file = selector ? "\\errorlog.txt" : "\\backuplog.txt";
    if (strlen(out) + strlen(file) >= static_cast<size_t>(size))
        return 0;
    strcat(out, file);
    return 1;
}

// Whether logging is on and, when it is, the log's path: both values read
// with one opening of the product key, as every line asks for them.
bool LogPathIfLogging(int selector, char* out, int size)
{
    HKEY key = OpenProductKey();
    if (!key)
        return false;
    DWORD logging = 0;
    bool on = ReadRegDword(key, "logging", &logging) && logging != 0;
    // An empty text names no folder (GetInstallDir): the logs would land in
    // the root of the current drive.
    bool found = on && ReadRegText(key, "installdir", out, static_cast<DWORD>(size)) && out[0];
    RegCloseKey(key);
    return found && AppendLogName(selector, out, size);
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
    return AppendLogName(selector, out, size);
}

int WriteLog(const char* text, int code, int selector)
{
    if (!text && code == 0)
        return 0;
    char path[MAX_PATH];
    if (!LogPathIfLogging(selector, path, sizeof path))
        return 0;

    char prefix[MAX_PATH];
    FormatLogPrefix(prefix, sizeof prefix);
    char message[MAX_PATH] = "";
    if (code != 0)
        LoadStringA(GetModuleHandleA(NULL), MapErrorCode(code), message, sizeof message);

    std::lock_guard<std::mutex> hold(g_logLock);
    FILE* f = OpenLog(selector ? 1 : 0, path);
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
    // Every line reaches the system now: a crash of the program loses none.
    if (g_keepOpen)
        fflush(f);
    else
        CloseOpenLogs();
    return 1;
}

void KeepLogsOpen(bool keep)
{
    std::lock_guard<std::mutex> hold(g_logLock);
    g_keepOpen = keep;
    if (!keep)
        CloseOpenLogs();
}

void CloseLogFiles(void)
{
    std::lock_guard<std::mutex> hold(g_logLock);
    CloseOpenLogs();
}
