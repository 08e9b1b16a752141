// The direct reader of plain 8-bit RGB and RGBA PNGs: files built here byte by byte
// (every filter type on rows of several widths, image data over many chunks) decode to
// the very pixels they were made from, reduced decodes match libpng's, and every file
// it must not read (other kinds, damage of each sort, sizes over the limits) is left to
// libpng, so the decoder's answer is libpng's own.
#include "decoder_test_support.h"
#include "png_direct.h"

#include <zlib.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;
using codec::Raster;

std::string Be32(uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data)
{
    const std::string body = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return Be32(static_cast<uint32_t>(data.size())) + body + Be32(static_cast<uint32_t>(crc));
}

std::string Deflate(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 6) != Z_OK) {
        std::abort();
    }
    out.resize(size);
    return out;
}

int Paeth(int a, int b, int c)
{
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// A picture of `bpp`-byte pixels (R, G, B[, A]) and the PNG parts made of it.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    int bpp = 3;
    std::vector<uint8_t> pixels;  // rows of width * bpp bytes

    // Each row filtered with the type `filterOf(y)` gives, behind its filter byte.
    template <class FilterOf> std::string Filtered(FilterOf filterOf) const
    {
        const size_t rowBytes = static_cast<size_t>(width) * bpp;
        std::string out;
        for (int32_t y = 0; y < height; ++y) {
            const int filter = filterOf(y);
            out += static_cast<char>(filter);
            const uint8_t* row = &pixels[y * rowBytes];
            for (size_t i = 0; i < rowBytes; ++i) {
                const int a = i >= static_cast<size_t>(bpp) ? row[i - bpp] : 0;
                const int b = y > 0 ? row[i - rowBytes] : 0;
                const int c = y > 0 && i >= static_cast<size_t>(bpp) ? row[i - rowBytes - bpp] : 0;
                const int predicted = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? Paeth(a, b, c) : 0;
                out += static_cast<char>(row[i] - predicted);
            }
        }
        return out;
    }

    std::string Header() const
    {
        return Chunk("IHDR", Be32(static_cast<uint32_t>(width)) + Be32(static_cast<uint32_t>(height)) +
                                 std::string{8, static_cast<char>(bpp == 4 ? 6 : 2), 0, 0, 0});
    }

    Raster Bgra() const
    {
        Raster out;
        out.width = width;
        out.height = height;
        for (size_t i = 0; i < pixels.size(); i += bpp) {
            out.pixels.insert(out.pixels.end(), {pixels[i + 2], pixels[i + 1], pixels[i], bpp == 4 ? pixels[i + 3] : uint8_t{255}});
        }
        return out;
    }
};

const std::string kSignature("\x89PNG\r\n\x1a\n", 8);

// Noise with runs of equal and extreme bytes, so every Paeth branch and tie is taken.
Picture MakePicture(int32_t width, int32_t height, int bpp, uint32_t seed)
{
    Picture p{width, height, bpp, {}};
    for (int64_t i = 0; i < int64_t{width} * height * bpp; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const uint32_t r = seed >> 24;
        p.pixels.push_back(static_cast<uint8_t>(r < 40 ? 0 : r < 80 ? 255 : r < 120 ? (i / bpp) % 7 : r));
    }
    return p;
}

std::string PlainPng(const Picture& p, const std::string& filtered, size_t idatPieces = 1)
{
    const std::string stream = Deflate(filtered);
    std::string png = kSignature + p.Header();
    const size_t piece = (stream.size() + idatPieces - 1) / idatPieces;
    for (size_t at = 0; at < stream.size(); at += piece) png += Chunk("IDAT", stream.substr(at, piece));
    return png + Chunk("IEND", "");
}

class PngDirectTest : public TestWorld {
protected:
    std::string Write(const std::string& name, const std::string& bytes) { return WriteFile(name, bytes).string(); }

    // True when the direct reader takes the file and reads every row.
    static bool DirectReads(const std::string& path, const codec::DecodeLimits& limits = {})
    {
        codec::detail::PngDirect direct;
        if (!direct.Open(path, limits)) return false;
        Raster raster;
        return codec::detail::AllocateRaster(raster, direct.Width(), direct.Height()) == DecodeStatus::Ok &&
               direct.ReadAll(raster);
    }
};

TEST_F(PngDirectTest, EveryFilterOnEveryWidthGivesThePixelsBack)
{
    for (const int bpp : {3, 4}) {
        for (const int32_t width : {1, 2, 5, 17, 64}) {
            const Picture picture = MakePicture(width, 11, bpp, static_cast<uint32_t>(width * bpp));
            // Filter types in two orders, so each type follows each other one; then Paeth
            // on every row, and in pairs between others (two Paeth rows are read together).
            const std::vector<std::function<int(int32_t)>> orders = {
                [](int32_t y) { return y % 5; }, [](int32_t y) { return y * 3 % 5; }, [](int32_t) { return 4; },
                [](int32_t y) { return y % 3 == 0 ? 1 : 4; }};
            for (size_t order = 0; order < orders.size(); ++order) {
                SCOPED_TRACE(testing::Message() << bpp << " bytes, " << width << " wide, order " << order);
                const std::string path = Write("plain.png", PlainPng(picture, picture.Filtered(orders[order]), 3));
                EXPECT_TRUE(DirectReads(path));
                const Decoded decoded = DecodeFile(path);
                ASSERT_EQ(decoded.pixels, DecodeStatus::Ok);
                EXPECT_EQ(decoded.raster.pixels, picture.Bgra().pixels);
                EXPECT_EQ(decoded.info.hasAlpha, bpp == 4);
            }
        }
    }
}

