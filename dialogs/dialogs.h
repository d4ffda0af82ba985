// The program's dialogs and shared dialog helpers, as the main window calls them.
#pragma once
#include <windows.h>

#include "transfer/queue.h"

// Add File or Folder: path is a 260-byte buffer that receives the result.
// Returns 0 cancelled, 1 a file, 2 a folder.
int RunAddItemDialog(HWND owner, char* path);
// The main window's "Add Item": runs the dialog, checks that the file can be
// opened or the folder exists, creates the item and posts UM_RELOADITEMS to
// mainWindow. Returns the dialog's result when the item was added, else 0.
int AddItemFromDialog(HWND mainWindow);
// The checks and the creation of AddItemFromDialog for a result (1 file, 2
// folder) and path the dialog gave; returns the result, or 0 when refused.
int AddCheckedItem(HWND mainWindow, int result, const char* path);
// Item properties sheet for one item path (modal).
void RunPropertiesSheet(HWND owner, const char* itemPath);
// Restore dialog for one item (modal). The FTP downloads it starts run on
// the main window's thread.
void RunRestoreDialog(HWND owner, const char* itemPath);
// What the Restore dialog calls for an FTP record: StartFtpDownload unless a
// test put another function in its place (NULL puts StartFtpDownload back).
// A result other than ERR_SUCCESS is reported to the user as an error.
typedef int (*FtpDownloadStarter)(const char* itemPath, const char* storedName,
                                  const char* location);
FtpDownloadStarter SetFtpDownloadStarter(FtpDownloadStarter starter);
// Settings dialog (modal).
void RunSettingsDialog(HWND owner);
// About box (modal).
void RunAboutDialog(HWND owner);
// FTP replies window, created hidden; fed with UM_FTPREPLY. It keeps its
// text for as long as it exists.
HWND CreateRepliesWindow(HWND owner);
// Tips window (decides itself whether it stays); NULL when not created.
HWND CreateTipsWindow(HWND owner, int showCommand);
// Tutorial window (first run); it keeps its page for as long as it exists.
HWND CreateTutorialWindow(HWND owner);
// Splash picture for 1.5 seconds (blocks).
void ShowSplash(HWND owner);
// The splash window shown and painted, for the caller to destroy.
HWND CreateSplashWindow(HWND owner);
// Opens a web address in the default browser; 1 when launched.
int OpenInBrowser(const char* address);

// Window procedures of the picture panels: the title panel (control 1107 of
// the main window and the About box) and the watermark behind the item list
// (installed after UM_SETOLDPROC has handed it the list's own procedure).
LRESULT CALLBACK PanelWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK WatermarkListProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Shared helpers.
int GetSelectedRowText(HWND list, char* buffer, int size);
int BrowseForFolder(HWND owner, char* path);
int BrowseForFile(HWND owner, char* path);
