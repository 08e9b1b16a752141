// Opening, drawing, turning and stamping images through the service, the way the
// conversion pipeline and the preview use it.
#include "codec_test_support.h"
#include "gdiplus_qt.h"

#include "dib_image.h"
#include "dib_image_from_handle.h"

#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;
using namespace tallowin::test;

namespace {

class CodecGraphics : public TestWorld {};

// Draws the whole image into a new white bitmap of width x height with the
// high-quality mode, as the conversion pipeline does.
Picture DrawScaled(GpImage* image, int32_t width, int32_t height, GpStatus expected = Ok)
{
    GpBitmap* raw = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
    ImagePtr target(raw);
    GpGraphics* graphics = nullptr;
    EXPECT_EQ(GdipGetImageGraphicsContext(target.get(), &graphics), Ok);
    EXPECT_EQ(GdipGraphicsClear(graphics, 0xFFFFFFFF), Ok);
    EXPECT_EQ(GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic), Ok);
    UINT w = 0;
    UINT h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, 0, 0, width, height, 0, 0, static_cast<int32_t>(w),
                                     static_cast<int32_t>(h), UnitPixel, nullptr, nullptr, nullptr),
              expected);
    GdipDeleteGraphics(graphics);
    return ReadPixels(target.get());
}

// Bounding box of the pixels that are not white.
struct Ink {
    int32_t left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
    int32_t Height() const { return bottom < 0 ? 0 : bottom - top + 1; }
};

Ink FindInk(const Picture& picture)
{
    Ink ink;
    for (int32_t y = 0; y < picture.height; ++y) {
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t* p = picture.At(x, y);
            if (p[0] != 255 || p[1] != 255 || p[2] != 255) {
                ink.left = std::min(ink.left, x);
                ink.top = std::min(ink.top, y);
                ink.right = std::max(ink.right, x);
                ink.bottom = std::max(ink.bottom, y);
            }
        }
    }
    return ink;
}

Picture Stamp(const LOGFONTA& logfont, const char16_t* text, float x, float y, ARGB colour = 0xFF000000)
{
    GpBitmap* raw = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(200, 100, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
    ImagePtr target(raw);
    GpGraphics* graphics = nullptr;
    EXPECT_EQ(GdipGetImageGraphicsContext(target.get(), &graphics), Ok);
    GdipGraphicsClear(graphics, 0xFFFFFFFF);
    GpFont* font = nullptr;
    EXPECT_EQ(GdipCreateFontFromLogfontA(nullptr, &logfont, &font), Ok);
    GpSolidFill* brush = nullptr;
    EXPECT_EQ(GdipCreateSolidFill(colour, &brush), Ok);
    const RectF layout{x, y, 0, 0};
    EXPECT_EQ(GdipDrawString(graphics, text, -1, font, &layout, nullptr, brush), Ok);
    GdipDeleteBrush(brush);
    GdipDeleteFont(font);
    GdipDeleteGraphics(graphics);
    return ReadPixels(target.get());
}

LOGFONTA Font(int32_t height, const char* face = "")
{
    LOGFONTA logfont{};
    logfont.lfHeight = height;
    logfont.lfWeight = 400;
    std::snprintf(logfont.lfFaceName, sizeof logfont.lfFaceName, "%s", face);
    return logfont;
}

}  // namespace

