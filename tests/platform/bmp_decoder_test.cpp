// The BMP reader against the BMP Suite's reference renderings, and its handling of
// damaged and hostile headers.
#include "decoder_test_support.h"

#include <string>
#include <utility>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;

// Every pixel equal to the reference (colour always; alpha where `alpha` is set).
void ExpectSamePixels(const codec::Raster& got, const codec::Raster& want, bool alpha) {
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    int mismatches = 0;
    for (int32_t y = 0; y < got.height && mismatches < 5; ++y)
        for (int32_t x = 0; x < got.width && mismatches < 5; ++x) {
            uint32_t a = PixelAt(got, x, y);
            uint32_t b = PixelAt(want, x, y);
            // Colour under full transparency is meaningless.
            if (!alpha || (a >> 24 == 0 && b >> 24 == 0)) {
                a &= alpha ? 0 : 0xFFFFFF;
                b &= alpha ? 0 : 0xFFFFFF;
            }
            if (a != b) {
                ++mismatches;
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << a << ", expected " << b;
            }
        }
}

TEST(BmpDecoder, GoodSuiteFilesMatchTheirReferenceRenderings) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"g/pal1.bmp", "pal1.png"},         {"g/pal1bg.bmp", "pal1bg.png"},
        {"g/pal1wb.bmp", "pal1.png"},       {"g/pal4.bmp", "pal4.png"},
        {"g/pal4gs.bmp", "pal4gs.png"},     {"g/pal4rle.bmp", "pal4.png"},
        {"g/pal8-0.bmp", "pal8.png"},       {"g/pal8.bmp", "pal8.png"},
        {"g/pal8gs.bmp", "pal8gs.png"},     {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"},
        {"g/pal8os2.bmp", "pal8.png"},      {"g/pal8rle.bmp", "pal8.png"},
        {"g/pal8topdown.bmp", "pal8.png"},  {"g/pal8v4.bmp", "pal8.png"},
        {"g/pal8v5.bmp", "pal8.png"},       {"g/pal8w124.bmp", "pal8w124.png"},
        {"g/pal8w125.bmp", "pal8w125.png"}, {"g/pal8w126.bmp", "pal8w126.png"},
        {"g/rgb16-565.bmp", "rgb16-565.png"}, {"g/rgb16-565pal.bmp", "rgb16-565.png"},
        {"g/rgb16.bmp", "rgb16.png"},       {"g/rgb16bfdef.bmp", "rgb16.png"},
        {"g/rgb24.bmp", "rgb24.png"},       {"g/rgb24pal.bmp", "rgb24.png"},
        {"g/rgb32.bmp", "rgb24.png"},       {"g/rgb32bf.bmp", "rgb24.png"},
        {"g/rgb32bfdef.bmp", "rgb24.png"},
        // Questionable files we read, with their own renderings.
        {"q/pal1p1.bmp", "pal1p1.png"},     {"q/pal2.bmp", "pal2.png"},
        {"q/pal8os2v2.bmp", "pal8.png"},    {"q/rgb16-231.bmp", "rgb16-231.png"},
        {"q/rgb32fakealpha.bmp", "rgb24.png"},
    };
    for (const auto& [bmp, png] : cases) {
        SCOPED_TRACE(bmp);
        const Decoded got = DecodeFile(DataFile("bmpsuite/" + bmp));
        const Decoded want = DecodeFile(DataFile("bmpsuite/reference/" + png));
        ASSERT_EQ(got.pixels, DecodeStatus::Ok);
        ASSERT_EQ(want.pixels, DecodeStatus::Ok);
        // Undefined padding bits never turn into transparency.
        EXPECT_FALSE(got.info.hasAlpha);
        ExpectSamePixels(got.raster, want.raster, true);
    }
}

TEST(BmpDecoder, AlphaBitFieldsKeepTheirTransparency) {
    const Decoded got = DecodeFile(DataFile("bmpsuite/q/rgba32-1.bmp"));
    const Decoded want = DecodeFile(DataFile("bmpsuite/reference/rgba32.png"));
    ASSERT_EQ(got.pixels, DecodeStatus::Ok);
    EXPECT_TRUE(got.info.hasAlpha);
    ExpectSamePixels(got.raster, want.raster, true);

    const Decoded v4 = DecodeFile(DataFile("image-rs/bmp/V4_A8_R8_G8_B8.bmp"));
    ASSERT_EQ(v4.pixels, DecodeStatus::Ok);
    EXPECT_TRUE(v4.info.hasAlpha);
}

