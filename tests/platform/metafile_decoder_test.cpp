// WMF and EMF pictures: the size comes from the file's own frame at 96 dpi, the
// drawing fills that frame on a transparent background, and damaged files are refused
// without crashing.
#include "decoder.h"
#include "metafile_craft.h"
#include "metafile_decoders.h"

#include "test_world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace tallowin::codec {
namespace {

using tallowin::test::DataDir;

struct Expected {
    const char* file;
    int32_t width;
    int32_t height;
};

// The opaque part of a raster: its bounding box and how many pixels it holds.
struct Coverage {
    int32_t left = 0, top = 0, right = -1, bottom = -1;
    int64_t opaque = 0;
    int64_t transparent = 0;
};

Coverage Measure(const Raster& raster) {
    Coverage c;
    c.left = raster.width;
    c.top = raster.height;
    for (int32_t y = 0; y < raster.height; ++y) {
        const uint8_t* row = raster.Row(y);
        for (int32_t x = 0; x < raster.width; ++x) {
            if (row[x * 4 + 3] == 0) {
                ++c.transparent;
                continue;
            }
            ++c.opaque;
            c.left = std::min(c.left, x);
            c.right = std::max(c.right, x);
            c.top = std::min(c.top, y);
            c.bottom = std::max(c.bottom, y);
        }
    }
    return c;
}

class MetafileDecoderTest : public tallowin::test::TestWorld {
protected:
    static std::string Wmf(const std::string& name) { return (DataDir() / name).string(); }
    static std::string Emf(const std::string& name) { return (DataDir() / name).string(); }

    // Header read and decode agree on the size, and the drawing is there.
    static void ExpectPicture(const Decoder& format, const std::string& path, int32_t width, int32_t height,
                              Raster& raster) {
        ImageInfo info;
        ASSERT_EQ(ReadHeader(format, path, DecodeLimits{}, info), DecodeStatus::Ok) << path;
        EXPECT_EQ(info.width, width) << path;
        EXPECT_EQ(info.height, height) << path;
        EXPECT_FLOAT_EQ(info.dpiX, 96.0f);
        std::string warning;
        ASSERT_EQ(DecodePixels(format, path, DecodeRequest{}, DecodeLimits{}, raster, warning), DecodeStatus::Ok)
            << path;
        ASSERT_EQ(raster.width, width) << path;
        ASSERT_EQ(raster.height, height) << path;
        ASSERT_EQ(raster.pixels.size(), static_cast<size_t>(width) * height * 4);
    }

