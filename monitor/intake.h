// The change intake: turns each path the monitor reports into transfer requests.
#pragma once
#include <windows.h>

#include "transfer/queue.h"

// What the intake needs. On the NT family one context lives for the whole run
// (the link fills it when it starts the notification thread); on Windows 9x
// the main window fills one on its stack per report.
struct IntakeContext {
    HANDLE thread;         // the notification thread (NT)
    HANDLE monitorEvent;   // auto-reset, signalled by the monitor (NT)
    HANDLE device;         // the open monitor; NT: changed only through the device guard
    HANDLE workEvent;      // the live worker's, set after queueing
    HANDLE liveStopEvent;  // abort event of every request queued here
    HWND mainWindow;
    BatchList* batches;
    RequestQueue* queue;
    char* path;  // the changed path being handled
    // The path is in its long form already: the NT thread resolved it just
    // before, and resolving it again gives the same path.
    bool resolved = false;
};

// Thread procedure of the NT family; never returns.
unsigned __stdcall NotificationThread(void* context);

// Runs the intake for context->path. 0 when there is no path, else 1 when
// the change was queued and 2 when it was dropped.
int HandleChange(IntakeContext* context);

// Full path of in with every component in its long form and stored case,
// written into out (260 bytes; may be in); a character the code page lacks
// shows as '?' (IsUnshowablePath). 1 when every component was found;
// 0 otherwise, out then holding the plain full path. 0 and nothing written
// for a missing argument.
int ResolveLongPath(const char* in, char* out);

// 1 when the upper-cased path contains "TMP" or "TEMP"; 0 otherwise or for none.
int IsSuspectedTempFile(const char* path);

// Upper-cases every character before the first '\' or '/'.
void UpperCaseDrivePart(char* path);

// Backslashes of text from its second character on.
int CountBackslashes(const char* text);

// 1 when a change to path lies in a subfolder of the item at itemPath.
int IsInItemSubfolder(const char* path, const char* itemPath);

// 1 when the installation folder text (any case) is a leading part of path.
int IsInInstallDir(const char* path, const char* installDir);

// The delay after reading each path on the notification thread (ms).
enum { INTAKE_SETTLE_MS = 25 };
