// Test helpers for real windows.
#include "tests/support/windows.h"

#include "common/seams.h"

#include <stdio.h>
#include <stdlib.h>

void PumpMessages(int ms)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do {
        MSG msg;
        // Bounded, so a window that keeps asking to be painted cannot hang a test.
        for (int n = 0; n < 1000 && PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE); ++n) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool PumpUntil(const std::function<bool()>& cond, int timeoutMs)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(timeoutMs);
    for (;;) {
        if (cond())
            return true;
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return cond();
        PumpMessages(10);
    }
}

namespace {
struct FindContext {
    const char* title;
    bool visibleOnly;
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM param)
{
    FindContext* ctx = reinterpret_cast<FindContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    if (pid == ctx->pid && (!ctx->visibleOnly || IsWindowVisible(wnd)) &&
        (!ctx->title || WindowText(wnd) == ctx->title))
        ctx->found.push_back(wnd);
    return TRUE;
}
} // namespace

std::vector<HWND> FindProcessWindows(const char* title, bool visibleOnly, DWORD pid)
{
    FindContext ctx{title, visibleOnly, pid ? pid : GetCurrentProcessId(), {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

std::string WindowText(HWND wnd)
{
    char text[4096] = "";
    GetWindowTextA(wnd, text, sizeof text);
    return text;
}

std::string DlgItemText(HWND dlg, int id)
{
    return WindowText(GetDlgItem(dlg, id));
}

HWND CreateTestOwner(int x, int y, int w, int h)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "TkTestOwner";
        RegisterClassA(&wc);
        registered = true;
    }
    HWND wnd = CreateWindowA("TkTestOwner", "Test Owner", WS_OVERLAPPEDWINDOW, x, y, w, h, NULL,
                             NULL, GetModuleHandleA(NULL), NULL);
    ShowWindow(wnd, SW_SHOWNORMAL);
    return wnd;
}

namespace {
MessageBoxRecorder* g_recorder = NULL;
}

MessageBoxRecorder::MessageBoxRecorder()
{
    g_recorder = this;
    SetMessageBoxHook(&MessageBoxRecorder::Hook);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    SetMessageBoxHook(NULL);
    g_recorder = NULL;
}

int MessageBoxRecorder::Hook(HWND owner, const char* text, const char* caption, UINT type)
{
    MessageBoxRecorder* r = g_recorder;
    r->boxes_.push_back(Box{owner, text ? text : "", caption ? caption : "", type});
    if (r->answers_.empty())
        return IDOK;
    int answer = r->answers_.front();
    r->answers_.pop_front();
    return answer;
}

std::string SaveWindowShot(HWND wnd, const char* name)
{
    const char* dir = getenv("TK_SCREENSHOT_DIR");
    if (!dir || !*dir || !wnd)
        return std::string();
    RECT r;
    GetWindowRect(wnd, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);

    BITMAPINFOHEADER bi = {};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    DWORD stride = ((w * 3 + 3) / 4) * 4;
    std::string pixels(stride * h, '\0');
    GetDIBits(mem, bmp, 0, h, &pixels[0], reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);

    std::string path = std::string(dir) + "\\" + name + ".bmp";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return std::string();
    BITMAPFILEHEADER bf = {};
    bf.bfType = 0x4D42;
    bf.bfOffBits = sizeof bf + sizeof bi;
    bf.bfSize = bf.bfOffBits + static_cast<DWORD>(pixels.size());
    fwrite(&bf, sizeof bf, 1, f);
    fwrite(&bi, sizeof bi, 1, f);
    fwrite(pixels.data(), 1, pixels.size(), f);
    fclose(f);
    return path;
}
