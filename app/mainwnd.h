// The main window: its dialog procedure and the pieces the procedure dispatches to.
#pragma once
#include <windows.h>

// Creates MAINDIALOG modeless with the start show command; NULL when the
// window ended during its own start-up (monitor could not be opened).
HWND CreateMainWindow(int showCommand);
INT_PTR CALLBACK MainDialogProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// The start show command: SW_HIDE when the command line is exactly "HIDE",
// else the show command the process was given.
int StartShowCommand(const char* commandLine, int showCommand);

// Start-up and shut-down (startup.cpp).
BOOL OnMainInitDialog(HWND wnd, int showCommand);
BOOL OnMainClose(HWND wnd);

// The item list (itemlist.cpp): rebuilt from the item keys; clear first
// removes the columns and rows of the previous build.
BOOL ReloadItemList(HWND wnd, BOOL clear);
BOOL LayoutMainWindow(HWND wnd);

// List notifications and popups (popup.cpp).
BOOL OnListNotify(HWND wnd, const NMHDR* header);
// FILESPOPUP for one item with its target submenus; the caller destroys the
// returned menu and shows its first submenu. NULL when the item's settings
// cannot be loaded.
HMENU BuildItemPopup(const char* itemPath);
// UM_BROWSETARGET: opens a target of an item in the shell.
BOOL OnBrowseTarget(WPARAM wParam, const char* itemPath);

// Commands (commands.cpp): TRUE for every command handled.
BOOL OnMainCommand(HWND wnd, UINT id);

// Close box and tray icon (traymenu.cpp).
BOOL OnMainCloseBox(HWND wnd);
BOOL OnTrayNotify(HWND wnd, WPARAM iconId, LPARAM mouseMessage);
// Sets radio buttons 1006 and 1007 from enabled.
void ShowMonitoringState(HWND wnd, int enabled);
// Switches monitoring on or off and shows on the buttons what came of it.
void SwitchMonitoring(HWND wnd, int enable);
