// The picture panels (title strip, splash picture) and the watermark behind the item list.
#include "dialogs/dialogs.h"
#include "dialogs/panels.h"

#include "common/messages.h"

#include <string.h>

namespace {

// The item list's own procedure, handed over by UM_SETOLDPROC; main thread only.
WNDPROC g_oldListProc = NULL;

const COLORREF kPanelBackground = RGB(250, 250, 250);

DWORD ReadDword(const BYTE* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<DWORD>(p[3]) << 24);
}

bool LoadRawResource(const char* name, const BYTE** data, DWORD* size)
{
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, name, "RAW");
    if (!found)
        return false;
    HGLOBAL loaded = LoadResource(module, found);
    *data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : NULL;
    *size = SizeofResource(module, found);
    return *data != NULL;
}

HPALETTE CreatePicturePalette(const std::vector<RGBQUAD>& colours)
{
    if (colours.empty())
        return NULL;
    std::vector<BYTE> buffer(sizeof(LOGPALETTE) + 256 * sizeof(PALETTEENTRY));
    LOGPALETTE* palette = reinterpret_cast<LOGPALETTE*>(buffer.data());
    palette->palVersion = 0x300;
    palette->palNumEntries = static_cast<WORD>(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) {
        palette->palPalEntry[i].peRed = colours[i].rgbRed;
        palette->palPalEntry[i].peGreen = colours[i].rgbGreen;
        palette->palPalEntry[i].peBlue = colours[i].rgbBlue;
        palette->palPalEntry[i].peFlags = 0;
    }
    return CreatePalette(palette);
}

void PaintPanel(HWND wnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT client;
    GetClientRect(wnd, &client);
    bool splash = GetWindowLongPtrA(wnd, GWLP_USERDATA) == 1;
    HBRUSH background = CreateSolidBrush(splash ? RGB(255, 255, 255) : kPanelBackground);
    FillRect(dc, &client, background);
    DeleteObject(background);
    DrawPicture(dc, splash ? "SPLASH" : "TITLE", client.right, client.bottom);
    EndPaint(wnd, &ps);
}

// The list paints its rows into a white memory bitmap, which is laid over
// the faded picture with SRCAND, so text and lines lie on top of it.
void PaintWatermark(HWND list)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(list, &ps);
    RECT client;
    GetClientRect(list, &client);
    HBRUSH background = CreateSolidBrush(kPanelBackground);
    FillRect(dc, &client, background);
    DeleteObject(background);
    DrawPicture(dc, "WATERMARK", client.right, client.bottom);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    if (mem && bitmap) {
        HGDIOBJ old = SelectObject(mem, bitmap);
        PatBlt(mem, 0, 0, client.right, client.bottom, WHITENESS);
        CallWindowProcA(g_oldListProc, list, WM_PAINT, reinterpret_cast<WPARAM>(mem), 0);
        // Painting into a memory DC can make the list invalidate itself again
        // (scroll bars, item state); the whole client area is painted here, so
        // that must not start another round of painting for ever.
        ValidateRect(list, NULL);
        BitBlt(dc, 0, 0, client.right, client.bottom, mem, 0, 0, SRCAND);
        SelectObject(mem, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (mem)
        DeleteDC(mem);
    EndPaint(list, &ps);
}

}  // namespace

