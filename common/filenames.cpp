// File names as the program's ANSI functions can use them.
#include "common/filenames.h"

#include <string.h>

int AnsiFileName(const wchar_t* wide, int length, char* out, int size)
{
    if (!wide || !out || size <= 0)
        return 0;
    out[0] = '\0';
    if (length < 0)
        length = static_cast<int>(wcslen(wide));
    BOOL defaulted = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, out, size - 1, "?",
                                &defaulted);
    if (n <= 0 && length > 0)
        return 0;
    out[n] = '\0';
    if (defaulted)
        return 0;
    // The way back must give the very same name: a code page whose table
    // still maps some character to a look-alike is caught here.
    wchar_t back[MAX_PATH];
    int m = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, out, n, back, MAX_PATH);
    if (m != length || memcmp(back, wide, sizeof(wchar_t) * static_cast<size_t>(length)) != 0) {
        for (int i = 0; i < n; ++i)  // which one it was is unknown: none is trusted
            if (static_cast<unsigned char>(out[i]) >= 0x80)
                out[i] = '?';
        return 0;
    }
    return 1;
}

int IsUnshowablePath(const char* path)
{
    return path && strpbrk(path, "?*") ? 1 : 0;
}

namespace {

BOOL Convert(const WIN32_FIND_DATAW& wide, FoundName* out)
{
    WIN32_FIND_DATAA& a = out->data;
    a.dwFileAttributes = wide.dwFileAttributes;
    a.ftCreationTime = wide.ftCreationTime;
    a.ftLastAccessTime = wide.ftLastAccessTime;
    a.ftLastWriteTime = wide.ftLastWriteTime;
    a.nFileSizeHigh = wide.nFileSizeHigh;
    a.nFileSizeLow = wide.nFileSizeLow;
    out->exact = AnsiFileName(wide.cFileName, -1, a.cFileName, sizeof a.cFileName) != 0;
    AnsiFileName(wide.cAlternateFileName, -1, a.cAlternateFileName, sizeof a.cAlternateFileName);
    return TRUE;
}

}  // namespace

HANDLE FindFirstName(const char* pattern, FoundName* out)
{
    wchar_t wide[MAX_PATH];
    if (!pattern || !out ||
        !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, pattern, -1, wide, MAX_PATH))
        return INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide, &data);
    if (find != INVALID_HANDLE_VALUE)
        Convert(data, out);
    return find;
}

BOOL FindNextName(HANDLE find, FoundName* out)
{
    WIN32_FIND_DATAW data;
    return out && FindNextFileW(find, &data) && Convert(data, out);
}
