// JPEG decoding: upright EXIF orientations, DCT scaling to the request, damaged files,
// colour models, limits, and the EXIF reader's bounds.
#include "decoder_test_support.h"
#include "exif_orientation.h"

#include <string>
#include <vector>

namespace tallowin::test {
namespace {

using codec::DecodeStatus;

TEST(JpegDecoder, EveryExifOrientationComesOutUpright) {
    const codec::DecodeRequest request{225, 150};
    const Decoded reference = DecodeFile(DataFile("exif-orientation/Landscape_1.jpg"), request);
    ASSERT_EQ(reference.pixels, DecodeStatus::Ok);
    ASSERT_EQ(reference.raster.width, 225);
    ASSERT_EQ(reference.raster.height, 150);
    for (int orientation = 0; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const Decoded d = DecodeFile(
            DataFile("exif-orientation/Landscape_" + std::to_string(orientation) + ".jpg"), request);
        ASSERT_EQ(d.pixels, DecodeStatus::Ok);
        EXPECT_EQ(d.info.width, 1800);
        EXPECT_EQ(d.info.height, 1200);
        // Decoded at 1/8 in stored orientation, then turned: 225 x 150 upright.
        ASSERT_EQ(d.raster.width, 225);
        ASSERT_EQ(d.raster.height, 150);
        EXPECT_LT(MeanColourDifference(d.raster, reference.raster), 6.0);
    }
}

TEST(JpegDecoder, DecodesAtTheSmallestScaleThatCoversTheRequest) {
    const std::string path = DataFile("libjpeg-turbo/testorig.jpg");  // 227 x 149
    struct Case {
        codec::DecodeRequest request;
        int32_t width, height;
    };
    for (const Case& c : std::vector<Case>{{{0, 0}, 227, 149},
                                            {{50, 30}, 57, 38},      // 1/4; 1/8 would be 29 x 19
                                            {{114, 75}, 114, 75},    // exactly 1/2
                                            {{115, 75}, 227, 149},   // 1/2 is one pixel short
                                            {{20, 10}, 29, 19}}) {   // 1/8 is the smallest
        SCOPED_TRACE(testing::Message() << c.request.minWidth << "x" << c.request.minHeight);
        const Decoded d = DecodeFile(path, c.request);
        ASSERT_EQ(d.pixels, DecodeStatus::Ok);
        EXPECT_EQ(d.raster.width, c.width);
        EXPECT_EQ(d.raster.height, c.height);
    }
    // The request is upright; a file stored on its side is scaled by its stored sides.
    const Decoded turned = DecodeFile(DataFile("exif-orientation/Landscape_6.jpg"), {900, 600});
    EXPECT_EQ(turned.raster.width, 900);
    EXPECT_EQ(turned.raster.height, 600);
}

TEST(JpegDecoder, TruncatedFileKeepsItsRowsAndGreysTheRest) {
    const Decoded cut = DecodeFile(DataFile("generated/jpeg/bad/trunc_50pct_baseline.jpg"));
    const Decoded whole = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
    ASSERT_EQ(cut.pixels, DecodeStatus::Partial);
    ASSERT_EQ(cut.raster.width, 227);
    ASSERT_EQ(cut.raster.height, 149);
    EXPECT_EQ(cut.warning.rfind("the file is damaged: only ", 0), 0u) << cut.warning;
    EXPECT_NE(cut.warning.find(" of 149 rows could be read"), std::string::npos);
    // The first rows are the picture; the last are plain grey.
    EXPECT_EQ(std::vector<uint8_t>(cut.raster.Row(0), cut.raster.Row(10)),
              std::vector<uint8_t>(whole.raster.Row(0), whole.raster.Row(10)));
    EXPECT_EQ(PixelAt(cut.raster, 100, 148), 0xFF808080u);
    // A file that only lacks its end marker is whole.
    const Decoded noEnd = DecodeFile(DataFile("generated/jpeg/bad/missing_eoi.jpg"));
    EXPECT_EQ(noEnd.pixels, DecodeStatus::Ok);
    EXPECT_EQ(noEnd.raster.pixels, whole.raster.pixels);
}

TEST(JpegDecoder, ColourModelsAndCodingsGiveThePicture) {
    const Decoded baseline = DecodeFile(DataFile("libjpeg-turbo/testorig.jpg"));
    ASSERT_EQ(baseline.pixels, DecodeStatus::Ok);
    // Adobe CMYK is stored inverted: read plainly it would come out as a negative.
    for (const char* name : {"generated/jpeg/cmyk.jpg", "generated/jpeg/prog.jpg", "generated/jpeg/s444.jpg",
                             "generated/jpeg/restart.jpg", "libjpeg-turbo/testimgari.jpg"}) {
        SCOPED_TRACE(name);
        const Decoded d = DecodeFile(DataFile(name));
        ASSERT_EQ(d.pixels, DecodeStatus::Ok);
        EXPECT_LT(MeanColourDifference(d.raster, baseline.raster), 8.0);
        EXPECT_FALSE(codec::detail::AnyTransparent(d.raster));
    }
    // The .exif file holds the same pixels with orientation 3: shown half turned.
    const Decoded turned = DecodeFile(DataFile("generated/jpeg/orient3.exif"));
    ASSERT_EQ(turned.format, "jpeg");
    codec::Raster halfTurned = baseline.raster;
    ASSERT_EQ(codec::detail::ApplyOrientation(halfTurned, 3), DecodeStatus::Ok);
    EXPECT_LT(MeanColourDifference(turned.raster, halfTurned), 8.0);
    EXPECT_GT(MeanColourDifference(turned.raster, baseline.raster), 20.0);
}

TEST(JpegDecoder, DensityComesFromTheFile) {
    EXPECT_FLOAT_EQ(DecodeFile(DataFile("image-rs/jpeg/exif-xmp-metadata.jpg")).info.dpiX, 300.0f);
    EXPECT_FLOAT_EQ(DecodeFile(DataFile("exif-orientation/Landscape_1.jpg")).info.dpiX, 72.0f);
    EXPECT_FLOAT_EQ(DecodeFile(DataFile("libjpeg-turbo/testorig.jpg")).info.dpiX, 96.0f);
}

class JpegDecoderFiles : public TestWorld {};

TEST_F(JpegDecoderFiles, HugeFrameIsOverTheLimit) {
    std::string bytes = ReadFile(DataDir() / "libjpeg-turbo/testorig.jpg");
    // The baseline frame header: FF C0, length, precision, then height and width.
    const size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (size_t at : {sof + 5, sof + 7}) {
        bytes[at] = static_cast<char>(0xFD);  // 65,000 x 65,000
        bytes[at + 1] = static_cast<char>(0xE8);
    }
    const std::string path = WriteFile("huge.jpg", bytes).string();
    codec::ImageInfo info;
    EXPECT_EQ(ReadHeaderAs("jpeg", path, info), DecodeStatus::OverLimit);
    codec::Raster out;
    std::string warning;
    EXPECT_EQ(DecodeAs("jpeg", path, {}, out, warning), DecodeStatus::OverLimit);
    EXPECT_TRUE(out.pixels.empty());
}

// An APP1 body: "Exif\0\0", a big-endian TIFF header and IFD0 with the given entries.
std::vector<uint8_t> ExifBlock(const std::vector<std::vector<uint8_t>>& entries, const std::vector<uint8_t>& tail) {
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8};
    b.push_back(0);
    b.push_back(static_cast<uint8_t>(entries.size()));
    for (const auto& e : entries) b.insert(b.end(), e.begin(), e.end());
    b.insert(b.end(), {0, 0, 0, 0});
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

TEST(ExifReader, ReadsOrientationAndResolutionAndDistrustsOffsets) {
    const size_t tailOffset = 8 + 2 + 3 * 12 + 4;  // from the TIFF header
    const std::vector<uint8_t> orientation6 = {0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 0};
    const std::vector<uint8_t> xres = {0x01, 0x1A, 0, 5, 0, 0, 0, 1, 0, 0, 0, static_cast<uint8_t>(tailOffset)};
    const std::vector<uint8_t> unitCm = {0x01, 0x28, 0, 3, 0, 0, 0, 1, 0, 3, 0, 0};
    const std::vector<uint8_t> rational = {0, 0, 0, 100, 0, 0, 0, 1};  // 100 per centimetre

    auto block = ExifBlock({orientation6, xres, unitCm}, rational);
    codec::detail::ExifFacts facts;
    ASSERT_TRUE(codec::detail::ParseExif(block.data(), block.size(), facts));
    EXPECT_EQ(facts.orientation, 6);
    EXPECT_FLOAT_EQ(facts.dpiX, 254.0f);
    EXPECT_FLOAT_EQ(facts.dpiY, 254.0f);

    // The resolution's offset points past the block: ignored, orientation still read.
    auto cut = ExifBlock({orientation6, xres, unitCm}, {});
    ASSERT_TRUE(codec::detail::ParseExif(cut.data(), cut.size(), facts));
    EXPECT_EQ(facts.orientation, 6);
    EXPECT_EQ(facts.dpiX, 0.0f);

    // An entry count larger than the block, and an out-of-range orientation.
    auto lying = ExifBlock({{0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 9, 0, 0}}, {});
    lying[15] = 200;
    ASSERT_TRUE(codec::detail::ParseExif(lying.data(), lying.size(), facts));
    EXPECT_EQ(facts.orientation, 1);

    const uint8_t notExif[] = {'J', 'F', 'I', 'F', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    EXPECT_FALSE(codec::detail::ParseExif(notExif, sizeof notExif, facts));
    auto badIfd = ExifBlock({}, {});
    badIfd[13] = 0xF0;  // IFD0 beyond the end
    EXPECT_FALSE(codec::detail::ParseExif(badIfd.data(), badIfd.size(), facts));
}

}  // namespace
}  // namespace tallowin::test