TEST_F(CodecGraphics, OpeningReportsTheHeaderAndFailuresByKind)
{
    ImagePtr photo = Load(DataDir() / "exif-orientation/Landscape_1.jpg");
    ASSERT_TRUE(photo);
    UINT width = 0;
    UINT height = 0;
    EXPECT_EQ(GdipGetImageWidth(photo.get(), &width), Ok);
    EXPECT_EQ(GdipGetImageHeight(photo.get(), &height), Ok);
    EXPECT_EQ(width, 1800u);
    EXPECT_EQ(height, 1200u);

    Load(Path("missing.jpg"), FileNotFound);
    WriteFile("text.jpg", "this is not a picture at all, only words in a file");
    Load(Path("text.jpg"), UnknownImageFormat);
    // A BMP header that claims 2,000,000 x 2 pixels: over the limit, not "out of memory".
    std::string huge(54, '\0');
    huge[0] = 'B';
    huge[1] = 'M';
    const uint32_t fields[][2] = {{2, 54 + 16}, {10, 54}, {14, 40}, {18, 2'000'000}, {22, 2}, {26, 1}, {28, 24}};
    for (const auto& [at, value] : fields) {
        std::memcpy(huge.data() + at, &value, at == 26 || at == 28 ? 2 : 4);
    }
    WriteFile("huge.bmp", huge + std::string(16, '\0'));
    Load(Path("huge.bmp"), ValueOverflow);

    // The same limits bind bitmaps made in memory, before anything is allocated.
    GpBitmap* tooBig = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(2'000'000, 2, 0, PixelFormat24bppRGB, nullptr, &tooBig), ValueOverflow);
    EXPECT_EQ(GdipCreateBitmapFromScan0(30'000, 30'000, 0, PixelFormat24bppRGB, nullptr, &tooBig), ValueOverflow);
    EXPECT_EQ(GdipCreateBitmapFromScan0(0, 10, 0, PixelFormat24bppRGB, nullptr, &tooBig), InvalidParameter);
    EXPECT_EQ(tooBig, nullptr);

    UINT none = 7;
    EXPECT_EQ(GdipGetImageWidth(nullptr, &none), InvalidParameter);
    EXPECT_EQ(none, 0u);
    EXPECT_STREQ(GdipExtStatusText(ValueOverflow), "over the size limit");
    EXPECT_STREQ(GdipExtStatusText(UnknownImageFormat), "not an image");
}

// Drawing a large JPEG small lets the decoder work at a reduced DCT scale; the result
// must stay within 40 dB of a full-size decode put through the same resampler.
TEST_F(CodecGraphics, ReducedDecodeDrawsLikeAFullDecode)
{
    const fs::path file = DataDir() / "exif-orientation/Landscape_1.jpg";
    ImagePtr full = Load(file);
    ImagePtr reduced = Load(file);
    ASSERT_TRUE(full && reduced);
    DrawScaled(full.get(), 1800, 1200);   // decodes at full size
    for (const auto& [w, h] : {std::pair{300, 200}, std::pair{640, 427}, std::pair{97, 61}}) {
        const Picture expected = DrawScaled(full.get(), w, h);
        const Picture actual = DrawScaled(reduced.get(), w, h);
        EXPECT_GE(Psnr(actual, expected), 40.0) << w << "x" << h;
    }
    // Drawn larger afterwards, the image is decoded again at the size needed.
    const Picture big = DrawScaled(reduced.get(), 1800, 1200);
    EXPECT_TRUE(SamePixels(big, DrawScaled(full.get(), 1800, 1200)));
    UINT width = 0;
    GdipGetImageWidth(reduced.get(), &width);
    EXPECT_EQ(width, 1800u);
}

TEST_F(CodecGraphics, ADeletedSourceFailsAtTheDraw)
{
    Picture picture = Pattern(12, 12);
    ImagePtr bitmap = MakeBitmap(picture);
    ASSERT_EQ(Save(bitmap.get(), Path("gone.png"), u"image/png"), Ok);
    ImagePtr loaded = Load(Path("gone.png"));
    ASSERT_TRUE(loaded);
    fs::remove(Path("gone.png"));
    const Picture result = DrawScaled(loaded.get(), 6, 6, Win32Error);
    EXPECT_EQ(FindInk(result).Height(), 0);
}

TEST_F(CodecGraphics, RotateFlipTurnsClockwiseThenMirrors)
{
    // 3 x 2: values 1..6 in reading order.
    Picture picture(3, 2);
    for (int i = 0; i < 6; ++i) {
        picture.Set(i % 3, i / 3, static_cast<uint8_t>(i + 1), 0, 0);
    }
    const auto turned = [&](RotateFlipType type) {
        Picture copy = picture;
        ImagePtr bitmap = MakeBitmap(copy);
        EXPECT_EQ(GdipImageRotateFlip(bitmap.get(), type), Ok);
        const Picture out = ReadPixels(bitmap.get());
        std::string values;
        for (int32_t y = 0; y < out.height; ++y) {
            for (int32_t x = 0; x < out.width; ++x) {
                values += static_cast<char>('0' + out.At(x, y)[0]);
            }
            values += '/';
        }
        return values;
    };
    EXPECT_EQ(turned(RotateNoneFlipNone), "123/456/");
    EXPECT_EQ(turned(Rotate90FlipNone), "41/52/63/");
    EXPECT_EQ(turned(Rotate180FlipNone), "654/321/");
    EXPECT_EQ(turned(Rotate270FlipNone), "36/25/14/");
    EXPECT_EQ(turned(RotateNoneFlipX), "321/654/");
    EXPECT_EQ(turned(Rotate90FlipX), "14/25/36/");
    EXPECT_EQ(turned(Rotate180FlipX), "456/123/");
    EXPECT_EQ(turned(Rotate270FlipX), "63/52/41/");

    Picture copy = picture;
    ImagePtr bitmap = MakeBitmap(copy);
    ASSERT_EQ(GdipImageRotateFlip(bitmap.get(), Rotate90FlipX), Ok);
    UINT width = 0;
    GdipGetImageWidth(bitmap.get(), &width);
    EXPECT_EQ(width, 2u);
    EXPECT_EQ(GdipImageRotateFlip(bitmap.get(), static_cast<RotateFlipType>(8)), InvalidParameter);
}

