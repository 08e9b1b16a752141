#pragma once
// Stand-ins for the desktop's device-dependent bitmap calls: a bitmap handle owns
// a 24- or 32-bit top-down pixel buffer; GetDIBits copies or converts its rows into
// the caller's bottom-up DIB layout. Only what the raster core needs.

#include "dib_types.h"

#include <cstdint>

// Opaque handles; what they point to is in dib_objects.h.
struct HBITMAP__;
using HBITMAP = HBITMAP__*;
struct HDC__;
using HDC = HDC__*;

struct BITMAP {
    int32_t  bmType;        // 0
    int32_t  bmWidth;
    int32_t  bmHeight;
    int32_t  bmWidthBytes;  // bytes per row, even
    uint16_t bmPlanes;      // 1
    uint16_t bmBitsPixel;   // 24 or 32
    void*    bmBits;
};

using HGDIOBJ = void*;
using HWND = void*;

// Fills *out (size bytes) with the handle's BITMAP; returns the bytes written, 0 on failure.
int GetObjectA(HGDIOBJ handle, int size, void* out);
// The screen's device context (a token; there is one).
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);
// Copies `lines` rows starting at bottom-up row `start` into `bits` in the layout that
// info->bmiHeader describes: 24 or 32 bits per pixel, BI_RGB, the handle's width and
// height (a negative height asks for top-down rows). Indexed layouts (8 bits or fewer)
// are refused with 0, since handles only ever hold true-colour pixels and nothing here
// reduces colours. With `bits` null it fills info->bmiHeader with the handle's own
// layout instead. Returns the rows copied, 0 on failure.
int GetDIBits(HDC dc, HBITMAP bitmap, uint32_t start, uint32_t lines, void* bits, BITMAPINFO* info, uint32_t usage);
// Frees a bitmap handle.
int DeleteObject(HGDIOBJ handle);
