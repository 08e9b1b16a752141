#include "dib_image.h"

#include "dib_image_bmp.h"
#include "dib_layout.h"
#include "palette_search.h"
#include "file_writer.h"
#include "staged_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr char kUnsupportedFormat[] = "Unsupported operation for this format";
constexpr const char* kWriteFailed = tallowin::imaging::bmp_errors::kWriteFailed;

// Closes a FILE* on every way out.
struct FileCloser {
    FILE* file;
    ~FileCloser()
    {
        if (file != nullptr) std::fclose(file);
    }
};

}  // namespace

CDibImage::CDibImage(uint32_t formatCode)
{
    header.biSize = sizeof(BITMAPINFOHEADER);
    settings.formatCode = formatCode;
}

CDibImage::~CDibImage()
{
    FreeBlock();
}

void CDibImage::FreeBlock()
{
    if (pixelBlock != nullptr && settings.owner == nullptr) std::free(pixelBlock);
    pixelBlock = nullptr;
}

void CDibImage::SetLastError(const char* text)
{
    std::strncpy(settings.lastError, text, sizeof(settings.lastError) - 1);
    settings.lastError[sizeof(settings.lastError) - 1] = '\0';
}

uint8_t* CDibImage::Allocate(int32_t width, int32_t height, uint16_t bits, uint32_t /*formatCode*/)
{
    FreeBlock();
    settings.owner = nullptr;
    settings.pixels = nullptr;

    if (header.biSize < sizeof(BITMAPINFOHEADER)) header.biSize = sizeof(BITMAPINFOHEADER);
    tallowin::imaging::DibLayout layout;
    const auto status = tallowin::imaging::ComputeDibLayout(width, height, bits, header.biSize, layout);

    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = tallowin::imaging::RoundBitCount(bits);
    header.biCompression = BI_RGB;
    header.biClrUsed = header.biBitCount <= 8 ? (1u << header.biBitCount) : 0;
    header.biXPelsPerMeter = 0;
    header.biYPelsPerMeter = 0;
    header.biClrImportant = 0;
    if (status != tallowin::imaging::LayoutStatus::Ok) {
        settings.rowStride = 0;
        header.biSizeImage = 0;
        return nullptr;
    }
    settings.rowStride = layout.rowStride;
    header.biSizeImage = layout.imageSize;

    // Zero-filled, so palette entries and pixels that no decoder writes are black.
    pixelBlock = static_cast<uint8_t*>(std::calloc(layout.totalSize, 1));
    if (pixelBlock == nullptr) return nullptr;
    std::memcpy(pixelBlock, &header, sizeof(BITMAPINFOHEADER));
    settings.pixels = pixelBlock + header.biSize + PaletteSize();
    return pixelBlock;
}

bool CDibImage::LoadFile(const char* fileName, uint32_t formatCode)
{
    if (fileName == nullptr) return false;
    FileCloser closer{std::fopen(fileName, "rb")};
    if (closer.file == nullptr) return false;
    return ReadStream(closer.file, formatCode);
}

bool CDibImage::SaveFile(const char* fileName, uint32_t formatCode)
{
    if (fileName == nullptr) return false;
    // Written beside the file and renamed into place when every byte reached the
    // disk: a failed save leaves neither a cut file nor a lost older one.
    tallowin::plumbing::StagedFile staged(fileName);
    std::FILE* file = staged.CreateStream();
    if (file == nullptr) return false;
    const bool written = WriteStream(file, formatCode);
    const bool closed = tallowin::plumbing::CloseStream(file);
    if (written && !closed) SetLastError(kWriteFailed);
    return written && closed && staged.Commit();
}

bool CDibImage::ReadStream(FILE* file, uint32_t formatCode)
{
    if (formatCode != kDibFormatBmp) {
        SetLastError(kUnsupportedFormat);
        return false;
    }
    CDibImageBMP reader;
    reader.MoveFrom(this);
    if (reader.ReadBmp(file)) {
        MoveFrom(&reader);
        return true;
    }
    SetLastError(reader.LastError());
    return false;
}

bool CDibImage::WriteStream(FILE* file, uint32_t formatCode)
{
    if (formatCode != kDibFormatBmp) {
        SetLastError(kUnsupportedFormat);
        return false;
    }
    CDibImageBMP writer;
    writer.BorrowFrom(this);
    if (writer.WriteBmp(file)) return true;
    SetLastError(writer.LastError());
    return false;
}

