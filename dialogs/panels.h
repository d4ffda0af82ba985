// Decoding of the BMP pictures stored as RAW resources, ready for StretchDIBits.
#pragma once
#include <windows.h>

#include <vector>

struct DecodedPicture {
    BITMAPINFOHEADER header;       // 24 bits, one plane, no compression
    std::vector<BYTE> pixels;      // bottom-up rows, each padded to 4 bytes
    std::vector<RGBQUAD> colours;  // the colour table of an 8-bit picture (for its palette)
};

// Checks a whole BMP file and turns it into 24-bit pixels: an 8-bit picture
// through its colour table, a 24-bit one as stored. False for anything else
// or for a file whose headers do not fit its size.
bool DecodePicture(const BYTE* file, DWORD size, DecodedPicture* out);

// Paints picture resource name centred over background with SRCAND into dc
// (client size width x height). False when the resource is missing or bad.
bool DrawPicture(HDC dc, const char* name, int width, int height);
