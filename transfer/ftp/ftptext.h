// FTP texts without sockets: reply lines, reply codes, commands, remote folders and names.
#pragma once
#include <windows.h>

// A reply line keeps at most 509 characters of text, then CR LF and a NUL.
enum { REPLY_LINE_SIZE = 512, REPLY_LINE_TEXT = REPLY_LINE_SIZE - 3, REPLY_RECEIVE_SIZE = 4096 };

// Assembles reply lines across receives. The incomplete tail of one receive
// waits here for the next; a line longer than REPLY_LINE_TEXT is cut there
// and the rest of it is dropped. Zero-fill to start.
struct ReplyAssembler {
    char line[REPLY_LINE_SIZE];
    int length;
    bool pendingCr;  // the last byte seen was a CR that may start CR LF
    int openCode;    // code of a multi-line reply still running, else 0
};

// Called once per complete line, in order: the text followed by CR LF and a
// NUL. The line is only valid during the call.
typedef void (*ReplyLineSink)(const char* line, void* context);

// Feeds count received bytes; returns the number of lines completed.
int SplitReplyLines(ReplyAssembler* assembler, const char* received, int count, ReplyLineSink sink,
                    void* context);

// The first three characters as a decimal number, 0 when they are not digits.
int ReplyCode(const char* line);

// Follows multi-line replies ("123-" up to "123 "): returns the code of a
// line that completes a reply and should be acted on, 0 for a line that is
// part of a reply still running or carries no code.
int CompleteReplyCode(ReplyAssembler* assembler, const char* line);

// True when text holds a CR or LF (a NUL cannot be inside a C string; the
// buffers the texts come from are always terminated).
bool HasLineBreak(const char* text);

// Writes "VERB argument\r\n" (or "VERB\r\n" when argument is NULL); returns
// its length, or 0 when the argument carries a line break or it does not fit.
int FormatFtpCommand(char* out, int size, const char* verb, const char* argument);

// "PORT h1,h2,h3,h4,p1,p2\r\n" for an IPv4 address in network byte order
// and a port in host order; returns its length, 0 when it does not fit.
int FormatPortCommand(char* out, int size, DWORD networkAddress, WORD port);

// Remote folder of an upload: the target folder, plus the file's subfolder
// below a folder item (backslashes turned into '/'). Trailing '/' are dropped
// except for a lone "/". 1, or 0 when it does not fit or holds a line break.
int MakeRemoteFolder(const char* filePath, const char* itemPath, const char* targetFolder,
                     char* out, int size);

// How to name folder (relative to the login folder, or absolute) while the
// session stands in current (named the same way): folder itself when it is
// absolute or current is empty, else one "../" per ordinary level of current
// (back to the login folder, or to the folder above it that current's leading
// ".." reached) followed by the rest of folder. 1, or 0 when it does not fit
// or there is no such way: current is absolute, or folder leads fewer levels
// above the login folder than current (the names up there are not known).
int FolderFromCurrent(const char* current, const char* folder, char* out, int size);

// Index of the next '/' after index from (and after index 0), -1 when none:
// where the next level of a folder chain ends.
int NextFolderCut(const char* folder, int from);

// folder + '/' + name (no '/' added when folder is empty or ends with one);
// 1, or 0 when it does not fit.
int JoinRemotePath(const char* folder, const char* name, char* out, int size);

// The text after the last '/' or '\', or the whole text when there is none.
const char* RemoteNamePart(const char* path);

// Folder part of a remote path, cut after its last '/' or '\' (the separator
// is kept); empty when there is none. 1, or 0 when it does not fit.
int RemoteFolderPart(const char* path, char* out, int size);

// The address (network byte order) and port (host order) of a reply to PASV:
// the first six comma-separated numbers of 0 to 255 after the code, with or
// without brackets around them. 1, or 0 for a reply that names none.
int ParsePasvReply(const char* line, DWORD* networkAddress, WORD* port);

// The temporary name an upload of localPath goes up under: eight hex digits
// that only that path gives (letter case aside, as the file system has it)
// and the extension ".tkp", so that a leftover of an earlier upload is the
// file the next upload replaces; 8.3 names fit any server. 1, or 0 when
// size is too small.
int MakeTemporaryName(const char* localPath, char* out, int size);

// The size in a reply to SIZE ("213 <decimal>"); 1, or 0 for a reply that
// names none.
int ParseSizeReply(const char* line, ULONGLONG* size);
