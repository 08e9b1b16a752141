// The service as the conversion pipeline and the raster core use it together: BMP
// files passed both ways, the indexed GIF route, damaged photos, worker threads.
#include "codec_test_support.h"

#include "dib_image.h"

#include <filesystem>
#include <thread>

namespace fs = std::filesystem;
using namespace tallowin::test;

namespace {
class CodecPipeline : public TestWorld {};
}

TEST_F(CodecPipeline, ServiceBmpReadsInTheRasterCoreAndBack)
{
    Picture picture = Pattern(13, 7);
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(Save(bitmap.get(), Path("w.bmp"), u"image/bmp"), Ok);
    CDibImage image;
    ASSERT_TRUE(image.LoadFile(Path("w.bmp").c_str(), kDibFormatBmp));
    ASSERT_EQ(image.BitCount(), 24);
    for (int32_t y = 0; y < 7; ++y) {
        for (int32_t x = 0; x < 13; ++x) {
            const RGBQUAD colour = image.PixelColour(x, 6 - y);
            EXPECT_EQ(colour.rgbRed, picture.At(x, y)[2]);
            EXPECT_EQ(colour.rgbBlue, picture.At(x, y)[0]);
        }
    }
}

// The GIF route: an 8-bit BMP from the raster core is opened by the service and
// re-encoded as GIF; every palette colour used must come through exactly.
TEST_F(CodecPipeline, IndexedBmpFromTheRasterCoreBecomesAnExactGif)
{
    CDibImage image;
    ASSERT_NE(image.Allocate(16, 16, 8), nullptr);
    for (int i = 0; i < 256; ++i) {
        image.SetPaletteEntry(static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                              static_cast<uint8_t>((i * 37) & 0xFF));
    }
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            image.SetPixelIndex(x, y, static_cast<uint8_t>(y * 16 + x));
        }
    }
    ASSERT_TRUE(image.SaveFile(Path("BMP303A.TMP").c_str(), kDibFormatBmp));
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromFile(Wide(Path("BMP303A.TMP")).c_str(), &raw), Ok);
    ImagePtr indexed(raw);
    ASSERT_EQ(Save(indexed.get(), Path("out.gif"), u"image/gif"), Ok);
    ImagePtr gif = Load(Path("out.gif"));
    ASSERT_TRUE(gif);
    const Picture pixels = ReadPixels(gif.get());
    ASSERT_EQ(pixels.width, 16);
    for (int32_t y = 0; y < 16; ++y) {
        for (int32_t x = 0; x < 16; ++x) {
            const RGBQUAD colour = image.PixelColour(x, y);
            // Stored row y of the BMP is picture row 15 - y.
            const uint8_t* p = pixels.At(x, 15 - y);
            ASSERT_EQ(p[0], colour.rgbBlue);
            ASSERT_EQ(p[1], colour.rgbGreen);
            ASSERT_EQ(p[2], colour.rgbRed);
        }
    }
}

TEST_F(CodecPipeline, TruncatedPhotoDrawsWithAWarning)
{
    ImagePtr photo = Load(DataDir() / "generated/jpeg/bad/trunc_50pct_baseline.jpg");
    ASSERT_TRUE(photo);
    EXPECT_EQ(GdipExtDecodeWarning(photo.get()), nullptr);
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(100, 60, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
    ImagePtr target(raw);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(target.get(), &graphics), Ok);
    EXPECT_EQ(GdipDrawImageRectI(graphics, photo.get(), 0, 0, 100, 60), Ok);
    GdipDeleteGraphics(graphics);
    ASSERT_NE(GdipExtDecodeWarning(photo.get()), nullptr);
    EXPECT_STRNE(GdipExtDecodeWarning(photo.get()), "");
}

// Several photos at once, as the command-line tool converts them: each thread scales,
// stamps and saves its own; the results must equal a conversion done alone.
TEST_F(CodecPipeline, WorkerThreadsConvertIndependently)
{
    const fs::path source = DataDir() / "libjpeg-turbo/testorig.jpg";
    const auto convert = [&](const fs::path& output) {
        GpImage* photo = nullptr;
        if (GdipLoadImageFromFile(Wide(source).c_str(), &photo) != Ok) {
            return false;
        }
        GpBitmap* bitmap = nullptr;
        GpGraphics* graphics = nullptr;
        GpFont* font = nullptr;
        GpSolidFill* brush = nullptr;
        LOGFONTA logfont{};
        logfont.lfHeight = -14;
        const RectF layout{4, 4, 0, 0};
        bool ok = GdipCreateBitmapFromScan0(120, 80, 0, PixelFormat24bppRGB, nullptr, &bitmap) == Ok
            && GdipGetImageGraphicsContext(bitmap, &graphics) == Ok && GdipGraphicsClear(graphics, 0xFFFFFFFF) == Ok
            && GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic) == Ok
            && GdipDrawImageRectI(graphics, photo, 0, 0, 120, 80) == Ok
            && GdipCreateFontFromLogfontA(nullptr, &logfont, &font) == Ok
            && GdipCreateSolidFill(0xFFFF0000, &brush) == Ok
            && GdipDrawString(graphics, u"stamp", -1, font, &layout, nullptr, brush) == Ok
            && GdipImageRotateFlip(bitmap, Rotate90FlipX) == Ok;
        GdipDeleteGraphics(graphics);
        GdipDeleteFont(font);
        GdipDeleteBrush(brush);
        ok = ok && Save(bitmap, output, u"image/png") == Ok;
        GdipDisposeImage(bitmap);
        GdipDisposeImage(photo);
        return ok;
    };
    ASSERT_TRUE(convert(Path("alone.png")));
    constexpr int kThreads = 4;
    bool results[kThreads] = {};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] { results[i] = convert(Path("t" + std::to_string(i) + ".png")); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_TRUE(results[i]);
        EXPECT_EQ(ReadFile(Path("t" + std::to_string(i) + ".png")), ReadFile(Path("alone.png"))) << i;
    }
}
