// The BMP reader on hand-made files: bare bitmaps, declared palette sizes, core and
// long headers, 16- and 32-bit rows, the run-length decoders, and the files it
// must refuse before writing any row.

#include "bmp_rows.h"
#include "dib_image_bmp.h"
#include "image_helpers.h"
#include "test_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace tallowin::test {
namespace {

namespace errors = imaging::bmp_errors;

void Put16(std::string& s, uint16_t v)
{
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}

void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string InfoHeader(int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t colours,
                       uint32_t size = 40)
{
    std::string s;
    Put32(s, size);
    Put32(s, static_cast<uint32_t>(width));
    Put32(s, static_cast<uint32_t>(height));
    Put16(s, 1);
    Put16(s, bits);
    Put32(s, compression);
    Put32(s, 0);
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, colours);
    Put32(s, 0);
    s.resize(size, '\0');
    return s;
}

std::string FileHeader(size_t total, uint32_t offBits)
{
    std::string s = "BM";
    Put32(s, static_cast<uint32_t>(total));
    Put32(s, 0);
    Put32(s, offBits);
    return s;
}

// A file with a file header whose rows start right after `beforeRows`.
std::string WithFileHeader(const std::string& beforeRows, const std::string& rows)
{
    return FileHeader(14 + beforeRows.size() + rows.size(), static_cast<uint32_t>(14 + beforeRows.size())) +
           beforeRows + rows;
}

std::string Palette(int count, uint8_t seed)
{
    std::string s;
    for (int i = 0; i < count; ++i) {
        s.push_back(static_cast<char>(seed + i));
        s.push_back(static_cast<char>(i));
        s.push_back(static_cast<char>(255 - i));
        s.push_back('\0');
    }
    return s;
}

class BmpReader : public TestWorld {
protected:
    bool Load(const std::string& bytes, CDibImage& image)
    {
        const auto path = WriteFile("in.bmp", bytes);
        return image.LoadFile(path.c_str(), kDibFormatBmp);
    }
};

TEST_F(BmpReader, BareBitmapWithoutFileHeaderIsReadFromOffsetZero)
{
    // 8-bit, 2 × 2, four declared palette entries: the rows follow them directly.
    const std::string rows = std::string("\x01\x02\0\0\x03\x00\0\0", 8);
    CDibImage image;
    ASSERT_TRUE(Load(InfoHeader(2, 2, 8, BI_RGB, 4) + Palette(4, 10) + rows, image)) << image.LastError();
    EXPECT_EQ(image.BitCount(), 8);
    EXPECT_EQ(image.PixelIndex(0, 0), 1);
    EXPECT_EQ(image.PixelIndex(1, 0), 2);
    EXPECT_EQ(image.PixelIndex(0, 1), 3);
    EXPECT_EQ(image.PaletteColour(3).rgbBlue, 13);
    EXPECT_EQ(image.PaletteColour(4).rgbBlue, 0);  // beyond the declared entries: black
}

TEST_F(BmpReader, DeclaredPaletteOfHundredEntriesWithFileHeader)
{
    std::string rows(4 * 3, '\0');
    rows[0] = 99;
    rows[4 + 1] = 42;
    CDibImage image;
    ASSERT_TRUE(Load(WithFileHeader(InfoHeader(3, 3, 8, BI_RGB, 100) + Palette(100, 0), rows), image));
    EXPECT_EQ(image.Header().biClrUsed, 256u);
    EXPECT_EQ(image.PixelIndex(0, 0), 99);
    EXPECT_EQ(image.PixelIndex(1, 1), 42);
    EXPECT_EQ(image.PaletteColour(99).rgbGreen, 99);
    EXPECT_EQ(image.PaletteColour(200).rgbRed, 0);
}

TEST_F(BmpReader, CoreHeaderWithThreeBytePalette)
{
    std::string core;
    Put32(core, 12);
    Put16(core, 3);
    Put16(core, 1);
    Put16(core, 1);
    Put16(core, 1);
    const std::string palette = std::string("\x10\x20\x30\xA0\xB0\xC0", 6);
    const std::string rows = std::string("\x40\0\0\0", 4);  // 0 1 0
    CDibImage image;
    ASSERT_TRUE(Load(WithFileHeader(core + palette, rows), image)) << image.LastError();
    EXPECT_EQ(image.Header().biSize, 40u);
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.PixelIndex(1, 0), 1);
    const RGBQUAD c = image.PixelColour(1, 0);
    EXPECT_EQ(c.rgbBlue, 0xA0);
    EXPECT_EQ(c.rgbGreen, 0xB0);
    EXPECT_EQ(c.rgbRed, 0xC0);
    EXPECT_EQ(image.PixelColour(0, 0).rgbRed, 0x30);
}