RGBQUAD* CDibImage::PaletteBlock() const
{
    if (pixelBlock == nullptr || header.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(pixelBlock + sizeof(BITMAPINFOHEADER));
}

uint8_t CDibImage::PixelIndex(int32_t x, int32_t y) const
{
    if (!HasPalette()) return 0;
    if (!InsideImage(x, y)) {
        return settings.backgroundIndex != -1 ? static_cast<uint8_t>(settings.backgroundIndex) : 0;
    }
    const uint8_t* row = Row(y);
    switch (header.biBitCount) {
    case 8:
        return row[x];
    case 4:
        return (row[x / 2] >> (4 - 4 * (x % 2))) & 0x0F;
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 0x01;
    default:
        return 0;
    }
}

void CDibImage::SetPixelIndex(int32_t x, int32_t y, uint8_t index)
{
    if (!HasPalette() || !InsideImage(x, y)) return;
    uint8_t* row = Row(y);
    switch (header.biBitCount) {
    case 8:
        row[x] = index;
        break;
    case 4: {
        const int shift = 4 - 4 * (x % 2);
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & ~(0x0F << shift)) | ((index & 0x0F) << shift));
        break;
    }
    case 1: {
        const int shift = 7 - x % 8;
        row[x / 8] = static_cast<uint8_t>((row[x / 8] & ~(1 << shift)) | ((index & 1) << shift));
        break;
    }
    default:
        break;
    }
}

RGBQUAD CDibImage::PixelColour(int32_t x, int32_t y) const
{
    if (pixelBlock != nullptr && InsideImage(x, y)) {
        if (header.biBitCount <= 8) return PaletteColour(PixelIndex(x, y));
        const uint8_t* pixel = Row(y) + 3 * static_cast<size_t>(x);
        return RGBQUAD{pixel[0], pixel[1], pixel[2], 0};
    }
    if (settings.backgroundIndex != -1) return PaletteColour(static_cast<uint8_t>(settings.backgroundIndex));
    return RGBQUAD{0, 0, 0, 0};
}

void CDibImage::SetPixelColour(int32_t x, int32_t y, RGBQUAD colour)
{
    if (pixelBlock == nullptr || !InsideImage(x, y)) return;
    if (header.biBitCount <= 8) {
        SetPixelIndex(x, y, NearestPaletteIndex(colour));
        return;
    }
    uint8_t* pixel = Row(y) + 3 * static_cast<size_t>(x);
    pixel[0] = colour.rgbBlue;
    pixel[1] = colour.rgbGreen;
    pixel[2] = colour.rgbRed;
}

uint32_t CDibImage::SearchedColourCount() const
{
    return header.biClrImportant != 0 ? std::min(header.biClrImportant, header.biClrUsed) : header.biClrUsed;
}

uint8_t CDibImage::NearestPaletteIndex(RGBQUAD colour) const
{
    if (!HasPalette()) return 0;
    return tallowin::imaging::NearestEntry(PaletteBlock(), SearchedColourCount(), colour);
}

RGBQUAD CDibImage::PaletteColour(uint8_t index) const
{
    if (pixelBlock == nullptr || index >= header.biClrUsed) return RGBQUAD{0, 0, 0, 0};
    const RGBQUAD entry = PaletteBlock()[index];
    return RGBQUAD{entry.rgbBlue, entry.rgbGreen, entry.rgbRed, 0};
}

void CDibImage::SetPaletteEntry(uint8_t index, uint8_t red, uint8_t green, uint8_t blue)
{
    if (pixelBlock == nullptr || index >= header.biClrUsed) return;
    PaletteBlock()[index] = RGBQUAD{blue, green, red, 0};
}

void CDibImage::SetPaletteColours(const RGBQUAD* table, uint32_t count)
{
    if (table == nullptr || !HasPalette()) return;
    const uint64_t bytes = std::min<uint64_t>(4ull * count, PaletteSize());
    std::memcpy(PaletteBlock(), table, static_cast<size_t>(bytes));
}

void CDibImage::SetImportantColours(uint32_t count)
{
    if (count == 0 || count > 256) {
        header.biClrImportant = 0;
        return;
    }
    switch (header.biBitCount) {
    case 1:
        header.biClrImportant = std::min(count, 2u);
        break;
    case 4:
        header.biClrImportant = std::min(count, 16u);
        break;
    case 8:
        header.biClrImportant = count;
        break;
    default:
        break;
    }
}

void CDibImage::MoveFrom(CDibImage* source)
{
    if (source == nullptr || source == this) return;
    FreeBlock();
    header = source->header;
    settings = source->settings;
    pixelBlock = source->pixelBlock;
    source->pixelBlock = nullptr;
    source->header = BITMAPINFOHEADER{};
    source->settings = Settings{};
    source->settings.backgroundIndex = 0;
}

void CDibImage::BorrowFrom(CDibImage* source)
{
    if (source == nullptr || source == this) return;
    FreeBlock();
    header = source->header;
    settings = source->settings;
    pixelBlock = source->pixelBlock;
    settings.owner = source;
}

void CDibImage::InheritSettings(const CDibImage* source)
{
    if (source == nullptr || pixelBlock != nullptr) return;
    settings = source->settings;
    // This image holds no block: it neither points into nor borrows the source's.
    settings.pixels = nullptr;
    settings.owner = nullptr;
}
