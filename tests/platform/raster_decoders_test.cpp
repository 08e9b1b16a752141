// PNG, TIFF, GIF and icon decoding: equal pictures through different codings,
// transparency, entry choice and limits.
#include "decoder_test_support.h"

#include <filesystem>
#include <set>
#include <string>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;

TEST(PngDecoder, InterlacedFilesEqualTheirProgressiveTwins) {
    int pairs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(DataDir() / "pngsuite")) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("basi", 0) != 0) continue;
        SCOPED_TRACE(name);
        const Decoded interlaced = DecodeFile(entry.path().string());
        const Decoded plain = DecodeFile((DataDir() / "pngsuite" / ("basn" + name.substr(4))).string());
        ASSERT_EQ(interlaced.pixels, DecodeStatus::Ok);
        ASSERT_EQ(plain.pixels, DecodeStatus::Ok);
        EXPECT_EQ(interlaced.raster.pixels, plain.raster.pixels);
        ++pairs;
    }
    EXPECT_EQ(pairs, 15);
}

TEST(PngDecoder, TransparencyBecomesAlpha) {
    for (const char* name : {"tbbn3p08.png", "tm3n3p02.png", "tp1n3p08.png", "tbrn2c08.png", "tbwn0g16.png",
                             "basn4a08.png", "basn6a16.png"}) {
        SCOPED_TRACE(name);
        const Decoded d = DecodeFile(DataFile(std::string("pngsuite/") + name));
        ASSERT_EQ(d.pixels, DecodeStatus::Ok);
        EXPECT_TRUE(d.info.hasAlpha);
        EXPECT_TRUE(codec::detail::AnyTransparent(d.raster));
    }
    const Decoded opaque = DecodeFile(DataFile("pngsuite/basn2c16.png"));
    EXPECT_FALSE(opaque.info.hasAlpha);
    EXPECT_FALSE(codec::detail::AnyTransparent(opaque.raster));
}

// CRC-32 as PNG chunks use it.
uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBe32(std::string& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (24 - 8 * i)) & 0xFF);
}

class RasterDecoderFiles : public TestWorld {};

TEST_F(RasterDecoderFiles, PngOverTheLimitIsToldApartFromDamage) {
    std::string bytes = ReadFile(DataDir() / "pngsuite/basn2c08.png");
    auto withSize = [&](uint32_t width, uint32_t height) {
        std::string b = bytes;
        PutBe32(b, 16, width);
        PutBe32(b, 20, height);
        PutBe32(b, 29, Crc32(b.substr(12, 17)));  // CRC over "IHDR" and its 13 bytes
        return b;
    };
    codec::ImageInfo info;
    const std::string wide = WriteFile("wide.png", withSize(2'000'000, 1)).string();
    EXPECT_EQ(codec::ReadHeader(codec::ImageFormat::Png, wide, info), DecodeStatus::OverLimit);
    const std::string big = WriteFile("big.png", withSize(40'000, 40'000)).string();
    EXPECT_EQ(codec::ReadHeader(codec::ImageFormat::Png, big, info), DecodeStatus::OverLimit);
    // Within the limits the header reads; the missing rows then fail cleanly.
    const Decoded small = DecodeFile(WriteFile("small.png", withSize(64, 64)).string());
    EXPECT_EQ(small.header, DecodeStatus::Ok);
    EXPECT_EQ(small.pixels, DecodeStatus::NotAnImage);
}

TEST(TiffDecoder, TilesStripsAndPagesGiveOnePicture) {
    const Decoded strips = DecodeFile(DataFile("generated/tiff/strips_lzw.tif"));
    ASSERT_EQ(strips.pixels, DecodeStatus::Ok);
    for (const char* name : {"generated/tiff/tiles_lzw_64.tif", "generated/tiff/strips_none_r16.tif",
                             "generated/tiff/multipage3.tif"}) {
        SCOPED_TRACE(name);
        const Decoded d = DecodeFile(DataFile(name));
        ASSERT_EQ(d.pixels, DecodeStatus::Ok);
        EXPECT_EQ(d.raster.pixels, strips.raster.pixels);
    }
    // Palette and one-bit files come out in colour order, top row first.
    const Decoded palette = DecodeFile(DataFile("libtiff/palette-1c-8b.tiff"));
    const Decoded rgb = DecodeFile(DataFile("libtiff/rgb-3c-8b.tiff"));
    ASSERT_EQ(palette.pixels, DecodeStatus::Ok);
    EXPECT_LT(MeanColourDifference(palette.raster, rgb.raster), 12.0);
    const Decoded bilevel = DecodeFile(DataFile("libtiff/miniswhite-1c-1b.tiff"));
    ASSERT_EQ(bilevel.pixels, DecodeStatus::Ok);
    std::set<uint32_t> colours;
    for (int32_t y = 0; y < bilevel.raster.height; ++y)
        for (int32_t x = 0; x < bilevel.raster.width; ++x) colours.insert(PixelAt(bilevel.raster, x, y));
    EXPECT_EQ(colours, (std::set<uint32_t>{0xFF000000u, 0xFFFFFFFFu}));
}