TEST_F(PngDirectTest, ReducedDecodesMatchLibpngs)
{
    for (const int bpp : {3, 4}) {
        const Picture picture = MakePicture(37, 29, bpp, 7);
        const std::string path =
            Write("plain.png", PlainPng(picture, picture.Filtered([](int32_t y) { return y % 4 == 0 ? 2 : 4; })));
        for (const codec::DecodeRequest request : {codec::DecodeRequest{5, 4}, {9, 7}, {18, 14}, {0, 0}}) {
            SCOPED_TRACE(testing::Message() << bpp << " bytes, at least " << request.minWidth);
            const Decoded direct = DecodeFile(path, request);
            Raster viaLibpng;
            ASSERT_EQ(codec::detail::PngDecodeThroughLibpng(path, request, {}, viaLibpng), DecodeStatus::Ok);
            ASSERT_EQ(direct.pixels, DecodeStatus::Ok);
            EXPECT_EQ(direct.raster.width, viaLibpng.width);
            EXPECT_EQ(direct.raster.pixels, viaLibpng.pixels);
        }
    }
}

TEST_F(PngDirectTest, OtherKindsDamageAndOversizeAreLibpngsToJudge)
{
    const Picture picture = MakePicture(23, 9, 3, 3);
    const std::string filtered = picture.Filtered([](int32_t y) { return y % 5; });
    const std::string stream = Deflate(filtered);
    const std::string head = kSignature + picture.Header();
    const std::string idat = Chunk("IDAT", stream);
    const std::string end = Chunk("IEND", "");
    std::string badCrc = idat;
    badCrc.back() ^= 1;
    std::string changed = stream;
    changed[changed.size() / 2] ^= 0x55;
    std::string badFilter = filtered;
    badFilter[2 * (1 + 23 * 3)] = 5;
    std::string badTextCrc = Chunk("tEXt", std::string("Comment\0x", 9));
    badTextCrc.back() ^= 1;
    struct Case {
        const char* what;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"a wrong CRC on the image data", head + badCrc + end},
        {"a changed byte in the stream", head + Chunk("IDAT", changed) + end},
        {"a stream cut short", head + Chunk("IDAT", stream.substr(0, stream.size() - 9)) + end},
        {"data after the stream", head + Chunk("IDAT", stream + "more") + end},
        {"rows missing from the stream", head + Chunk("IDAT", Deflate(filtered.substr(0, filtered.size() - 70))) + end},
        {"no end chunk", head + idat},
        {"an undefined filter type", head + Chunk("IDAT", Deflate(badFilter)) + end},
        {"an unknown critical chunk", head + Chunk("CRIT", "x") + idat + end},
        {"a transparent colour", head + Chunk("tRNS", std::string(6, '\0')) + idat + end},
        {"a palette", head + Chunk("PLTE", std::string(6, '\x40')) + idat + end},
        {"image data split by another chunk", head + Chunk("IDAT", stream.substr(0, 20)) + Chunk("tEXt", std::string("a\0b", 3)) +
                                                  Chunk("IDAT", stream.substr(20)) + end},
        {"a wrong CRC on a text chunk", head + badTextCrc + idat + end},
        {"a file cut in the header", head.substr(0, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Write("damaged.png", c.bytes);
        EXPECT_FALSE(DirectReads(path));
        const Decoded decoded = DecodeFile(path);
        Raster viaLibpng;
        const DecodeStatus libpng = codec::detail::PngDecodeThroughLibpng(path, {}, {}, viaLibpng);
        if (decoded.header != DecodeStatus::Ok) continue;
        EXPECT_EQ(decoded.pixels, libpng);
        if (libpng == DecodeStatus::Ok) {
            EXPECT_EQ(decoded.raster.pixels, viaLibpng.pixels);
        }
    }
    // Other kinds of PNG: grey, 16-bit, palette, interlaced, with transparency.
    for (const char* name : {"basn0g08.png", "basn2c16.png", "basn3p08.png", "basi2c08.png", "tbrn2c08.png"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(DirectReads(DataFile(std::string("pngsuite/") + name)));
    }
    // Sides over the limits, and inflated rows over the working memory.
    const std::string path = Write("plain.png", head + idat + end);
    codec::DecodeLimits narrow;
    narrow.maxSide = 22;
    EXPECT_FALSE(DirectReads(path, narrow));
    Raster unused;
    std::string warning;
    EXPECT_EQ(codec::DecodePixels(Format("png"), path, {}, narrow, unused, warning), DecodeStatus::OverLimit);
    codec::DecodeLimits small;
    small.maxWorkingBytes = filtered.size();
    EXPECT_FALSE(DirectReads(path, small));
    EXPECT_TRUE(DirectReads(path));
}

TEST_F(PngDirectTest, PngSuitesPlainFilesReadDirectlyAsLibpngReadsThem)
{
    for (const char* name : {"basn2c08.png", "basn6a08.png", "z00n2c08.png", "z03n2c08.png", "z06n2c08.png", "z09n2c08.png"}) {
        SCOPED_TRACE(name);
        const std::string path = DataFile(std::string("pngsuite/") + name);
        EXPECT_TRUE(DirectReads(path));
        const Decoded decoded = DecodeFile(path);
        Raster viaLibpng;
        ASSERT_EQ(codec::detail::PngDecodeThroughLibpng(path, {}, {}, viaLibpng), DecodeStatus::Ok);
        ASSERT_EQ(decoded.pixels, DecodeStatus::Ok);
        EXPECT_EQ(decoded.raster.pixels, viaLibpng.pixels);
    }
}

}  // namespace
}  // namespace tallowin::test