class BmpDecoderFiles : public TestWorld {
protected:
    // g/rgb24.bmp with `edit` applied to its bytes.
    std::string Edited(const std::string& name, void (*edit)(std::string&)) {
        std::string bytes = ReadFile(DataDir() / "bmpsuite/g/rgb24.bmp");
        edit(bytes);
        return WriteFile(name, bytes).string();
    }
    static void Put32(std::string& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
};

TEST_F(BmpDecoderFiles, DibWithoutFileHeaderDecodesLikeTheBmp) {
    std::string bytes = ReadFile(DataDir() / "bmpsuite/g/pal8.bmp");
    const std::string bare = WriteFile("bare.dib", bytes.substr(14)).string();
    const Decoded got = DecodeFile(bare);
    const Decoded want = DecodeFile(DataFile("bmpsuite/g/pal8.bmp"));
    ASSERT_EQ(got.format, "bmp");
    ASSERT_EQ(got.pixels, DecodeStatus::Ok);
    EXPECT_EQ(got.raster.pixels, want.raster.pixels);
}

TEST_F(BmpDecoderFiles, HugeDimensionsAreOverTheLimitBeforeAnyAllocation) {
    // 2,000,000 x 64 pixels: a side above the cap, though the file is tiny.
    const std::string wide = Edited("wide.bmp", [](std::string& b) { Put32(b, 18, 2'000'000); });
    codec::ImageInfo info;
    EXPECT_EQ(ReadHeaderAs("bmp", wide, info), DecodeStatus::OverLimit);
    // 30,000 x 30,000: each side allowed, the pixel count is not.
    const std::string big = Edited("big.bmp", [](std::string& b) {
        Put32(b, 18, 30'000);
        Put32(b, 22, 30'000);
    });
    EXPECT_EQ(ReadHeaderAs("bmp", big, info), DecodeStatus::OverLimit);
    codec::Raster out;
    std::string warning;
    EXPECT_EQ(DecodeAs("bmp", big, {}, out, warning), DecodeStatus::OverLimit);
    EXPECT_TRUE(out.pixels.empty());
}

TEST_F(BmpDecoderFiles, DimensionsWithinTheLimitButMissingRowsAreRefused) {
    // 20,000 x 20,000 fits the limits; the rows would need 1.2 GB the file doesn't hold,
    // so even the header read refuses it: nothing may be sized by such a header.
    const std::string path = Edited("short.bmp", [](std::string& b) {
        Put32(b, 18, 20'000);
        Put32(b, 22, 20'000);
    });
    const Decoded d = DecodeFile(path);
    EXPECT_EQ(d.header, DecodeStatus::NotAnImage);
    codec::Raster out;
    std::string warning;
    EXPECT_EQ(DecodeAs("bmp", path, {}, out, warning), DecodeStatus::NotAnImage);
    EXPECT_TRUE(out.pixels.empty());
}

TEST_F(BmpDecoderFiles, RunLengthDataThatEndsEarlyKeepsTheRowsItHas) {
    // pal8rle.bmp cut after a third of its data: the bottom rows decode, the rest is
    // black, and the caller is told.
    std::string bytes = ReadFile(DataDir() / "bmpsuite/g/pal8rle.bmp");
    const uint32_t offBits = static_cast<uint8_t>(bytes[10]) | (static_cast<uint8_t>(bytes[11]) << 8);
    bytes.resize(offBits + (bytes.size() - offBits) / 3);
    const Decoded d = DecodeFile(WriteFile("cut.bmp", bytes).string());
    ASSERT_EQ(d.pixels, DecodeStatus::Partial);
    EXPECT_NE(d.warning.find("the file is damaged"), std::string::npos);
    const Decoded full = DecodeFile(DataFile("bmpsuite/g/pal8rle.bmp"));
    const int32_t bottom = d.raster.height - 1;
    EXPECT_EQ(PixelAt(d.raster, 5, bottom), PixelAt(full.raster, 5, bottom));
    EXPECT_EQ(PixelAt(d.raster, 5, 0), 0xFF000000u);
}

TEST(BmpDecoder, RunLengthSkipsLeaveOpaqueBlackAndBadFilesNeverCrash) {
    const Decoded skipped = DecodeFile(DataFile("bmpsuite/q/pal4rletrns.bmp"));
    ASSERT_EQ(skipped.pixels, DecodeStatus::Ok);
    EXPECT_FALSE(codec::detail::AnyTransparent(skipped.raster));
    // Indices past the palette read as black instead of beyond the table.
    const Decoded badIndex = DecodeFile(DataFile("bmpsuite/b/pal8badindex.bmp"));
    EXPECT_EQ(badIndex.pixels, DecodeStatus::Ok);
    for (const char* name : {"badbitcount.bmp", "reallybig.bmp", "rletopdown.bmp", "shortfile.bmp", "badrle.bmp"}) {
        SCOPED_TRACE(name);
        const Decoded d = DecodeFile(DataFile(std::string("bmpsuite/b/") + name));
        if (!Decodes(d)) {
            EXPECT_TRUE(d.raster.pixels.empty());
        }
    }
    EXPECT_EQ(DecodeFile(DataFile("bmpsuite/b/reallybig.bmp")).header, DecodeStatus::OverLimit);
}

}  // namespace
}  // namespace tallowin::test