TEST_F(CodecGraphics, TextStartsAtTheLayoutOriginAndFollowsTheFontHeight)
{
    const Picture small = Stamp(Font(-12), u"Hg", 20, 30);
    const Picture large = Stamp(Font(-40), u"Hg", 20, 30);
    const Ink a = FindInk(small);
    const Ink b = FindInk(large);
    ASSERT_GT(a.Height(), 0);
    EXPECT_GE(a.left, 19);
    EXPECT_GE(a.top, 29);
    EXPECT_LT(a.top, 30 + 12);
    EXPECT_GT(b.Height(), 2 * a.Height());
    EXPECT_LE(b.Height(), 40 + 4);
    // A positive height is the whole cell, so the same number gives smaller letters.
    EXPECT_LT(FindInk(Stamp(Font(40), u"Hg", 20, 30)).Height(), b.Height());
    // An unknown face falls back to the default sans font instead of failing.
    EXPECT_TRUE(SamePixels(Stamp(Font(-20, "No Such Face 42"), u"Hg", 5, 5), Stamp(Font(-20), u"Hg", 5, 5)));
    // The brush's colour is the ink's.
    const Picture red = Stamp(Font(-40), u"H", 10, 10, 0xFFFF0000);
    bool pureRed = false;
    for (int32_t y = 0; y < red.height && !pureRed; ++y) {
        for (int32_t x = 0; x < red.width; ++x) {
            const uint8_t* p = red.At(x, y);
            pureRed = pureRed || (p[2] == 255 && p[1] == 0 && p[0] == 0);
        }
    }
    EXPECT_TRUE(pureRed);
    // Lines do not wrap however long they are.
    const Ink line = FindInk(Stamp(Font(-12), u"a long line of text that runs past the right edge", 10, 10));
    EXPECT_LT(line.Height(), 20);
}

TEST_F(CodecGraphics, BitmapHandleFeedsTheRasterCoreBottomUp)
{
    Picture picture = Pattern(5, 3);
    ImagePtr bitmap = MakeBitmap(picture);
    HBITMAP handle = nullptr;
    ASSERT_EQ(GdipCreateHBITMAPFromBitmap(static_cast<GpBitmap*>(bitmap.get()), &handle, 0xFF000000), Ok);
    CDibImage image;
    ASSERT_TRUE(CreateDibImageFromBitmapHandle(image, handle));
    DeleteObject(handle);
    EXPECT_EQ(image.Width(), 5);
    EXPECT_EQ(image.Height(), 3);
    EXPECT_EQ(image.BitCount(), 24);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            // Stored row 0 is the bottom of the picture.
            const RGBQUAD colour = image.PixelColour(x, 2 - y);
            const uint8_t* p = picture.At(x, y);
            EXPECT_EQ(colour.rgbBlue, p[0]);
            EXPECT_EQ(colour.rgbGreen, p[1]);
            EXPECT_EQ(colour.rgbRed, p[2]);
        }
    }
    CDibImage empty;
    EXPECT_FALSE(CreateDibImageFromBitmapHandle(empty, nullptr));
    EXPECT_EQ(empty.PixelBlock(), nullptr);
}

