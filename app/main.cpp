// Process entry of Tandemkeep: one copy at a time, the main window and the message loop.
#include <windows.h>
#include <commctrl.h>

#include "app/mainwnd.h"
#include "common/seams.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int showCommand)
{
    HANDLE mutex = CreateMutexA(NULL, TRUE, "Tandemkeep");
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        ShowMessageBox(NULL, "You cannot start two copies of Tandemkeep.", "Already Running",
                       MB_OK | MB_ICONEXCLAMATION);
        if (mutex)
            CloseHandle(mutex);
        return 0;
    }
    InitCommonControls();
    CreateMainWindow(StartShowCommand(commandLine, showCommand));

    // No IsDialogMessage: the modeless windows get no dialog keyboard handling.
    MSG msg = {};
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (mutex)
        CloseHandle(mutex);
    return static_cast<int>(msg.wParam);
}
