// Path rules of the intake: long-form resolution, the temporary-file test and the folder tests.
#include "monitor/intake.h"

#include <string.h>

#include "common/filenames.h"
#include "store/layout.h"

namespace {

// Length of the root of a full path: "C:\" or "\\server\share\".
size_t RootLength(const char* full)
{
    if (full[0] == '\\' && full[1] == '\\') {
        const char* p = full + 2;
        for (int slashes = 0; *p; ++p)
            if (*p == '\\' && ++slashes == 2)
                return static_cast<size_t>(p - full) + 1;
        return strlen(full);
    }
    return strlen(full) >= 3 ? 3 : strlen(full);
}

}  // namespace

int ResolveLongPath(const char* in, char* out)
{
    if (!in || !out)
        return 0;
    char full[TK_PATH_SIZE];
    DWORD n = GetFullPathNameA(in, sizeof full, full, NULL);
    if (n == 0 || n >= sizeof full) {
        if (out != in)
            lstrcpynA(out, in, TK_PATH_SIZE);
        return 0;
    }
    char result[TK_PATH_SIZE];
    size_t root = RootLength(full);
    memcpy(result, full, root);
    size_t used = root;
    result[used] = 0;

    bool found = true;
    char* component = full + root;
    while (*component) {
        char* end = strchr(component, '\\');
        if (end)
            *end = 0;
        // A wildcard would let the search match some other file. A name
        // found comes with '?' where the code page lacks a character, never
        // as a look-alike name, so the intake can tell such a file.
        bool ok = strpbrk(component, "*?") == NULL && *component != 0;
        FoundName entry = {};
        const WIN32_FIND_DATAA& data = entry.data;
        if (ok) {
            HANDLE find = FindFirstName(full, &entry);
            ok = find != INVALID_HANDLE_VALUE;
            if (ok)
                FindClose(find);
        }
        if (end)
            *end = '\\';
        if (!ok) {
            found = false;
            break;
        }
        size_t length = strlen(data.cFileName) + (end ? 1 : 0);
        if (used + length >= sizeof result) {
            found = false;
            break;
        }
        memcpy(result + used, data.cFileName, strlen(data.cFileName));
        used += strlen(data.cFileName);
        if (end)
            result[used++] = '\\';
        result[used] = 0;
        if (!end)
            break;
        component = end + 1;
    }
    lstrcpynA(out, found ? result : full, TK_PATH_SIZE);
    return found ? 1 : 0;
}

int IsSuspectedTempFile(const char* path)
{
    if (!path)
        return 0;
    char upper[TK_PATH_SIZE];
    lstrcpynA(upper, path, sizeof upper);
    CharUpperA(upper);
    return (strstr(upper, "TMP") || strstr(upper, "TEMP")) ? 1 : 0;
}

void UpperCaseDrivePart(char* path)
{
    if (!path)
        return;
    size_t n = strcspn(path, "\\/");
    if (n > 0)
        CharUpperBuffA(path, static_cast<DWORD>(n));
}

int CountBackslashes(const char* text)
{
    int n = 0;
    if (text && *text)
        for (const char* p = text + 1; *p; ++p)
            if (*p == '\\')
                ++n;
    return n;
}

int IsInItemSubfolder(const char* path, const char* itemPath)
{
    return CountBackslashes(path) > CountBackslashes(itemPath) ? 1 : 0;
}

int IsInInstallDir(const char* path, const char* installDir)
{
    if (!path || !installDir)
        return 0;
    char dir[TK_PATH_SIZE];
    lstrcpynA(dir, installDir, sizeof dir);
    size_t length = strlen(dir);
    while (length > 0 && (dir[length - 1] == '\\' || dir[length - 1] == '/'))
        dir[--length] = 0;
    // No folder to protect: an empty text would match every path.
    if (length == 0 || strlen(path) < length)
        return 0;
    char head[TK_PATH_SIZE];
    lstrcpynA(head, path, static_cast<int>(length) + 1);
    CharUpperA(head);
    CharUpperA(dir);
    if (strcmp(head, dir) != 0)
        return 0;
    // The folder itself or something below it, not a sibling whose name
    // merely begins the same way.
    char next = path[length];
    return (next == 0 || next == '\\' || next == '/') ? 1 : 0;
}
