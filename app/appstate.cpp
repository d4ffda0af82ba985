// The shared application state and the status line.
#include "app/appstate.h"

#include "common/seams.h"

AppState g_app = {NULL, NULL, NULL, NULL, INVALID_HANDLE_VALUE, {}};

void SetStatusText(const char* text)
{
    if (g_app.statusBar)
        SendMessageA(g_app.statusBar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

void SetStatusString(int id)
{
    char text[256];
    LoadProgramString(id, text, sizeof text);
    SetStatusText(text);
}

void SetMainTitle(const char* text)
{
    if (g_app.mainWindow)
        SetWindowTextA(g_app.mainWindow, text ? text : "");
}
