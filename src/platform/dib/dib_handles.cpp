// Placeholder until the bitmap handles land.
#include "dib_handles.h"

int GetObjectA(HGDIOBJ, int, void*) { return 0; }
HDC GetDC(HWND) { return nullptr; }
int ReleaseDC(HWND, HDC) { return 1; }
int GetDIBits(HDC, HBITMAP, uint32_t, uint32_t, void*, BITMAPINFO*, uint32_t) { return 0; }
int DeleteObject(HGDIOBJ) { return 0; }
