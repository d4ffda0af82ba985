// Pure text, number and layout rules of the dialogs.
#include "dialogs/dlgtext.h"

#include "log/errors.h"
#include "resources/resource.h"
#include "store/store.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

void StripOneSeparator(char* text, size_t minLength)
{
    size_t len = text ? strlen(text) : 0;
    if (len >= minLength && len > 0 && EndsWithSeparator(text))
        text[len - 1] = '\0';
}

bool IsDriveRootText(const char* text)
{
    size_t len = text ? strlen(text) : 0;
    return len >= 2 && len <= 3 && text[1] == ':';
}

bool IsWindowsDirText(const char* text, const char* windowsDir)
{
    if (!text || !windowsDir || !*windowsDir)
        return false;
    if (strlen(text) != strlen(windowsDir))
        return false;
    for (size_t i = 0; text[i]; ++i)
        if (toupper(static_cast<unsigned char>(text[i])) !=
            toupper(static_cast<unsigned char>(windowsDir[i])))
            return false;
    return true;
}

bool IsValidFtpFolder(const char* folder)
{
    return folder && (folder[0] == '/' || (folder[0] == '.' && folder[1] == '.'));
}

int StoragePosition(BYTE stored)
{
    switch (stored) {
    case 2:
        return 1;
    case 4:
        return 2;
    default:
        return 0;
    }
}

BYTE StorageValue(int position, bool allowAppend)
{
    if (position == 1)
        return 2;
    if (position == 2 && allowAppend)
        return 4;
    return 1;
}

void FormatSheetCaption(const char* itemPath, char* out, size_t size)
{
    snprintf(out, size, "%s: %s",
             EndsWithSeparator(itemPath) ? "Folder Properties" : "File Properties",
             itemPath ? itemPath : "");
}

int TipStringId(int number)
{
    if (number == 10)
        return IDS_TIP_FIRST + 11;
    return IDS_TIP_FIRST + number;
}

int NextTipNumber(int number)
{
    return number >= 15 ? 0 : number + 1;
}

bool TipIsShown(DWORD stored)
{
    return static_cast<LONG>(stored) >= 0 && stored <= 15;
}

int NextTutorialPage(int page)
{
    return page >= 6 ? 6 : page + 1;
}

int PreviousTutorialPage(int page)
{
    return page <= 0 ? 0 : page - 1;
}

bool BuildRestoreTarget(const char* folder, const char* originalPath, char* out, size_t size)
{
    if (!folder || !*folder || !originalPath)
        return false;
    const char* name = FileNamePart(originalPath);
    if (!*name)
        return false;
    int n = snprintf(out, size, "%s\\%s", folder, name);
    return n > 0 && static_cast<size_t>(n) < size;
}

void RestoreErrorSubject(int code, const char* storedName, const char* location, char* out,
                         size_t size)
{
    char address[TK_FTPTEXT_SIZE];
    WORD port = 0;
    bool aboutServer = code == ERR_TCPIP || code == ERR_HOST_NOT_RESOLVED ||
                       code == ERR_FTP_REJECTED || code == ERR_CANNOT_CONNECT;
    if (aboutServer && ParseFtpLocation(location, address, sizeof address, &port) && *address)
        lstrcpynA(out, address, static_cast<int>(size));
    else
        lstrcpynA(out, storedName ? storedName : "", static_cast<int>(size));
}

void BrowserProgram(const char* command, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    out[0] = '\0';
    if (!command)
        return;
    while (*command == '"')
        ++command;
    size_t n = 0;
    while (command[n] && command[n] != '"' && n + 1 < size) {
        out[n] = command[n];
        ++n;
    }
    out[n] = '\0';
}

void LastDirectoryOf(const char* path, char* out, size_t size)
{
    lstrcpynA(out, path, static_cast<int>(size));
    for (size_t i = strlen(out); i >= 2; --i) {
        if (out[i - 1] == '\\') {
            out[i - 1] = '\0';
            return;
        }
    }
}

std::string ShowableServerText(const char* text, size_t length)
{
    std::string shown;
    shown.reserve(length + 2);
    for (size_t i = 0; text && i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < length && text[i + 1] == '\n')
                ++i;
            shown += "\r\n";
        } else {
            shown += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
    }
    return shown;
}

namespace {
RECT Box(int x, int y, int w, int h)
{
    RECT r = {x, y, w, h};
    return r;
}
}  // namespace

RestoreLayout LayoutRestore(int outerWidth, int outerHeight, int listWidth, int listHeight)
{
    RestoreLayout l;
    l.list = Box(10, 50, outerWidth - 20, outerHeight - 190);
    int w = listWidth >= 0 ? listWidth : outerWidth - 20;
    int h = listHeight >= 0 ? listHeight : outerHeight - 190;
    int third = w / 3;
    int right = 2 * w / 3 + 10;
    l.restore = Box(10, h + 60, 2 * w / 3 - 20, 25);
    l.remove = Box(right, h + 60, third, 25);
    l.removeAll = Box(right, h + 90, third, 25);
    l.close = Box(right, h + 120, third, 25);
    return l;
}
