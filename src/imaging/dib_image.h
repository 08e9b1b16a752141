#pragma once
// CDibImage: one device-independent bitmap in memory. Info header, palette and rows
// live in a single block laid out exactly like the body of a BMP file, so the block
// can be written to disk or handed to bitmap calls as it is.
//
// Rows are stored bottom-up: y = 0 is the bottom row of the picture. Every pixel
// accessor is bounds-checked; reads outside the image give index 0 (or the
// background index) and writes outside it are dropped.

#include "dib_types.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Format code of the BMP format; the only code the read and write operations accept.
inline constexpr uint32_t kDibFormatBmp = 0;

class CDibImage {
public:
    explicit CDibImage(uint32_t formatCode = kDibFormatBmp);
    CDibImage(const CDibImage&) = delete;
    CDibImage& operator=(const CDibImage&) = delete;
    virtual ~CDibImage();

    // Replaces the content with a zero-filled block for width × height pixels at
    // `bits` per pixel (rounded to 1, 4, 8 or 24). Returns the block, or nullptr when
    // the size is invalid, above the caps of dib_layout.h, or memory runs out; the
    // image then has no block.
    uint8_t* Allocate(int32_t width, int32_t height, uint16_t bits, uint32_t formatCode = kDibFormatBmp);

    bool LoadFile(const char* fileName, uint32_t formatCode);
    bool SaveFile(const char* fileName, uint32_t formatCode);
    bool ReadStream(FILE* file, uint32_t formatCode);
    bool WriteStream(FILE* file, uint32_t formatCode);

    uint8_t* PixelBlock() const { return pixelBlock; }
    RGBQUAD* PaletteBlock() const;
    uint32_t PaletteSize() const { return 4 * header.biClrUsed; }
    uint32_t TotalSize() const { return header.biSize + header.biSizeImage + PaletteSize(); }

    uint8_t PixelIndex(int32_t x, int32_t y) const;
    void SetPixelIndex(int32_t x, int32_t y, uint8_t index);
    RGBQUAD PixelColour(int32_t x, int32_t y) const;
    void SetPixelColour(int32_t x, int32_t y, RGBQUAD colour);
    uint8_t NearestPaletteIndex(RGBQUAD colour) const;
    RGBQUAD PaletteColour(uint8_t index) const;
    void SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue);
    void SetPaletteColours(const RGBQUAD* table, uint32_t count);
    void SetImportantColours(uint32_t count);

    void MoveFrom(CDibImage* source);
    void BorrowFrom(CDibImage* source);
    void InheritSettings(const CDibImage* source);

    const char* LastError() const { return settings.lastError; }
    void SetLastError(const char* text);

    // Reduces the image to `targetBits` (1, 4 or 8) per pixel with the given palette
    // (2, 16 or 256 entries; nullptr for the standard table), optionally diffusing
    // the mapping error. False, image unchanged, when it can't.
    bool ReduceBitDepth(uint32_t targetBits, bool diffusion, const RGBQUAD* palette, uint32_t important);
    // Loads the fixed 16- or 256-colour table into a 4- or 8-bit image's palette.
    void FillStandardPalette();

    // Plain views of the state, for callers that work on rows directly.
    const BITMAPINFOHEADER& Header() const { return header; }
    int32_t Width() const { return header.biWidth; }
    int32_t Height() const { return header.biHeight; }
    uint16_t BitCount() const { return header.biBitCount; }
    uint32_t RowStride() const { return settings.rowStride; }
    uint8_t* Pixels() const { return settings.pixels; }
    uint8_t* Row(int32_t y) const { return settings.pixels + static_cast<size_t>(y) * settings.rowStride; }
    int32_t BackgroundIndex() const { return settings.backgroundIndex; }
    void SetBackgroundIndex(int32_t index) { settings.backgroundIndex = index; }

protected:
    // The settings that travel with the content (MoveFrom, BorrowFrom, InheritSettings).
    struct Settings {
        uint32_t rowStride = 0;
        uint8_t* pixels = nullptr;
        CDibImage* owner = nullptr;  // set in a borrowing view, which never frees the block
        uint32_t formatCode = 0;
        char lastError[256] = {};
        int32_t progress = 0;
        int32_t cancelRequested = 0;
        int32_t backgroundIndex = -1;
    };

    void FreeBlock();
    bool InsideImage(int32_t x, int32_t y) const
    {
        return x >= 0 && y >= 0 && x < header.biWidth && y < header.biHeight;
    }
    bool HasPalette() const { return pixelBlock != nullptr && header.biClrUsed != 0; }
    // Palette entries searched by NearestPaletteIndex.
    uint32_t SearchedColourCount() const;

    uint8_t* pixelBlock = nullptr;
    BITMAPINFOHEADER header{};
    Settings settings;
};
