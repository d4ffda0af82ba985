// Message boxes and shell launches go through here, so tests can answer and record them.
#pragma once
#include <windows.h>
#include <shellapi.h>

typedef int (*MessageBoxHook)(HWND owner, const char* text, const char* caption, UINT type);
typedef BOOL (*ShellExecuteHook)(SHELLEXECUTEINFOA* info);

// Installs a hook (NULL restores the real call); returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
ShellExecuteHook SetShellExecuteHook(ShellExecuteHook hook);

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);
BOOL RunShellExecute(SHELLEXECUTEINFOA* info);

// Loads a string-table entry of the program (empty when missing).
void LoadProgramString(int id, char* out, int size);
