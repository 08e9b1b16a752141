#pragma once
// Encoders of the codec service, one adapter file per library. Each writes a whole
// picture to an open file; the caller writes to a temporary name and renames it into
// place only when the encoder succeeded.

#include "photo_metadata.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace tallowin::codec {

// The picture to write: rows top-down, 3 bytes (B, G, R) or 4 bytes (B, G, R, A with
// straight alpha) per pixel.
struct EncodeSource {
    int32_t width = 0;
    int32_t height = 0;
    int bytesPerPixel = 3;
    int64_t stride = 0;
    const uint8_t* data = nullptr;
    bool hasAlpha = false;     // only with 4 bytes per pixel
    float dpiX = 96.0f;
    float dpiY = 96.0f;
    // Photo information and colour profile, prepared for this picture, that the AVIF
    // and JPEG XL encoders write into the file (the pixels are in the profile's space).
    // The other formats get theirs written after encoding.
    const metadata::PhotoMetadata* information = nullptr;

    const uint8_t* Row(int32_t y) const { return data + y * stride; }
};

enum class EncodeStatus {
    Ok,            // the file holds the whole picture
    WriteError,    // the file could not be written (disk full, size limit, I/O error)
    OutOfMemory,   // a work buffer could not be had
    Unsupported,   // the picture cannot be written in this format (size beyond the format)
};

// One row as B, G, R with transparent pixels composited over white, for formats
// without alpha. `out` holds width * 3 bytes.
void RowOverWhite(const EncodeSource& source, int32_t y, uint8_t* out);

// Pixels per metre for a resolution in dots per inch.
int32_t PelsPerMetre(float dpi);

// 24-bit BMP, bottom-up, resolution in pels per metre.
EncodeStatus WriteBmp(const EncodeSource& source, std::FILE* file);
// Baseline JPEG with 4:2:0 chroma and JFIF density in dots per inch; quality 1..100.
EncodeStatus WriteJpeg(const EncodeSource& source, int quality, std::FILE* file);
// PNG, 8 bits per channel, RGB or RGBA, pHYs.
EncodeStatus WritePng(const EncodeSource& source, std::FILE* file);
// TIFF, LZW with horizontal differencing, RGB or RGBA, resolution in inches.
EncodeStatus WriteTiff(const EncodeSource& source, std::FILE* file);
// GIF with a global palette: the picture's own colours when there are 256 or fewer
// (an indexed picture keeps its palette exactly), otherwise a reduced palette.
EncodeStatus WriteGif(const EncodeSource& source, std::FILE* file);
// WebP, lossy at quality 1..99, lossless at 100.
EncodeStatus WriteWebp(const EncodeSource& source, int quality, std::FILE* file);
// AVIF (AV1 in HEIF), 8-bit 4:2:0, quality 1..100.
EncodeStatus WriteAvif(const EncodeSource& source, int quality, std::FILE* file);
// JPEG XL, quality 1..99 as a distance (see JxlDistanceFromQuality), lossless at 100.
EncodeStatus WriteJxl(const EncodeSource& source, int quality, std::FILE* file);
float JxlDistanceFromQuality(int quality);

}  // namespace tallowin::codec