TEST(GifDecoder, FirstFrameInterlacedAndTransparent) {
    // Interlaced rows must land in picture order: compare with the same photo as JPEG.
    const Decoded gif = DecodeFile(DataFile("generated/gif/interlaced.gif"));
    const Decoded jpeg = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
    ASSERT_EQ(gif.pixels, DecodeStatus::Ok);
    EXPECT_LT(MeanColourDifference(gif.raster, jpeg.raster), 10.0);

    const Decoded transparent = DecodeFile(DataFile("generated/gif/transparent.gif"));
    ASSERT_EQ(transparent.pixels, DecodeStatus::Ok);
    EXPECT_TRUE(transparent.info.hasAlpha);
    EXPECT_TRUE(codec::detail::AnyTransparent(transparent.raster));
    EXPECT_FALSE(codec::detail::AnyTransparent(gif.raster));

    const Decoded animation = DecodeFile(DataFile("generated/gif/anim3.gif"));
    ASSERT_EQ(animation.pixels, DecodeStatus::Ok);
    EXPECT_EQ(animation.raster.width, 64);
}

TEST(IcoDecoder, ChoosesTheLargestEntryAndMasksBmpEntries) {
    EXPECT_EQ(DecodeFile(DataFile("generated/ico/multi_bmp32_16_32_48.ico")).raster.width, 48);
    const Decoded png = DecodeFile(DataFile("generated/ico/mixed_bmp_png256.ico"));
    ASSERT_EQ(png.pixels, DecodeStatus::Ok);
    EXPECT_EQ(png.raster.width, 256);
    // A 24-bit entry has no alpha of its own: the AND mask makes its corners clear.
    for (const char* name : {"image-rs/ico/bmp-24bpp-mask.ico", "image-rs/ico/smile.ico"}) {
        SCOPED_TRACE(name);
        const Decoded masked = DecodeFile(DataFile(name));
        ASSERT_EQ(masked.pixels, DecodeStatus::Ok);
        EXPECT_EQ(PixelAt(masked.raster, 0, 0) >> 24, 0u);
        EXPECT_EQ(PixelAt(masked.raster, 16, 16) >> 24, 255u);
    }
}

TEST_F(RasterDecoderFiles, IconWhoseOnlyEntryIsHugeIsOverTheLimit) {
    std::string bytes = ReadFile(DataDir() / "generated/ico/pal4_32.ico");
    // The entry's info header starts at the offset in the directory; its width follows
    // the 4-byte header size.
    const size_t entry = static_cast<uint8_t>(bytes[18]) | (static_cast<uint8_t>(bytes[19]) << 8);
    for (int i = 0; i < 4; ++i) bytes[entry + 4 + i] = static_cast<char>((2'000'000 >> (8 * i)) & 0xFF);
    codec::ImageInfo info;
    EXPECT_EQ(codec::ReadHeader(codec::ImageFormat::Ico, WriteFile("huge.ico", bytes).string(), info),
              DecodeStatus::OverLimit);
}

TEST(DecoderSniffing, FormatComesFromTheContentNeverTheName) {
    EXPECT_EQ(DecodeFile(DataFile("generated/jpeg/bad/png_content_named.jpg")).format, codec::ImageFormat::Png);
    EXPECT_EQ(DecodeFile(DataFile("generated/bmp/pal8_copy.dib")).format, codec::ImageFormat::Bmp);

    auto sniff = [](std::initializer_list<uint8_t> head, size_t pad = 64) {
        std::vector<uint8_t> b(head);
        b.resize(std::max(b.size(), pad), 0);
        return codec::SniffFormat(b.data(), b.size());
    };
    using F = codec::ImageFormat;
    EXPECT_EQ(sniff({0xD7, 0xCD, 0xC6, 0x9A}), F::Wmf);
    EXPECT_EQ(sniff({1, 0, 9, 0, 0, 3}), F::Wmf);
    std::vector<uint8_t> emf(64, 0);
    emf[0] = 1;
    emf[40] = ' ';
    emf[41] = 'E';
    emf[42] = 'M';
    emf[43] = 'F';
    EXPECT_EQ(codec::SniffFormat(emf.data(), emf.size()), F::Emf);
    EXPECT_EQ(codec::SniffFormat(emf.data(), 43), F::Unknown);
    EXPECT_EQ(sniff({'M', 'M', 0, 42}), F::Tiff);
    EXPECT_EQ(sniff({'G', 'I', 'F', '8', '7', 'a'}), F::Gif);
    EXPECT_EQ(sniff({0, 0, 1, 0, 1, 0}), F::Ico);
    EXPECT_EQ(sniff({0, 0, 1, 0, 0, 0}), F::Unknown);  // an icon directory with no entries
    EXPECT_EQ(sniff({40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0}), F::Bmp);
    EXPECT_EQ(sniff({40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 23, 0}), F::Unknown);
    EXPECT_EQ(sniff({0xFF, 0xD8}, 2), F::Unknown);
    EXPECT_EQ(codec::SniffFormat(nullptr, 0), F::Unknown);

    codec::ImageFormat format = F::Png;
    EXPECT_EQ(codec::SniffFile("/nonexistent/photo.jpg", format), DecodeStatus::FileError);
    EXPECT_EQ(format, F::Unknown);
}

TEST(DecoderLimits, SidesAndPixelCountAreCapped) {
    EXPECT_FALSE(codec::WithinLimits(0, 1));
    EXPECT_FALSE(codec::WithinLimits(1, -1));
    EXPECT_TRUE(codec::WithinLimits(codec::kMaxSide, 500));  // exactly kMaxPixels
    EXPECT_FALSE(codec::WithinLimits(codec::kMaxSide, 501));
    EXPECT_FALSE(codec::WithinLimits(codec::kMaxSide + 1, 1));
    EXPECT_FALSE(codec::WithinLimits(INT64_MAX, INT64_MAX));
}

}  // namespace
}  // namespace tallowin::test
