// Target paths and backup names of disk copies: pure text work, no files touched.
#include "transfer/diskcopy.h"

#include <stdio.h>
#include <string.h>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

}  // namespace

const char* FileNamePart(const char* path)
{
    if (!path)
        return NULL;
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p))
            name = p + 1;
    return name;
}

int EndsWithSeparator(const char* path)
{
    if (!path || !*path)
        return 0;
    return IsSeparator(path[strlen(path) - 1]) ? 1 : 0;
}

int IsFullFolderPath(const char* path)
{
    if (!path)
        return 0;
    char c = path[0];
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter && path[1] == ':' && IsSeparator(path[2]))
        return 1;
    return IsSeparator(path[0]) && IsSeparator(path[1]) && path[2] && !IsSeparator(path[2]) ? 1 : 0;
}

int FormatBackupStamp(const char* date, const char* time, char* out, int size)
{
    if (!date || !time || !out || size <= 0)
        return 0;
    int timeLen = static_cast<int>(strlen(time));
    // Some locales leave the blank that stood before the AM/PM marker.
    while (timeLen > 0 && time[timeLen - 1] == ' ')
        --timeLen;
    int n = snprintf(out, size, "%s %.*s", date, timeLen, time);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    for (char* p = out; *p; ++p) {
        if (*p == '/')
            *p = '-';
        else if (*p == ':')
            *p = ' ';
    }
    return 1;
}

int InsertBackupStamp(const char* path, const char* stamp, char* out, int size)
{
    if (!path || !stamp || !out || size <= 0)
        return 0;
    int len = static_cast<int>(strlen(path));
    int nameStart = static_cast<int>(FileNamePart(path) - path);
    // The extension is at most a dot and three characters; a dot in a folder
    // name ("C:\a.b\c") is no extension, or the stamp would land in the folder.
    int dot = -1;
    for (int i = len >= 4 ? len - 4 : 0; i < len; ++i) {
        if (path[i] == '.' && i >= nameStart) {
            dot = i;
            break;
        }
    }
    int n;
    if (dot < 0)
        n = snprintf(out, size, "%s %s", path, stamp);
    else
        n = snprintf(out, size, "%.*s %s%s", dot, path, stamp, path + dot);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int MakeDiskTargetPath(const char* path, const char* nameSource, const char* keyName,
                       const char* folder, char* out, int size)
{
    if (!path || !nameSource || !keyName || !folder || !out || size <= 0)
        return 0;
    out[0] = '\0';
    size_t keyLen = strlen(keyName);
    if (keyLen == 0 || keyLen > strlen(path) || keyLen > strlen(nameSource))
        return 0;
    // The folder is joined with one separator whether or not it ends with one.
    int folderLen = static_cast<int>(strlen(folder));
    while (folderLen > 0 && IsSeparator(folder[folderLen - 1]))
        --folderLen;

    // A key name ending in '*' is a folder item: the copy keeps the file's
    // place below the item (its key name is as long as the item's path).
    const char* rest = IsSeparator(keyName[keyLen - 1]) || keyName[keyLen - 1] == '*'
                           ? nameSource + keyLen
                           : FileNamePart(nameSource);
    if (!*rest)
        return 0;
    int n = snprintf(out, size, "%.*s\\%s", folderLen, folder, rest);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int FolderChainPrefixes(const char* filePath, int* ends, int maxEnds)
{
    if (!filePath || !ends)
        return 0;
    int start = (IsSeparator(filePath[0]) && IsSeparator(filePath[1])) ? 2 : 0;
    int count = 0;
    bool seenFirst = false;
    for (int i = start; filePath[i]; ++i) {
        if (!IsSeparator(filePath[i]))
            continue;
        if (seenFirst && count < maxEnds && i > 0 && !IsSeparator(filePath[i - 1]))
            ends[count++] = i;
        seenFirst = true;
    }
    return count;
}

int MakeTempCopyName(const char* targetPath, unsigned number, char* out, int size)
{
    if (!targetPath || !out || size <= 0)
        return 0;
    int folderLen = static_cast<int>(FileNamePart(targetPath) - targetPath);
    int n = snprintf(out, size, "%.*stk%04X.tmp", folderLen, targetPath, number & 0xFFFFu);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

int CopyPercent(ULONGLONG done, ULONGLONG size)
{
    if (size == 0 || done >= size)
        return 100;
    // done × 100 must fit 64 bits: sizes past 128 PiB are scaled down first.
    while (size >= (1ull << 57)) {
        size >>= 8;
        done >>= 8;
    }
    return static_cast<int>(done * 100 / size);
}
