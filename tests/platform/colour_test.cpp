// Conversion to sRGB, checked against lcms2's own tificc and against round trips.
#include "codec_test_support.h"
#include "photo_info_test_support.h"
#include "srgb_conversion.h"

#include <gtest/gtest.h>

#include <thread>

namespace tallowin::test {
namespace {

using colour::ColourStatus;
using colour::ConvertToSrgb;

int MaxDifference(const Picture& a, const Picture& b)
{
    int worst = 0;
    for (int32_t y = 0; y < a.height; ++y) {
        for (int32_t x = 0; x < a.width * 3; ++x) {
            worst = std::max(worst, std::abs(int(a.At(0, y)[x]) - int(b.At(0, y)[x])));
        }
    }
    return worst;
}

// Every pixel of `picture` taken from sRGB into `profile` with lcms2 directly.
Picture FromSrgb(const Picture& picture, const std::vector<uint8_t>& profile)
{
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE target = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHTRANSFORM transform = cmsCreateTransform(srgb, TYPE_BGR_8, target, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    Picture out = picture;
    for (int32_t y = 0; y < picture.height; ++y) {
        cmsDoTransform(transform, picture.At(0, y), out.At(0, y), static_cast<cmsUInt32Number>(picture.width));
    }
    cmsDeleteTransform(transform);
    cmsCloseProfile(target);
    cmsCloseProfile(srgb);
    return out;
}

// The image drawn whole into a white bitmap of width x height, as the converter draws.
Picture DrawAt(GpImage* image, int32_t width, int32_t height)
{
    GpBitmap* raw = nullptr;
    EXPECT_EQ(GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, &raw), Ok);
    ImagePtr target(raw);
    GpGraphics* graphics = nullptr;
    EXPECT_EQ(GdipGetImageGraphicsContext(target.get(), &graphics), Ok);
    GdipGraphicsClear(graphics, 0xFFFFFFFF);
    GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
    UINT w = 0;
    UINT h = 0;
    GdipGetImageWidth(image, &w);
    GdipGetImageHeight(image, &h);
    EXPECT_EQ(GdipDrawImageRectRectI(graphics, image, 0, 0, width, height, 0, 0, static_cast<int32_t>(w),
                                     static_cast<int32_t>(h), UnitPixel, nullptr, nullptr, nullptr),
              Ok);
    GdipDeleteGraphics(graphics);
    return ReadPixels(target.get());
}

std::vector<uint8_t> GreyProfile()
{
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    std::vector<uint8_t> bytes = SaveProfile(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    return bytes;
}

class ColourTest : public TestWorld {
protected:
    std::vector<uint8_t> p3_ = DisplayP3Profile();
};

// The acceptance check: a Display P3 photo converted to sRGB matches lcms2's tificc
// on the same pixels within one level.
TEST_F(ColourTest, DisplayP3MatchesTificcWithinOneLevel)
{
    if (!HaveTool("tificc")) {
        GTEST_SKIP() << "tificc is not installed";
    }
    Picture p3 = Pattern(97, 61);  // odd width: rows are padded
    ImagePtr bitmap = MakeBitmap(p3);
    ASSERT_EQ(Save(bitmap.get(), Path("p3.tif"), u"image/tiff"), Ok);
    WriteBytes(Path("p3.icc"), p3_);
    ASSERT_EQ(RunCommand("tificc -i" + Quoted(Path("p3.icc")) + " " + Quoted(Path("p3.tif")) + " "
                         + Quoted(Path("srgb.tif")) + " 2>&1")
                  .status,
              0);
    const Picture reference = ReadPixels(Load(Path("srgb.tif")).get());
    ASSERT_EQ(reference.width, p3.width);

    Picture converted = p3;
    const auto result = ConvertToSrgb(converted.bgr.data(), converted.width, converted.height, converted.stride, 3, p3_);
    EXPECT_EQ(result.status, ColourStatus::Converted) << result.reason;
    EXPECT_LE(MaxDifference(converted, reference), 1);
    EXPECT_GT(MaxDifference(converted, p3), 10) << "the pixels did not change";
}

// sRGB lies inside Display P3: there and back again comes home. Storing the wider
// space in 8 bits costs up to a few levels in dark saturated colours, almost nothing
// on average; a wrong direction or intent would be off by tens of levels.
TEST_F(ColourTest, SrgbPhotoStoredInDisplayP3ComesBack)
{
    const Picture original = Pattern(64, 64);
    Picture p3 = FromSrgb(original, p3_);
    ASSERT_EQ(ConvertToSrgb(p3.bgr.data(), p3.width, p3.height, p3.stride, 3, p3_).status, ColourStatus::Converted);
    EXPECT_LE(MaxDifference(p3, original), 3);
    EXPECT_GT(Psnr(p3, original), 48.0);
}

TEST_F(ColourTest, FourBytePixelsKeepAlphaAndPaddingAndMatchThreeBytePixels)
{
    const Picture rgb = Pattern(33, 9);
    const int64_t stride = 33 * 4 + 12;  // padding the conversion must not touch
    std::vector<uint8_t> bgra(static_cast<size_t>(stride) * 9, 0xAB);
    for (int32_t y = 0; y < 9; ++y) {
        for (int32_t x = 0; x < 33; ++x) {
            uint8_t* p = bgra.data() + y * stride + x * 4;
            std::copy(rgb.At(x, y), rgb.At(x, y) + 3, p);
            p[3] = static_cast<uint8_t>(x * 7);
        }
    }
    Picture three = rgb;
    ASSERT_EQ(ConvertToSrgb(three.bgr.data(), 33, 9, three.stride, 3, p3_).status, ColourStatus::Converted);
    ASSERT_EQ(ConvertToSrgb(bgra.data(), 33, 9, stride, 4, p3_).status, ColourStatus::Converted);
    for (int32_t y = 0; y < 9; ++y) {
        for (int32_t x = 0; x < 33; ++x) {
            const uint8_t* p = bgra.data() + y * stride + x * 4;
            EXPECT_TRUE(std::equal(p, p + 3, three.At(x, y))) << x << "," << y;
            EXPECT_EQ(p[3], x * 7);
        }
        for (int64_t pad = 33 * 4; pad < stride; ++pad) {
            EXPECT_EQ(bgra[static_cast<size_t>(y * stride + pad)], 0xAB);
        }
    }
}

// No profile, an sRGB profile, and profiles that cannot apply all leave the pixels
// exactly as they were; only the ones that cannot apply say why.
TEST_F(ColourTest, PixelsStayUntouchedUnlessAProfileConvertsThem)
{
    const Picture original = Pattern(20, 10);
    struct Case {
        const char* name;
        std::vector<uint8_t> profile;
        ColourStatus expected;
    };
    std::vector<uint8_t> truncated = p3_;
    truncated.resize(truncated.size() / 2);
    std::vector<uint8_t> garbage(600, 0x5A);
    const std::vector<Case> cases = {
        {"none", {}, ColourStatus::NoProfile},
        {"sRGB", SrgbProfile(), ColourStatus::AlreadySrgb},
        {"truncated", truncated, ColourStatus::Broken},
        {"garbage", garbage, ColourStatus::Broken},
        {"Lab", SaveProfile(cmsCreateLab4Profile(nullptr)), ColourStatus::Unsupported},
        {"grey", GreyProfile(), ColourStatus::Unsupported},
    };
    for (const Case& c : cases) {
        Picture picture = original;
        const auto result = ConvertToSrgb(picture.bgr.data(), picture.width, picture.height, picture.stride, 3, c.profile);
        EXPECT_EQ(result.status, c.expected) << c.name << ": " << result.reason;
        EXPECT_EQ(result.Ok(), c.expected == ColourStatus::NoProfile || c.expected == ColourStatus::AlreadySrgb) << c.name;
        EXPECT_EQ(result.reason.empty(), result.Ok()) << c.name;
        EXPECT_TRUE(SamePixels(picture, original)) << c.name;
    }
    Picture picture = original;
    EXPECT_EQ(ConvertToSrgb(picture.bgr.data(), picture.width, picture.height, picture.width * 3 - 1, 3, p3_).status,
              ColourStatus::Unsupported);
    EXPECT_EQ(ConvertToSrgb(picture.bgr.data(), picture.width, picture.height, picture.stride, 2, p3_).status,
              ColourStatus::Unsupported);
    EXPECT_TRUE(SamePixels(picture, original));
}

// One cached transform used by several workers at once gives each the same answer.
TEST_F(ColourTest, ConcurrentConversionsWithOneProfileAgree)
{
    const Picture original = Pattern(128, 96);
    Picture expected = original;
    ConvertToSrgb(expected.bgr.data(), expected.width, expected.height, expected.stride, 3, p3_);

    std::vector<Picture> pictures(4, original);
    std::vector<std::thread> workers;
    for (Picture& picture : pictures) {
        workers.emplace_back([&picture, this] {
            for (int round = 0; round < 3; ++round) {
                Picture copy = picture;
                ConvertToSrgb(copy.bgr.data(), copy.width, copy.height, copy.stride, 3, p3_);
                if (round == 2) {
                    picture = copy;
                }
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (const Picture& picture : pictures) {
        EXPECT_TRUE(SamePixels(picture, expected));
    }
}

// Opening with colour management converts the pixels of a file with a profile, and
// only those; a profile that cannot apply leaves the pixels and says why.
TEST_F(ColourTest, OpeningWithColourManagementConvertsByTheEmbeddedProfile)
{
    if (!HaveTool("exiftool")) {
        GTEST_SKIP() << "exiftool is not installed";
    }
    Picture picture = Pattern(45, 31);
    ImagePtr bitmap = MakeBitmap(picture);
    const auto withProfile = [&](const std::string& name, const std::vector<uint8_t>& profile) {
        const std::filesystem::path path = Path(name + ".png");
        EXPECT_EQ(Save(bitmap.get(), path, u"image/png"), Ok);
        if (!profile.empty()) {
            WriteBytes(Path(name + ".icc"), profile);
            EXPECT_EQ(RunCommand("exiftool -q -overwrite_original '-ICC_Profile<=" + Path(name + ".icc").string() + "' "
                                 + Quoted(path))
                          .status,
                      0);
        }
        return path;
    };
    const auto openIcm = [](const std::filesystem::path& path) {
        GpImage* image = nullptr;
        EXPECT_EQ(GdipLoadImageFromFileICM(Wide(path).c_str(), &image), Ok);
        return ImagePtr(image);
    };

    const std::filesystem::path p3 = withProfile("p3", p3_);
    const Picture plain = ReadPixels(Load(p3).get());
    ASSERT_TRUE(SamePixels(plain, picture));
    Picture expected = plain;
    ConvertToSrgb(expected.bgr.data(), expected.width, expected.height, expected.stride, 3, p3_);
    const ImagePtr managed = openIcm(p3);
    EXPECT_TRUE(SamePixels(ReadPixels(managed.get()), expected));
    EXPECT_EQ(GdipExtColourWarning(managed.get()), nullptr);

    const ImagePtr untagged = openIcm(withProfile("plain", {}));
    EXPECT_TRUE(SamePixels(ReadPixels(untagged.get()), picture));
    EXPECT_EQ(GdipExtColourWarning(untagged.get()), nullptr);

    // A JPEG drawn small decodes small: the reduced decode is converted as well.
    const std::filesystem::path jpeg = Path("p3.jpg");
    ASSERT_EQ(Save(bitmap.get(), jpeg, u"image/jpeg", 95), Ok);
    ASSERT_EQ(RunCommand("exiftool -q -overwrite_original '-ICC_Profile<=" + Path("p3.icc").string() + "' " + Quoted(jpeg)).status, 0);
    Picture small = DrawAt(Load(jpeg).get(), 12, 8);
    ConvertToSrgb(small.bgr.data(), small.width, small.height, small.stride, 3, p3_);
    EXPECT_LE(MaxDifference(DrawAt(openIcm(jpeg).get(), 12, 8), small), 1);

    std::vector<uint8_t> lab = SaveProfile(cmsCreateLab4Profile(nullptr));
    const ImagePtr foreign = openIcm(withProfile("lab", lab));
    EXPECT_TRUE(SamePixels(ReadPixels(foreign.get()), picture));
    ASSERT_NE(GdipExtColourWarning(foreign.get()), nullptr);
    EXPECT_NE(std::string(GdipExtColourWarning(foreign.get())), "");
}

}  // namespace
}  // namespace tallowin::test
