// What the main window creates at start-up and shares with the rest of the program.
#pragma once
#include <windows.h>

#include "transfer/queue.h"

struct AppState {
    HWND mainWindow;     // MAINDIALOG
    HWND statusBar;      // control 2 of the main window
    HWND repliesWindow;  // SERVEROUTPUT, hidden until shown
    HWND tipsWindow;     // TIPS, or NULL
    HANDLE device;       // monitor device, INVALID_HANDLE_VALUE while closed
    WorkerStart live;    // master start record of the live worker: events, queue, batches
};

// The one instance, owned by the main window's thread. Other threads read
// only the handles, which are set before any of them starts.
extern AppState g_app;

// Status line text (main thread, or any thread: the status bar is only sent
// WM_SETTEXT with a copy of the text).
void SetStatusText(const char* text);
// Loads a string-table entry into the status line.
void SetStatusString(int id);
// Main window caption.
void SetMainTitle(const char* text);
