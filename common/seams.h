// Message boxes, shell launches and popup menus go through here, so tests can answer and record
// them.
#pragma once
#include <windows.h>
#include <shellapi.h>

typedef int (*MessageBoxHook)(HWND owner, const char* text, const char* caption, UINT type);
typedef BOOL (*ShellExecuteHook)(SHELLEXECUTEINFOA* info);
// Answers a popup menu instead of tracking it: gets the menu and the flags,
// returns the chosen command (0 for none).
typedef UINT (*PopupMenuHook)(HMENU menu, UINT flags);

// Installs a hook (NULL restores the real call); returns the previous one.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
ShellExecuteHook SetShellExecuteHook(ShellExecuteHook hook);
PopupMenuHook SetPopupMenuHook(PopupMenuHook hook);

int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type);
BOOL RunShellExecute(SHELLEXECUTEINFOA* info);
// TrackPopupMenu. With TPM_RETURNCMD the choice is returned; without it a
// choice arrives at owner as WM_COMMAND (also when a hook answers).
UINT TrackMenu(HMENU menu, UINT flags, int x, int y, HWND owner);

// Loads a string-table entry of the program (empty when missing).
void LoadProgramString(int id, char* out, int size);