TEST_F(BmpReader, LongHeaderIsKeptAsFortyBytesWithRowsInPlace)
{
    const std::string rows = std::string("\x05\x06\0\0", 4);
    CDibImage image;
    ASSERT_TRUE(Load(InfoHeader(2, 1, 8, BI_RGB, 8, 124) + Palette(8, 50) + rows, image)) << image.LastError();
    EXPECT_EQ(image.Header().biSize, 40u);
    EXPECT_EQ(image.PixelIndex(0, 0), 5);
    EXPECT_EQ(image.PixelIndex(1, 0), 6);
    EXPECT_EQ(image.PaletteColour(7).rgbBlue, 57);
    // Written back, it is an ordinary 40-byte-header file.
    const auto path = Path("out.bmp").string();
    ASSERT_TRUE(image.SaveFile(path.c_str(), kDibFormatBmp));
    CDibImage back;
    ASSERT_TRUE(back.LoadFile(path.c_str(), kDibFormatBmp));
    EXPECT_EQ(BlockBytes(back), BlockBytes(image));
}

TEST_F(BmpReader, SixteenAndThirtyTwoBitRowsBecomeTwentyFourBit)
{
    // 16-bit default 5-5-5: white, pure red, pure green (5 bits), one pixel each.
    std::string rows;
    Put16(rows, 0x7FFF);
    Put16(rows, 0x7C00);
    Put16(rows, 0x03E0);
    rows.append(2, '\0');
    CDibImage image;
    ASSERT_TRUE(Load(WithFileHeader(InfoHeader(3, 1, 16, BI_RGB, 0), rows), image)) << image.LastError();
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_EQ(image.PixelColour(0, 0).rgbRed, 255);
    EXPECT_EQ(image.PixelColour(0, 0).rgbBlue, 255);
    EXPECT_EQ(image.PixelColour(1, 0).rgbRed, 255);
    EXPECT_EQ(image.PixelColour(1, 0).rgbGreen, 0);
    EXPECT_EQ(image.PixelColour(2, 0).rgbGreen, 255);

    // 5-6-5 masks after the header; value 16 of 31 rounds to 132.
    std::string masks;
    Put32(masks, 0xF800);
    Put32(masks, 0x07E0);
    Put32(masks, 0x001F);
    std::string rows565;
    Put16(rows565, static_cast<uint16_t>((16 << 11) | (63 << 5) | 1));
    rows565.append(2, '\0');
    CDibImage bitfields;
    ASSERT_TRUE(Load(WithFileHeader(InfoHeader(1, 1, 16, BI_BITFIELDS, 0) + masks, rows565), bitfields));
    EXPECT_EQ(bitfields.PixelColour(0, 0).rgbRed, 132);
    EXPECT_EQ(bitfields.PixelColour(0, 0).rgbGreen, 255);
    EXPECT_EQ(bitfields.PixelColour(0, 0).rgbBlue, 8);

    std::string rows32 = std::string("\x11\x22\x33\x44", 4);
    CDibImage deep;
    ASSERT_TRUE(Load(WithFileHeader(InfoHeader(1, 1, 32, BI_RGB, 0), rows32), deep));
    EXPECT_EQ(deep.PixelColour(0, 0).rgbBlue, 0x11);
    EXPECT_EQ(deep.PixelColour(0, 0).rgbGreen, 0x22);
    EXPECT_EQ(deep.PixelColour(0, 0).rgbRed, 0x33);
}

TEST_F(BmpReader, RefusesFilesItCannotHoldBeforeWritingRows)
{
    struct Case {
        std::string bytes;
        const char* error;
    };
    const std::string someRows(64, '\x7F');
    const Case cases[] = {
        {"", errors::kNotABmp},
        {"BM\0\0", errors::kNotABmp},
        {FileHeader(20, 54) + "\x28\0", errors::kBadInfo},
        {WithFileHeader(InfoHeader(-4, 2, 24, BI_RGB, 0), someRows), errors::kBadDimensions},
        {WithFileHeader(InfoHeader(0, 2, 24, BI_RGB, 0), someRows), errors::kBadDimensions},
        {WithFileHeader(InfoHeader(4, 0, 24, BI_RGB, 0), someRows), errors::kBadDimensions},
        {WithFileHeader(InfoHeader(4, -2, 24, BI_RGB, 0), someRows), errors::kTopDown},
        {WithFileHeader(InfoHeader(2'000'000, 1, 24, BI_RGB, 0), someRows), errors::kTooLarge},
        {WithFileHeader(InfoHeader(100'000, 100'000, 1, BI_RGB, 0), someRows), errors::kTooLarge},
        {WithFileHeader(InfoHeader(4, 4, 30000, BI_RGB, 0), someRows), errors::kBadBitCount},
        {WithFileHeader(InfoHeader(4, 4, 2, BI_RGB, 4) + Palette(4, 0), someRows), errors::kBadBitCount},
        {WithFileHeader(InfoHeader(4, 4, 8, 4, 0), someRows), errors::kIndexedCompression},
        {WithFileHeader(InfoHeader(4, 4, 24, BI_RLE8, 0), someRows), errors::kUnknownCompression},
        {WithFileHeader(InfoHeader(4, 4, 32, BI_RLE4, 0), someRows), errors::kUnknownCompression},
    };
    for (const Case& c : cases) {
        CDibImage image;
        EXPECT_FALSE(Load(c.bytes, image)) << c.error;
        EXPECT_STREQ(image.LastError(), c.error);
        EXPECT_EQ(image.PixelBlock(), nullptr);
    }
}

