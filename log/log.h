// The backup log and the error log in the installation directory.
#pragma once
#include <windows.h>

enum { LOG_BACKUP = 0, LOG_ERROR = 1 };

// Appends a line of text, the message of an error code, or both (text line
// first) to the backup log (selector 0) or the error log (any other). Returns
// 1 when written, 0 when nothing was (logging off, no installation directory,
// file not openable). Safe to call from any thread.
int WriteLog(const char* text, int code, int selector);

// While kept open (between KeepLogsOpen(true) and KeepLogsOpen(false)), a
// log stays open between its lines instead of being opened for each; every
// line still reaches the system before WriteLog returns. CloseLogFiles closes
// them for now (before the log is deleted, say); the next line opens it again.
void KeepLogsOpen(bool keep);
void CloseLogFiles(void);

// Writes "<date> <time> - " into out (size bytes) in the system's formats.
void FormatLogPrefix(char* out, int size);

// Full path of a log file: installation directory + "\backuplog.txt" or
// "\errorlog.txt". 0 when the installation directory is unknown.
int GetLogPath(int selector, char* out, int size);

// Opens a log in Notepad (Windows folder + "\notepad.exe", the log's path as
// parameter), owned by owner; failures are silent.
void ViewLogInNotepad(HWND owner, int selector);
