// JPEG XR in the codec service: recognised by its bytes under any name, decoded with
// its colours and transparency, damaged files refused without harm to the caller.
#include "decoder_test_support.h"
#include "jxr_decoder.h"
#include "gdiplus.h"

#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <string>

namespace tallowin::codec {
namespace {

namespace fs = std::filesystem;
using tallowin::test::DataFile;
using tallowin::test::Decoded;
using tallowin::test::DecodeFile;
using tallowin::test::PixelAt;

class JxrDecoderTest : public tallowin::test::TestWorld {
protected:
    // The same bytes under another name.
    std::string Renamed(const std::string& relative, const std::string& name) const {
        return WriteFile(name, tallowin::test::ReadFile(DataFile(relative))).string();
    }
};

TEST_F(JxrDecoderTest, EveryNameOfAJpegXrFileDecodes) {
    const std::string files[] = {
        DataFile("jxrlib-glencoe/sample.jxr"),
        DataFile("generated/wdp/rgb24_q90_copy.hdp"),
        Renamed("generated/wdp/rgb24_q90.wdp", "UPPER.WDP"),
        Renamed("generated/wdp/rgb24_q90.wdp", "no_extension"),
        Renamed("jxrlib-glencoe/blue.jxr", "looks_like.png"),
    };
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const Decoded d = DecodeFile(path);  // sniffed as the codec service does
        ASSERT_TRUE(tallowin::test::Decodes(d));
        EXPECT_EQ(d.raster.width, d.info.width);
        EXPECT_EQ(d.raster.height, d.info.height);
    }

    // Through the service's front door, as adding a photo measures it.
    GpImage* image = nullptr;
    const std::u16string wide = QString::fromStdString(files[2]).toStdU16String();
    ASSERT_EQ(GdipLoadImageFromFile(wide.c_str(), &image), Ok);
    UINT width = 0;
    EXPECT_EQ(GdipGetImageWidth(image, &width), Ok);
    EXPECT_EQ(width, 227u);
    GdipDisposeImage(image);
}

TEST(JxrSniffTest, TheHeaderBytesDecide) {
    const auto looks = [](const std::string& head) {
        return LooksLikeJxr(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    };
    EXPECT_TRUE(looks(std::string("II\xBC\x01\x08\0\0\0", 8)));
    EXPECT_TRUE(looks(std::string("II\xBC\x00", 4)));  // early HD Photo files
    EXPECT_FALSE(looks(std::string("II\xBC\x02", 4)));
    EXPECT_FALSE(looks(std::string("II\xBC", 3)));
    EXPECT_FALSE(looks(std::string("II*\0", 4)));      // TIFF
    EXPECT_FALSE(looks(std::string("MM\0\xBC", 4)));
}

TEST_F(JxrDecoderTest, ColoursAndTransparencyAreKept) {
    // blue.jxr is 10 x 10 solid blue with an opaque alpha channel.
    const Decoded blue = DecodeFile(DataFile("jxrlib-glencoe/blue.jxr"));
    ASSERT_TRUE(tallowin::test::Decodes(blue));
    EXPECT_EQ(blue.info.width, 10);
    const uint32_t corner = PixelAt(blue.raster, 0, 0);
    EXPECT_EQ(corner >> 24, 255u);
    EXPECT_GT(corner & 0xFF, 200u);          // blue
    EXPECT_LT((corner >> 16) & 0xFF, 60u);   // no red

    // Four bands of (R 200, G 40, B 20) with alpha 255, 192, 64 and 0: straight alpha.
    const Decoded bands = DecodeFile(DataFile("generated/jxr/bands_alpha.wdp"));
    ASSERT_TRUE(tallowin::test::Decodes(bands));
    EXPECT_TRUE(bands.info.hasAlpha);
    const uint32_t alphas[] = {255, 192, 64, 0};
    for (int band = 0; band < 4; ++band) {
        SCOPED_TRACE(band);
        const uint32_t pixel = PixelAt(bands.raster, band * 8 + 4, 8);
        EXPECT_EQ(pixel >> 24, alphas[band]);
        if (alphas[band] == 0) continue;
        EXPECT_NEAR(static_cast<int>((pixel >> 16) & 0xFF), 200, 2);
        EXPECT_NEAR(static_cast<int>((pixel >> 8) & 0xFF), 40, 2);
        EXPECT_NEAR(static_cast<int>(pixel & 0xFF), 20, 2);
    }

    const Decoded opaque = DecodeFile(DataFile("generated/wdp/rgb24_lossless.wdp"));
    ASSERT_TRUE(tallowin::test::Decodes(opaque));
    EXPECT_FALSE(opaque.info.hasAlpha);
}

TEST_F(JxrDecoderTest, DamagedFilesAreRefusedAndTheCallerSurvives) {
    const std::string files[] = {
        DataFile("generated/wdp/bad/trunc_50pct.wdp"),
        DataFile("generated/wdp/crashers/libjxr_segv_1.wdp"),
        DataFile("generated/wdp/crashers/libjxr_segv_2.wdp"),
        WriteFile("magic_only.jxr", std::string("II\xBC\x01", 4)).string(),
    };
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        ImageInfo info;
        if (JxrReadHeader(path, info) != DecodeStatus::Ok) continue;  // refused from the header
        Raster raster;
        std::string warning;
        EXPECT_NE(JxrDecode(path, DecodeRequest{}, raster, warning), DecodeStatus::Ok);
    }
    // The cut-short file is refused before libjxr sees it.
    ImageInfo info;
    EXPECT_EQ(JxrReadHeader(files[0], info), DecodeStatus::NotAnImage);
}

}  // namespace
}  // namespace tallowin::codec
