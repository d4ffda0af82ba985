// FTP texts without sockets: reply assembly, commands, remote folders and names.
#include "transfer/ftp/ftptext.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

void AppendReplyByte(ReplyAssembler* a, char c)
{
    // A NUL would end the line early for every reader of it.
    if (c == '\0')
        c = ' ';
    if (a->length < REPLY_LINE_TEXT)
        a->line[a->length++] = c;
}

bool CopyText(char* out, int size, const char* text, size_t length)
{
    if (length + 1 > static_cast<size_t>(size))
        return false;
    memcpy(out, text, length);
    out[length] = '\0';
    return true;
}

bool IsRootedFolder(const char* folder)
{
    return folder[0] == '/' || folder[0] == '\\';
}

// The levels of a folder named from the login folder, with "." and empty
// levels left out and each ".." taking back the level before it where there
// is one: only leading ".." remain.
std::vector<std::string> FolderLevels(const char* folder)
{
    std::vector<std::string> levels;
    const char* p = folder;
    while (*p) {
        size_t n = strcspn(p, "/\\");
        std::string level(p, n);
        p += n;
        if (*p)
            ++p;
        if (level.empty() || level == ".")
            continue;
        if (level == ".." && !levels.empty() && levels.back() != "..")
            levels.pop_back();
        else
            levels.push_back(level);
    }
    return levels;
}

}  // namespace

int SplitReplyLines(ReplyAssembler* a, const char* received, int count, ReplyLineSink sink,
                    void* context)
{
    if (!a || !received || count <= 0)
        return 0;
    int lines = 0;
    for (int i = 0; i < count; ++i) {
        char c = received[i];
        if (a->pendingCr) {
            a->pendingCr = false;
            if (c == '\n') {
                memcpy(a->line + a->length, "\r\n", 3);
                ++lines;
                if (sink)
                    sink(a->line, context);
                a->length = 0;
                continue;
            }
            AppendReplyByte(a, '\r');
        }
        if (c == '\r')
            a->pendingCr = true;
        else
            AppendReplyByte(a, c);
    }
    return lines;
}

int ReplyCode(const char* line)
{
    if (!line)
        return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

int CompleteReplyCode(ReplyAssembler* a, const char* line)
{
    int code = ReplyCode(line);
    if (a->openCode) {
        // Inside a multi-line reply only "<same code> " ends it; other lines,
        // even ones that begin with digits, are its text.
        if (code == a->openCode && line[3] != '-') {
            a->openCode = 0;
            return code;
        }
        return 0;
    }
    if (code && line[3] == '-') {
        a->openCode = code;
        return 0;
    }
    return code;
}

bool HasLineBreak(const char* text)
{
    return text && strpbrk(text, "\r\n") != NULL;
}

int FormatFtpCommand(char* out, int size, const char* verb, const char* argument)
{
    if (!out || size <= 0 || !verb || HasLineBreak(argument))
        return 0;
    int n = argument ? snprintf(out, size, "%s %s\r\n", verb, argument)
                     : snprintf(out, size, "%s\r\n", verb);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    return n;
}

int FormatPortCommand(char* out, int size, DWORD networkAddress, WORD port)
{
    const BYTE* b = reinterpret_cast<const BYTE*>(&networkAddress);
    int n = snprintf(out, size, "PORT %d,%d,%d,%d,%d,%d\r\n", b[0], b[1], b[2], b[3], port >> 8,
                     port & 0xFF);
    return n > 0 && n < size ? n : 0;
}

int MakeRemoteFolder(const char* filePath, const char* itemPath, const char* targetFolder,
                     char* out, int size)
{
    if (!filePath || !itemPath || !targetFolder || !out || size <= 1)
        return 0;
    if (HasLineBreak(targetFolder))
        return 0;
    size_t itemLen = strlen(itemPath);
    size_t fileLen = strlen(filePath);
    int fileSeps = 0, itemSeps = 0;
    for (size_t i = 1; i < fileLen; ++i)
        fileSeps += filePath[i] == '\\';
    for (size_t i = 1; i < itemLen; ++i)
        itemSeps += itemPath[i] == '\\';

    char relative[MAX_PATH] = "";
    if (fileSeps > itemSeps && fileLen > itemLen) {
        const char* rel = filePath + itemLen;
        const char* last = strrchr(rel, '\\');
        if (last && !CopyText(relative, sizeof relative, rel, static_cast<size_t>(last - rel)))
            return 0;
        for (char* p = relative; *p; ++p)
            if (*p == '\\')
                *p = '/';
    }

    size_t targetLen = strlen(targetFolder);
    int n;
    if (!relative[0])
        n = snprintf(out, size, "%s", targetFolder);
    else if (targetLen == 0)
        n = snprintf(out, size, "%s", relative);
    else if (targetFolder[targetLen - 1] == '/' || targetFolder[targetLen - 1] == '\\')
        n = snprintf(out, size, "%s%s", targetFolder, relative);
    else
        n = snprintf(out, size, "%s/%s", targetFolder, relative);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    while (n > 1 && out[n - 1] == '/')
        out[--n] = '\0';
    return 1;
}

int FolderFromCurrent(const char* current, const char* folder, char* out, int size)
{
    if (!current || !folder || !out || size <= 0)
        return 0;
    out[0] = '\0';
    std::string text;
    if (IsRootedFolder(folder)) {
        text = folder;
    } else {
        // Both are named from the login folder: climb every ordinary level of
        // current back to the login folder, or to the folder above it that
        // current's leading ".." reached, then go down folder's levels from
        // there. A folder that leads fewer levels above the login folder than
        // current stands in cannot be named: the names above it are unknown.
        if (IsRootedFolder(current))
            return 0;
        std::vector<std::string> from = FolderLevels(current), to = FolderLevels(folder);
        size_t above = 0;
        while (above < from.size() && from[above] == "..")
            ++above;
        for (size_t i = 0; i < above; ++i)
            if (i >= to.size() || to[i] != "..")
                return 0;
        for (size_t i = above; i < from.size(); ++i)
            text += "../";
        for (size_t i = above; i < to.size(); ++i)
            text += to[i] + "/";
    }
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return CopyText(out, size, text.c_str(), text.size()) ? 1 : 0;
}

int NextFolderCut(const char* folder, int from)
{
    if (!folder)
        return -1;
    int len = static_cast<int>(strlen(folder));
    for (int i = from + 1; i < len; ++i)
        if (i > 0 && folder[i] == '/')
            return i;
    return -1;
}

int JoinRemotePath(const char* folder, const char* name, char* out, int size)
{
    if (!folder || !name || !out || size <= 0)
        return 0;
    size_t len = strlen(folder);
    const char* sep = len == 0 || folder[len - 1] == '/' ? "" : "/";
    int n = snprintf(out, size, "%s%s%s", folder, sep, name);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return 0;
    }
    return 1;
}

