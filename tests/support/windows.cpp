// Test helpers for real windows.
#include "tests/support/windows.h"

#include "common/seams.h"
#include "tests/support/testenv.h"

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
    while (!cond()) {
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return cond();
        PumpMessages(10);
    }
    return true;
}

namespace {
struct FindContext {
    DWORD pid;
    const char* title;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND wnd, LPARAM param)
{
    FindContext* ctx = reinterpret_cast<FindContext*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    bool visible = !ctx->visibleOnly || IsWindowVisible(wnd);
    if (pid == ctx->pid && visible && (!ctx->title || WindowText(wnd) == ctx->title))
        ctx->found.push_back(wnd);
    return TRUE;
}
}  // namespace

std::vector<HWND> FindProcessWindows(const char* title, bool visibleOnly, DWORD pid)
{
    FindContext ctx{pid ? pid : GetCurrentProcessId(), title, visibleOnly, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

std::string WindowText(HWND wnd)
{
    std::string text(GetWindowTextLengthA(wnd) + 1, '\0');
    text.resize(GetWindowTextA(wnd, &text[0], static_cast<int>(text.size())));
    return text;
}

HWND CreateTestOwner(int x, int y, int w, int h)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "TkTestOwner";
    RegisterClassA(&wc);  // fails harmlessly when registered before
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
    int w = r.right - r.left;
    int h = r.bottom - r.top;
    HDC screen = GetDC(NULL);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);  // GetDIBits wants the bitmap out of every DC

    BITMAPINFOHEADER bi = {sizeof bi, w, h, 1, 24, BI_RGB,
                           0,         0, 0, 0, 0};        // 24 bits a pixel, bottom row first
    std::string pixels(((w * 3 + 3) / 4) * 4 * h, '\0');  // each row padded to 4 bytes
    GetDIBits(mem, bmp, 0, h, &pixels[0], reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);

    BITMAPFILEHEADER bf = {0x4D42, 0, 0, 0, sizeof bf + sizeof bi};  // "BM"
    bf.bfSize = bf.bfOffBits + static_cast<DWORD>(pixels.size());
    std::string path = std::string(dir) + "\\" + name + ".bmp";
    std::string file(reinterpret_cast<const char*>(&bf), sizeof bf);
    file.append(reinterpret_cast<const char*>(&bi), sizeof bi);
    return WriteFileBytes(path, file + pixels) ? path : std::string();
}
