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
    EXPECT_EQ(ReadHeaderAs("png", wide, info), DecodeStatus::OverLimit);
    const std::string big = WriteFile("big.png", withSize(40'000, 40'000)).string();
    EXPECT_EQ(ReadHeaderAs("png", big, info), DecodeStatus::OverLimit);
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
    EXPECT_EQ(ReadHeaderAs("ico", WriteFile("huge.ico", bytes).string(), info),
              DecodeStatus::OverLimit);
}

TEST(DecoderSniffing, FormatComesFromTheContentNeverTheName) {
    EXPECT_EQ(DecodeFile(DataFile("generated/jpeg/bad/png_content_named.jpg")).format, "png");
    EXPECT_EQ(DecodeFile(DataFile("generated/bmp/pal8_copy.dib")).format, "bmp");

    auto sniff = [](std::initializer_list<uint8_t> head, size_t pad = 64) -> std::string {
        std::vector<uint8_t> b(head);
        b.resize(std::max(b.size(), pad), 0);
        const codec::Decoder* format = codec::SniffFormat(b.data(), b.size());
        return format != nullptr ? format->Name() : "";
    };
    EXPECT_EQ(sniff({0xD7, 0xCD, 0xC6, 0x9A}), "wmf");
    EXPECT_EQ(sniff({1, 0, 9, 0, 0, 3}), "wmf");
    std::vector<uint8_t> emf(64, 0);
    emf[0] = 1;
    emf[40] = ' ';
    emf[41] = 'E';
    emf[42] = 'M';
    emf[43] = 'F';
    EXPECT_EQ(codec::SniffFormat(emf.data(), emf.size()), &Format("emf"));
    EXPECT_EQ(codec::SniffFormat(emf.data(), 43), nullptr);
    EXPECT_EQ(sniff({'M', 'M', 0, 42}), "tiff");
    EXPECT_EQ(sniff({'G', 'I', 'F', '8', '7', 'a'}), "gif");
    EXPECT_EQ(sniff({0, 0, 1, 0, 1, 0}), "ico");
    EXPECT_EQ(sniff({0, 0, 1, 0, 0, 0}), "");  // an icon directory with no entries
    EXPECT_EQ(sniff({40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0}), "bmp");
    EXPECT_EQ(sniff({40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 23, 0}), "");
    EXPECT_EQ(sniff({0xFF, 0xD8}, 2), "");
    EXPECT_EQ(codec::SniffFormat(nullptr, 0), nullptr);

    const codec::Decoder* format = &Format("png");
    EXPECT_EQ(codec::SniffFile("/nonexistent/photo.jpg", format), DecodeStatus::FileError);
    EXPECT_EQ(format, nullptr);
}

// Every adapter answers to its own name once, and no two adapters claim one signature:
// the first bytes of a file of each format lead back to that format.
TEST(DecoderRegistry, EachAdapterIsListedOnceAndFoundByItsOwnFiles) {
    std::set<std::string> names;
    for (const codec::Decoder* decoder : codec::AllDecoders()) {
        EXPECT_TRUE(names.insert(decoder->Name()).second) << decoder->Name();
        EXPECT_EQ(codec::FindDecoder(decoder->Name()), decoder);
    }
    EXPECT_EQ(codec::FindDecoder("no such format"), nullptr);
    const std::pair<const char*, const char*> samples[] = {
        {"png", "pngsuite/basn2c08.png"},      {"jpeg", "libjpeg-turbo/testorig.jpg"},
        {"gif", "generated/gif/interlaced.gif"},   {"tiff", "generated/tiff/strips_lzw.tif"},
        {"bmp", "bmpsuite/g/pal8.bmp"},        {"ico", "generated/ico/pal4_32.ico"},
        {"wmf", "libwmf/ant.wmf"},             {"emf", "libemf2svg/test-037.emf"},
    };
    for (const auto& [name, file] : samples) {
        SCOPED_TRACE(file);
        const std::string head = ReadFile(DataDir() / file).substr(0, codec::kSniffBytes);
        int claims = 0;
        for (const codec::Decoder* decoder : codec::AllDecoders())
            if (decoder->Sniff(reinterpret_cast<const uint8_t*>(head.data()), head.size()) != codec::SniffMatch::No)
                ++claims;
        EXPECT_EQ(claims, 1);
        EXPECT_EQ(codec::SniffFormat(reinterpret_cast<const uint8_t*>(head.data()), head.size()), &Format(name));
    }
}

TEST(DecoderLimits, SidesAndPixelCountAreCapped) {
    const codec::DecodeLimits limits;
    EXPECT_FALSE(limits.Admits(0, 1));
    EXPECT_FALSE(limits.Admits(1, -1));
    EXPECT_TRUE(limits.Admits(limits.maxSide, 500));  // exactly the pixel cap
    EXPECT_FALSE(limits.Admits(limits.maxSide, 501));
    EXPECT_FALSE(limits.Admits(limits.maxSide + 1, 1));
    EXPECT_FALSE(limits.Admits(INT64_MAX, INT64_MAX));
    // Caps above the raster core's are held to the core's.
    codec::DecodeLimits loose;
    loose.maxSide = INT64_MAX;
    loose.maxPixels = INT64_MAX;
    EXPECT_FALSE(loose.Admits(INT64_MAX, INT64_MAX));
    EXPECT_FALSE(loose.Admits(limits.maxSide, 501));
    // Tighter caps are the caller's to set, and every adapter follows them.
    codec::DecodeLimits tight;
    tight.maxSide = 100;
    tight.maxPixels = 100 * 100;
    EXPECT_TRUE(tight.Admits(100, 100));
    EXPECT_FALSE(tight.Admits(101, 1));
    for (const char* file : {"pngsuite/basn2c08.png", "generated/gif/interlaced.gif",
                             "generated/tiff/strips_lzw.tif", "bmpsuite/g/pal8.bmp"}) {
        SCOPED_TRACE(file);
        const Decoded d = DecodeFile(DataFile(file));
        ASSERT_EQ(d.pixels, DecodeStatus::Ok);
        codec::DecodeLimits justBelow;
        justBelow.maxPixels = static_cast<int64_t>(d.info.width) * d.info.height - 1;
        EXPECT_EQ(DecodeFile(DataFile(file), {}, justBelow).header, DecodeStatus::OverLimit);
    }
}

}  // namespace
}  // namespace tallowin::test
