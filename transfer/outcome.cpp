// The outcome of each copy: versions recorded, failures kept for retrying, waits ended.
#include "transfer/outcome.h"

#include "log/log.h"

#include <stdio.h>

#include <atomic>

namespace {

std::atomic<RetrySchedule*> g_retries{nullptr};
std::atomic<StoredState*> g_stored{nullptr};

ULONGLONG FileTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

void LogLine(const char* format, const char* path, const char* name, const char* more)
{
    char line[2 * TK_PATH_SIZE + 96];
    snprintf(line, sizeof line, format, path, name ? name : "", more);
    WriteLog(line, 0, LOG_BACKUP);
}

}  // namespace

void SetCopyOutcomes(RetrySchedule* retries, StoredState* stored)
{
    g_retries = retries;
    g_stored = stored;
}

RetrySchedule* ActiveRetries(void)
{
    return g_retries;
}

bool RecordsVersions(void)
{
    return g_stored != nullptr;
}

void NoteCopyStored(const char* path, BYTE kind, DWORD id, WORD itemLength, const char* name,
                    const FileVersion* version)
{
    if (!path)
        return;
    StoredState* stored = g_stored;
    if (stored && version)
        RecordStoredVersion(stored, path, kind, id, itemLength, *version);
    PendingState was = {};
    if (!NoteCopySuccess(g_retries, path, kind, id, itemLength, &was))
        return;
    ULONGLONG now = FileTimeNow();
    ULONGLONG seconds = now > was.firstFailure ? (now - was.firstFailure) / 10000000 : 0;
    char waited[48];
    FormatWaitTime(seconds, waited, sizeof waited);
    LogLine("File %s reached %s after waiting %s to be retried", path, name, waited);
}

bool NoteCopyFailed(const char* path, BYTE kind, DWORD id, WORD itemLength, int code,
                    DWORD systemError)
{
    return NoteCopyFailure(g_retries, path, kind, id, itemLength, code, systemError) !=
           RETRY_KEPT_QUIET;
}

bool NoteCopiesFailed(CopyFailure* failures, size_t count)
{
    RetrySchedule* retries = g_retries;
    NoteCopyFailures(retries, failures, count);
    // No file left to fail: the user heard of each already, unless nothing is retried.
    bool report = count == 0 && !retries;
    for (size_t i = 0; i < count; ++i)
        report = report || failures[i].result != RETRY_KEPT_QUIET;
    return report;
}

void NoteSourceGone(const char* path, BYTE kind, DWORD id, const char* name)
{
    if (DropPendingCopy(g_retries, path, kind, id))
        LogLine("File %s no longer exists, its copy waiting for %s is dropped%s", path, name, "");
}

void ForgetPendingCopy(const char* path, BYTE kind, DWORD id)
{
    DropPendingCopy(g_retries, path, kind, id);
}

void FormatWaitTime(ULONGLONG seconds, char* out, size_t size)
{
    unsigned long h = static_cast<unsigned long>(seconds / 3600);
    unsigned long m = static_cast<unsigned long>(seconds / 60 % 60), s = seconds % 60;
    if (h)
        snprintf(out, size, "%lu h %02lu min", h, m);
    else if (m)
        snprintf(out, size, "%lu min %02lu s", m, s);
    else
        snprintf(out, size, "%lu s", s);
}