    // A file whose bytes are `bytes` after `prefix` bytes of a real file.
    std::string Damaged(const std::string& source, size_t keep, const std::string& name) const {
        std::string bytes = tallowin::test::ReadFile(source);
        bytes.resize(std::min(bytes.size(), keep));
        return WriteFile(name, bytes).string();
    }
};

TEST_F(MetafileDecoderTest, PlaceableWmfIsSizedByItsFrameAndFillsIt) {
    // Frame size x 96 / units per inch.
    const Expected files[] = {
        {"libwmf/ant.wmf", 211, 137},
        {"libwmf/arrow01.wmf", 169, 158},
        {"libwmf/formula1.wmf", 222, 41},
        {"libwmf/sample2.wmf", 300, 129},
    };
    for (const Expected& e : files) {
        SCOPED_TRACE(e.file);
        Raster raster;
        ExpectPicture(*FindDecoder("wmf"), Wmf(e.file), e.width, e.height, raster);
        const Coverage c = Measure(raster);
        // Drawn, with the background left transparent.
        EXPECT_GT(c.opaque, int64_t{e.width} * e.height / 20);
        EXPECT_GT(c.transparent, 0);
        // The drawing spans the frame (a picture mapped through the wrong window ends
        // up in a corner or outside the raster).
        EXPECT_GT(c.right - c.left + 1, e.width * 6 / 10);
        EXPECT_GT(c.bottom - c.top + 1, e.height * 5 / 10);
    }
}

TEST_F(MetafileDecoderTest, AntKeepsTheMarginsOfItsFrame) {
    Raster raster;
    ExpectPicture(*FindDecoder("wmf"), Wmf("libwmf/ant.wmf"), 211, 137, raster);
    const Coverage c = Measure(raster);
    // The ant does not touch the frame's left and bottom edges; a renderer that sizes
    // by the drawn extent would stretch it edge to edge.
    EXPECT_GT(c.left, 0);
    EXPECT_LT(c.bottom, raster.height - 5);
    // The ant is red.
    int64_t red = 0;
    for (int32_t y = 0; y < raster.height; ++y) {
        for (int32_t x = 0; x < raster.width; ++x) {
            const uint8_t* p = raster.Row(y) + x * 4;
            if (p[3] == 255 && p[2] > 200 && p[1] < 60 && p[0] < 60) ++red;
        }
    }
    EXPECT_GT(red, c.opaque / 2);
}

TEST_F(MetafileDecoderTest, PlaceableFramesAnywhereOnThePlaneAreDrawn) {
    // A rectangle filling the frame, for frames whose corner is at the origin, left of
    // and above it, and far from it.
    struct Frame {
        int16_t left, top, right, bottom;
    };
    const Frame frames[] = {{0, 0, 100, 60}, {-4, -4, 96, 56}, {-300, -200, -200, -140}, {1000, 2000, 1100, 2060}};
    for (const Frame& f : frames) {
        SCOPED_TRACE(std::to_string(f.left) + "," + std::to_string(f.top));
        const std::string path =
            WriteFile("frame.wmf", tallowin::test::CraftWmf(f.left, f.top, f.right, f.bottom, "", true)).string();
        ImageInfo info;
        ASSERT_EQ(WmfReadHeader(path, info), DecodeStatus::Ok);
        EXPECT_EQ(info.width, 100);
        EXPECT_EQ(info.height, 60);
        Raster raster;
        std::string warning;
        ASSERT_EQ(WmfDecode(path, DecodeRequest{}, raster, warning), DecodeStatus::Ok);
        ASSERT_EQ(raster.width, 100);
        ASSERT_EQ(raster.height, 60);
        const Coverage c = Measure(raster);
        EXPECT_GT(c.opaque, 100 * 60 * 9 / 10);
        EXPECT_LE(c.left, 1);
        EXPECT_LE(c.top, 1);
        EXPECT_GE(c.right, 98);
        EXPECT_GE(c.bottom, 58);
    }
}

TEST_F(MetafileDecoderTest, WmfWithoutPlaceableHeaderTakesFileUnitsAsPixels) {
    Raster raster;
    ExpectPicture(*FindDecoder("wmf"), Wmf("libwmf/text.wmf"), 253, 340, raster);
    EXPECT_GT(Measure(raster).opaque, 1000);
}

TEST_F(MetafileDecoderTest, EmfIsSizedByItsFrameAt96Dpi) {
    const Expected files[] = {
        {"libemf2svg/test-007.emf", 55, 54},   {"libemf2svg/test-023.emf", 229, 135},
        {"libemf2svg/test-030.emf", 635, 762}, {"libemf2svg/test-037.emf", 623, 467},
        {"libemf2svg/test-065.emf", 96, 96},   {"libemf2svg/test-092.emf", 284, 115},
        {"libemf2svg/test-104.emf", 54, 63},
    };
    for (const Expected& e : files) {
        SCOPED_TRACE(e.file);
        Raster raster;
        ExpectPicture(*FindDecoder("emf"), Emf(e.file), e.width, e.height, raster);
    }
}

TEST_F(MetafileDecoderTest, EmfDrawingFillsTheRaster) {
    Raster raster;
    ExpectPicture(*FindDecoder("emf"), Emf("libemf2svg/test-037.emf"), 623, 467, raster);
    const Coverage c = Measure(raster);
    // A chart with a frame around it: drawn out to (nearly) every edge.
    EXPECT_LE(c.left, 2);
    EXPECT_LE(c.top, 2);
    EXPECT_GE(c.right, raster.width - 3);
    EXPECT_GE(c.bottom, raster.height - 3);
}

TEST_F(MetafileDecoderTest, SmallerDrawingSizeRendersASmallerRasterNoSmallerThanAsked) {
    struct Case {
        const Decoder* format;
        std::string path;
    };
    const Case cases[] = {{FindDecoder("wmf"), Wmf("libwmf/ant.wmf")},
                          {FindDecoder("emf"), Emf("libemf2svg/test-037.emf")}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ImageInfo info;
        ASSERT_EQ(ReadHeader(*c.format, c.path, DecodeLimits{}, info), DecodeStatus::Ok);
        DecodeRequest request;
        request.minWidth = info.width / 3;
        request.minHeight = info.height / 4;
        Raster raster;
        std::string warning;
        ASSERT_EQ(DecodePixels(*c.format, c.path, request, DecodeLimits{}, raster, warning), DecodeStatus::Ok);
        EXPECT_GE(raster.width, request.minWidth);
        EXPECT_GE(raster.height, request.minHeight);
        EXPECT_LT(raster.width, info.width);
        EXPECT_NEAR(static_cast<double>(raster.width) / raster.height, static_cast<double>(info.width) / info.height, 0.05);
        EXPECT_GT(Measure(raster).opaque, 0);
    }
}

TEST_F(MetafileDecoderTest, DamagedMetafilesAreRefused) {
    const std::string files[] = {
        Wmf("generated/wmf/bad/trunc_50pct.wmf"),
        Emf("generated/emf/bad/trunc_50pct.emf"),
        Emf("libemf2svg/emf-corrupted/bad_corrupted_2014-12-02-215338.emf"),
        Emf("libemf2svg/emf-corrupted/bad_corrupted_2014-12-02-215425.emf"),
        Damaged(Wmf("libwmf/ant.wmf"), 30, "ant_header_only.wmf"),
        Damaged(Emf("libemf2svg/test-037.emf"), 100, "chart_header_only.emf"),
        WriteFile("empty.wmf", "").string(),
        WriteFile("empty.emf", "").string(),
    };
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const Decoder& format = *FindDecoder(path.ends_with(".wmf") ? "wmf" : "emf");
        Raster raster;
        std::string warning;
        EXPECT_NE(DecodePixels(format, path, DecodeRequest{}, DecodeLimits{}, raster, warning), DecodeStatus::Ok);
    }
}