TEST_F(CodecGraphics, BitmapHandleRowsComeOutOnlyInTrueColourLayouts)
{
    Picture picture = Pattern(5, 3);
    ImagePtr bitmap = MakeBitmap(picture);
    HBITMAP handle = nullptr;
    ASSERT_EQ(GdipCreateHBITMAPFromBitmap(static_cast<GpBitmap*>(bitmap.get()), &handle, 0xFF000000), Ok);
    HDC dc = GetDC(nullptr);
    std::vector<uint8_t> bits(3 * 20, 0xAB);
    for (const uint16_t indexed : {1, 4, 8}) {
        BITMAPINFO info{};
        info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5, 3, 1, indexed, BI_RGB, 0, 0, 0, 0, 0};
        EXPECT_EQ(GetDIBits(dc, handle, 0, 3, bits.data(), &info, DIB_RGB_COLORS), 0) << indexed;
    }
    EXPECT_TRUE(std::all_of(bits.begin(), bits.end(), [](uint8_t b) { return b == 0xAB; }));
    // 32 bits, bottom-up: scan line 0 is the picture's last row.
    BITMAPINFO info{};
    info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 5, 3, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    ASSERT_EQ(GetDIBits(dc, handle, 0, 3, bits.data(), &info, DIB_RGB_COLORS), 3);
    ReleaseDC(nullptr, dc);
    DeleteObject(handle);
    for (int32_t y = 0; y < 3; ++y) {
        for (int32_t x = 0; x < 5; ++x) {
            EXPECT_TRUE(std::equal(picture.At(x, 2 - y), picture.At(x, 2 - y) + 3, bits.data() + y * 20 + x * 4));
        }
    }
}

TEST_F(CodecGraphics, ClearPaintsEveryRowOfAPaddedBitmap)
{
    GpBitmap* raw = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(7, 5, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
    ImagePtr bitmap(raw);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(bitmap.get(), &graphics), Ok);
    EXPECT_EQ(GdipGraphicsClear(graphics, 0xFF102030), Ok);
    GdipDeleteGraphics(graphics);
    const Picture cleared = ReadPixels(bitmap.get());
    ASSERT_EQ(cleared.height, 5);
    for (int32_t y = 0; y < 5; ++y) {
        for (int32_t x = 0; x < 7; ++x) {
            const uint8_t* p = cleared.At(x, y);
            EXPECT_TRUE(p[0] == 0x30 && p[1] == 0x20 && p[2] == 0x10) << x << "," << y;
        }
    }
}

TEST_F(CodecGraphics, TransparentPixelsMeetTheBackground)
{
    // A PNG with alpha: the left column opaque blue, the right one transparent.
    GpBitmap* raw = nullptr;
    std::vector<uint8_t> bgra = {255, 0, 0, 255, 0, 255, 0, 0};
    ASSERT_EQ(GdipCreateBitmapFromScan0(2, 1, 8, PixelFormat32bppARGB, bgra.data(), &raw), Ok);
    ImagePtr bitmap(raw);
    ASSERT_EQ(Save(bitmap.get(), Path("alpha.png"), u"image/png"), Ok);
    ImagePtr loaded = Load(Path("alpha.png"));
    ASSERT_TRUE(loaded);
    const Picture onWhite = DrawScaled(loaded.get(), 2, 1);
    EXPECT_EQ(onWhite.At(0, 0)[0], 255);
    EXPECT_EQ(onWhite.At(0, 0)[1], 0);
    EXPECT_EQ(onWhite.At(1, 0)[1], 255);  // white, not the hidden green
    const Picture onBlack = ReadPixels(loaded.get(), 0xFF000000);
    EXPECT_EQ(onBlack.At(1, 0)[0], 0);
    EXPECT_EQ(onBlack.At(1, 0)[1], 0);
}

TEST_F(CodecGraphics, PreviewPaintsThroughAPainter)
{
    Picture picture = Pattern(40, 20);
    ImagePtr bitmap = MakeBitmap(picture);
    const QImage preview = tallowin::gdiplus::ToQImage(bitmap.get(), 20, 10);
    ASSERT_FALSE(preview.isNull());
    EXPECT_EQ(preview.size(), QSize(20, 10));
    // The top-left of the gradient is dark in blue and green, the bottom-right bright.
    EXPECT_LT(qBlue(preview.pixel(0, 0)), 40);
    EXPECT_GT(qBlue(preview.pixel(19, 9)), 200);

    QImage canvas(30, 30, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    tallowin::gdiplus::PainterDC dc(painter);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipCreateFromHDC(dc.Handle(), &graphics), Ok);
    EXPECT_EQ(GdipDrawImageRectI(graphics, bitmap.get(), 5, 5, 20, 10), Ok);
    GdipDeleteGraphics(graphics);
    painter.end();
    EXPECT_EQ(canvas.pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_NE(canvas.pixel(24, 14), qRgb(0, 0, 0));
}