const char* RemoteNamePart(const char* path)
{
    if (!path)
        return "";
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

int RemoteFolderPart(const char* path, char* out, int size)
{
    if (!path || !out || size <= 0)
        return 0;
    const char* name = RemoteNamePart(path);
    return CopyText(out, size, path, static_cast<size_t>(name - path)) ? 1 : 0;
}

int ParsePasvReply(const char* line, DWORD* networkAddress, WORD* port)
{
    if (!line || !networkAddress || !port || ReplyCode(line) != 227)
        return 0;
    for (const char* p = line + 3; *p; ++p) {
        if (*p < '0' || *p > '9')
            continue;
        int numbers[6];
        const char* q = p;
        int n = 0;
        for (; n < 6; ++n) {
            if (*q < '0' || *q > '9')
                break;
            char* end = NULL;
            long value = strtol(q, &end, 10);
            if (value > 255 || end - q > 3)
                break;
            numbers[n] = static_cast<int>(value);
            q = end;
            if (n < 5) {
                if (*q != ',')
                    break;
                ++q;
            }
        }
        if (n == 6) {
            BYTE* b = reinterpret_cast<BYTE*>(networkAddress);
            for (int i = 0; i < 4; ++i)
                b[i] = static_cast<BYTE>(numbers[i]);
            *port = static_cast<WORD>(numbers[4] * 256 + numbers[5]);
            return *port != 0;
        }
        // Not the six numbers: go on after this run of digits.
        while (p[1] >= '0' && p[1] <= '9')
            ++p;
    }
    return 0;
}

int MakeTemporaryName(const char* localPath, char* out, int size)
{
    if (!localPath || !out || size < 13)
        return 0;
    // FNV-1a: the same on every run and every build, unlike a pointer or a clock.
    DWORD hash = 2166136261u;
    for (const char* p = localPath; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - 'a' + 'A');
        hash = (hash ^ c) * 16777619u;
    }
    snprintf(out, static_cast<size_t>(size), "%08lx.tkp", static_cast<unsigned long>(hash));
    return 1;
}

int ParseSizeReply(const char* line, ULONGLONG* size)
{
    if (!line || !size || ReplyCode(line) != 213 || line[3] != ' ')
        return 0;
    const char* p = line + 4;
    while (*p == ' ')
        ++p;
    if (*p < '0' || *p > '9')
        return 0;
    ULONGLONG value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value > (~0ull - 9) / 10)
            return 0;
        value = value * 10 + static_cast<ULONGLONG>(*p - '0');
    }
    if (*p != '\r' && *p != '\n' && *p != ' ' && *p != '\0')
        return 0;
    *size = value;
    return 1;
}