TEST_F(MetafileDecoderTest, HeadersWithoutASensibleSizeAreRefusedBeforeRendering) {
    std::string ant = tallowin::test::ReadFile(Wmf("libwmf/ant.wmf"));
    ASSERT_GT(ant.size(), 22u);
    const auto setPlaceable = [&](size_t at, uint16_t value) {
        ant[at] = static_cast<char>(value & 0xFF);
        ant[at + 1] = static_cast<char>(value >> 8);
    };

    std::string zeroInch = ant;
    zeroInch[14] = zeroInch[15] = 0;
    ImageInfo info;
    EXPECT_EQ(WmfReadHeader(WriteFile("zero_inch.wmf", zeroInch).string(), info), DecodeStatus::NotAnImage);

    // 32767 units at one unit per inch: over three million pixels wide.
    setPlaceable(6, 0);
    setPlaceable(10, 32767);
    setPlaceable(14, 1);
    const std::string huge = WriteFile("huge.wmf", ant).string();
    EXPECT_EQ(WmfReadHeader(huge, info), DecodeStatus::OverLimit);
    Raster raster;
    std::string warning;
    EXPECT_EQ(WmfDecode(huge, DecodeRequest{}, raster, warning), DecodeStatus::OverLimit);
    EXPECT_TRUE(raster.pixels.empty());

    std::string emf = tallowin::test::ReadFile(Emf("libemf2svg/test-007.emf"));
    std::string emptyFrame = emf;
    std::memset(emptyFrame.data() + 24, 0, 16);
    EXPECT_EQ(EmfReadHeader(WriteFile("empty_frame.emf", emptyFrame).string(), info), DecodeStatus::NotAnImage);

    std::string hugeFrame = emf;
    const int32_t farRight = 2'000'000'000;  // 0.01 mm units: about 75 million pixels
    std::memcpy(hugeFrame.data() + 32, &farRight, 4);
    EXPECT_EQ(EmfReadHeader(WriteFile("huge_frame.emf", hugeFrame).string(), info), DecodeStatus::OverLimit);
}

}  // namespace
}  // namespace tallowin::codec
