// Backup names: the date-and-time stamp in the system locale's formats, and its clock.
#include "transfer/diskcopy.h"

#include "store/layout.h"

namespace {

void LocalClock(SYSTEMTIME* now)
{
    GetLocalTime(now);
}

// Set by tests before any worker runs; read by every thread afterwards.
BackupClock g_clock = LocalClock;

}  // namespace

BackupClock SetBackupClock(BackupClock clock)
{
    BackupClock old = g_clock;
    g_clock = clock ? clock : LocalClock;
    return old;
}

int MakeBackupStamp(char* out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    SYSTEMTIME now;
    g_clock(&now);
    char date[BACKUP_STAMP_SIZE];
    char time[BACKUP_STAMP_SIZE];
    if (!GetDateFormatA(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE | DATE_SHORTDATE, &now, NULL,
                        date, sizeof date))
        return 0;
    if (!GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, LOCALE_NOUSEROVERRIDE | TIME_NOTIMEMARKER, &now,
                        NULL, time, sizeof time))
        return 0;
    return FormatBackupStamp(date, time, out, BACKUP_STAMP_SIZE);
}

int MakeBackupName(const char* path, char* out)
{
    if (!path || !out)
        return 0;
    char stamp[BACKUP_STAMP_SIZE];
    if (!MakeBackupStamp(stamp)) {
        out[0] = '\0';
        return 0;
    }
    return InsertBackupStamp(path, stamp, out, TK_PATH_SIZE);
}
