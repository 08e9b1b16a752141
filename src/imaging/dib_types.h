#pragma once
// The device-independent bitmap structures, laid out byte for byte as in a BMP file
// (little-endian, packed), shared by the raster core and the platform layer.

#include <cstdint>

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    uint16_t bfType;       // "BM"
    uint32_t bfSize;       // whole file
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits;    // start of the rows
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
    uint32_t biSize;
    int32_t  biWidth;
    int32_t  biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t  biXPelsPerMeter;
    int32_t  biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    uint8_t rgbBlue;
    uint8_t rgbGreen;
    uint8_t rgbRed;
    uint8_t rgbReserved;
};
static_assert(sizeof(RGBQUAD) == 4);

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];  // followed by the rest of the colour table
};

enum : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };
enum : uint32_t { DIB_RGB_COLORS = 0 };