TEST_F(BmpReader, CutUncompressedRowsAreRefusedBeforeAllocating)
{
    // 4 × 4 at 8 bits: 16 bytes of rows; 24 bits: 3 rows of 12 bytes + 12 pixel bytes.
    const std::string indexed = InfoHeader(4, 4, 8, BI_RGB, 0) + Palette(256, 0);
    const std::string masks = std::string("\0\xF8\0\0\xE0\x07\0\0\x1F\0\0\0", 12);
    const std::string cases[] = {
        WithFileHeader(indexed, std::string(15, '\x22')),
        WithFileHeader(InfoHeader(4, 4, 24, BI_RGB, 0), std::string(47, '\x22')),
        WithFileHeader(InfoHeader(4, 4, 16, BI_BITFIELDS, 0) + masks, std::string(31, '\x22')),
        InfoHeader(4, 4, 8, BI_RGB, 0) + Palette(256, 0) + std::string(15, '\x22'),  // no file header
        InfoHeader(4, 4, 8, BI_RGB, 0) + Palette(200, 0),                             // cut in the palette
        FileHeader(2000, 1500) + indexed + std::string(64, '\x22'),                  // rows beyond the end
        // 400 megapixels declared in a few bytes: refused without asking for the memory.
        WithFileHeader(InfoHeader(20'000, 20'000, 24, BI_RGB, 0), std::string(64, '\x22')),
    };
    for (const std::string& bytes : cases) {
        CDibImage image;
        EXPECT_FALSE(Load(bytes, image));
        EXPECT_STREQ(image.LastError(), errors::kTruncated);
        EXPECT_EQ(image.PixelBlock(), nullptr);
    }

    // Complete rows read, and so do rows whose last padding bytes are missing.
    CDibImage whole, unpadded;
    EXPECT_TRUE(Load(WithFileHeader(indexed, std::string(16, '\x22')), whole)) << whole.LastError();
    ASSERT_TRUE(Load(WithFileHeader(InfoHeader(3, 2, 24, BI_RGB, 0), std::string(12 + 9, '\x33')), unpadded))
        << unpadded.LastError();
    EXPECT_EQ(unpadded.PixelColour(2, 1).rgbRed, 0x33);
}

// Bytes in memory behind a stream that can move to a position but can't tell
// where its end is, like a source read as it arrives.
struct EndlessLookingStream {
    std::string bytes;
    size_t position = 0;

    static ssize_t Read(void* cookie, char* buffer, size_t size)
    {
        auto* self = static_cast<EndlessLookingStream*>(cookie);
        const size_t n = std::min(size, self->bytes.size() - self->position);
        std::memcpy(buffer, self->bytes.data() + self->position, n);
        self->position += n;
        return static_cast<ssize_t>(n);
    }
    static int Seek(void* cookie, off64_t* offset, int whence)
    {
        auto* self = static_cast<EndlessLookingStream*>(cookie);
        if (whence == SEEK_END) return -1;
        const off64_t target = (whence == SEEK_SET ? 0 : static_cast<off64_t>(self->position)) + *offset;
        if (target < 0) return -1;
        self->position = std::min(static_cast<size_t>(target), self->bytes.size());
        *offset = static_cast<off64_t>(self->position);
        return 0;
    }
};

TEST_F(BmpReader, ShortStreamOfUnknownLengthKeepsTheRowsThatWereThere)
{
    std::string rows(4 * 4, '\x22');
    rows.resize(6);
    EndlessLookingStream source{WithFileHeader(InfoHeader(4, 4, 8, BI_RGB, 0) + Palette(256, 0), rows)};
    FILE* stream = fopencookie(&source, "rb", {EndlessLookingStream::Read, nullptr, EndlessLookingStream::Seek, nullptr});
    ASSERT_NE(stream, nullptr);
    CDibImage image;
    const bool read = image.ReadStream(stream, kDibFormatBmp);
    std::fclose(stream);
    ASSERT_TRUE(read) << image.LastError();
    EXPECT_EQ(image.PixelIndex(1, 1), 0x22);
    EXPECT_EQ(image.PixelIndex(2, 1), 0);
    EXPECT_EQ(image.PixelIndex(3, 3), 0);
}

