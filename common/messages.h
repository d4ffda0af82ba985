// Private window messages: the one table of numbers by which threads and windows talk.
#pragma once
#include <windows.h>

// To the main window -------------------------------------------------------

// Posted by the main window to itself after an item was added or removed.
// 0 / 0. Reloads the item list and renews the monitor's watch list.
#define UM_RELOADITEMS (WM_USER + 1)
// Winsock (WSAAsyncSelect) on FTP control sockets. wParam socket; lParam low
// word the network event, high word the error code.
#define UM_FTPCONTROL (WM_USER + 2)
// Winsock on FTP listening and data sockets; parameters as UM_FTPCONTROL.
#define UM_FTPDATA (WM_USER + 3)
// The shell, for the tray icon. wParam icon ID; lParam the mouse message.
#define UM_TRAYNOTIFY (WM_USER + 5)
// Sent by a progress window. wParam 1 = stop its FTP half, 2 = stop its disk
// half; lParam the progress window.
#define UM_STOPTRANSFER (WM_USER + 6)
// Posted by the Windows 9x monitor. wParam 1042 with lParam the changed path
// in the monitor's memory (valid until returned with code 30); 1041 ignored.
#define UM_MONITORNOTIFY (WM_USER + 15)
#define MONITOR_CHANGED_FILE 1042
#define MONITOR_IGNORED 1041
// Sent by workers, the FTP data side and the main window itself. wParam 0;
// lParam the address of an ErrorReport, owned by the sender.
#define UM_REPORTERROR (WM_USER + 23)
// Sent or posted by the engine (workers, the FTP client, progress windows):
// what the tray icon shows. wParam TRAY_IDLE, TRAY_UPLOAD or TRAY_DOWNLOAD;
// lParam NULL for the plain tip, or the path of the file in transfer for the
// "Transferring file" tip (then sent: the text is the sender's). The main
// window changes the icon only when it changes; TRAY_IDLE also puts its
// caption back.
#define UM_TRAYSTATE (WM_USER + 28)
enum { TRAY_IDLE = 0, TRAY_UPLOAD = 1, TRAY_DOWNLOAD = 2 };
// Sent by the engine: a text for the main window's status line. wParam 0;
// lParam the text (sender's), or NULL for the "ready" text.
#define UM_STATUSTEXT (WM_USER + 29)
// Posted by the FTP client to the main window after it closed a socket.
// wParam the socket number; lParam 0. Events of the closed socket that are
// still queued come before it and are ignored; the number is free again for
// new sockets once it arrives.
#define UM_FTPRETIRED (WM_USER + 30)
// Posted by the FTP client to the main window: an upload or download that
// stopped to let the window answer goes on. wParam the data socket; lParam 0.
#define UM_FTPCONTINUE (WM_USER + 31)
// Sent by the main window to itself from the item popup. wParam kind in the
// high word, target id in the low word; lParam the item path (sender's).
#define UM_BROWSETARGET (WM_USER + 25)

// To a folder-transfer progress window --------------------------------------

// Sent by the FTP data side: one upload ended. 0 / 0.
#define UM_FTPFILEDONE (WM_USER + 7)
// Sent by the FTP data side: upload started. 0 / local path (sender's).
#define UM_FTPFILESTART (WM_USER + 8)
// Sent by the folder transfer and the FTP control side: wParam FTP total.
#define UM_FTPSETTOTAL (WM_USER + 9)
// FTP file progress: wParam percentage (sent with 0, then posted).
#define UM_FTPPERCENT (WM_USER + 10)
// Posted by a worker: disk copies ended. wParam how many (0: one) / 0.
#define UM_DISKFILEDONE (WM_USER + 11)
// Sent by a worker: disk copy started. 0 / path (sender's).
#define UM_DISKFILESTART (WM_USER + 12)
// Sent by the folder transfer: wParam disk total.
#define UM_DISKSETTOTAL (WM_USER + 13)
// Posted by the disk copy: wParam percentage.
#define UM_DISKPERCENT (WM_USER + 14)
// Sent by the FTP control side: 0 / new caption text (sender's). Same number
// as UM_MONITORNOTIFY, which only the main window receives.
#define UM_SETCAPTION (WM_USER + 15)
// Posted by a progress window to itself: completion check. 0 / 0.
#define UM_CHECKDONE (WM_USER + 26)
// Posted by a worker that dropped its queue at shut-down: close without asking.
#define UM_TRANSFERSTOPPED (WM_USER + 27)

// Other windows ----------------------------------------------------------------

// Called directly on the item list's watermark procedure before it is
// installed: 0 / the list's previous window procedure.
#define UM_SETOLDPROC (WM_USER + 17)
// Tutorial window to itself: show the current page. 0 / 0.
#define UM_SHOWTUTORIALPAGE (WM_USER + 19)
// Item property page to itself: rebuild its target list. wParam list
// position (-1 for 0) or 0 to keep the fields.
#define UM_RELOADTARGETS (WM_USER + 20)
// Item property page to itself: check and save the target. lParam the
// address of an int that receives 0 when saved, 1 when a check failed.
#define UM_SAVETARGET (WM_USER + 22)
// Sent by the FTP control side to the FTP replies window: 0 / one reply line.
#define UM_FTPREPLY (WM_USER + 24)
// Posted by the Restore dialog to itself: reload its list. 0 / 0.
#define UM_RELOADRECORDS (WM_USER + 1)