bool DecodePicture(const BYTE* file, DWORD size, DecodedPicture* out)
{
    const DWORD fileHeader = 14;
    if (!file || !out || size < fileHeader + sizeof(BITMAPINFOHEADER) || file[0] != 'B' ||
        file[1] != 'M')
        return false;
    DWORD pixelOffset = ReadDword(file + 10);
    BITMAPINFOHEADER info;
    memcpy(&info, file + fileHeader, sizeof info);
    if (info.biSize < sizeof info || info.biPlanes != 1 || info.biCompression != BI_RGB)
        return false;
    if (info.biWidth <= 0 || info.biWidth > 4096 || info.biHeight == 0 || info.biHeight > 4096 ||
        info.biHeight < -4096)
        return false;
    if (info.biBitCount != 8 && info.biBitCount != 24)
        return false;
    LONG width = info.biWidth;
    LONG height = info.biHeight < 0 ? -info.biHeight : info.biHeight;
    DWORD sourceStride = ((width * info.biBitCount + 31) / 32) * 4;
    DWORD stride = ((width * 24 + 31) / 32) * 4;
    if (pixelOffset > size ||
        static_cast<unsigned long long>(sourceStride) * height > size - pixelOffset)
        return false;

    out->colours.clear();
    if (info.biBitCount == 8) {
        DWORD tableOffset = fileHeader + info.biSize;
        DWORD entries = info.biClrUsed ? info.biClrUsed : 256;
        if (entries > 256 || tableOffset + entries * 4 > pixelOffset)
            return false;
        out->colours.assign(reinterpret_cast<const RGBQUAD*>(file + tableOffset),
                            reinterpret_cast<const RGBQUAD*>(file + tableOffset) + entries);
        out->colours.resize(256, RGBQUAD{0, 0, 0, 0});
    }
    out->pixels.assign(static_cast<size_t>(stride) * height, 0);
    for (LONG y = 0; y < height; ++y) {
        // Rows are kept bottom-up whatever the file's order.
        LONG sourceRow = info.biHeight < 0 ? height - 1 - y : y;
        const BYTE* src = file + pixelOffset + static_cast<size_t>(sourceStride) * sourceRow;
        BYTE* dst = &out->pixels[static_cast<size_t>(stride) * y];
        if (info.biBitCount == 24) {
            memcpy(dst, src, width * 3);
            continue;
        }
        for (LONG x = 0; x < width; ++x) {
            const RGBQUAD& c = out->colours[src[x]];
            dst[3 * x] = c.rgbBlue;
            dst[3 * x + 1] = c.rgbGreen;
            dst[3 * x + 2] = c.rgbRed;
        }
    }
    memset(&out->header, 0, sizeof out->header);
    out->header.biSize = sizeof out->header;
    out->header.biWidth = width;
    out->header.biHeight = height;
    out->header.biPlanes = 1;
    out->header.biBitCount = 24;
    out->header.biCompression = BI_RGB;
    return true;
}

bool DrawPicture(HDC dc, const char* name, int width, int height)
{
    const BYTE* data = NULL;
    DWORD size = 0;
    DecodedPicture picture;
    if (!LoadRawResource(name, &data, &size) || !DecodePicture(data, size, &picture))
        return false;
    HPALETTE palette = CreatePicturePalette(picture.colours);
    HPALETTE oldPalette = NULL;
    if (palette) {
        oldPalette = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    int w = picture.header.biWidth, h = picture.header.biHeight;
    StretchDIBits(dc, width / 2 - w / 2, height / 2 - h / 2, w, h, 0, 0, w, h,
                  picture.pixels.data(), reinterpret_cast<const BITMAPINFO*>(&picture.header),
                  DIB_RGB_COLORS, SRCAND);
    if (palette) {
        SelectPalette(dc, oldPalette, FALSE);
        DeleteObject(palette);
    }
    return true;
}

LRESULT CALLBACK PanelWindowProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        PaintPanel(wnd);
        return 0;
    case WM_INITDIALOG:
        return 1;
    }
    return DefWindowProcA(wnd, msg, wParam, lParam);
}

LRESULT CALLBACK WatermarkListProc(HWND wnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == UM_SETOLDPROC) {
        g_oldListProc = reinterpret_cast<WNDPROC>(lParam);
        return 0;
    }
    if (!g_oldListProc)
        return DefWindowProcA(wnd, msg, wParam, lParam);
    if (msg == WM_PAINT && wParam == 0) {
        PaintWatermark(wnd);
        return 0;
    }
    return CallWindowProcA(g_oldListProc, wnd, msg, wParam, lParam);
}