// Run-length decoding straight into a row block.
struct Rows {
    explicit Rows(uint32_t stride, uint32_t height) : bytes(stride * height, 0), span{bytes.data(), stride, height} {}
    std::vector<uint8_t> bytes;
    imaging::RowSpan span;
};

imaging::RleEnd Rle8(const std::vector<uint8_t>& data, Rows& rows)
{
    imaging::MemoryByteSource source(data.data(), data.size());
    return imaging::DecodeRle8(source, rows.span);
}

imaging::RleEnd Rle4(const std::vector<uint8_t>& data, Rows& rows, size_t* consumed = nullptr)
{
    imaging::MemoryByteSource source(data.data(), data.size());
    const auto end = imaging::DecodeRle4(source, rows.span);
    if (consumed != nullptr) *consumed = source.Position();
    return end;
}

TEST(RunLength, EightBitRunsEscapesAndDeltas)
{
    Rows rows(4, 3);
    // run of 3 × 7, end of line, absolute 3 bytes + filler, delta (0, 1), run 1 × 9, end of bitmap.
    const std::vector<uint8_t> data{3, 7, 0, 0, 0, 3, 1, 2, 3, 0xEE, 0, 2, 0, 1, 1, 9, 0, 1, 0xFF};
    EXPECT_EQ(Rle8(data, rows), imaging::RleEnd::EndOfBitmap);
    const std::vector<uint8_t> expected{7, 7, 7, 0, 1, 2, 3, 0, 0, 0, 0, 9};
    EXPECT_EQ(rows.bytes, expected);
}

TEST(RunLength, FourBitAbsoluteRunsAndFillers)
{
    // 3 pixels use 2 data bytes and no filler; 5 pixels use 3 bytes and one filler.
    Rows rows(4, 2);
    size_t consumed = 0;
    const std::vector<uint8_t> three{0, 3, 0x12, 0x30, 0, 1};
    EXPECT_EQ(Rle4(three, rows, &consumed), imaging::RleEnd::EndOfBitmap);
    EXPECT_EQ(consumed, three.size());
    EXPECT_EQ(rows.bytes[0], 0x12);
    EXPECT_EQ(rows.bytes[1], 0x30);

    Rows five(4, 2);
    const std::vector<uint8_t> fiveData{0, 5, 0x12, 0x34, 0x50, 0xEE, 2, 0xAB, 0, 1};
    EXPECT_EQ(Rle4(fiveData, five, &consumed), imaging::RleEnd::EndOfBitmap);
    EXPECT_EQ(consumed, fiveData.size());
    const std::vector<uint8_t> expected{0x12, 0x34, 0x5A, 0xB0, 0, 0, 0, 0};
    EXPECT_EQ(five.bytes, expected);
}

TEST(RunLength, RunsAreClampedToTheRowAndCursorStaysInside)
{
    Rows rows(4, 2);
    // A run of 200 bytes on a 4-byte row, then a delta far above the last row, then more data.
    const std::vector<uint8_t> data{200, 5, 0, 0, 0, 2, 0, 90, 2, 6, 0, 0, 0, 0, 1, 8, 0, 1};
    EXPECT_EQ(Rle8(data, rows), imaging::RleEnd::EndOfBitmap);
    const std::vector<uint8_t> expected{5, 5, 5, 5, 8, 6, 0, 0};
    EXPECT_EQ(rows.bytes, expected);

    Rows nibbles(2, 1);
    EXPECT_EQ(Rle4({255, 0x9A, 0, 255, 1, 2, 3}, nibbles), imaging::RleEnd::EndOfData);
    EXPECT_EQ(nibbles.bytes, (std::vector<uint8_t>{0x9A, 0x9A}));
}

TEST(RunLength, ShortStreamsStopQuietly)
{
    for (const std::vector<uint8_t>& data :
         std::vector<std::vector<uint8_t>>{{}, {5}, {0}, {0, 2, 1}, {0, 9, 1, 2}, {0, 3, 1, 2, 3}}) {
        Rows rows(4, 2);
        EXPECT_EQ(Rle8(data, rows), imaging::RleEnd::EndOfData);
        Rows nibbles(4, 2);
        EXPECT_EQ(Rle4(data, nibbles), imaging::RleEnd::EndOfData);
    }
}

}  // namespace
}  // namespace tallowin::test
