#pragma once
// CDibImageBMP: the BMP reader and writer on top of CDibImage.
//
// Reads 1-, 4- and 8-bit files (uncompressed, RLE8, RLE4), 24-bit files, and 16-
// and 32-bit files whose rows are converted to 24 bits; Windows 3 info headers,
// the 12-byte OS/2 core header with 3-byte palette entries, and longer headers
// (V4, V5, OS/2 v2), always kept in memory as a 40-byte header. Bottom-up rows only.

#include "dib_image.h"

#include <cstdio>

// Failure texts of the reader and writer, as LastError() reports them.
namespace tallowin::imaging::bmp_errors {
inline constexpr char kNotABmp[] = "Not a BMP";
inline constexpr char kBadInfo[] = "Error reading BMP info";
inline constexpr char kNoMemory[] = "Can't allocate memory";
inline constexpr char kIndexedCompression[] = "compression type not supported";
inline constexpr char kUnknownCompression[] = "unknown compression";
inline constexpr char kBadDimensions[] = "Invalid BMP dimensions";
inline constexpr char kTopDown[] = "Top-down BMP rows are not supported";
inline constexpr char kTooLarge[] = "Image too large";
inline constexpr char kTruncated[] = "BMP file ends before its pixel rows do";
inline constexpr char kBadBitCount[] = "Unsupported bits per pixel";
inline constexpr char kNoImage[] = "No image to write";
inline constexpr char kWriteFailed[] = "Can't write the file";
}  // namespace tallowin::imaging::bmp_errors

class CDibImageBMP : public CDibImage {
public:
    CDibImageBMP() : CDibImage(kDibFormatBmp) {}
    ~CDibImageBMP() override = default;

    // Decodes a BMP file (or a bare info header + palette + rows) from the file's
    // current position. On failure the reason is in LastError().
    bool ReadBmp(FILE* file);
    // Writes the file header and the whole block.
    bool WriteBmp(FILE* file);
};
