// The splash picture shown for a moment at start-up.
#include "dialogs/dialogs.h"

namespace {

// The picture is painted by the panel procedure (the window's user data 1: the splash picture).
INT_PTR CALLBACK SplashProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_PAINT:
        PanelWindowProc(dlg, msg, wParam, lParam);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

HWND CreateSplashWindow(HWND owner)
{
    HWND splash = CreateDialogParamA(GetModuleHandleA(NULL), "SPLASH", owner, SplashProc, 0);
    if (!splash)
        return NULL;
    SetWindowLongPtrA(splash, GWLP_USERDATA, 1);
    ShowWindow(splash, SW_SHOWNORMAL);
    InvalidateRect(splash, NULL, FALSE);
    UpdateWindow(splash);
    return splash;
}

void ShowSplash(HWND owner)
{
    HWND splash = CreateSplashWindow(owner);
    if (!splash)
        return;
    // The main thread waits meanwhile, as the picture is meant to be seen.
    Sleep(1500);
    DestroyWindow(splash);
}
