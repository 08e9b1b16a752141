#pragma once
// Fills a raster-core image from a device-dependent bitmap handle. It lives beside
// the handle calls, so the raster core itself needs nothing from the platform.

#include "dib_handles.h"
#include "dib_image.h"

// Replaces the image's content with the pixels of the bitmap (bitmaps deeper than 8
// bits become 24-bit images). False, with "GetDIBits failed" in the image's
// LastError(), when the rows could not be fetched; the image is then empty.
bool CreateDibImageFromBitmapHandle(CDibImage& image, HBITMAP bitmap);
