// The codec service with its decoders in helper processes: a stopped decoder fails
// that image with its own status, when opening and when decoding pixels later, and the
// next image opens as usual. (The test's main points the service at the test helper.)

#include "gdiplus.h"
#include "test_world.h"

#include <QString>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace tallowin::test {
namespace {

std::u16string Wide(const std::filesystem::path& path) {
    return QString::fromStdString(path.string()).toStdU16String();
}

class CodecServiceHelperTest : public TestWorld {
protected:
    std::filesystem::path Misbehaving(const std::string& word) const {
        std::string bytes = "BMTALLOWIN-TEST:" + word;
        bytes.resize(64, ' ');
        return WriteFile(word + ".bmp", bytes);
    }
    static void ExpectOpens(const std::filesystem::path& path, UINT width) {
        GpImage* image = nullptr;
        ASSERT_EQ(GdipLoadImageFromFile(Wide(path).c_str(), &image), Ok);
        UINT got = 0;
        EXPECT_EQ(GdipGetImageWidth(image, &got), Ok);
        EXPECT_EQ(got, width);
        EXPECT_EQ(GdipImageRotateFlip(image, Rotate90FlipNone), Ok);
        GdipDisposeImage(image);
    }
    // `image` drawn on a new 32-bit ARGB bitmap of `width` x `height`: its pixels.
    static std::vector<uint32_t> Drawn(GpImage* image, int32_t width, int32_t height) {
        std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
        GpBitmap* target = nullptr;
        EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB,
                                            reinterpret_cast<BYTE*>(pixels.data()), &target),
                  Ok);
        GpGraphics* graphics = nullptr;
        EXPECT_EQ(GdipGetImageGraphicsContext(reinterpret_cast<GpImage*>(target), &graphics), Ok);
        EXPECT_EQ(GdipDrawImageRectI(graphics, image, 0, 0, width, height), Ok);
        GdipDeleteGraphics(graphics);
        GdipDisposeImage(reinterpret_cast<GpImage*>(target));
        return pixels;
    }
};

TEST_F(CodecServiceHelperTest, AStoppedDecoderFailsThatImageOnly) {
    const auto good = DataDir() / "pngsuite" / "basn6a08.png";
    GpImage* image = nullptr;
    const GpStatus crashed = GdipLoadImageFromFile(Wide(Misbehaving("CRASH")).c_str(), &image);
    EXPECT_EQ(crashed, DecoderStopped);
    EXPECT_EQ(image, nullptr);
    EXPECT_STREQ(GdipExtStatusText(crashed), "the decoder stopped: the file may be damaged or hostile");
    ExpectOpens(good, 32);

    // Added fine, then the pixel decode hangs past the time limit.
    ASSERT_EQ(GdipLoadImageFromFile(Wide(Misbehaving("STALL")).c_str(), &image), Ok);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GdipImageRotateFlip(image, Rotate90FlipNone), DecoderStopped);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    GdipDisposeImage(image);
    ExpectOpens(good, 32);
}

// Pixels decoded in a helper are drawn on in place, and what is drawn is what is read.
TEST_F(CodecServiceHelperTest, AnImageDecodedInAHelperCanBeDrawnOn) {
    const auto good = DataDir() / "pngsuite" / "basn2c08.png";
    GpImage* image = nullptr;
    ASSERT_EQ(GdipLoadImageFromFile(Wide(good).c_str(), &image), Ok);
    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(image, &graphics), Ok);
    EXPECT_EQ(GdipGraphicsClear(graphics, 0xff20c040), Ok);
    GdipDeleteGraphics(graphics);

    const std::vector<uint32_t> copy = Drawn(image, 32, 32);
    EXPECT_EQ(copy[0], 0xff20c040u);
    EXPECT_EQ(copy[32 * 32 - 1], 0xff20c040u);
    GdipDisposeImage(image);
    ExpectOpens(good, 32);
}

// Drawing lends a photo the pixels in its helper's window: the photo draws the same
// after others have gone through the helpers, and holds pixels of its own once drawn on.
TEST_F(CodecServiceHelperTest, APhotoDrawnFromLentPixelsStaysItselfWhileOthersDecode) {
    GpImage* photo = nullptr;
    ASSERT_EQ(GdipLoadImageFromFile(Wide(DataDir() / "libjpeg-turbo" / "testorig.jpg").c_str(), &photo), Ok);
    GpImage* other = nullptr;
    ASSERT_EQ(GdipLoadImageFromFile(Wide(DataDir() / "pngsuite" / "basn2c08.png").c_str(), &other), Ok);
    const std::vector<uint32_t> first = Drawn(photo, 227, 149);
    EXPECT_NE(first.front(), 0u);
    const std::vector<uint32_t> otherFirst = Drawn(other, 32, 32);
    for (int i = 0; i < 4; ++i) {
        GpImage* more = nullptr;
        ASSERT_EQ(GdipLoadImageFromFile(Wide(DataDir() / "libjpeg-turbo" / "testimgari.jpg").c_str(), &more), Ok);
        EXPECT_NE(Drawn(more, 100, 60).front(), 0u);
        GdipDisposeImage(more);
    }
    EXPECT_EQ(Drawn(photo, 227, 149), first);

    GpGraphics* graphics = nullptr;
    ASSERT_EQ(GdipGetImageGraphicsContext(photo, &graphics), Ok);
    EXPECT_EQ(GdipGraphicsClear(graphics, 0xff20c040), Ok);
    GdipDeleteGraphics(graphics);
    EXPECT_EQ(Drawn(photo, 227, 149), std::vector<uint32_t>(227 * 149, 0xff20c040u));
    EXPECT_EQ(Drawn(other, 32, 32), otherFirst);
    GdipDisposeImage(other);
    GdipDisposeImage(photo);
}

}  // namespace
}  // namespace tallowin::test
